#include "app/Look.h"
#include "serial/MSComm.h"
#include "tests/WindowFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString kDownloaded = QStringLiteral("설정값이 다운로드 되었습니다");

// One whole download: the exact bytes on the line and the one box.
QByteArray download(WindowFixture &f, QPushButton *button)
{
    const QList<SeenBox> boxes = f.click(button);
    const QByteArray sent = f.readFrame();
    if (boxes.size() != 1 || boxes[0].title != QStringLiteral("확  인") || boxes[0].text != kDownloaded
        || boxes[0].buttons != 1 || boxes[0].hasIcon)
        return QByteArray("box: ") + (boxes.isEmpty() ? QString("none") : boxes[0].text).toUtf8();
    return sent;
}

void type(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void init();
    void cleanup() { f.reset(); }

    void startFrame();
    void stageOneExample();
    void masksFromTheBoxes();
    void typedValuesRoundHalfEven();
    void limitsAppliedWhileTyping();
    void sendsAgainOnEveryPress();
    void refusedFrameSendsNothing_data();
    void refusedFrameSendsNothing();
    void testSetAndReset();
    void testPatternKeepsFieldsOutsideIt();

private:
    std::unique_ptr<WindowFixture> f;
};

void TestDownload::init()
{
    f = std::make_unique<WindowFixture>();
    QVERIFY(f->pty->isValid());
    const QList<SeenBox> boxes = f->connect();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("확  인"));
    QVERIFY(f->window.Command1->isEnabled());
}

void TestDownload::startFrame()
{
    QCOMPARE(download(*f, f->window.Command1), ::startFrame());
}

void TestDownload::stageOneExample()
{
    frmQuarlin &w = f->window;
    type(w.txt_1_hr[0], "1");
    type(w.txt_1_min[0], "30");
    type(w.txt_1_sec[0], "5");
    QTest::mouseClick(w.chk_st1[0], Qt::LeftButton);
    QTest::mouseClick(w.chk_st1[2], Qt::LeftButton);
    QTest::mouseClick(w.chk_st1[5], Qt::LeftButton);
    type(w.txt_cnt, "300");
    QCOMPARE(download(*f, w.Command1),
             frameBytes({0x53, 0x01, 0x1E, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x29, 0, 0, 0, 0, 0, 0, 0,
                         0x01, 0x2C, 0x0D}));
}

void TestDownload::masksFromTheBoxes()
{
    frmQuarlin &w = f->window;
    for (QCheckBox *box : w.chk_st2)
        box->setChecked(true);
    w.chk_st3[5]->setChecked(true);
    w.chk_st5[4]->setChecked(true);
    QByteArray expected = ::startFrame();
    expected[17] = char(0xF9);
    expected[18] = char(0x01);
    expected[20] = char(0x80);
    QCOMPARE(download(*f, w.Command1), expected);
}

void TestDownload::typedValuesRoundHalfEven()
{
    frmQuarlin &w = f->window;
    type(w.txt_1_hr[1], "6.5");
    type(w.txt_1_min[1], "7.5");
    type(w.txt_1_sec[1], "25");
    type(w.txt_1_hr[2], "abc");
    type(w.txt_1_min[2], "12abc");
    type(w.txt_1_sec[5], "2.5");
    type(w.txt_cnt, "13.5");
    QByteArray expected = ::startFrame();
    expected[4] = 6;
    expected[5] = 8;
    expected[6] = 0x19;
    expected[7] = 0;
    expected[8] = 12;
    expected[23] = 2;
    expected[25] = 14;
    QCOMPARE(download(*f, w.Command1), expected);
}

void TestDownload::limitsAppliedWhileTyping()
{
    frmQuarlin &w = f->window;
    type(w.txt_1_min[3], "75");
    type(w.txt_1_hr[5], "100");
    QByteArray expected = ::startFrame();
    expected[11] = 0x3B;
    expected[21] = 99;
    QCOMPARE(download(*f, w.Command1), expected);
}

void TestDownload::sendsAgainOnEveryPress()
{
    QCOMPARE(download(*f, f->window.Command1), ::startFrame());
    QCOMPARE(download(*f, f->window.Command1), ::startFrame());
    QVERIFY(f->pty->readFor(50).isEmpty());
}

void TestDownload::refusedFrameSendsNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("field"); // 0 minutes, 1 seconds, 2 tenths, 3 count
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("named");

    QTest::newRow("negative minutes") << 1 << 0 << "-3" << "STAGE 2 분 값 \"-3\"";
    QTest::newRow("tenths 256") << 4 << 2 << "256" << "STAGE 5 1/10 초 값 \"256\"";
    QTest::newRow("delay tenths 300") << 5 << 2 << "300" << "DELAY 1/10 초 값 \"300\"";
    QTest::newRow("count 65536") << 5 << 3 << "65536" << "반복횟수 값 \"65536\"";
    QTest::newRow("negative count") << 5 << 3 << "-1" << "반복횟수 값 \"-1\"";
}

void TestDownload::refusedFrameSendsNothing()
{
    QFETCH(int, row);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, named);
    frmQuarlin &w = f->window;
    // A valid stage 1 that would have gone out first, had the frame been written byte by byte.
    type(w.txt_1_hr[0], "5");
    const auto r = static_cast<std::size_t>(row);
    QLineEdit *edit = std::array{w.txt_1_hr[r], w.txt_1_min[r], w.txt_1_sec[r], w.txt_cnt}[static_cast<std::size_t>(field)];
    edit->setText(text);

    const QList<SeenBox> boxes = f->click(w.Command1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Quarlin_01"));
    QVERIFY2(boxes[0].text.startsWith(named), qPrintable(boxes[0].text));
    QVERIFY(boxes[0].text.contains(QStringLiteral("아무것도 보내지 않았습니다")));
    QCOMPARE(f->pty->readFor(100), QByteArray());
}

void TestDownload::testSetAndReset()
{
    frmQuarlin &w = f->window;
    const QByteArray set = frameBytes({0x53, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0x08, 0x10, 0x20, 0x40,
                                       0x81, 0, 0, 0, 0, 0, 0x0D});
    QCOMPARE(download(*f, w.Command3), set);
    for (std::size_t row = 0; row < kStageCount; ++row)
        QCOMPARE(w.txt_1_min[row]->text(), QStringLiteral("1"));
    QCOMPARE(w.txt_1_min[kDelayRow]->text(), QStringLiteral("00"));
    QCOMPARE(download(*f, w.Command3), set); // twice in a row, the same

    QCOMPARE(download(*f, w.Command4), ::startFrame());
    for (std::size_t row = 0; row < kStageCount; ++row)
        QCOMPARE(w.txt_1_min[row]->text(), QStringLiteral("0"));
    QVERIFY(!w.chk_st5[5]->isChecked());
}

void TestDownload::testPatternKeepsFieldsOutsideIt()
{
    frmQuarlin &w = f->window;
    w.chk_st1[1]->setChecked(true);
    w.chk_st4[0]->setChecked(true);
    type(w.txt_1_hr[1], "5");
    type(w.txt_1_sec[1], "3");
    type(w.txt_1_min[kDelayRow], "9");
    type(w.txt_cnt, "300");

    const QByteArray set = download(*f, w.Command3);
    QCOMPARE(set.size(), 27);
    QCOMPARE(static_cast<std::uint8_t>(set[16]), 0x18);
    QCOMPARE(set.mid(4, 3), frameBytes({5, 1, 3}));
    QCOMPARE(static_cast<std::uint8_t>(set[19]), 0x48);
    QCOMPARE(set.mid(21, 5), frameBytes({0, 9, 0, 0x01, 0x2C}));

    const QByteArray reset = download(*f, w.Command4);
    QCOMPARE(static_cast<std::uint8_t>(reset[16]), 0x10);
    QCOMPARE(static_cast<std::uint8_t>(reset[19]), 0x08);
    QCOMPARE(reset.mid(4, 3), frameBytes({5, 0, 3}));
    QCOMPARE(reset.mid(24, 2), frameBytes({0x01, 0x2C}));
}

QTEST_MAIN(TestDownload)
#include "tst_download.moc"
