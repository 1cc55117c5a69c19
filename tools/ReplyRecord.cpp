#include "tools/ReplyRecord.h"

namespace sim {

namespace {

constexpr std::size_t kStatusLength = 24;
constexpr char kReplyEnd = 4;

} // namespace

std::string replyRecord(unsigned framesSeen, LastFrame last)
{
    std::string frames = std::to_string(framesSeen % 10000);
    frames.insert(0, 4 - frames.size(), '0');
    const char *lastText = last == LastFrame::Good ? "OK" : last == LastFrame::Bad ? "NG" : "--";

    std::string status = "QSIM FRAMES=" + frames + " LAST=" + lastText;
    status.resize(kStatusLength, ' ');
    return 'R' + status + kReplyEnd;
}

} // namespace sim
