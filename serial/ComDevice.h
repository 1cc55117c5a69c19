#pragma once

#include <QString>

#include <functional>

// Which device file a COM number opens. Empty when the number names none.
using ComPathResolver = std::function<QString(int portNumber)>;

constexpr int kFirstComPort = 1;
constexpr int kLastComPort = 8;

// COM n is /dev/comN when that exists (a udev alias can give a USB adapter
// that name), otherwise the n-th on-board port /dev/ttyS(n-1).
QString comDevicePath(int portNumber, const QString &devDir = QStringLiteral("/dev"));
