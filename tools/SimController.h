#pragma once

#include "tools/FrameSplitter.h"
#include "tools/ReplyRecord.h"

#include <cstdio>
#include <string>
#include <vector>

// The controller's side of the line: takes in what the program sends,
// prints it decoded, and answers with a reply record when asked.
class SimController
{
public:
    SimController(int masterFd, int quietMs, bool replyEveryFrame, std::FILE *out);

    // Takes everything waiting on the line. False when the line failed.
    bool readLine();
    // Nothing has arrived for quietMs while part of a frame was held.
    void lineQuiet();
    bool holding() const { return m_splitter.holding(); }
    int quietMs() const { return m_quietMs; }
    int master() const { return m_master; }
    void sendReply();

private:
    void report(const std::vector<sim::LinePiece> &pieces);
    void print(const std::string &text);

    int m_master;
    int m_quietMs;
    bool m_replyEveryFrame;
    std::FILE *m_out;
    sim::FrameSplitter m_splitter;
    unsigned m_frames = 0;
    sim::LastFrame m_last = sim::LastFrame::None;
};
