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

QStringList koreanFaces()
{
    // "굴림" comes with Korean Windows only; Malgun Gothic with every Windows
    // since Vista.
    return {QStringLiteral("굴림"), QStringLiteral("Gulim"), QStringLiteral("Malgun Gothic")};
}

} // namespace platform
