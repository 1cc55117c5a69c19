#pragma once

#include <string>

#include <sys/types.h>

// The controller's end of a pseudo-terminal. The program opens the other
// end, the slave, as its serial port; the simulator reads and writes the master.
class SimPty
{
public:
    SimPty() = default;
    ~SimPty();
    SimPty(const SimPty &) = delete;
    SimPty &operator=(const SimPty &) = delete;

    // Empty on success, otherwise why it failed.
    std::string open();
    // Lets that user open the slave, e.g. the one who started us with sudo.
    bool giveTo(uid_t user, gid_t group) const;

    int master() const { return m_master; }
    const std::string &slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_spareSlave = -1;
    std::string m_slavePath;
};
