#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringList>

// What differs between Linux and Windows, and nothing else. One source file
// per platform implements it; the port class and the window stay free of
// platform tests.
namespace platform {

// The port name that COM n opens ("/dev/ttyS0", "COM1"); empty when n names none.
QString comPortName(int portNumber);

// Bytes written but still held by the driver (a UART FIFO, a USB adapter's
// buffer), which Qt does not count; 0 when the driver cannot tell.
int driverQueued(qintptr handle);

enum class OpenFault { NoSuchDevice, InUse, NoPermission, Other };

// Why an opening failed, decided from facts about the device rather than
// from the wording of Qt's error text.
OpenFault openFault(const QString &portName, QSerialPort::SerialPortError error);

// Korean faces to stand in for the bold "굴림", best first.
QStringList koreanFaces();

} // namespace platform
