#pragma once

#include "tools/FrameDecoder.h"

#include <cstdint>
#include <span>
#include <string>

// The text the simulator prints for what arrived on the line.
namespace sim {

std::string hexBytes(std::span<const std::uint8_t> bytes);
// "mm:ss.t", the way the window shows a row.
std::string clockText(const ClockTime &time);

// A 27-byte piece from an 'S': its bytes, the table it carries and what is wrong with it.
std::string frameReport(int number, std::span<const std::uint8_t> bytes);
std::string strayReport(std::span<const std::uint8_t> bytes);
std::string cutReport(std::span<const std::uint8_t> bytes, int quietMs);

} // namespace sim
