#pragma once

#include <string>

namespace sim {

enum class LastFrame { None, Good, Bad };

// What the controller sends back: "R", 24 characters, then the byte 4 that
// ends a reply. The 24 characters are a status line:
// "QSIM FRAMES=0003 LAST=OK" (frames counted modulo 10000; LAST is OK, NG or --).
std::string replyRecord(unsigned framesSeen, LastFrame last);

} // namespace sim
