#include "tools/FrameSplitter.h"

#include "tools/FrameDecoder.h"

#include <algorithm>

namespace sim {

namespace {

// A line of noise with no 'S' is shown in parts rather than held forever.
constexpr std::size_t kMaxStray = 256;

} // namespace

std::vector<LinePiece> FrameSplitter::feed(std::span<const std::uint8_t> bytes)
{
    std::vector<LinePiece> out;
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    split(out);
    return out;
}

std::vector<LinePiece> FrameSplitter::idle()
{
    std::vector<LinePiece> out;
    flushStray(out);
    if (!m_buffer.empty())
        out.push_back({LinePiece::Kind::Cut, std::move(m_buffer)});
    m_buffer.clear();
    return out;
}

void FrameSplitter::split(std::vector<LinePiece> &out)
{
    while (!m_buffer.empty()) {
        if (m_buffer.front() != kStartByte) {
            const auto start = std::find(m_buffer.begin(), m_buffer.end(), kStartByte);
            m_stray.insert(m_stray.end(), m_buffer.begin(), start);
            m_buffer.erase(m_buffer.begin(), start);
            if (m_stray.size() >= kMaxStray)
                flushStray(out);
            continue;
        }
        flushStray(out);
        if (m_buffer.size() < kFrameBytes)
            return;
        const auto end = m_buffer.begin() + static_cast<std::ptrdiff_t>(kFrameBytes);
        out.push_back({LinePiece::Kind::Frame, {m_buffer.begin(), end}});
        m_buffer.erase(m_buffer.begin(), m_buffer[kFrameBytes - 1] == kEndByte ? end : m_buffer.begin() + 1);
    }
}

void FrameSplitter::flushStray(std::vector<LinePiece> &out)
{
    if (m_stray.empty())
        return;
    out.push_back({LinePiece::Kind::Stray, std::move(m_stray)});
    m_stray.clear();
}

} // namespace sim
