#include "serial/Platform.h"

#include "serial/ComDevice.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

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

QStringList koreanFaces()
{
    return {QStringLiteral("NanumGothic"), QStringLiteral("UnDotum"), QStringLiteral("Noto Sans CJK KR")};
}

} // namespace platform
