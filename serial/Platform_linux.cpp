#include "serial/Platform.h"

#include "serial/ComDevice.h"
#include "serial/LockFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
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

// An empty lock this young may be a program between creating and writing it.
constexpr qint64 kBeingWrittenSeconds = 5;

bool running(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QByteArray readSmallFile(const char *path, qint64 limit = 256)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.read(limit) : QByteArray();
}

QString programName(qint64 pid)
{
    return QString::fromLocal8Bit(readSmallFile(qPrintable(QStringLiteral("/proc/%1/comm").arg(pid)), 64)).trimmed();
}

const ThisMachine &thisMachine()
{
    static const ThisMachine machine = [] {
        ThisMachine m{QSysInfo::machineHostName(), QSysInfo::machineUniqueId(),
                      readSmallFile("/proc/sys/kernel/random/boot_id").trimmed(), 0};
        for (const QByteArray &line : readSmallFile("/proc/stat", 1 << 16).split('\n')) {
            if (line.startsWith("btime "))
                m.bootTime = line.mid(6).trimmed().toLongLong();
        }
        return m;
    }();
    return machine;
}

bool sameDevice(const struct stat &a, const struct stat &b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the process has the device open; nothing when this user may not look.
std::optional<bool> hasOpen(qint64 pid, const struct stat &device)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    DIR *dir = ::opendir(QFile::encodeName(fds).constData());
    if (!dir)
        return std::nullopt;
    bool found = false;
    while (const dirent *entry = ::readdir(dir)) {
        struct stat target = {};
        const QByteArray path = QFile::encodeName(fds) + '/' + entry->d_name;
        if (entry->d_name[0] != '.' && ::stat(path.constData(), &target) == 0 && sameDevice(target, device)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Some process other than this one that has the device open, 0 when none can be seen.
qint64 anyHolder(const struct stat &device)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return 0;
    qint64 holder = 0;
    while (const dirent *entry = ::readdir(proc)) {
        bool number = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&number);
        if (number && pid != ::getpid() && hasOpen(pid, device).value_or(false)) {
            holder = pid;
            break;
        }
    }
    ::closedir(proc);
    return holder;
}

std::optional<PortClaim> held(qint64 pid, const QString &lockPath = {})
{
    return PortClaim{PortClaim::Kind::Held, lockPath, pid, pid > 0 ? programName(pid) : QString()};
}

bool executableIs(qint64 pid, const QString &program)
{
    const QString wanted = QFileInfo(program).fileName();
    const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (!exe.isEmpty())
        return QFileInfo(exe).fileName().remove(QLatin1String(" (deleted)")) == wanted;
    // Another user's program: only its short name (15 characters) can be read.
    const QString comm = programName(pid);
    return comm.isEmpty() || comm == wanted.left(15);
}

// A lock that no running program can be behind: Qt takes it over as it opens.
bool stale(const LockContents &lock, qint64 modifiedAt, const struct stat &device)
{
    if (fromEarlierBoot(lock, modifiedAt, thisMachine()))
        return true;
    if (fromOtherMachine(lock, thisMachine()))
        return false;
    if (!running(lock.pid))
        return true;
    // The process id came round to another program.
    if (!lock.program.isEmpty() && !executableIs(lock.pid, lock.program))
        return true;
    return !hasOpen(lock.pid, device).value_or(true);
}

struct LockFileState
{
    std::optional<PortClaim> claim;
    std::optional<StaleLock> stale;
};

// What a file under one of the lock names means. A lock of this process, or
// of one that cannot be running, is no claim.
LockFileState lockFileState(const QString &path, const struct stat &device)
{
    const QByteArray file = QFile::encodeName(path);
    const auto claim = [&path](PortClaim::Kind kind) { return LockFileState{PortClaim{kind, path, 0, {}}, {}}; };
    struct stat info = {};
    if (::lstat(file.constData(), &info) != 0)
        return {};
    // Only a plain file can be a lock; a FIFO or a device under the name is never opened.
    if (!S_ISREG(info.st_mode))
        return claim(PortClaim::Kind::NotALock);
    const int fd = ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        return claim(errno == EACCES ? PortClaim::Kind::Unreadable : PortClaim::Kind::NotALock);
    }
    char contents[256];
    const ssize_t size = ::read(fd, contents, sizeof contents);
    const bool read = ::fstat(fd, &info) == 0 && size >= 0;
    ::close(fd);
    const qint64 modifiedAt = info.st_mtim.tv_sec;
    if (read && size == 0 && std::abs(std::time(nullptr) - modifiedAt) < kBeingWrittenSeconds)
        return LockFileState{held(0, path), {}};
    const auto lock = read ? parseLock(QByteArray(contents, size)) : std::nullopt;
    if (!lock)
        return claim(PortClaim::Kind::NotALock);
    if (lock->pid == ::getpid())
        return {};
    if (stale(*lock, modifiedAt, device))
        return LockFileState{{}, StaleLock{path, lock->pid}};
    if (fromOtherMachine(*lock, thisMachine()))
        return LockFileState{held(0, path), {}};
    return LockFileState{held(lock->pid, path), {}};
}

// The process holding an flock (or a record lock) on the device file, from
// the kernel's list: "1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF". The
// list names the process that took the lock, which may have handed it to a
// child and ended: the holder named is one that has the device open now.
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
        if (pid == ::getpid())
            continue;
        if (running(pid) && hasOpen(pid, device).value_or(true))
            return held(pid);
        return held(anyHolder(device));
    }
    return std::nullopt;
}

// The lock directories, each once: /var/lock is /run/lock on most systems.
QStringList lockDirs()
{
    QStringList dirs, seen;
    for (const char *dir : kLockDirs) {
        const QString real = QFileInfo(QString::fromLatin1(dir)).canonicalFilePath();
        if (!real.isEmpty() && !seen.contains(real)) {
            seen << real;
            dirs << QString::fromLatin1(dir);
        }
    }
    return dirs;
}

std::optional<struct stat> deviceNode(const QString &portName)
{
    const QString device = QFileInfo(portName).canonicalFilePath();
    struct stat node = {};
    if (device.isEmpty() || ::stat(QFile::encodeName(device).constData(), &node) != 0)
        return std::nullopt;
    return node;
}

// Qt's name for the port's lock: "/dev/com1" locks "LCK..com1".
QString qtLockName(const QString &portName)
{
    return lockFileNames({portName}).constFirst();
}

} // namespace

bool deviceExists(const QString &portName)
{
    return deviceNode(portName).has_value();
}

std::optional<PortClaim> portClaim(const QString &portName)
{
    const auto node = deviceNode(portName);
    if (!node)
        return std::nullopt;
    std::optional<DeviceNumber> number;
    if (S_ISCHR(node->st_mode))
        number = DeviceNumber{major(node->st_rdev), minor(node->st_rdev)};
    const QStringList names = lockFileNames({portName, QFileInfo(portName).canonicalFilePath()}, number);
    for (const QString &dir : lockDirs()) {
        for (const QString &name : names) {
            if (auto claim = lockFileState(QDir(dir).filePath(name), *node).claim)
                return claim;
        }
    }
    return deviceLockClaim(*node);
}

std::optional<StaleLock> staleLock(const QString &portName)
{
    const auto node = deviceNode(portName);
    if (!node)
        return std::nullopt;
    for (const char *dir : kLockDirs) {
        if (auto stale = lockFileState(QDir(QString::fromLatin1(dir)).filePath(qtLockName(portName)), *node).stale)
            return stale;
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

// What a signal handler needs: the pipe to the event loop, the request that
// came first, and what an end by force must still release. This is the
// only process-wide state here.
int signalPipe[2] = {-1, -1};
std::atomic<int> firstRequest{0};
struct ForcedRelease
{
    std::atomic<int> port{-1};
    char locks[2][PATH_MAX] = {};
};
ForcedRelease forcedRelease;
static_assert(std::atomic<int>::is_always_lock_free, "read in signal handlers");

// Long enough for a window to close on a loaded machine, short enough that
// nobody reaches for kill -9.
constexpr unsigned kEndBoundSeconds = 5;

// Async-signal-safe: the port's locks go, then the port itself.
void releasePort()
{
    const int port = forcedRelease.port.exchange(-1);
    if (port < 0)
        return;
    for (const char *lock : forcedRelease.locks) {
        if (lock[0] != '\0')
            ::unlink(lock);
    }
    // Unsent output would hold the close (a UART waits up to 30 s for it).
    ::tcflush(port, TCOFLUSH);
    ::close(port);
}

[[noreturn]] void endAs(int signal)
{
    if (signal == SIGINT) {
        // Dying of the interrupt tells a shell loop to stop as well.
        struct sigaction byDefault = {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        ::sigaction(SIGINT, &byDefault, nullptr);
        sigset_t interrupt;
        sigemptyset(&interrupt);
        sigaddset(&interrupt, SIGINT);
        ::raise(SIGINT);
        ::pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
    }
    ::_exit(0);
}

void endAfterBound(int)
{
    releasePort();
    endAs(firstRequest.load());
}

void handleTerminationSignals(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction before = {};
        // Ignored from the start (nohup): the caller wants it ignored.
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

void forwardSignal(int signal)
{
    const auto number = static_cast<unsigned char>(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
    // Armed here rather than on the loop, which may itself be what is held.
    // Only the first request arms it, so repeated ones cannot put it off.
    int none = 0;
    if (firstRequest.compare_exchange_strong(none, signal)) {
        struct sigaction end = {};
        end.sa_handler = endAfterBound;
        sigemptyset(&end.sa_mask);
        ::sigaction(SIGALRM, &end, nullptr);
        ::alarm(kEndBoundSeconds);
    }
    errno = saved;
}

// Gives a FIFO a writer and a line break: a reader blocked in opening it
// goes on, and one blocked reading it gets a line that is no lock.
void feedFifo(const char *path)
{
    const int ref = ::open(path, O_PATH | O_CLOEXEC);
    if (ref < 0)
        return;
    struct stat info = {};
    if (::fstat(ref, &info) == 0 && S_ISFIFO(info.st_mode)) {
        // Through the reference, so that nothing put there meanwhile is opened.
        const int fifo = ::open(QByteArray("/proc/self/fd/" + QByteArray::number(ref)).constData(),
                                O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fifo >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(fifo, "\n", 1);
            ::close(fifo);
        }
    }
    ::close(ref);
}

// Qt's lock step opens a lock file that is already there, and its stale-lock
// check's own ".rmlock", with a blocking open and blocking reads. A FIFO
// planted under such a name in a world-writable lock directory would hold
// Connect for good, even one removed again before anyone looks. While Qt
// opens the port, a helper thread feeds every FIFO under the names, by path
// and among this process's descriptors, and nudges the opening thread with
// a signal: an open blocked on a FIFO that has gone starts again and finds
// nothing.
class LockStepGuard final : public OpeningGuard
{
public:
    explicit LockStepGuard(const QString &lockName) : m_lockName(QFile::encodeName(lockName))
    {
        for (const QString &dir : lockDirs())
            m_dirs.push_back(QFile::encodeName(dir));
        struct sigaction nudge = {};
        nudge.sa_handler = [](int) {};
        sigemptyset(&nudge.sa_mask);
        nudge.sa_flags = SA_RESTART;
        ::sigaction(kNudge, &nudge, &m_before);
        m_thread = std::thread([this] { watch(); });
    }
    ~LockStepGuard() override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
        ::sigaction(kNudge, &m_before, nullptr);
    }
    LockStepGuard(const LockStepGuard &) = delete;
    LockStepGuard &operator=(const LockStepGuard &) = delete;

private:
    static constexpr int kNudge = SIGURG; // ignored by default: a late one does no harm
    static constexpr std::chrono::milliseconds kInterval{100};

    void watch()
    {
        std::unique_lock lock(m_mutex);
        while (!m_done.wait_for(lock, kInterval, [this] { return m_finished; })) {
            feedPlanted();
            ::pthread_kill(m_opener, kNudge);
        }
    }

    bool isLockName(const char *name) const { return std::strncmp(name, m_lockName.constData(), size_t(m_lockName.size())) == 0; }

    void feedPlanted() const
    {
        for (const QByteArray &dir : m_dirs) {
            forEachEntry(dir, [&](const QByteArray &path, const char *name) {
                if (isLockName(name))
                    feedFifo(path.constData());
            });
        }
        forEachEntry("/proc/self/fd", [&](const QByteArray &path, const char *) {
            char target[PATH_MAX];
            const ssize_t size = ::readlink(path.constData(), target, sizeof target - 1);
            if (size <= 0)
                return;
            target[size] = '\0';
            const char *name = std::strrchr(target, '/');
            if (name && isLockName(name + 1))
                feedFifo(path.constData());
        });
    }

    template <typename Visit> static void forEachEntry(const QByteArray &dirPath, Visit visit)
    {
        DIR *dir = ::opendir(dirPath.constData());
        if (!dir)
            return;
        while (const dirent *entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.')
                visit(dirPath + '/' + entry->d_name, entry->d_name);
        }
        ::closedir(dir);
    }

    QByteArray m_lockName;
    std::vector<QByteArray> m_dirs;
    pthread_t m_opener = ::pthread_self();
    struct sigaction m_before = {};
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

class LinuxPortHold final : public PortHold
{
public:
    LinuxPortHold(int port, const QByteArray &qtLock, const QByteArray &deviceLock) : m_deviceLock(deviceLock)
    {
        forcedRelease.port.store(-1);
        qstrncpy(forcedRelease.locks[0], qtLock.constData(), PATH_MAX);
        qstrncpy(forcedRelease.locks[1], deviceLock.constData(), PATH_MAX);
        forcedRelease.port.store(port);
    }
    ~LinuxPortHold() override
    {
        forcedRelease.port.store(-1);
        if (!m_deviceLock.isEmpty() && ownLock(m_deviceLock))
            ::unlink(m_deviceLock.constData());
    }
    LinuxPortHold(const LinuxPortHold &) = delete;
    LinuxPortHold &operator=(const LinuxPortHold &) = delete;

    static bool ownLock(const QByteArray &path)
    {
        struct stat info = {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            return false;
        const auto lock = parseLock(readSmallFile(path.constData()));
        return lock && lock->pid == ::getpid();
    }

private:
    QByteArray m_deviceLock;
};

// Writes this process's lock under the device's own name, where programs
// that open the device by that name look; empty when it cannot be had.
QByteArray lockUnderDeviceName(const QString &dir, const QString &name, const struct stat &device)
{
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(name));
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (LinuxPortHold::ownLock(path))
            return path;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const QByteArray contents = lockContents(::getpid(), QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().section(u'/', -1),
                                                     QSysInfo::machineHostName());
            const bool written = ::write(fd, contents.constData(), size_t(contents.size())) == contents.size();
            ::close(fd);
            if (written)
                return path;
            ::unlink(path.constData());
            return {};
        }
        // Only a lock no running program can be behind is taken over.
        if (errno != EEXIST || !lockFileState(QFile::decodeName(path), device).stale || ::unlink(path.constData()) != 0)
            break;
    }
    return {};
}

} // namespace

std::unique_ptr<OpeningGuard> guardOpening(const QString &portName)
{
    return std::make_unique<LockStepGuard>(qtLockName(portName));
}

std::unique_ptr<PortHold> holdPort(const QString &portName, qintptr handle)
{
    const int port = static_cast<int>(handle);
    const auto node = deviceNode(portName);
    // Programs such as picocom lock the device itself rather than a file.
    if (!node || ::flock(port, LOCK_EX | LOCK_NB) != 0)
        return nullptr;
    QByteArray qtLock;
    QString dir;
    for (const char *candidate : kLockDirs) {
        const QByteArray path = QFile::encodeName(QDir(QString::fromLatin1(candidate)).filePath(qtLockName(portName)));
        if (LinuxPortHold::ownLock(path)) {
            qtLock = path;
            dir = QString::fromLatin1(candidate);
            break;
        }
    }
    // Reached through an alias ("/dev/com1"), the port is also locked under
    // the device's own name ("LCK..ttyUSB0"), as programs that open the
    // device by that name look for it.
    QByteArray deviceLock;
    const QString ownName = lockFileNames({QFileInfo(portName).canonicalFilePath()}).constFirst();
    if (!dir.isEmpty() && ownName != qtLockName(portName)) {
        deviceLock = lockUnderDeviceName(dir, ownName, *node);
        if (deviceLock.isEmpty()) {
            ::flock(port, LOCK_UN);
            return nullptr;
        }
    }
    return std::make_unique<LinuxPortHold>(port, qtLock, deviceLock);
}

void endAtOnceOnTerminationSignal()
{
    handleTerminationSignals(endAs);
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

void endAsRequested()
{
    if (firstRequest.load() == SIGINT)
        endAs(SIGINT);
}

QStringList koreanFaces()
{
    return {QStringLiteral("NanumGothic"), QStringLiteral("UnDotum"), QStringLiteral("Noto Sans CJK KR")};
}

} // namespace platform
