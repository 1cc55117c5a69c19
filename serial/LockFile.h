#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// UUCP lock files, as serial programs on Unix leave them: "LCK..name" in a
// lock directory, holding the process id of the program that has the port.

// What a lock file says. Qt writes the process id, the program, the host, the
// machine id and the boot id, a line each; minicom and lockdev only the id.
struct LockContents
{
    qint64 pid = 0;
    QString program;
    QString host;
    QByteArray hostId;
    QByteArray bootId;
};

// Nothing when the contents are no lock: the id as ASCII digits (blanks
// around them and the line break after them are optional), or the 4-byte
// binary int of older programs.
std::optional<LockContents> parseLock(const QByteArray &contents);

// The facts about this machine that decide whether a lock can still be held.
struct ThisMachine
{
    QString host;
    QByteArray hostId;
    QByteArray bootId;
    qint64 bootTime = 0; // seconds since the epoch
};

// True when no running program can be behind the lock: written before the
// last boot, or by an earlier boot of this machine. Whether its process still
// runs is for the caller to ask.
bool fromEarlierBoot(const LockContents &lock, qint64 modifiedAt, const ThisMachine &machine);

// True when the lock names a program on another machine (a shared lock
// directory): its process cannot be looked up here.
bool fromOtherMachine(const LockContents &lock, const ThisMachine &machine);

// The lock's contents for this process, in Qt's form, which other programs read too.
QByteArray lockContents(qint64 pid, const QString &program, const QString &host);

struct DeviceNumber
{
    unsigned major = 0;
    unsigned minor = 0;
};

// The names programs give the lock of a device reached by these paths:
// "/dev/pts/3" as "LCK..pts_3" (Qt, lockdev) and "LCK..3" (minicom), then
// "LCK.MMM.NNN" by the device's numbers (lockdev). The first is Qt's name
// for the first path.
QStringList lockFileNames(const QStringList &devicePaths, std::optional<DeviceNumber> number = {});
