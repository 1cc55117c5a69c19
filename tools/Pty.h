#pragma once

#include <string>

#include <sys/types.h>

// A pseudo-terminal standing in for the controller: the program opens the
// slave path as its serial port; the simulator or a test reads and writes
// the master.
class Pty
{
public:
    Pty() = default;
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    // Empty on success, otherwise why it failed.
    std::string open();
    // Lets that user open the slave, e.g. the one who started us with sudo.
    bool giveTo(uid_t user, gid_t group) const;
    // Pulls the plug: the program's side sees the device go away.
    void closeMaster();

    int master() const { return m_master; }
    // Held open so that the line outlives the program's closing of its side;
    // also where the line's settings can be read.
    int spareSlave() const { return m_spareSlave; }
    const std::string &slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_spareSlave = -1;
    std::string m_slavePath;
};
