#include "tools/FrameDecoder.h"

namespace sim {

bool DecodedFrame::wellFormed() const
{
    if (badStart() || badEnd())
        return false;
    for (std::size_t stage = 0; stage < kStages; ++stage) {
        if (badMask(stage))
            return false;
    }
    return true;
}

std::optional<DecodedFrame> decodeFrame(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() != kFrameBytes)
        return std::nullopt;

    std::size_t at = 0;
    const auto next = [&] { return bytes[at++]; };
    const auto clock = [&] {
        ClockTime time;
        time.minutes = next();
        time.seconds = next();
        time.tenths = next();
        return time;
    };

    DecodedFrame frame;
    frame.start = next();
    for (ClockTime &stage : frame.stages)
        stage = clock();
    for (std::uint8_t &mask : frame.masks)
        mask = next();
    frame.delay = clock();
    const std::uint8_t high = next();
    const std::uint8_t low = next();
    frame.count = static_cast<std::uint16_t>(high << 8 | low);
    frame.end = next();
    return frame;
}

std::vector<std::size_t> relaysOn(std::uint8_t mask)
{
    std::vector<std::size_t> on;
    for (std::size_t i = 0; i < kRelays.size(); ++i) {
        if ((mask & kRelays[i].bit) != 0)
            on.push_back(i);
    }
    return on;
}

} // namespace sim
