#include "serial/Platform.h"

#include "serial/ComDevice.h"
#include "serial/LockFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

QString comPortName(int portNumber)
{
    return comDevicePath(portNumber);
}

int driverQueued(qintptr handle)
{
    int queued = 0;
    if (::ioctl(static_cast<int>(handle), TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

OpenFault openFault(const QString &portName, QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::DeviceNotFoundError)
        return OpenFault::NoSuchDevice;
    if (error != QSerialPort::PermissionError)
        return OpenFault::Other;
    // Qt reports both a refused device and its own lock file as a permission
    // error; the device's mode tells them apart.
    const QByteArray path = QFile::encodeName(QFileInfo(portName).canonicalFilePath());
    if (!path.isEmpty() && ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return OpenFault::NoPermission;
    return OpenFault::InUse;
}

namespace {

// Where serial programs keep their lock files, in the order Qt looks for one
// it may write to.
constexpr const char *kLockDirs[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                     "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

bool running(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString programName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readLine(64)).trimmed() : QString();
}

std::optional<PortClaim> held(qint64 pid, const QString &lockPath = {})
{
    return PortClaim{PortClaim::Kind::Held, lockPath, pid, programName(pid)};
}

// What a file under one of the lock names says. A lock of this process, or
// of one that has ended, is no claim: Qt clears the latter as it opens.
std::optional<PortClaim> lockFileClaim(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    const auto badLock = [&path](PortClaim::Kind kind = PortClaim::Kind::NotALock) { return PortClaim{kind, path, 0, {}}; };
    struct stat info = {};
    if (::lstat(file.constData(), &info) != 0)
        return std::nullopt;
    // Only a plain file can be a lock; a FIFO or a device under the name is never opened.
    if (!S_ISREG(info.st_mode))
        return badLock();
    const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return badLock(errno == EACCES ? PortClaim::Kind::Unreadable : PortClaim::Kind::NotALock);
    char contents[128];
    const ssize_t size = ::read(fd, contents, sizeof contents);
    ::close(fd);
    const auto pid = size >= 0 ? lockOwner(QByteArray(contents, size)) : std::nullopt;
    if (!pid)
        return badLock();
    if (*pid == ::getpid() || !running(*pid))
        return std::nullopt;
    return held(*pid, path);
}

// The process holding an flock (or a record lock) on the device file, from
// the kernel's list: "1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF".
std::optional<PortClaim> deviceLockClaim(const struct stat &device)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray id = QString::asprintf("%02x:%02x:%llu", major(device.st_dev), minor(device.st_dev),
                                            static_cast<unsigned long long>(device.st_ino)).toLatin1();
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // "->" marks a process waiting for the lock, not holding it.
        if (fields.size() < 6 || fields[1] == "->" || fields[5] != id)
            continue;
        const qint64 pid = fields[4].toLongLong();
        if (pid != ::getpid())
            return held(pid);
    }
    return std::nullopt;
}

} // namespace

std::optional<PortClaim> portClaim(const QString &portName)
{
    const QString device = QFileInfo(portName).canonicalFilePath();
    struct stat node = {};
    // A device that is not there is told as such, whatever locks name it.
    if (device.isEmpty() || ::stat(QFile::encodeName(device).constData(), &node) != 0)
        return std::nullopt;
    std::optional<DeviceNumber> number;
    if (S_ISCHR(node.st_mode))
        number = DeviceNumber{major(node.st_rdev), minor(node.st_rdev)};
    const QStringList names = lockFileNames({portName, device}, number);
    // /var/lock is /run/lock on most systems: one look is enough.
    QStringList seen;
    for (const char *dir : kLockDirs) {
        const QString real = QFileInfo(QString::fromLatin1(dir)).canonicalFilePath();
        if (real.isEmpty() || seen.contains(real))
            continue;
        seen << real;
        for (const QString &name : names) {
            if (auto claim = lockFileClaim(QDir(QString::fromLatin1(dir)).filePath(name)))
                return claim;
        }
    }
    return deviceLockClaim(node);
}

std::optional<StaleLock> staleLock(const QString &portName)
{
    // Named and looked for as Qt's serial port does: "/dev/com1" locks "LCK..com1".
    const QString name = lockFileNames({portName}).constFirst();
    for (const char *dir : kLockDirs) {
        QFile lock(QDir(QString::fromLatin1(dir)).filePath(name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const auto pid = lockOwner(lock.read(128));
        if (pid && !running(*pid))
            return StaleLock{lock.fileName(), *pid};
        return std::nullopt;
    }
    return std::nullopt;
}

bool hungUp(qintptr handle)
{
    pollfd line{static_cast<int>(handle), POLLIN, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

QSocketNotifier *watchHangUp(qintptr handle, QObject *parent, std::function<void()> onHangUp)
{
    // Qt 6.8 takes a hung-up line's empty read without a word while its read
    // notifier fires without end. POLLHUP and POLLERR wake an exception
    // notifier on either of Qt's event dispatchers.
    auto *watch = new QSocketNotifier(handle, QSocketNotifier::Exception, parent);
    QObject::connect(watch, &QSocketNotifier::activated, parent, [handle, onHangUp = std::move(onHangUp)] {
        if (hungUp(handle))
            onHangUp();
    });
    return watch;
}

namespace {

// A signal handler may only write to a descriptor; the event loop reads the
// other end. This pair is the one piece of process-wide state it needs.
int signalPipe[2] = {-1, -1};

// Long enough for a window to close on a loaded machine, short enough that
// nobody reaches for kill -9.
constexpr unsigned kEndBoundSeconds = 5;

void endNow(int)
{
    ::_exit(0);
}

void handleTerminationSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

void forwardSignal(int signal)
{
    const auto number = static_cast<unsigned char>(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    // Armed here rather than on the loop, which may itself be what is held.
    // Only the first request arms it, so repeated ones cannot put it off.
    struct sigaction end = {};
    struct sigaction before = {};
    end.sa_handler = endNow;
    sigemptyset(&end.sa_mask);
    if (::sigaction(SIGALRM, &end, &before) == 0 && before.sa_handler != endNow)
        ::alarm(kEndBoundSeconds);
    errno = saved;
}

} // namespace

void endAtOnceOnTerminationSignal()
{
    handleTerminationSignals(endNow);
}

void onTerminationSignal(std::function<void()> handler)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
        unsigned char number = 0;
        while (::read(signalPipe[0], &number, 1) == 1)
            handler();
    });
    handleTerminationSignals(forwardSignal);
}

QStringList koreanFaces()
{
    return {QStringLiteral("NanumGothic"), QStringLiteral("UnDotum"), QStringLiteral("Noto Sans CJK KR")};
}

} // namespace platform
