#include "app/frmQuarlin.h"

#include "app/FieldLimits.h"
#include "app/Messages.h"
#include "app/ShapeBox.h"
#include "app/Twips.h"
#include "serial/CommError.h"
#include "serial/MSComm.h"
#include "timetable/DownloadFrame.h"
#include "timetable/TestPattern.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <vector>

namespace {

constexpr int kClientWidth = 9105;
constexpr int kClientHeight = 10965;

// A caption set into the top line of the border, as the layout expects.
const QString kFrameStyle = QStringLiteral(
    "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0 2px; }"
    "QGroupBox, QCheckBox, QLabel { background-color: palette(highlighted-text); }");
const QString kLineSettings = QStringLiteral("9600,N,8,1");

QFont gulim(double points)
{
    QFont font(QStringLiteral("굴림"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

struct FramePlace
{
    const char *caption;
    int top;
    int height;
};

constexpr std::array<FramePlace, kRowCount> kFrames{{{"STAGE 1", 1320, 1095},
                                                    {"STAGE 2", 2520, 1095},
                                                    {"STAGE 3", 3720, 1215},
                                                    {"STAGE 4", 5040, 1095},
                                                    {"STAGE 5", 6240, 1095},
                                                    {"DELAY", 7440, 1095}}};

struct BoxPlace
{
    const char16_t *caption;
    int left;
    int top;
    int width;
};

constexpr std::array<BoxPlace, kRelayCount> kRelayBoxes{{{u"릴레이_1", 3840, 240, 1335},
                                                        {u"릴레이_2", 5400, 240, 1335},
                                                        {u"릴레이_3", 6840, 240, 1335},
                                                        {u"릴레이_4", 3840, 720, 1455},
                                                        {u"릴레이_5", 5400, 720, 1335},
                                                        {u"내부릴레이", 6840, 720, 1575}}};

QLabel *label(const QString &caption, QRect geometry, QWidget *parent)
{
    auto *l = new QLabel(caption, parent);
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QLineEdit *numberField(const QString &text, QRect geometry, QWidget *parent)
{
    auto *field = new QLineEdit(text, parent);
    field->setGeometry(geometry);
    field->setFont(gulim(14.25));
    field->setAlignment(Qt::AlignCenter);
    field->setTextMargins(0, 0, 0, 0);
    field->setMaxLength(std::numeric_limits<int>::max());
    return field;
}

QPushButton *button(const QString &caption, QRect geometry, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

} // namespace

frmQuarlin::frmQuarlin(ComPathResolver comPaths, QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("ZEL Time Table"));
    MSComm1 = new MSComm(std::move(comPaths), this);

    auto *client = new QWidget(this);
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::HighlightedText));
    client->setPalette(palette);
    client->setAutoFillBackground(true);
    client->setMinimumSize(tw(kClientWidth), tw(kClientHeight));
    // On a screen too small for the layout the client area scrolls; Tab
    // scrolls the control it reaches into view. The area itself takes no focus.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->setWidget(client);
    setCentralWidget(scroll);

    createBanner(client);
    Label7 = label(QStringLiteral("COM. Port No."), twipsRect(240, 960, 1335, 255), client);
    Combo1 = new QComboBox(client);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QStringLiteral("Combo1"));
    Combo1->setGeometry(twipsRect(1680, 840, 1215, 300));
    createFrames(client);
    createButtons(client);
    createMenu();
    setTabOrder();
    connectHandlers();
    nameForScreenReaders();

    resize(layoutSize());
    txt_1_hr[0]->setFocus();
    Form_Load();
}

frmQuarlin::~frmQuarlin() = default;

QRect fitFrame(const QRect &room, const QMargins &frame, const QRect &client, const QSize &layout, int bar)
{
    const QRect inside = room.marginsRemoved(frame);
    if (inside.contains(client))
        return client;
    // A side too short for the layout scrolls: the other side makes room for its bar.
    QSize size = client.size();
    const bool tall = layout.height() > inside.height();
    if (tall)
        size.setWidth(std::max(size.width(), layout.width() + bar));
    if (layout.width() + (tall ? bar : 0) > inside.width())
        size.setHeight(std::max(size.height(), layout.height() + bar));
    size = size.boundedTo(inside.size());
    const QPoint at(std::clamp(client.x(), inside.left(), inside.right() + 1 - size.width()),
                    std::clamp(client.y(), inside.top(), inside.bottom() + 1 - size.height()));
    return {at, size};
}

void frmQuarlin::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    // Where the window goes is the window manager's choice, made when it maps
    // the window: only the size is set now, as if it sat in the free area's corner.
    const QMargins frame = windowHandle()->frameMargins();
    const QRect room = screen()->availableGeometry();
    resize(fitted(QRect(room.topLeft() + QPoint(frame.left(), frame.top()), size())).size());
    // An X11 window manager tells the title bar's height only once it has
    // framed the window, before the window is first exposed.
    m_placing = true;
    windowHandle()->installEventFilter(this);
}

bool frmQuarlin::eventFilter(QObject *watched, QEvent *event)
{
    if (m_placing && watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        m_placing = false;
        const QRect target = fitted(geometry());
        if (target != geometry())
            setGeometry(target);
    }
    return QMainWindow::eventFilter(watched, event);
}

QRect frmQuarlin::fitted(const QRect &client) const
{
    QMargins frame = windowHandle()->frameMargins();
    // At a fractional scale the frame and the window are each rounded to whole
    // pixels, and together may end a pixel further out: one more on each side.
    const qreal ratio = devicePixelRatio();
    if (!frame.isNull() && ratio != std::floor(ratio))
        frame += QMargins(1, 1, 1, 1);
    return fitFrame(screen()->availableGeometry(), frame, client, layoutSize(),
                    style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
}

QSize frmQuarlin::layoutSize() const
{
    return {tw(kClientWidth), tw(kClientHeight) + menuBar()->sizeHint().height()};
}

void frmQuarlin::createBanner(QWidget *client)
{
    // Back to front: the grey box, the two titles, the yellow bar on top.
    Shape4 = new ShapeBox(QColor(128, 128, 128), QColor(96, 96, 96), 2, client);
    Shape4->setGeometry(twipsRect(120, 120, 8895, 615));
    Label1 = label(QStringLiteral("Quarlin Loader  Ver. 1.0"), twipsRect(480, 120, 6255, 495), client);
    Label1->setFont(gulim(20.25));
    Label2 = label(QStringLiteral("Tesmoren"), twipsRect(6600, 360, 1815, 375), client);
    Label2->setFont(gulim(9.75));
    for (QLabel *title : {Label1, Label2}) {
        QPalette palette = title->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        title->setPalette(palette);
    }
    Shape17 = new ShapeBox(QColor(255, 255, 192), QColor(255, 255, 192), 0, client);
    Shape17->setGeometry(twipsRect(360, 600, 8175, 45));
}

void frmQuarlin::createFrames(QWidget *client)
{
    for (int row = 0; row < kRowCount; ++row) {
        const FramePlace &place = kFrames[static_cast<std::size_t>(row)];
        auto *frame = new QGroupBox(QString::fromLatin1(place.caption), client);
        frame->setStyleSheet(kFrameStyle);
        frame->setGeometry(twipsRect(240, place.top, 8775, place.height));
        Frame1[static_cast<std::size_t>(row)] = frame;
        createRow(row);
        if (row < kStageCount)
            createRelayBoxes(row);
    }
    createDelayExtras();
}

void frmQuarlin::createRow(int row)
{
    const auto i = static_cast<std::size_t>(row);
    QWidget *frame = Frame1[i];
    Label3[i] = label(QStringLiteral("분"), twipsRect(1320, 240, 855, 375), frame);
    Label4[i] = label(QStringLiteral("초"), twipsRect(2160, 240, row == 0 ? 855 : 495, 375), frame);
    Label5[i] = label(QStringLiteral("1/10 초"), twipsRect(2760, 240, row == 1 ? 615 : 735, 375), frame);
    txt_1_hr[i] = numberField(QStringLiteral("00"), twipsRect(1320, 600, 495, 375), frame);
    Label6[2 * i] = label(QStringLiteral(":"), twipsRect(1920, 600, 255, 375), frame);
    txt_1_min[i] = numberField(QStringLiteral("00"), twipsRect(2160, 600, 495, 375), frame);
    Label6[2 * i + 1] = label(QStringLiteral("."), twipsRect(2640, 600, 255, 375), frame);
    txt_1_sec[i] = numberField(QStringLiteral("0"), twipsRect(2760, 600, 375, 375), frame);
    for (QLabel *separator : {Label6[2 * i], Label6[2 * i + 1]})
        separator->setFont(gulim(18));
}

void frmQuarlin::createRelayBoxes(int stage)
{
    Boxes &boxes = stageBoxes(stage);
    for (std::size_t j = 0; j < kRelayBoxes.size(); ++j) {
        const BoxPlace &place = kRelayBoxes[j];
        boxes[j] = new QCheckBox(QString::fromUtf16(place.caption), Frame1[static_cast<std::size_t>(stage)]);
        boxes[j]->setGeometry(twipsRect(place.left, place.top, place.width, 180));
    }
}

void frmQuarlin::createDelayExtras()
{
    QWidget *frame = Frame1[kDelayRow];
    Label3[6] = label(QStringLiteral("반복횟수"), twipsRect(4560, 240, 855, 375), frame);
    txt_cnt = numberField(QStringLiteral("0000"), twipsRect(4560, 600, 855, 375), frame);
    Label3[7] = label(QStringLiteral("0 : 무한정 반복"), twipsRect(6240, 240, 2175, 375), frame);
    Label3[8] = label(QStringLiteral("n : n번 실행"), twipsRect(6240, 600, 2175, 375), frame);
}

void frmQuarlin::createButtons(QWidget *client)
{
    cmdConnect = button(QStringLiteral("Connect"), twipsRect(360, 8760, 2295, 615), client);
    cmdRead = button(QStringLiteral("Read"), twipsRect(3240, 8760, 2055, 615), client);
    cmdRead->setEnabled(false);
    Command3 = button(QStringLiteral("Test Set"), twipsRect(6120, 8760, 1335, 615), client);
    Command4 = button(QStringLiteral("Test Reset"), twipsRect(7680, 8760, 1215, 615), client);
    Command1 = button(QStringLiteral("DownLoad"), twipsRect(360, 9600, 4935, 1095), client);
    Command2 = button(QStringLiteral("Exit"), twipsRect(6120, 9600, 2775, 1095), client);
}

void frmQuarlin::createMenu()
{
    // Plain top-level items with nothing behind them.
    mnuRead = menuBar()->addAction(QStringLiteral("Program Read"));
    mnuWrite = menuBar()->addAction(QStringLiteral("Program Write"));
    mnuSetting = menuBar()->addAction(QStringLiteral("Setting"));
}

void frmQuarlin::setTabOrder()
{
    std::vector<QWidget *> order;
    for (std::size_t row = 0; row < kRowCount; ++row)
        order.insert(order.end(), {txt_1_hr[row], txt_1_min[row], txt_1_sec[row]});
    order.insert(order.end(), {txt_cnt, Command1});
    order.insert(order.end(), chk_st1.begin(), chk_st1.end());
    for (int stage = 1; stage < kStageCount; ++stage) {
        const Boxes &boxes = stageBoxes(stage);
        order.insert(order.end(), boxes.rbegin(), boxes.rend());
    }
    order.insert(order.end(), {Command2, Combo1, cmdConnect, cmdRead, Command3, Command4});
    for (std::size_t k = 1; k < order.size(); ++k)
        QWidget::setTabOrder(order[k - 1], order[k]);
}

void frmQuarlin::connectHandlers()
{
    connect(cmdConnect, &QPushButton::clicked, this, [this] { guarded([this] { cmdConnect_Click(); }); });
    connect(Command1, &QPushButton::clicked, this, [this] { guarded([this] { Command1_Click(); }); });
    connect(Command2, &QPushButton::clicked, this, [this] { guarded([this] { Command2_Click(); }); });
    connect(Command3, &QPushButton::clicked, this, [this] { guarded([this] { Command3_Click(); }); });
    connect(Command4, &QPushButton::clicked, this, [this] { guarded([this] { Command4_Click(); }); });
    for (std::size_t row = 0; row < kRowCount; ++row) {
        const auto index = static_cast<short>(row);
        connect(txt_1_hr[row], &QLineEdit::textChanged, this,
                [this, index] { guarded([this, index] { txt_1_hr_Change(index); }); });
        connect(txt_1_min[row], &QLineEdit::textChanged, this,
                [this, index] { guarded([this, index] { txt_1_min_Change(index); }); });
    }
    // Typing into the list's own field leaves no entry selected.
    connect(Combo1->lineEdit(), &QLineEdit::textEdited, this, [this] { m_comboTyped = true; });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { m_comboTyped = false; });
    connect(Combo1, &QComboBox::activated, this, [this] { m_comboTyped = false; });
    connect(MSComm1, &MSComm::OnComm, this, [this] { guarded([this] { MSComm1_OnComm(); }); });
    connect(MSComm1, &MSComm::Arrived, this, [this] { guarded([this] { receiveArrived(); }); });
    // Queued: the loss is noticed inside the port's own notification.
    connect(
        MSComm1, &MSComm::DeviceLost, this,
        [this](const QString &device) {
            if (MSComm1->takeUntoldLoss())
                showMessage(this, messages::deviceLost(device));
        },
        Qt::QueuedConnection);
}

void frmQuarlin::nameForScreenReaders()
{
    // Every field of a frame would otherwise be read out as the frame's caption.
    for (std::size_t row = 0; row < kRowCount; ++row) {
        const QString frame = Frame1[row]->title() + QLatin1Char(' ');
        txt_1_hr[row]->setAccessibleName(frame + Label3[row]->text());
        txt_1_min[row]->setAccessibleName(frame + Label4[row]->text());
        txt_1_sec[row]->setAccessibleName(frame + Label5[row]->text());
    }
    txt_cnt->setAccessibleName(Label3[6]->text());
    // On Linux a combo box is named by its value; its label comes through the buddy.
    Label7->setBuddy(Combo1);
    Combo1->setAccessibleName(Label7->text());
    Combo1->lineEdit()->setAccessibleName(Label7->text());
}

void frmQuarlin::setTransferButtonsEnabled(bool enabled)
{
    Command1->setEnabled(enabled);
    Command3->setEnabled(enabled);
    Command4->setEnabled(enabled);
}

template <typename Handler>
void frmQuarlin::guarded(Handler handler)
{
    try {
        handler();
    } catch (const CommError &error) {
        showMessage(this, messages::describe(error));
    } catch (const FieldOverflow &overflow) {
        showMessage(this, messages::describe(overflow));
    } catch (...) {
        showMessage(this, messages::unknownFailure());
    }
}

frmQuarlin::Boxes &frmQuarlin::stageBoxes(int stage)
{
    const std::array<Boxes *, kStageCount> all{&chk_st1, &chk_st2, &chk_st3, &chk_st4, &chk_st5};
    return *all[static_cast<std::size_t>(stage)];
}

void frmQuarlin::Form_Load()
{
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    for (int n = kFirstComPort; n <= kLastComPort; ++n)
        Combo1->addItem(QString::number(n));
    Combo1->setCurrentIndex(0);
    m_comboTyped = false;
    setTransferButtonsEnabled(false);
}

void frmQuarlin::Command2_Click()
{
    close();
}

void frmQuarlin::txt_1_hr_Change(short index)
{
    QLineEdit *field = txt_1_hr[static_cast<std::size_t>(index)];
    if (const auto text = limitedText(field->text(), kMinutesLimit))
        field->setText(*text);
}

void frmQuarlin::txt_1_min_Change(short index)
{
    QLineEdit *field = txt_1_min[static_cast<std::size_t>(index)];
    if (const auto text = limitedText(field->text(), kSecondsLimit))
        field->setText(*text);
}

void frmQuarlin::cmdConnect_Click()
{
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    OpenCommPort();
}

int frmQuarlin::Combo1ListIndex() const
{
    return m_comboTyped ? -1 : Combo1->currentIndex();
}

void frmQuarlin::OpenCommPort()
{
    // Each step may fail on its own and is passed over: only the open test
    // below decides, and the component keeps the reason for the message.
    const auto step = [](auto action) {
        try {
            action();
        } catch (const std::exception &) {
        }
    };

    bool success = true;
    step([this] { MSComm1->setPortOpen(false); });
    step([this] { MSComm1->setCommPort(static_cast<short>(Combo1ListIndex() + 1)); });
    step([this] { MSComm1->setSettings(kLineSettings); });
    step([this] { MSComm1->setPortOpen(true); });
    QCoreApplication::processEvents();

    if (!MSComm1->PortOpen()) {
        success = false;
        const auto &failure = MSComm1->openFailure();
        showMessage(this, failure ? messages::describe(*failure)
                                  : messages::portNotOpened(MSComm1->deviceLine(), messages::unknownFailure()));
    }
    if (success) {
        showMessage(this, messages::portOpened(MSComm1->deviceLine()), messages::kConfirmTitle);
        setTransferButtonsEnabled(true);
    }
    // Whatever came in while the operator read the message is no reply to us.
    step([this] { MSComm1->setInBufferCount(0); });
}

TimeTableTexts frmQuarlin::timeTableTexts()
{
    TimeTableTexts texts;
    for (std::size_t row = 0; row < kRowCount; ++row)
        texts.rows[row] = {txt_1_hr[row]->text(), txt_1_min[row]->text(), txt_1_sec[row]->text()};
    for (int stage = 0; stage < kStageCount; ++stage) {
        const Boxes &boxes = stageBoxes(stage);
        for (std::size_t j = 0; j < kRelayCount; ++j)
            texts.relays[static_cast<std::size_t>(stage)][j] = boxes[j]->checkState() == Qt::Checked;
    }
    texts.count = txt_cnt->text();
    return texts;
}

void frmQuarlin::Command1_Click()
{
    // Every value is converted before the first byte goes out, so a value
    // that does not fit sends nothing rather than half a frame.
    const DownloadFrame frame = BuildDownloadFrame(ReadTimeTable(timeTableTexts()));
    MSComm1->requireOpenForSending();

    MSComm1->setInBufferCount(0);
    MSComm1->setOutBufferCount(0);
    MSComm1->Output(QString(QChar(kFrameStart)));
    for (std::size_t at = 1; at + 1 < frame.size(); ++at) {
        Module1::TxByte[0] = static_cast<char>(frame[at]);
        MSComm1->Output(Module1::TxByte);
    }
    MSComm1->Output(QString(QChar(kFrameEnd)));
    MSComm1->waitUntilSent();

    showMessage(this, messages::downloaded(), messages::kConfirmTitle);
}

void frmQuarlin::applyPattern(const TestPattern &pattern)
{
    for (std::size_t row = 0; row < kStageCount; ++row)
        txt_1_min[row]->setText(pattern.secondsText);
    for (const PatternBox &box : kPatternBoxes)
        stageBoxes(box.stage)[static_cast<std::size_t>(box.relay)]->setChecked(pattern.checked);
}

void frmQuarlin::Command3_Click()
{
    applyPattern(TestSetPattern());
    Command1_Click();
}

void frmQuarlin::Command4_Click()
{
    applyPattern(TestResetPattern());
    Command1_Click();
}

void frmQuarlin::MSComm1_OnComm()
{
    if (MSComm1->CommEvent() != MSComm::comEvReceive)
        return;
    // From here on every arrival is taken up as it comes, instead of polling.
    MSComm1->setRThreshold(0);
    m_receiving = true;
    receiveArrived();
}

void frmQuarlin::receiveArrived()
{
    if (!m_receiving || !MSComm1->PortOpen() || MSComm1->InBufferCount() <= 0)
        return;
    if (m_receiver.feed(MSComm1->Input()))
        MSComm1->setInBufferCount(0);
}
