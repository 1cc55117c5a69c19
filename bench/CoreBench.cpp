#include "bench/Benches.h"

#include "serial/ReplyReceiver.h"
#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"

#include <QString>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Read sizes vary as a real line's do; they average about 55 characters.
constexpr std::array<qsizetype, 8> kChunkSizes{64, 1, 13, 64, 200, 31, 64, 7};
constexpr qsizetype kPattern = 26;

struct StreamResult
{
    double nsPerByte = 0;
    long peakGrowthKb = 0;
    qsizetype replies = 0;
    bool sane = false;
};

// Feeds a stream of `total` characters in views onto a short repeating
// pattern, so that the stream itself takes no memory and any growth is the
// receiver's.
StreamResult feedStream(qsizetype total, bool terminated)
{
    QString pattern = QStringLiteral("R0123456789ABCDEFGHIJKLMN");
    pattern += terminated ? kReplyEnd : QLatin1Char('.');
    QString source;
    while (source.size() < kPattern + 256)
        source += pattern;

    QString rxBuffer;
    QString rxRecord;
    ReplyReceiver receiver(rxBuffer, rxRecord);

    resetPeakRss();
    const long before = statusKb("VmRSS");
    qsizetype replies = 0;
    qsizetype fed = 0;
    std::size_t next = 0;
    const auto start = Clock::now();
    while (fed < total) {
        const qsizetype size = std::min(kChunkSizes[next], total - fed);
        next = (next + 1) % kChunkSizes.size();
        if (receiver.feed(QStringView(source).mid(fed % kPattern, size)))
            ++replies;
        fed += size;
    }
    const auto elapsed = Clock::now() - start;
    const long peak = statusKb("VmHWM");

    StreamResult result;
    result.nsPerByte = std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(total);
    result.peakGrowthKb = peak - before;
    result.replies = replies;
    // A record is the pattern's start, shorter when one read held the end of a
    // reply and the start of the next; with no terminator only one record's
    // worth is ever kept.
    result.sane = terminated ? !rxRecord.isEmpty() && pattern.startsWith(rxRecord) && replies > 0
                             : rxRecord.isEmpty() && rxBuffer.size() == kRecordLength && replies == 0;
    return result;
}

TimeTableTexts typicalTexts()
{
    TimeTableTexts texts;
    texts.rows = {{{QStringLiteral("01"), QStringLiteral("30"), QStringLiteral("5")},
                   {QStringLiteral("00"), QStringLiteral("45"), QStringLiteral("0")},
                   {QStringLiteral("02"), QStringLiteral("00"), QStringLiteral("3")},
                   {QStringLiteral("00"), QStringLiteral("10"), QStringLiteral("0")},
                   {QStringLiteral("05"), QStringLiteral("59"), QStringLiteral("9")},
                   {QStringLiteral("00"), QStringLiteral("05"), QStringLiteral("0")}}};
    for (std::size_t stage = 0; stage < kStageCount; ++stage)
        for (std::size_t relay = 0; relay < kRelayCount; ++relay)
            texts.relays[stage][relay] = (stage + relay) % 2 == 0;
    texts.count = QStringLiteral("300");
    return texts;
}

} // namespace

int runReceive(const Options &options)
{
    const int runs = static_cast<int>(options.get("runs", 5));
    bool allSane = true;
    // The first pass touches pages that later passes find resident.
    feedStream(qsizetype{1} << 20, true);
    for (const bool terminated : {false, true}) {
        for (const int megabytes : {1, 16}) {
            std::vector<double> perByte;
            long growth = 0;
            qsizetype replies = 0;
            for (int run = 0; run < runs; ++run) {
                const StreamResult result = feedStream(qsizetype{megabytes} << 20, terminated);
                perByte.push_back(result.nsPerByte);
                growth = std::max(growth, result.peakGrowthKb);
                replies = result.replies;
                allSane = allSane && result.sane;
            }
            const std::string key =
                std::string(terminated ? "recv_reply_" : "recv_plain_") + std::to_string(megabytes) + "mb";
            note("  %s: %.2f ns/byte, peak growth %ld kB, %lld reads ending a reply", key.c_str(), median(perByte),
                 growth, static_cast<long long>(replies));
            report(key + "_ns", median(perByte));
            report(key + "_kb", static_cast<double>(growth));
        }
    }
    report("recv_sane", allSane ? 1 : 0);
    return allSane ? 0 : 1;
}

int runFrame(const Options &options)
{
    const int batches = static_cast<int>(options.get("batches", 9));
    const int batch = static_cast<int>(options.get("batch", 100000));
    const TimeTableTexts texts = typicalTexts();

    std::uint32_t sink = 0;
    std::vector<double> perFrame;
    for (int b = 0; b < batches; ++b) {
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i) {
            const DownloadFrame frame = BuildDownloadFrame(ReadTimeTable(texts));
            for (const std::uint8_t byte : frame)
                sink = sink * 31u + byte;
        }
        perFrame.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() / batch);
    }
    // Printed so the work cannot be left out.
    note("  frame checksum %08x", sink);
    report("frame_ns", median(perFrame));
    return 0;
}
