#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"

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
    void count_data();
    void count();
    void refusals_data();
    void refusals();
};

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
