#pragma once

#include <optional>
#include <string>

// Makes "COM n" reach the pty: the program opens /dev/comN when that path
// exists. The link is made only where nothing real would be lost, and taken
// away again when the simulator ends.
//
// Beside the link, comN.quarlin-sim names the pty the link was made for and
// stays locked (flock) while its simulator runs. The lock proves what a pty
// number cannot, as the kernel hands a dead simulator's number to the next
// terminal: a link whose record is not locked is a dead simulator's.
class ComLink
{
public:
    enum class Outcome {
        Made,
        ReplacedStale, // a dead simulator's link, or a link to a device that is gone
        Running,       // another simulator holds COM n
        Busy,          // a link to a device that is there and not a simulator's
        RealFile,      // a device, directory or file, never touched
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
    std::optional<Outcome> claimRecord(std::string &madeFor);
    void releaseRecord();
    Outcome refused(int error);

    std::string m_path;
    std::string m_record;
    std::string m_target;
    std::string m_detail;
    int m_recordFd = -1;
    Outcome m_outcome;
};
