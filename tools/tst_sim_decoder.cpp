#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"
#include "tools/FrameDecoder.h"
#include "tools/FrameReport.h"
#include "tools/FrameSplitter.h"
#include "tools/ReplyRecord.h"

#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(TimeTable)
Q_DECLARE_METATYPE(TimeTableTexts)

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = sim::LinePiece::Kind;

Bytes bytesOf(const TimeTable &table)
{
    const DownloadFrame frame = BuildDownloadFrame(table);
    return {frame.begin(), frame.end()};
}

QString timeDiff(const char *what, const sim::ClockTime &got, const RowTime &want)
{
    if (got.minutes == want.minutes && got.seconds == want.seconds && got.tenths == want.tenths)
        return {};
    return QStringLiteral("%1: decoded %2:%3.%4, table has %5:%6.%7")
        .arg(QLatin1String(what))
        .arg(got.minutes).arg(got.seconds).arg(got.tenths)
        .arg(want.minutes).arg(want.seconds).arg(want.tenths);
}

// The first value in which the decoded frame and the table differ; empty when none.
QString difference(const sim::DecodedFrame &got, const TimeTable &want)
{
    static const char *const stageNames[] = {"STAGE 1", "STAGE 2", "STAGE 3", "STAGE 4", "STAGE 5"};
    for (std::size_t k = 0; k < sim::kStages; ++k) {
        if (const QString diff = timeDiff(stageNames[k], got.stages[k], want.stages[k]); !diff.isEmpty())
            return diff;
        if (got.masks[k] != want.masks[k])
            return QStringLiteral("%1 mask: decoded %2, table has %3").arg(QLatin1String(stageNames[k])).arg(got.masks[k]).arg(want.masks[k]);
    }
    if (const QString diff = timeDiff("DELAY", got.delay, want.delay); !diff.isEmpty())
        return diff;
    if (got.count != want.count)
        return QStringLiteral("count: decoded %1, table has %2").arg(got.count).arg(want.count);
    return {};
}

TimeTable testPatternTable()
{
    TimeTable table;
    for (RowTime &stage : table.stages)
        stage.seconds = 1;
    table.masks = {0x08, 0x10, 0x20, 0x40, 0x81};
    return table;
}

TimeTableTexts defaultTexts()
{
    TimeTableTexts texts;
    for (auto &row : texts.rows)
        row = {QStringLiteral("00"), QStringLiteral("00"), QStringLiteral("0")};
    texts.count = QStringLiteral("0000");
    return texts;
}

} // namespace

class TestSimDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesWhatTheEncoderBuilds_data();
    void decodesWhatTheEncoderBuilds();
    void decodesTheWindowsTexts_data();
    void decodesTheWindowsTexts();
    void eachRelayBoxHasItsOwnBit();
    void refusesOtherLengths();
    void flagsBadStartAndEnd();
    void flagsUnusedMaskBits();

    void frameArrivingByteByByte();
    void framesBackToBack();
    void strayBytesBeforeAFrame();
    void strayBytesAloneShownWhenQuiet();
    void cutFrameShownWhenQuiet();
    void wrongEndSearchesOnFromTheNextByte();
    void lineFeedInsteadOfCarriageReturn();

    void reportShowsTheTable();
    void reportShowsFaults();
    void replyRecordIsRPlus24CharactersAndByte4();
};

void TestSimDecoder::decodesWhatTheEncoderBuilds_data()
{
    QTest::addColumn<TimeTable>("table");

    QTest::newRow("all zero") << TimeTable{};
    QTest::newRow("test pattern") << testPatternTable();

    TimeTable varied;
    for (std::size_t k = 0; k < 5; ++k) {
        const auto base = static_cast<std::uint8_t>(10 * (k + 1));
        varied.stages[k] = {base, static_cast<std::uint8_t>(base + 1), static_cast<std::uint8_t>(base + 2)};
    }
    varied.masks = {0x09, 0x18, 0x30, 0x61, 0xC0};
    varied.delay = {91, 92, 93};
    varied.count = 0x1234;
    QTest::newRow("every field different") << varied;

    TimeTable full;
    for (RowTime &stage : full.stages)
        stage = {255, 255, 255};
    full.masks.fill(0xF9);
    full.delay = {255, 255, 255};
    full.count = 65535;
    QTest::newRow("every field at its largest") << full;

    TimeTable framing;
    framing.stages[0] = {0x53, 0x0D, 0x53};
    framing.stages[4] = {0x0D, 0x0D, 0x0D};
    framing.delay = {0x53, 0x53, 0x0D};
    framing.count = 0x530D;
    QTest::newRow("'S' and CR inside") << framing;

    TimeTable count;
    count.count = 256;
    QTest::newRow("count 256 uses the high byte") << count;
}

void TestSimDecoder::decodesWhatTheEncoderBuilds()
{
    QFETCH(TimeTable, table);
    const Bytes bytes = bytesOf(table);

    const auto frame = sim::decodeFrame(bytes);
    QVERIFY(frame);
    QVERIFY(frame->wellFormed());
    const QString diff = difference(*frame, table);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // And the stream framing finds exactly that frame, whatever bytes it holds.
    sim::FrameSplitter splitter;
    const auto pieces = splitter.feed(bytes);
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].kind, Kind::Frame);
    QCOMPARE(pieces[0].bytes, bytes);
    QVERIFY(!splitter.holding());
}

void TestSimDecoder::decodesTheWindowsTexts_data()
{
    QTest::addColumn<TimeTableTexts>("texts");
    QTest::addColumn<TimeTable>("expected");

    QTest::newRow("as the window starts") << defaultTexts() << TimeTable{};

    TimeTableTexts typed = defaultTexts();
    typed.rows[0] = {QStringLiteral("1"), QStringLiteral("30"), QStringLiteral("5")};
    typed.rows[2] = {QStringLiteral(" 2 5 "), QStringLiteral("7.5"), QStringLiteral("2.5")};
    typed.rows[5] = {QStringLiteral("0"), QStringLiteral("10"), QStringLiteral("4.49")};
    typed.relays[0] = {true, false, false, false, false, true};
    typed.relays[2] = {false, true, true, false, false, false};
    typed.count = QStringLiteral("12");
    TimeTable typedTable;
    typedTable.stages[0] = {1, 30, 5};
    typedTable.stages[2] = {25, 8, 2}; // blanks dropped; halves go to the even neighbour
    typedTable.masks = {0x09, 0x00, 0x30, 0x00, 0x00};
    typedTable.delay = {0, 10, 4};
    typedTable.count = 12;
    QTest::newRow("typed values") << typed << typedTable;

    TimeTableTexts largest = defaultTexts();
    for (auto &row : largest.rows)
        row = {QStringLiteral("99"), QStringLiteral("59"), QStringLiteral("255")};
    for (auto &boxes : largest.relays)
        boxes.fill(true);
    largest.count = QStringLiteral("65535");
    TimeTable largestTable;
    for (RowTime &stage : largestTable.stages)
        stage = {99, 59, 255};
    largestTable.masks.fill(0xF9);
    largestTable.delay = {99, 59, 255};
    largestTable.count = 65535;
    QTest::newRow("largest values, every box") << largest << largestTable;

    TimeTableTexts junk = defaultTexts();
    junk.rows[1] = {QStringLiteral("abc"), QStringLiteral("3x"), QString()};
    junk.count = QStringLiteral("83");
    TimeTable junkTable;
    junkTable.stages[1] = {0, 3, 0};
    junkTable.count = 83;
    QTest::newRow("text that is not a number") << junk << junkTable;
}

void TestSimDecoder::decodesTheWindowsTexts()
{
    QFETCH(TimeTableTexts, texts);
    QFETCH(TimeTable, expected);

    const auto frame = sim::decodeFrame(bytesOf(ReadTimeTable(texts)));
    QVERIFY(frame);
    QVERIFY(frame->wellFormed());
    const QString diff = difference(*frame, expected);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestSimDecoder::eachRelayBoxHasItsOwnBit()
{
    for (std::size_t box = 0; box < kRelayCount; ++box) {
        TimeTableTexts texts = defaultTexts();
        const std::size_t stage = box % kStageCount;
        texts.relays[stage][box] = true;
        const auto frame = sim::decodeFrame(bytesOf(ReadTimeTable(texts)));
        QVERIFY(frame);
        QVERIFY(frame->wellFormed());
        QCOMPARE(sim::relaysOn(frame->masks[stage]), std::vector<std::size_t>{box});
    }
}

void TestSimDecoder::refusesOtherLengths()
{
    const Bytes bytes = bytesOf(TimeTable{});
    QVERIFY(!sim::decodeFrame(std::span(bytes).first(26)));
    Bytes longer = bytes;
    longer.push_back(0x0D);
    QVERIFY(!sim::decodeFrame(longer));
    QVERIFY(!sim::decodeFrame(Bytes{}));
}

void TestSimDecoder::flagsBadStartAndEnd()
{
    Bytes bytes = bytesOf(TimeTable{});
    bytes.back() = 0x0A;
    auto frame = sim::decodeFrame(bytes);
    QVERIFY(frame && frame->badEnd() && !frame->badStart() && !frame->wellFormed());

    bytes = bytesOf(TimeTable{});
    bytes.front() = 's';
    frame = sim::decodeFrame(bytes);
    QVERIFY(frame && frame->badStart() && !frame->badEnd() && !frame->wellFormed());
}

void TestSimDecoder::flagsUnusedMaskBits()
{
    for (std::uint8_t bits : {std::uint8_t{0x02}, std::uint8_t{0x04}, std::uint8_t{0x0E}}) {
        TimeTable table = testPatternTable();
        table.masks[3] = bits;
        const auto frame = sim::decodeFrame(bytesOf(table));
        QVERIFY(frame);
        QVERIFY(frame->badMask(3));
        QVERIFY(!frame->badMask(2));
        QVERIFY(!frame->wellFormed());
    }
}

void TestSimDecoder::frameArrivingByteByByte()
{
    const Bytes bytes = bytesOf(testPatternTable());
    sim::FrameSplitter splitter;
    for (std::size_t at = 0; at + 1 < bytes.size(); ++at) {
        QVERIFY(splitter.feed(std::span(bytes).subspan(at, 1)).empty());
        QVERIFY(splitter.holding());
    }
    const auto pieces = splitter.feed(std::span(bytes).last(1));
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].bytes, bytes);
}

void TestSimDecoder::framesBackToBack()
{
    TimeTable framing;
    framing.stages[0] = {0x53, 0x0D, 0x53};
    framing.count = 0x0D53;
    const Bytes first = bytesOf(framing);
    const Bytes second = bytesOf(testPatternTable());
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());

    sim::FrameSplitter splitter;
    const auto pieces = splitter.feed(both);
    QCOMPARE(pieces.size(), 2u);
    QCOMPARE(pieces[0].bytes, first);
    QCOMPARE(pieces[1].bytes, second);
}

void TestSimDecoder::strayBytesBeforeAFrame()
{
    const Bytes frame = bytesOf(TimeTable{});
    Bytes line{'A', 'B', 0x0D};
    line.insert(line.end(), frame.begin(), frame.end());

    sim::FrameSplitter splitter;
    const auto pieces = splitter.feed(line);
    QCOMPARE(pieces.size(), 2u);
    QCOMPARE(pieces[0].kind, Kind::Stray);
    QCOMPARE(pieces[0].bytes, (Bytes{'A', 'B', 0x0D}));
    QCOMPARE(pieces[1].kind, Kind::Frame);
    QCOMPARE(pieces[1].bytes, frame);
}

void TestSimDecoder::strayBytesAloneShownWhenQuiet()
{
    sim::FrameSplitter splitter;
    QVERIFY(splitter.feed(Bytes{'x', 'y', 'z'}).empty());
    QVERIFY(splitter.holding());
    const auto pieces = splitter.idle();
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].kind, Kind::Stray);
    QCOMPARE(pieces[0].bytes, (Bytes{'x', 'y', 'z'}));
    QVERIFY(!splitter.holding());
}

void TestSimDecoder::cutFrameShownWhenQuiet()
{
    const Bytes frame = bytesOf(testPatternTable());
    sim::FrameSplitter splitter;
    QVERIFY(splitter.feed(std::span(frame).first(12)).empty());
    auto pieces = splitter.idle();
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].kind, Kind::Cut);
    QCOMPARE(pieces[0].bytes, Bytes(frame.begin(), frame.begin() + 12));

    // The next frame starts afresh.
    pieces = splitter.feed(frame);
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].kind, Kind::Frame);
    QCOMPARE(pieces[0].bytes, frame);
}

void TestSimDecoder::wrongEndSearchesOnFromTheNextByte()
{
    // A lone 'S' just before a frame: the 27 bytes from it do not end in CR,
    // and the real frame right after it is still found.
    const Bytes frame = bytesOf(testPatternTable());
    Bytes line{'S'};
    line.insert(line.end(), frame.begin(), frame.end());

    sim::FrameSplitter splitter;
    const auto pieces = splitter.feed(line);
    QCOMPARE(pieces.size(), 2u);
    QCOMPARE(pieces[0].kind, Kind::Frame);
    QVERIFY(sim::decodeFrame(pieces[0].bytes)->badEnd());
    QCOMPARE(pieces[1].kind, Kind::Frame);
    QCOMPARE(pieces[1].bytes, frame);
    QVERIFY(!splitter.holding());
}

void TestSimDecoder::lineFeedInsteadOfCarriageReturn()
{
    // What a line left in cooked mode would deliver.
    Bytes frame = bytesOf(TimeTable{});
    frame.back() = 0x0A;

    sim::FrameSplitter splitter;
    auto pieces = splitter.feed(frame);
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].kind, Kind::Frame);
    QVERIFY(sim::decodeFrame(pieces[0].bytes)->badEnd());

    pieces = splitter.idle();
    QCOMPARE(pieces.size(), 1u);
    QCOMPARE(pieces[0].kind, Kind::Stray);
    QCOMPARE(pieces[0].bytes, Bytes(frame.begin() + 1, frame.end()));
}

void TestSimDecoder::reportShowsTheTable()
{
    TimeTable table = testPatternTable();
    table.stages[2] = {12, 34, 5};
    table.delay = {0, 10, 0};
    table.count = 3;
    const QString text = QString::fromStdString(sim::frameReport(1, bytesOf(table)));

    QVERIFY2(text.startsWith(u"Frame 1: OK\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  bytes  0-15  53  00 01 00  00 01 00  0C 22 05  00 01 00  00 01 00\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  bytes 16-26  08 10 20 40 81  00 0A 00  00 03  0D\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  STAGE 1  00:01.0   08    릴레이_1 (relay 1)\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  STAGE 3  12:34.5   20    릴레이_3 (relay 3)\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  STAGE 5  00:01.0   81    릴레이_5 (relay 5), 내부릴레이 (internal relay)\n"),
             qPrintable(text));
    QVERIFY2(text.contains(u"  DELAY    00:10.0"), qPrintable(text));
    QVERIFY2(text.contains(u"  REPEAT   3"), qPrintable(text));
    QVERIFY2(text.contains(u"0 = repeat without end"), qPrintable(text));
    QVERIFY2(!text.contains(u"!"), qPrintable(text));
}

void TestSimDecoder::reportShowsFaults()
{
    TimeTable table;
    table.masks[1] = 0x0C;
    table.stages[0].tenths = 12;
    Bytes bytes = bytesOf(table);
    bytes.back() = 0x0A;
    const QString text = QString::fromStdString(sim::frameReport(2, bytes));

    QVERIFY2(text.startsWith(u"Frame 2: MALFORMED\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  ! byte 27 is 0x0A, not 0x0D (carriage return);"
                                       " looking for the next 'S' from byte 2 on\n"), qPrintable(text));
    QVERIFY2(text.contains(u"  ! STAGE 2 mask 0x0C sets bits 0x04 that belong to no relay\n"), qPrintable(text));
    QVERIFY2(text.contains(u"note: STAGE 1 tenths 12 is more than 9"), qPrintable(text));

    const Bytes start(bytes.begin(), bytes.begin() + 12);
    const QString cut = QString::fromStdString(sim::cutReport(start, 200));
    QVERIFY2(cut.startsWith(u"Cut frame: 12 of 27 bytes, then nothing for 200 ms\n  53 00 00"), qPrintable(cut));

    const QString stray = QString::fromStdString(sim::strayReport(Bytes{'A', 0x0D}));
    QVERIFY2(stray.startsWith(u"Stray: 2 byte(s) that do not start a frame\n  41 0D\n"), qPrintable(stray));
}

void TestSimDecoder::replyRecordIsRPlus24CharactersAndByte4()
{
    const std::string record = sim::replyRecord(3, sim::LastFrame::Good);
    QCOMPARE(record.size(), 26u);
    QCOMPARE(record, std::string("RQSIM FRAMES=0003 LAST=OK\x04"));
    QCOMPARE(sim::replyRecord(12345, sim::LastFrame::Bad), std::string("RQSIM FRAMES=2345 LAST=NG\x04"));
    QCOMPARE(sim::replyRecord(0, sim::LastFrame::None), std::string("RQSIM FRAMES=0000 LAST=--\x04"));
}

QTEST_GUILESS_MAIN(TestSimDecoder)
#include "tst_sim_decoder.moc"
