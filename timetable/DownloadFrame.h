#pragma once

#include "timetable/TimeTable.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The one form in which a time table reaches the controller. Layout, by offset:
//   0        'S' (0x53)
//   1..15    stages 1-5: minutes, seconds, tenths
//   16..20   relay masks of stages 1-5
//   21..23   delay: minutes, seconds, tenths
//   24, 25   repeat count, high byte then low byte
//   26       carriage return (0x0D)
// No length, checksum or escaping: 0x53 and 0x0D may occur inside.
constexpr std::size_t kFrameSize = 27;
constexpr std::uint8_t kFrameStart = 0x53;
constexpr std::uint8_t kFrameEnd = 0x0D;

using DownloadFrame = std::array<std::uint8_t, kFrameSize>;

DownloadFrame BuildDownloadFrame(const TimeTable &table);
