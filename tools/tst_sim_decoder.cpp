#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"
#include "tools/FrameDecoder.h"
#include "tools/FrameReport.h"
#include "tools/FrameSplitter.h"
#include "tools/ReplyRecord.h"

#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(TimeTable)

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = sim::LinePiece::Kind;

Bytes bytesOf(const TimeTable &table)
{
    const DownloadFrame frame = BuildDownloadFrame(table);
    return {frame.begin(), frame.end()};
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// TimeTable and DecodedFrame share their field names: one text for both
// makes a failed comparison show every value side by side.
template <typename Table>
QString valuesText(const Table &t)
{
    QString text;
    const auto time = [](const auto &c) { return QStringLiteral("%1:%2.%3 ").arg(c.minutes).arg(c.seconds).arg(c.tenths); };
    for (std::size_t k = 0; k < t.stages.size(); ++k)
        text += time(t.stages[k]) + QString::number(t.masks[k], 16) + QStringLiteral(" | ");
    return text + time(t.delay) + QString::number(t.count);
}

QString piece(Kind kind, const Bytes &bytes)
{
    static const char *const names[] = {"Frame", "Stray", "Cut"};
    return QString::fromStdString(names[static_cast<int>(kind)] + (": " + sim::hexBytes(bytes)));
}

// The frame's delimiters also inside it, where they must mean nothing.
const TimeTable kFramingInside{
    {{{0x53, 0x0D, 0x53}, {}, {}, {}, {0x0D, 0x0D, 0x0D}}}, {}, {0x53, 0x53, 0x0D}, 0x530D};

} // namespace

class TestSimDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesWhatTheEncoderBuilds_data()
    {
        QTest::addColumn<TimeTable>("table");

        // Distinct values catch swapped or shifted offsets.
        QTest::newRow("every field different")
            << TimeTable{{{{10, 11, 12}, {20, 21, 22}, {30, 31, 32}, {40, 41, 42}, {50, 51, 52}}},
                         {{0x09, 0x18, 0x30, 0x61, 0xC0}}, {91, 92, 93}, 0x1234};
        const RowTime top{255, 255, 255};
        QTest::newRow("every field at its largest")
            << TimeTable{{{top, top, top, top, top}}, {{0xF9, 0xF9, 0xF9, 0xF9, 0xF9}}, top, 65535};
        QTest::newRow("0x53 and 0x0D inside") << kFramingInside;
    }

    void decodesWhatTheEncoderBuilds()
    {
        QFETCH(TimeTable, table);
        const auto frame = sim::decodeFrame(bytesOf(table));
        QVERIFY(frame && frame->wellFormed());
        QCOMPARE(valuesText(*frame), valuesText(table));
    }

    // The window's boxes through the program's ReadTimeTable against the simulator's own relay list.
    void eachRelayBoxHasItsOwnBit()
    {
        for (std::size_t box = 0; box < kRelayCount; ++box) {
            TimeTableTexts texts;
            const std::size_t stage = box % kStageCount;
            texts.relays[stage][box] = true;
            const auto frame = sim::decodeFrame(bytesOf(ReadTimeTable(texts)));
            QVERIFY(frame && frame->wellFormed());
            QCOMPARE(sim::relaysOn(frame->masks[stage]), std::vector<std::size_t>{box});
        }
    }

    void malformedFrames_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<QString>("faults"); // empty: refused outright

        const Bytes good = bytesOf(TimeTable{});
        const auto with = [&good](std::size_t at, std::uint8_t value) {
            Bytes bytes = good;
            bytes[at] = value;
            return bytes;
        };
        QTest::newRow("bad start") << with(0, 's') << QStringLiteral("start");
        QTest::newRow("bad end") << with(26, 0x0A) << QStringLiteral("end"); // a line left in cooked mode
        QTest::newRow("mask bit 0x02") << with(16 + 3, 0x02) << QStringLiteral("mask 4");
        QTest::newRow("mask bit 0x04 beside a relay bit") << with(16 + 1, 0x0C) << QStringLiteral("mask 2");
        QTest::newRow("26 bytes") << Bytes(good.begin(), good.end() - 1) << QString();
        QTest::newRow("28 bytes") << good + Bytes{0x0D} << QString();
    }

    void malformedFrames()
    {
        QFETCH(Bytes, bytes);
        QFETCH(QString, faults);
        const auto frame = sim::decodeFrame(bytes);
        QCOMPARE(bool(frame), !faults.isEmpty());
        if (!frame)
            return;
        QStringList found;
        if (frame->badStart())
            found << QStringLiteral("start");
        if (frame->badEnd())
            found << QStringLiteral("end");
        for (std::size_t k = 0; k < sim::kStages; ++k)
            if (frame->badMask(k))
                found << QStringLiteral("mask %1").arg(k + 1);
        QCOMPARE(found.join(QLatin1Char(' ')), faults);
        QVERIFY(!frame->wellFormed());
    }

    void splitsTheStream_data()
    {
        QTest::addColumn<std::vector<Bytes>>("chunks"); // an empty chunk: the line goes quiet
        QTest::addColumn<QStringList>("pieces");

        const Bytes frame = bytesOf(TimeTable{});
        const Bytes framing = bytesOf(kFramingInside);

        const auto frameOf = [](const Bytes &bytes) { return piece(Kind::Frame, bytes); };
        std::vector<Bytes> oneByOne;
        for (std::uint8_t byte : framing)
            oneByOne.push_back({byte});
        QTest::newRow("byte by byte") << oneByOne << QStringList{frameOf(framing)};
        QTest::newRow("back to back") << std::vector<Bytes>{framing + frame}
                                      << QStringList{frameOf(framing), frameOf(frame)};
        QTest::newRow("stray bytes first") << std::vector<Bytes>{Bytes{'A', 'B', 0x0D} + frame}
                                           << QStringList{piece(Kind::Stray, {'A', 'B', 0x0D}), frameOf(frame)};
        const Bytes start(frame.begin(), frame.begin() + 12);
        QTest::newRow("cut frame when quiet, then a whole one")
            << std::vector<Bytes>{start, {}, frame} << QStringList{piece(Kind::Cut, start), frameOf(frame)};
        // A lone 'S' gives 27 bytes without the CR; the search goes on from the byte after it.
        const Bytes lone = Bytes{'S'} + frame;
        QTest::newRow("wrong end") << std::vector<Bytes>{lone}
                                   << QStringList{frameOf(Bytes(lone.begin(), lone.begin() + 27)), frameOf(frame)};
    }

    void splitsTheStream()
    {
        QFETCH(std::vector<Bytes>, chunks);
        QFETCH(QStringList, pieces);
        sim::FrameSplitter splitter;
        QStringList got;
        for (const Bytes &chunk : chunks)
            for (const sim::LinePiece &p : chunk.empty() ? splitter.idle() : splitter.feed(chunk))
                got << piece(p.kind, p.bytes);
        QCOMPARE(got, pieces);
        QVERIFY(!splitter.holding());
    }

    void reportShowsValuesAndFaults()
    {
        TimeTable table;
        table.masks[1] = 0x0C;
        table.masks[4] = 0x81;
        table.count = 258;
        const QString text = QString::fromStdString(sim::frameReport(1, bytesOf(table)));

        QVERIFY2(text.startsWith(u"Frame 1: MALFORMED\n"), qPrintable(text));
        QVERIFY2(text.contains(u"  STAGE 5  00:00.0   81    릴레이_5 (relay 5), 내부릴레이 (internal relay)\n"),
                 qPrintable(text));
        QVERIFY2(text.contains(u"  REPEAT   258 "), qPrintable(text));
        QVERIFY2(text.contains(u"  ! STAGE 2 mask 0x0C sets bits 0x04 that belong to no relay\n"), qPrintable(text));
    }

    // The frame count wraps at four digits so the record stays 26 bytes.
    void replyRecord()
    {
        QCOMPARE(sim::replyRecord(12345, sim::LastFrame::Bad), std::string("RQSIM FRAMES=2345 LAST=NG\x04"));
    }
};

QTEST_GUILESS_MAIN(TestSimDecoder)
#include "tst_sim_decoder.moc"
