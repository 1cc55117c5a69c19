#pragma once

#include <QString>

#include <exception>
#include <utility>

// What went wrong on the serial line, as facts; the window words the message.
enum class CommFault {
    NoSuchPort,      // the COM number names no port (nothing chosen in the list)
    NoSuchDevice,    // the port's device does not exist
    InUse,           // another program holds the port
    HeldBy,          // that program is known; detail "pid\nprogram\nlock file", either of the last may be empty
    LockUnreadable,  // a lock file under the device's name may not be read; detail its path
    NotALock,        // something under a lock file's name is no lock; detail its path
    StaleLock,       // a lock file of a process that has ended; detail "pid path"
    NoPermission,    // the device refuses this user
    OpenFailed,      // any other reason; detail holds the system's words
    BadSettings,     // line settings text not understood
    NotOpen,         // an operation needs the open port
    WriteFailed,     // the port refused the bytes
    SendTimeout,     // the bytes did not leave within the bound
    DeviceLost,      // the device went away while in use
};

class CommError : public std::exception
{
public:
    CommError(CommFault fault, QString device = {}, QString detail = {})
        : m_fault(fault), m_device(std::move(device)), m_detail(std::move(detail))
    {
    }

    CommFault fault() const { return m_fault; }
    // "COM1: /dev/ttyUSB0 (/dev/com1)", when a device is concerned.
    const QString &device() const { return m_device; }
    const QString &detail() const { return m_detail; }
    const char *what() const noexcept override { return "serial port error"; }

private:
    CommFault m_fault;
    QString m_device;
    QString m_detail;
};
