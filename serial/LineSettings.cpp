#include "serial/LineSettings.h"

#include <QStringList>

namespace {

std::optional<QSerialPort::Parity> parity(const QString &letter)
{
    const QString p = letter.toUpper();
    if (p == u"N") return QSerialPort::NoParity;
    if (p == u"E") return QSerialPort::EvenParity;
    if (p == u"O") return QSerialPort::OddParity;
    if (p == u"M") return QSerialPort::MarkParity;
    if (p == u"S") return QSerialPort::SpaceParity;
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> stopBits(const QString &text)
{
    if (text == u"1") return QSerialPort::OneStop;
    if (text == u"1.5") return QSerialPort::OneAndHalfStop;
    if (text == u"2") return QSerialPort::TwoStop;
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> parseLineSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    bool ok = false;
    const int baud = parts[0].trimmed().toInt(&ok);
    if (!ok || baud <= 0)
        return std::nullopt;
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    const auto p = parity(parts[1].trimmed());
    const auto s = stopBits(parts[3].trimmed());
    if (!p || !s)
        return std::nullopt;
    return LineSettings{baud, *p, static_cast<QSerialPort::DataBits>(bits), *s};
}
