#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QObject;
class QSocketNotifier;

// What differs between Linux and Windows, and nothing else. One source file
// per platform implements it; the port class and the window stay free of
// platform tests.
namespace platform {

// The port name that COM n opens ("/dev/ttyS0", "COM1"); empty when n names none.
QString comPortName(int portNumber);

// Bytes written but still held by the driver (a UART FIFO, a USB adapter's
// buffer), which Qt does not count; 0 when the driver cannot tell.
int driverQueued(qintptr handle);

enum class OpenFault { NoSuchDevice, InUse, NoPermission, Other };

// Why an opening failed, decided from facts about the device rather than
// from the wording of Qt's error text.
OpenFault openFault(const QString &portName, QSerialPort::SerialPortError error);

// False when the port's device is not there. Qt takes the port's lock file
// before it looks for the device, and would clear other programs' locks on
// the way, so a missing device is told without asking Qt.
bool deviceExists(const QString &portName);

// Another program's claim on a device, seen before opening it: Qt would
// take over a lock file of a running process, and knows nothing of flock.
struct PortClaim
{
    enum class Kind { Held, Unreadable, NotALock };
    Kind kind = Kind::Held;
    QString lockPath; // empty for a lock on the device itself
    qint64 pid = 0;   // the holder; 0 when not known
    QString program;  // the holder's name, when it can be read
};

std::optional<PortClaim> portClaim(const QString &portName);

// A lock file whose process no longer runs but which still keeps the port
// from opening: this user may not remove another user's file.
struct StaleLock
{
    QString path;
    qint64 pid = 0;
};

// The stale lock behind a port that would not open, if that is the reason.
std::optional<StaleLock> staleLock(const QString &portName);

// Kept alive while Qt opens the port: whatever lies under the lock's name
// cannot hold the opening for more than a moment.
class OpeningGuard
{
public:
    virtual ~OpeningGuard() = default;
};
std::unique_ptr<OpeningGuard> guardOpening(const QString &portName);

// Kept while the port is open: the port held against other programs beyond
// what Qt does (a lock under the device's own name, an flock), and released
// even when the process is ended by force.
class PortHold
{
public:
    virtual ~PortHold() = default;
};
// Nothing when another program took the port in the meantime.
std::unique_ptr<PortHold> holdPort(const QString &portName, qintptr handle);

// True once the line has hung up: the device, or the other end, is gone.
bool hungUp(qintptr handle);

// Calls onHangUp when the open line hangs up, which Qt does not report on
// every version; nullptr where the port's own errors already tell.
QSocketNotifier *watchHangUp(qintptr handle, QObject *parent, std::function<void()> onHangUp);

// For the first instruction of main: a request to end (a logout, a
// shutdown, Ctrl-C) ends the process at once with status 0, as nothing is
// open yet. Nothing where no such signals come.
void endAtOnceOnTerminationSignal();

// From then on such a request calls handler on the event loop instead, and
// the process ends within a few seconds even if it cannot finish on its own
// (a display that stalls holds the window's teardown for good), the port
// released first. A request that was ignored when the program started (nohup)
// stays ignored.
void onTerminationSignal(std::function<void()> handler);

// For the end of main: after a Ctrl-C, the process ends as interrupted, so
// that a shell loop that started it stops too.
void endAsRequested();

// Korean faces to stand in for the bold "굴림", best first.
QStringList koreanFaces();

} // namespace platform
