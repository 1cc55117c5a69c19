#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// UUCP lock files, as serial programs on Unix leave them: "LCK..name" in a
// lock directory, holding the process id of the program that has the port.

// The process a lock file's contents name: ASCII digits ("%10d\n" of minicom
// and lockdev; Qt adds the program and host on lines of their own), or the
// 4-byte binary int of older programs. Nothing when the contents are no lock.
std::optional<qint64> lockOwner(const QByteArray &contents);

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
