#include "app/Look.h"
#include "app/frmQuarlin.h"
#include "app/ShapeBox.h"
#include "tests/BoxCatcher.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTest>

namespace {

QRect tw(int l, int t, int w, int h)
{
    return {l / 15, t / 15, w / 15, h / 15};
}

QList<QWidget *> allControls(frmQuarlin &w)
{
    QList<QWidget *> all{w.Shape4, w.Label1, w.Label2, w.Shape17, w.Label7, w.Combo1, w.txt_cnt, w.cmdConnect,
                         w.cmdRead, w.Command1, w.Command2, w.Command3, w.Command4};
    for (int row = 0; row < kRowCount; ++row) {
        const auto i = static_cast<std::size_t>(row);
        all << w.Frame1[i] << w.txt_1_hr[i] << w.txt_1_min[i] << w.txt_1_sec[i];
        if (row < kStageCount)
            for (QCheckBox *box : w.stageBoxes(row))
                all << box;
    }
    return all;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startsAsLoaded();
    void controlsSitWhereTheLayoutSays();
    void fonts();
    void tabOrder();
    void resizingMovesNothing();
    void menusDoNothing();
    void limitsHoldWhileTyping_data();
    void limitsHoldWhileTyping();
    void limitsHoldWhenCodeSetsTheText();
    void exitClosesTheWindow();
};

void TestWindow::initTestCase()
{
    QVERIFY2(!installLook().isEmpty(), "no Korean face installed (fonts-nanum)");
}

void TestWindow::startsAsLoaded()
{
    frmQuarlin w;
    QCOMPARE(w.windowTitle(), QStringLiteral("ZEL Time Table"));
    QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));
    QCOMPARE(w.Combo1->count(), 8);
    for (int k = 0; k < 8; ++k)
        QCOMPARE(w.Combo1->itemText(k), QString::number(k + 1));
    for (std::size_t row = 0; row < kRowCount; ++row) {
        QCOMPARE(w.txt_1_hr[row]->text(), QStringLiteral("00"));
        QCOMPARE(w.txt_1_min[row]->text(), QStringLiteral("00"));
        QCOMPARE(w.txt_1_sec[row]->text(), QStringLiteral("0"));
    }
    QCOMPARE(w.txt_cnt->text(), QStringLiteral("0000"));
    for (int stage = 0; stage < kStageCount; ++stage)
        for (QCheckBox *box : w.stageBoxes(stage))
            QVERIFY(!box->isChecked());
    QVERIFY(w.cmdConnect->isEnabled());
    QVERIFY(w.Command2->isEnabled());
    for (QPushButton *b : {w.cmdRead, w.Command1, w.Command3, w.Command4})
        QVERIFY(!b->isEnabled());
    QCOMPARE(w.Label1->text(), QStringLiteral("Quarlin Loader  Ver. 1.0"));
    QCOMPARE(w.Label3[7]->text(), QStringLiteral("0 : 무한정 반복"));
    QCOMPARE(w.Label3[8]->text(), QStringLiteral("n : n번 실행"));
    QCOMPARE(w.chk_st5[5]->text(), QStringLiteral("내부릴레이"));
    QCOMPARE(w.Frame1[5]->title(), QStringLiteral("DELAY"));

    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), w.txt_1_hr[0]);
}

void TestWindow::controlsSitWhereTheLayoutSays()
{
    frmQuarlin w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.centralWidget()->size(), QSize(607, 731));
    QCOMPARE(w.centralWidget()->y(), w.menuBar()->height());

    QCOMPARE(w.Shape4->geometry(), tw(120, 120, 8895, 615));
    QCOMPARE(w.Label1->geometry(), tw(480, 120, 6255, 495));
    QCOMPARE(w.Label2->geometry(), tw(6600, 360, 1815, 375));
    QCOMPARE(w.Shape17->geometry(), tw(360, 600, 8175, 45));
    QCOMPARE(w.Label7->geometry(), tw(240, 960, 1335, 255));
    QCOMPARE(w.Combo1->geometry(), tw(1680, 840, 1215, 300));
    QCOMPARE(w.cmdConnect->geometry(), tw(360, 8760, 2295, 615));
    QCOMPARE(w.cmdRead->geometry(), tw(3240, 8760, 2055, 615));
    QCOMPARE(w.Command3->geometry(), tw(6120, 8760, 1335, 615));
    QCOMPARE(w.Command4->geometry(), tw(7680, 8760, 1215, 615));
    QCOMPARE(w.Command1->geometry(), tw(360, 9600, 4935, 1095));
    QCOMPARE(w.Command2->geometry(), tw(6120, 9600, 2775, 1095));

    const int tops[] = {1320, 2520, 3720, 5040, 6240, 7440};
    for (std::size_t row = 0; row < kRowCount; ++row) {
        QCOMPARE(w.Frame1[row]->geometry(), tw(240, tops[row], 8775, row == 2 ? 1215 : 1095));
        QCOMPARE(w.txt_1_hr[row]->parentWidget(), w.Frame1[row]);
        QCOMPARE(w.txt_1_hr[row]->geometry(), tw(1320, 600, 495, 375));
        QCOMPARE(w.txt_1_min[row]->geometry(), tw(2160, 600, 495, 375));
        QCOMPARE(w.txt_1_sec[row]->geometry(), tw(2760, 600, 375, 375));
        QCOMPARE(w.Label6[2 * row]->geometry(), tw(1920, 600, 255, 375));
        QCOMPARE(w.Label6[2 * row + 1]->geometry(), tw(2640, 600, 255, 375));
        QCOMPARE(w.Label4[row]->width(), (row == 0 ? 855 : 495) / 15);
        QCOMPARE(w.Label5[row]->width(), (row == 1 ? 615 : 735) / 15);
    }
    const QRect boxes[] = {tw(3840, 240, 1335, 180), tw(5400, 240, 1335, 180), tw(6840, 240, 1335, 180),
                           tw(3840, 720, 1455, 180), tw(5400, 720, 1335, 180), tw(6840, 720, 1575, 180)};
    for (int stage = 0; stage < kStageCount; ++stage) {
        for (std::size_t j = 0; j < kRelayCount; ++j) {
            QCOMPARE(w.stageBoxes(stage)[j]->geometry(), boxes[j]);
            QCOMPARE(w.stageBoxes(stage)[j]->parentWidget(), w.Frame1[static_cast<std::size_t>(stage)]);
        }
    }
    QCOMPARE(w.txt_cnt->geometry(), tw(4560, 600, 855, 375));
    QCOMPARE(w.Label3[6]->geometry(), tw(4560, 240, 855, 375));
    QCOMPARE(w.Label3[7]->geometry(), tw(6240, 240, 2175, 375));

    // The banner back to front: box, titles, accent bar.
    const QObjectList stack = w.centralWidget()->children();
    QVERIFY(stack.indexOf(w.Shape4) < stack.indexOf(w.Label1));
    QVERIFY(stack.indexOf(w.Label2) < stack.indexOf(w.Shape17));

    const QColor background = w.centralWidget()->palette().color(QPalette::Window);
    QCOMPARE(background, QApplication::palette().color(QPalette::HighlightedText));
    QCOMPARE(w.chk_st3[2]->palette().color(QPalette::Window), background);
    QCOMPARE(w.Label1->palette().color(QPalette::WindowText), QColor(Qt::white));
}

void TestWindow::fonts()
{
    frmQuarlin w;
    const QFontInfo field(w.txt_1_min[3]->font());
    QVERIFY(field.bold());
    QCOMPARE(field.family(), QStringLiteral("NanumGothic"));
    QCOMPARE(field.pixelSize(), 19);
    QCOMPARE(QFontInfo(w.Label1->font()).pixelSize(), 27);
    QCOMPARE(QFontInfo(w.Label6[0]->font()).pixelSize(), 24);
    QVERIFY(QFontInfo(w.Label2->font()).bold());
    // Captions without a font of their own use the default, also Korean.
    QCOMPARE(QFontInfo(w.chk_st1[0]->font()).family(), QStringLiteral("NanumGothic"));
    // The 12-pixel relay boxes are not cut.
    for (QCheckBox *box : w.chk_st5) {
        const QRect ink = QFontMetrics(box->font()).tightBoundingRect(box->text());
        QVERIFY2(ink.height() <= box->height(), qPrintable(box->text()));
    }
    QVERIFY(w.chk_st1[0]->style()->pixelMetric(QStyle::PM_IndicatorHeight) <= w.chk_st1[0]->height());
}

void TestWindow::tabOrder()
{
    frmQuarlin w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    QList<QWidget *> expected;
    for (std::size_t row = 0; row < kRowCount; ++row)
        expected << w.txt_1_hr[row] << w.txt_1_min[row] << w.txt_1_sec[row];
    expected << w.txt_cnt; // "DownLoad" is disabled and skipped
    for (QCheckBox *box : w.chk_st1)
        expected << box;
    for (int stage = 1; stage < kStageCount; ++stage)
        for (int j = kRelayCount - 1; j >= 0; --j)
            expected << w.stageBoxes(stage)[static_cast<std::size_t>(j)];
    expected << w.Command2 << w.Combo1 << w.cmdConnect << w.txt_1_hr[0]; // Read and the tests skipped, then wrap

    QCOMPARE(QApplication::focusWidget(), w.txt_1_hr[0]);
    for (int k = 1; k < expected.size(); ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected[k]);
    }

    w.Command1->setEnabled(true);
    w.Command3->setEnabled(true);
    w.txt_cnt->setFocus();
    QTest::keyClick(w.txt_cnt, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.Command1);
    w.cmdConnect->setFocus();
    QTest::keyClick(w.cmdConnect, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.Command3);
}

void TestWindow::resizingMovesNothing()
{
    frmQuarlin w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QList<QRect> before;
    for (QWidget *c : allControls(w))
        before << c->geometry();
    for (const QSize size : {QSize(300, 200), QSize(1200, 1000)}) {
        w.resize(size);
        QCoreApplication::processEvents();
        QList<QRect> after;
        for (QWidget *c : allControls(w))
            after << c->geometry();
        QCOMPARE(after, before);
    }
}

void TestWindow::menusDoNothing()
{
    frmQuarlin w;
    QCOMPARE(w.menuBar()->actions().size(), 3);
    QCOMPARE(w.mnuRead->text(), QStringLiteral("Program Read"));
    QCOMPARE(w.mnuWrite->text(), QStringLiteral("Program Write"));
    QCOMPARE(w.mnuSetting->text(), QStringLiteral("Setting"));
    BoxCatcher catcher;
    for (QAction *item : {w.mnuRead, w.mnuWrite, w.mnuSetting}) {
        QVERIFY(item->isEnabled());
        QVERIFY(item->menu() == nullptr);
        item->trigger();
    }
    QCoreApplication::processEvents();
    QVERIFY(catcher.boxes.isEmpty());
    QVERIFY(w.isVisible() == false && !w.Command1->isEnabled());
}

void TestWindow::limitsHoldWhileTyping_data()
{
    QTest::addColumn<int>("field"); // 0 minutes, 1 seconds, 2 tenths
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("minutes 100") << 0 << 0 << "100" << "99";
    QTest::newRow("minutes 250 in delay row") << 0 << 5 << "250" << "99";
    QTest::newRow("minutes 99.5") << 0 << 2 << "99.5" << "99";
    QTest::newRow("minutes 9") << 0 << 1 << "9" << "9";
    QTest::newRow("minutes -7") << 0 << 3 << "-7" << "-7";
    QTest::newRow("minutes 12abc") << 0 << 4 << "12abc" << "12abc";
    QTest::newRow("seconds 60") << 1 << 0 << "60" << "59";
    QTest::newRow("seconds 75abc typed") << 1 << 5 << "75abc" << "59abc";
    QTest::newRow("seconds 059") << 1 << 3 << "059" << "059";
    QTest::newRow("seconds blank 7") << 1 << 2 << " 7" << " 7";
    QTest::newRow("tenths unlimited") << 2 << 1 << "25" << "25";
}

void TestWindow::limitsHoldWhileTyping()
{
    QFETCH(int, field);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    frmQuarlin w;
    const auto r = static_cast<std::size_t>(row);
    QLineEdit *edit = std::array{w.txt_1_hr[r], w.txt_1_min[r], w.txt_1_sec[r]}[static_cast<std::size_t>(field)];
    edit->clear();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);

    // Nothing else moved.
    for (std::size_t other = 0; other < kRowCount; ++other) {
        for (QLineEdit *e : {w.txt_1_hr[other], w.txt_1_min[other], w.txt_1_sec[other]})
            if (e != edit)
                QVERIFY(e->text() == QStringLiteral("00") || e->text() == QStringLiteral("0"));
    }
}

void TestWindow::limitsHoldWhenCodeSetsTheText()
{
    frmQuarlin w;
    int changes = 0;
    connect(w.txt_1_min[4], &QLineEdit::textChanged, this, [&] { ++changes; });
    w.txt_1_min[4]->setText(QStringLiteral("75"));
    QCOMPARE(w.txt_1_min[4]->text(), QStringLiteral("59"));
    QCOMPARE(changes, 2); // the text set, then the one nested replacement
    w.txt_1_hr[5]->setText(QString(100000, u'9'));
    QCOMPARE(w.txt_1_hr[5]->text(), QStringLiteral("99"));
    w.txt_1_min[1]->selectAll();
    w.txt_1_min[1]->insert(QStringLiteral("75abc")); // a paste
    QCOMPARE(w.txt_1_min[1]->text(), QStringLiteral("59"));
    w.txt_cnt->setText(QStringLiteral("123456"));
    QCOMPARE(w.txt_cnt->text(), QStringLiteral("123456"));
}

void TestWindow::exitClosesTheWindow()
{
    frmQuarlin w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    BoxCatcher catcher;
    QApplication::setQuitOnLastWindowClosed(true);
    QTimer::singleShot(0, w.Command2, [&] { QTest::mouseClick(w.Command2, Qt::LeftButton); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!w.isVisible());
    QVERIFY(catcher.boxes.isEmpty());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
