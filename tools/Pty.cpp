#include "tools/Pty.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

Pty::~Pty()
{
    closeMaster();
    if (m_spareSlave >= 0)
        ::close(m_spareSlave);
}

std::string Pty::open()
{
    // Raw from the start: until the program opens its side and sets the line
    // up, the tty would echo and turn CR into LF.
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&m_master, &m_spareSlave, nullptr, &raw, nullptr) != 0)
        return std::string("openpty: ") + std::strerror(errno);

    char name[PATH_MAX];
    if (::ttyname_r(m_spareSlave, name, sizeof name) != 0)
        return std::string("ttyname: ") + std::strerror(errno);
    m_slavePath = name;

    // Programs started meanwhile must not hold the line open.
    for (const int fd : {m_master, m_spareSlave}) {
        if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
            return std::string("fcntl: ") + std::strerror(errno);
    }
    // A reply nobody reads must not block the controller's side.
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return std::string("fcntl: ") + std::strerror(errno);
    return {};
}

bool Pty::giveTo(uid_t user, gid_t group) const
{
    return ::chown(m_slavePath.c_str(), user, group) == 0;
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
