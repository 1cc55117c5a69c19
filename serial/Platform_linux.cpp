#include "serial/Platform.h"

#include "serial/ComDevice.h"

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

std::optional<StaleLock> staleLock(const QString &portName)
{
    // Named and looked for as Qt's serial port does: "/dev/com1" locks "LCK..com1".
    QString name = portName.startsWith(QLatin1String("/dev/")) ? portName.mid(5) : portName;
    name = QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *dir : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp",
                            "/var/lock/lockdev", "/run/lock"}) {
        QFile lock(QDir(QString::fromLatin1(dir)).filePath(name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        const qint64 pid = lock.readLine(32).trimmed().toLongLong(&ok);
        if (ok && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            return StaleLock{lock.fileName(), pid};
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
