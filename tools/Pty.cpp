#include "tools/SimPty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string failed(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

SimPty::~SimPty()
{
    if (m_spareSlave >= 0)
        ::close(m_spareSlave);
    if (m_master >= 0)
        ::close(m_master);
}

std::string SimPty::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return failed("posix_openpt");
    if (::grantpt(m_master) != 0)
        return failed("grantpt");
    if (::unlockpt(m_master) != 0)
        return failed("unlockpt");

    // Raw at once: until the program opens its side and sets the line up,
    // the tty would echo and turn CR into LF.
    termios raw{};
    if (::tcgetattr(m_master, &raw) != 0)
        return failed("tcgetattr");
    ::cfmakeraw(&raw);
    if (::tcsetattr(m_master, TCSANOW, &raw) != 0)
        return failed("tcsetattr");

    const char *name = ::ptsname(m_master);
    if (name == nullptr)
        return failed("ptsname");
    m_slavePath = name;

    // Without an open slave, the master reads EIO once the program closes
    // its side, and the pty is gone for its next Connect.
    m_spareSlave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (m_spareSlave < 0)
        return failed("open slave");

    // A reply nobody reads must not block us once the tty's queue is full.
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return failed("fcntl");
    return {};
}

bool SimPty::giveTo(uid_t user, gid_t group) const
{
    return ::chown(m_slavePath.c_str(), user, group) == 0;
}
