#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

// What the line delivered, cut into pieces.
struct LinePiece
{
    enum class Kind {
        Frame, // 27 bytes from an 'S'; the last may still not be the carriage return
        Stray, // bytes that do not start a frame
        Cut,   // the start of a frame after which the line went quiet
    };
    Kind kind;
    std::vector<std::uint8_t> bytes;
};

// Cuts the byte stream into frames. A frame has no length field or escaping,
// so it is simply the 27 bytes from an 'S'; 'S' and CR inside it mean nothing.
// When the 27th byte is not a CR, that 'S' started no frame after all, and
// the search for one goes on from the byte after it.
class FrameSplitter
{
public:
    std::vector<LinePiece> feed(std::span<const std::uint8_t> bytes);
    // The line has been quiet for a while: what is still held is reported.
    std::vector<LinePiece> idle();
    bool holding() const { return !m_stray.empty() || !m_buffer.empty(); }

private:
    void split(std::vector<LinePiece> &out);
    void flushStray(std::vector<LinePiece> &out);

    std::vector<std::uint8_t> m_stray;
    std::vector<std::uint8_t> m_buffer; // empty or starting with 'S'
};

} // namespace sim
