#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Reads "baud,parity,data,stop" as in "9600,N,8,1"; nothing when malformed.
std::optional<LineSettings> parseLineSettings(const QString &text);
