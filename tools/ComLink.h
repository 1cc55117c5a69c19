#pragma once

#include <string>

// Makes "COM n" reach the pty: the program opens /dev/comN when that path
// exists. The link is made only where nothing real would be lost, and taken
// away again when the simulator ends.
class ComLink
{
public:
    enum class Outcome {
        Made,
        ReplacedStale, // a link to a device that is gone, or to our own pty
        Busy,          // a link to a device that is there and not ours
        RealFile,      // a device or file, never touched
        NotPermitted,
        Failed,
    };

    ComLink(std::string linkPath, std::string target);
    ~ComLink();
    ComLink(const ComLink &) = delete;
    ComLink &operator=(const ComLink &) = delete;

    Outcome outcome() const { return m_outcome; }
    bool linked() const { return m_outcome == Outcome::Made || m_outcome == Outcome::ReplacedStale; }
    // What happened, and when the link was not made the one command that makes it.
    std::string explanation() const;
    // The command that points the link at the pty by hand.
    std::string linkCommand() const;

private:
    Outcome link();
    Outcome refused(int error);

    std::string m_path;
    std::string m_target;
    std::string m_detail;
    Outcome m_outcome;
};
