#include "serial/ComDevice.h"

#include <QFileInfo>

QString comDevicePath(int portNumber, const QString &devDir)
{
    if (portNumber < kFirstComPort || portNumber > kLastComPort)
        return {};
    const QString alias = QStringLiteral("%1/com%2").arg(devDir).arg(portNumber);
    if (QFileInfo::exists(alias))
        return alias;
    return QStringLiteral("%1/ttyS%2").arg(devDir).arg(portNumber - 1);
}
