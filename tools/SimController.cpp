#include "tools/SimController.h"

#include "tools/FrameDecoder.h"
#include "tools/FrameReport.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <unistd.h>

SimController::SimController(int masterFd, int quietMs, bool replyEveryFrame, std::FILE *out)
    : m_master(masterFd), m_quietMs(quietMs), m_replyEveryFrame(replyEveryFrame), m_out(out)
{
}

bool SimController::readLine()
{
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            report(m_splitter.feed({buffer, static_cast<std::size_t>(n)}));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        print(std::string("The line failed: ") + (n == 0 ? "end of file" : std::strerror(errno)) + "\n");
        return false;
    }
}

void SimController::lineQuiet()
{
    report(m_splitter.idle());
}

void SimController::report(const std::vector<sim::LinePiece> &pieces)
{
    for (const sim::LinePiece &piece : pieces) {
        switch (piece.kind) {
        case sim::LinePiece::Kind::Frame: {
            ++m_frames;
            const auto frame = sim::decodeFrame(piece.bytes);
            m_last = frame && frame->wellFormed() ? sim::LastFrame::Good : sim::LastFrame::Bad;
            print(sim::frameReport(static_cast<int>(m_frames), piece.bytes) + "\n");
            if (m_replyEveryFrame)
                sendReply();
            break;
        }
        case sim::LinePiece::Kind::Stray:
            print(sim::strayReport(piece.bytes) + "\n");
            break;
        case sim::LinePiece::Kind::Cut:
            m_last = sim::LastFrame::Bad;
            print(sim::cutReport(piece.bytes, m_quietMs) + "\n");
            break;
        }
    }
}

void SimController::sendReply()
{
    const std::string record = sim::replyRecord(m_frames, m_last);
    const ssize_t n = ::write(m_master, record.data(), record.size());
    const std::string shown = record.substr(0, record.size() - 1) + "<04>";
    if (n == static_cast<ssize_t>(record.size()))
        print("Sent reply: " + shown + "\n\n");
    else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        print("Reply not sent: the line's queue is full (is the program connected?)\n\n");
    else
        print("Reply not sent in full (" + std::string(n < 0 ? std::strerror(errno) : "short write") + ")\n\n");
}

void SimController::print(const std::string &text)
{
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}
