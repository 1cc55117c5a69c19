#include "serial/LockFile.h"

#include <QtEndian>

#include <limits>

std::optional<LockContents> parseLock(const QByteArray &contents)
{
    if (contents.contains('\0')) {
        // Every pid_max lies below 2^24, so a binary pid has a zero byte; text never does.
        const qint32 pid = contents.size() == 4 ? qFromUnaligned<qint32>(contents.constData()) : 0;
        return pid > 0 ? std::optional(LockContents{pid, {}, {}, {}, {}}) : std::nullopt;
    }
    const QList<QByteArray> lines = contents.split('\n');
    bool ok = false;
    const qint64 pid = lines[0].trimmed().toLongLong(&ok);
    if (!ok || pid <= 0 || pid > std::numeric_limits<qint32>::max())
        return std::nullopt;
    const auto line = [&lines](qsizetype i) { return lines.value(i).trimmed(); };
    return LockContents{pid, QString::fromUtf8(line(1)), QString::fromUtf8(line(2)), line(3), line(4)};
}

bool fromOtherMachine(const LockContents &lock, const ThisMachine &machine)
{
    // The machine id outranks the host name, which may be shared or changed.
    if (!lock.hostId.isEmpty() && !machine.hostId.isEmpty())
        return lock.hostId != machine.hostId;
    return !lock.host.isEmpty() && lock.host != machine.host;
}

bool fromEarlierBoot(const LockContents &lock, qint64 modifiedAt, const ThisMachine &machine)
{
    if (fromOtherMachine(lock, machine))
        return false;
    if (machine.bootTime > 0 && modifiedAt < machine.bootTime)
        return true;
    return !lock.bootId.isEmpty() && !machine.bootId.isEmpty() && lock.bootId != machine.bootId;
}

QByteArray lockContents(qint64 pid, const QString &program, const QString &host)
{
    return QByteArray::number(pid) + '\n' + program.toUtf8() + '\n' + host.toUtf8() + '\n';
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
