#include "tools/FrameReport.h"

#include <algorithm>
#include <string_view>

namespace sim {

namespace {

std::string number(unsigned value, std::size_t width, char fill = ' ')
{
    std::string text = std::to_string(value);
    if (text.size() < width)
        text.insert(0, width - text.size(), fill);
    return text;
}

std::string hex(std::uint8_t byte)
{
    constexpr std::string_view digits = "0123456789ABCDEF";
    return {digits[static_cast<std::size_t>(byte >> 4)], digits[static_cast<std::size_t>(byte & 0x0F)]};
}

std::string padRight(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string relayNames(std::uint8_t mask)
{
    std::string names;
    for (std::size_t i : relaysOn(mask)) {
        if (!names.empty())
            names += ", ";
        names += std::string(kRelays[i].name) + " (" + std::string(kRelays[i].english) + ")";
    }
    return names.empty() ? "-" : names;
}

// Byte groups as the frame lays them out: start, five stage times, masks, delay, count, end.
std::string layoutLines(std::span<const std::uint8_t> bytes)
{
    std::string first = "  bytes  0-15  " + hex(bytes[0]);
    for (std::size_t at = 1; at < 16; at += 3)
        first += "  " + hexBytes(bytes.subspan(at, 3));
    return first + "\n  bytes 16-26  " + hexBytes(bytes.subspan(16, 5)) + "  " + hexBytes(bytes.subspan(21, 3))
         + "  " + hexBytes(bytes.subspan(24, 2)) + "  " + hex(bytes[26]) + "\n";
}

std::string timeLine(const std::string &row, const ClockTime &time)
{
    return "  " + padRight(row, 9) + padRight(clockText(time), 10);
}

// The window caps minutes at 99 and seconds at 59 but not tenths; worth a word, not a fault.
std::string clockNotes(const std::string &row, const ClockTime &time)
{
    std::string notes;
    if (time.seconds > 59)
        notes += "  note: " + row + " seconds " + std::to_string(time.seconds) + " is more than 59\n";
    if (time.tenths > 9)
        notes += "  note: " + row + " tenths " + std::to_string(time.tenths) + " is more than 9\n";
    return notes;
}

std::string problems(const DecodedFrame &frame)
{
    std::string text;
    if (frame.badStart())
        text += "  ! byte 1 is 0x" + hex(frame.start) + ", not 0x53 ('S')\n";
    if (frame.badEnd())
        text += "  ! byte 27 is 0x" + hex(frame.end) + ", not 0x0D (carriage return);"
                " looking for the next 'S' from byte 2 on\n";
    for (std::size_t stage = 0; stage < kStages; ++stage) {
        if (frame.badMask(stage))
            text += "  ! STAGE " + std::to_string(stage + 1) + " mask 0x" + hex(frame.masks[stage])
                  + " sets bits 0x" + hex(static_cast<std::uint8_t>(frame.masks[stage] & kUnusedMaskBits)) + " that belong to no relay\n";
    }
    return text;
}

} // namespace

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += hex(byte);
    }
    return text;
}

std::string clockText(const ClockTime &time)
{
    return number(time.minutes, 2, '0') + ':' + number(time.seconds, 2, '0') + '.' + std::to_string(time.tenths);
}

std::string frameReport(int number, std::span<const std::uint8_t> bytes)
{
    const auto frame = decodeFrame(bytes);
    if (!frame)
        return "Frame " + std::to_string(number) + ": " + std::to_string(bytes.size())
             + " bytes, not 27: " + hexBytes(bytes) + "\n";

    std::string text = "Frame " + std::to_string(number) + (frame->wellFormed() ? ": OK\n" : ": MALFORMED\n");
    text += layoutLines(bytes);
    text += "           time      mask  relays\n";
    std::string notes;
    for (std::size_t stage = 0; stage < kStages; ++stage) {
        const std::string row = "STAGE " + std::to_string(stage + 1);
        text += timeLine(row, frame->stages[stage]) + hex(frame->masks[stage]) + "    "
              + relayNames(frame->masks[stage]) + "\n";
        notes += clockNotes(row, frame->stages[stage]);
    }
    text += timeLine("DELAY", frame->delay) + "\n";
    notes += clockNotes("DELAY", frame->delay);
    text += "  REPEAT   " + padRight(std::to_string(frame->count), 10) + "반복횟수, 0 = repeat without end\n";
    return text + notes + problems(*frame);
}

std::string strayReport(std::span<const std::uint8_t> bytes)
{
    std::string text = "Stray: " + std::to_string(bytes.size()) + " byte(s) that do not start a frame\n";
    for (std::size_t at = 0; at < bytes.size(); at += 16)
        text += "  " + hexBytes(bytes.subspan(at, std::min<std::size_t>(16, bytes.size() - at))) + "\n";
    return text;
}

std::string cutReport(std::span<const std::uint8_t> bytes, int quietMs)
{
    return "Cut frame: " + std::to_string(bytes.size()) + " of 27 bytes, then nothing for "
         + std::to_string(quietMs) + " ms\n  " + hexBytes(bytes) + "\n";
}

} // namespace sim
