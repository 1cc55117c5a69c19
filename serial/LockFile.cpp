#include "serial/LockFile.h"

#include <QtEndian>

#include <limits>

std::optional<qint64> lockOwner(const QByteArray &contents)
{
    if (contents.contains('\0')) {
        // Every pid_max lies below 2^24, so a binary pid has a zero byte; text never does.
        const qint32 pid = contents.size() == 4 ? qFromUnaligned<qint32>(contents.constData()) : 0;
        return pid > 0 ? std::optional<qint64>(pid) : std::nullopt;
    }
    bool ok = false;
    const qint64 pid = contents.left(contents.indexOf('\n')).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return pid;
}

QStringList lockFileNames(const QStringList &devicePaths, std::optional<DeviceNumber> number)
{
    QStringList names;
    const auto add = [&names](const QString &name) {
        if (!names.contains(name))
            names << name;
    };
    for (const QString &path : devicePaths) {
        if (path.isEmpty())
            continue;
        const QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
        add(QStringLiteral("LCK..") + QString(name).replace(u'/', u'_'));
        add(QStringLiteral("LCK..") + name.section(u'/', -1));
    }
    if (number)
        add(QString::asprintf("LCK.%03u.%03u", number->major, number->minor));
    return names;
}
