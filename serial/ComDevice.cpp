#include "serial/ComDevice.h"

#include <QFileInfo>

QString comDevicePath(int portNumber, const QString &devDir)
{
    if (portNumber < kFirstComPort || portNumber > kLastComPort)
        return {};
    const QString alias = QStringLiteral("%1/com%2").arg(devDir).arg(portNumber);
    // A dangling alias still means COM n: better "no such device" than
    // quietly opening an on-board port the operator did not ask for.
    const QFileInfo info(alias);
    if (info.exists() || info.isSymLink())
        return alias;
    return QStringLiteral("%1/ttyS%2").arg(devDir).arg(portNumber - 1);
}
