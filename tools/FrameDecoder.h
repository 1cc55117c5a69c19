#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Reads a download frame back into values. Written from the byte layout on
// its own, not from the program's encoder, so that the two can check each other.
namespace sim {

constexpr std::size_t kFrameBytes = 27;
constexpr std::uint8_t kStartByte = 0x53; // 'S'
constexpr std::uint8_t kEndByte = 0x0D;   // carriage return
constexpr std::size_t kStages = 5;
// Mask bits that belong to no relay.
constexpr std::uint8_t kUnusedMaskBits = 0x06;

struct Relay
{
    std::uint8_t bit;
    std::string_view name;    // as the window labels the box
    std::string_view english;
};

// In the order of the window's boxes: relays 1 to 5, then the internal relay.
inline constexpr std::array<Relay, 6> kRelays{{{0x08, "릴레이_1", "relay 1"},
                                               {0x10, "릴레이_2", "relay 2"},
                                               {0x20, "릴레이_3", "relay 3"},
                                               {0x40, "릴레이_4", "relay 4"},
                                               {0x80, "릴레이_5", "relay 5"},
                                               {0x01, "내부릴레이", "internal relay"}}};

struct ClockTime
{
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t tenths = 0;
};

struct DecodedFrame
{
    std::array<ClockTime, kStages> stages{};
    std::array<std::uint8_t, kStages> masks{};
    ClockTime delay{};
    std::uint16_t count = 0;
    std::uint8_t start = 0;
    std::uint8_t end = 0;

    bool badStart() const { return start != kStartByte; }
    bool badEnd() const { return end != kEndByte; }
    bool badMask(std::size_t stage) const { return (masks[stage] & kUnusedMaskBits) != 0; }
    bool wellFormed() const;
};

// Nothing unless exactly kFrameBytes bytes are given; faults of a frame of
// the right length are flagged in the result.
std::optional<DecodedFrame> decodeFrame(std::span<const std::uint8_t> bytes);

// Indexes into kRelays of the relays a mask switches on.
std::vector<std::size_t> relaysOn(std::uint8_t mask);

} // namespace sim
