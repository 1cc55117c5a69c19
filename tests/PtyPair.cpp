#include "tests/PtyPair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

PtyPair::PtyPair()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        closeMaster();
        return;
    }
    // Raw at once, or bytes written before the program opens the slave are cooked.
    termios raw{};
    ::tcgetattr(m_master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_master, TCSANOW, &raw);
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Keeps the master readable while the program closes and reopens its side.
    m_spareSlave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (m_spareSlave >= 0) {
        ::tcgetattr(m_spareSlave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_spareSlave, TCSANOW, &raw);
    }
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_spareSlave >= 0)
        ::close(m_spareSlave);
}

QByteArray PtyPair::read(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && m_master >= 0) {
        const auto left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left)) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<qsizetype>(n));
    }
    return got;
}

QByteArray PtyPair::readFor(int ms)
{
    return read(1 << 30, ms);
}

void PtyPair::write(const QByteArray &bytes)
{
    // The program reads on this same thread: when the line is full, let its
    // event loop run instead of blocking both sides.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size() && clock.elapsed() < 5000) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (errno == EAGAIN)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        else
            break;
    }
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

qsizetype PtyPair::clog()
{
    ::fcntl(m_spareSlave, F_SETFL, ::fcntl(m_spareSlave, F_GETFL) | O_NONBLOCK);
    const QByteArray junk(4096, 'x');
    qsizetype total = 0;
    // The kernel moves data on to the master's side in the background and
    // makes room again; keep filling until a whole round takes nothing.
    for (qsizetype round = 1; round > 0;) {
        round = 0;
        for (ssize_t n = 1; n > 0;) {
            n = ::write(m_spareSlave, junk.constData(), static_cast<size_t>(junk.size()));
            round += n > 0 ? n : 0;
        }
        total += round;
        ::usleep(20000);
    }
    return total;
}
