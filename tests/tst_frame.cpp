#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"
#include "tests/WindowFixture.h"

#include <QTest>

namespace {

TimeTableTexts startTexts()
{
    TimeTableTexts texts;
    for (auto &row : texts.rows)
        row = {QStringLiteral("00"), QStringLiteral("00"), QStringLiteral("0")};
    texts.count = QStringLiteral("0000");
    return texts;
}

QByteArray frameOf(const TimeTableTexts &texts)
{
    const DownloadFrame frame = BuildDownloadFrame(ReadTimeTable(texts));
    return QByteArray(reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size()));
}

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void startFrame();
    void stageOneExample();
    void masks_data();
    void masks();
    void count_data();
    void count();
    void fieldRounding_data();
    void fieldRounding();
    void refusals_data();
    void refusals();
};

void TestFrame::startFrame()
{
    QCOMPARE(frameOf(startTexts()), QByteArray("S") + QByteArray(25, '\0') + QByteArray("\r"));
}

void TestFrame::stageOneExample()
{
    TimeTableTexts texts = startTexts();
    texts.rows[0] = {QStringLiteral("1"), QStringLiteral("30"), QStringLiteral("5")};
    texts.relays[0] = {true, false, true, false, false, true};
    texts.count = QStringLiteral("300");
    QCOMPARE(frameOf(texts), frameBytes({0x53, 0x01, 0x1E, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x29, 0, 0, 0, 0,
                                    0, 0, 0, 0x01, 0x2C, 0x0D}));
}

void TestFrame::masks_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QList<bool>>("boxes");
    QTest::addColumn<int>("mask");

    QTest::newRow("all six") << 2 << QList<bool>{true, true, true, true, true, true} << 0xF9;
    QTest::newRow("internal only") << 0 << QList<bool>{false, false, false, false, false, true} << 0x01;
    QTest::newRow("relay 5 only") << 4 << QList<bool>{false, false, false, false, true, false} << 0x80;
    QTest::newRow("relay 2 and 4") << 1 << QList<bool>{false, true, false, true, false, false} << 0x50;
}

void TestFrame::masks()
{
    QFETCH(int, stage);
    QFETCH(QList<bool>, boxes);
    QFETCH(int, mask);
    TimeTableTexts texts = startTexts();
    for (std::size_t j = 0; j < kRelayCount; ++j)
        texts.relays[static_cast<std::size_t>(stage)][j] = boxes[static_cast<qsizetype>(j)];
    const QByteArray frame = frameOf(texts);
    for (int k = 0; k < kStageCount; ++k)
        QCOMPARE(static_cast<std::uint8_t>(frame[16 + k]), k == stage ? mask : 0);
}

void TestFrame::count_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");

    QTest::newRow("200") << "200" << 0x00 << 0xC8;
    QTest::newRow("128") << "128" << 0x00 << 0x80;
    QTest::newRow("256") << "256" << 0x01 << 0x00;
    QTest::newRow("65535") << "65535" << 0xFF << 0xFF;
    QTest::newRow("12.5 counts 12") << "12.5" << 0 << 12;
    QTest::newRow("13.5 counts 14") << "13.5" << 0 << 14;
    QTest::newRow("-0.5 counts 0") << "-0.5" << 0 << 0;
    QTest::newRow("empty") << "" << 0 << 0;
}

void TestFrame::count()
{
    QFETCH(QString, text);
    QFETCH(int, high);
    QFETCH(int, low);
    TimeTableTexts texts = startTexts();
    texts.count = text;
    const QByteArray frame = frameOf(texts);
    QCOMPARE(static_cast<std::uint8_t>(frame[24]), high);
    QCOMPARE(static_cast<std::uint8_t>(frame[25]), low);
}

void TestFrame::fieldRounding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");

    QTest::newRow("6.5") << "6.5" << 6;
    QTest::newRow("7.5") << "7.5" << 8;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("abc") << "abc" << 0;
    QTest::newRow("12abc") << "12abc" << 12;
    QTest::newRow("tenths 25 unlimited") << "25" << 0x19;
    QTest::newRow("255") << "255" << 255;
    QTest::newRow("-0") << "-0" << 0;
}

void TestFrame::fieldRounding()
{
    QFETCH(QString, text);
    QFETCH(int, byte);
    TimeTableTexts texts = startTexts();
    texts.rows[3].tenths = text;  // stage 4 tenths: offset 12
    texts.rows[kDelayRow].minutes = text; // delay minutes: offset 21
    const QByteArray frame = frameOf(texts);
    QCOMPARE(static_cast<std::uint8_t>(frame[12]), byte);
    QCOMPARE(static_cast<std::uint8_t>(frame[21]), byte);
}

void TestFrame::refusals_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("negative minutes") << 1 << int(Field::Minutes) << "-3" << "STAGE 2 분 값 \"-3\"";
    QTest::newRow("tenths above 255") << 4 << int(Field::Tenths) << "256" << "STAGE 5 1/10 초 값 \"256\"";
    QTest::newRow("delay seconds -1") << 5 << int(Field::Seconds) << "-1" << "DELAY 초 값 \"-1\"";
    QTest::newRow("count above 65535") << 5 << int(Field::Count) << "65536" << "반복횟수 값 \"65536\"";
    QTest::newRow("negative count") << 5 << int(Field::Count) << "-1" << "반복횟수 값 \"-1\"";
    QTest::newRow("count too large for a double")
        << 5 << int(Field::Count) << QString(500, u'9') << "반복횟수 값 \"999999999999999999999999…\"";
}

void TestFrame::refusals()
{
    QFETCH(int, row);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    TimeTableTexts texts = startTexts();
    auto &r = texts.rows[static_cast<std::size_t>(row)];
    switch (Field(field)) {
    case Field::Minutes: r.minutes = text; break;
    case Field::Seconds: r.seconds = text; break;
    case Field::Tenths: r.tenths = text; break;
    case Field::Count: texts.count = text; break;
    }
    try {
        ReadTimeTable(texts);
        QFAIL("a value that does not fit was accepted");
    } catch (const FieldOverflow &error) {
        QCOMPARE(error.row(), row);
        QCOMPARE(int(error.field()), field);
        const QString what = QString::fromUtf8(error.what());
        QVERIFY2(what.startsWith(message), qPrintable(what));
        QVERIFY(what.contains(Field(field) == Field::Count ? QStringLiteral("0 ~ 65535") : QStringLiteral("0 ~ 255")));
    }
}

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
