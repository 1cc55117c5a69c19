#include "timetable/DownloadFrame.h"

DownloadFrame BuildDownloadFrame(const TimeTable &table)
{
    DownloadFrame frame{};
    std::size_t at = 0;
    const auto put = [&](std::uint8_t byte) { frame[at++] = byte; };
    const auto putRow = [&](const RowTime &row) {
        put(row.minutes);
        put(row.seconds);
        put(row.tenths);
    };

    put(kFrameStart);
    for (const RowTime &stage : table.stages)
        putRow(stage);
    for (std::uint8_t mask : table.masks)
        put(mask);
    putRow(table.delay);
    put(static_cast<std::uint8_t>(table.count / 256));
    put(static_cast<std::uint8_t>(table.count % 256));
    put(kFrameEnd);
    return frame;
}
