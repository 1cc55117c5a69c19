#include "serial/Platform.h"

#include "serial/ComDevice.h"

#include <windows.h>

namespace platform {

QString comPortName(int portNumber)
{
    if (portNumber < kFirstComPort || portNumber > kLastComPort)
        return {};
    return QStringLiteral("COM%1").arg(portNumber);
}

int driverQueued(qintptr handle)
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(reinterpret_cast<HANDLE>(handle), &errors, &status))
        return 0;
    return static_cast<int>(status.cbOutQue);
}

OpenFault openFault(const QString &, QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenFault::NoSuchDevice;
    case QSerialPort::PermissionError:
        // A COM port opens for one program at a time; Windows answers every
        // other with "access denied", whoever the user is.
        return OpenFault::InUse;
    default:
        return OpenFault::Other;
    }
}

bool deviceExists(const QString &)
{
    // Qt asks Windows, which answers at once and keeps no lock files.
    return true;
}

std::optional<PortClaim> portClaim(const QString &)
{
    // Windows itself refuses a second opening of a COM port.
    return std::nullopt;
}

std::optional<StaleLock> staleLock(const QString &)
{
    // Windows keeps no lock files: a port is free when its holder ends.
    return std::nullopt;
}

std::unique_ptr<OpeningGuard> guardOpening(const QString &)
{
    return nullptr;
}

std::unique_ptr<PortHold> holdPort(const QString &, qintptr)
{
    // Windows opens a COM port for one program at a time and releases it with the process.
    return std::make_unique<PortHold>();
}

bool hungUp(qintptr)
{
    return false;
}

QSocketNotifier *watchHangUp(qintptr, QObject *, std::function<void()>)
{
    // An unplugged adapter comes back from Qt as a ResourceError here.
    return nullptr;
}

void endAtOnceOnTerminationSignal() {}

void onTerminationSignal(std::function<void()>)
{
    // A logout ends a Windows program through its window, and the system
    // releases the port with the process.
}

void endAsRequested() {}

QStringList koreanFaces()
{
    // "굴림" comes with Korean Windows only; Malgun Gothic with every Windows
    // since Vista.
    return {QStringLiteral("굴림"), QStringLiteral("Gulim"), QStringLiteral("Malgun Gothic")};
}

} // namespace platform
