#pragma once

#include "serial/ComDevice.h"
#include "serial/CommError.h"
#include "serial/LineSettings.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

class QSocketNotifier;
namespace platform {
class PortHold;
}

// The serial port as the window uses it: open state, port number, line
// settings, buffer counts, Output/Input of raw 8-bit characters and a
// receive notification. Operations that fail throw CommError.
class MSComm : public QObject
{
    Q_OBJECT

public:
    static constexpr short comEvReceive = 2;
    static constexpr int kReceiveBufferSize = 1024;
    // 27 bytes take 28 ms at 9600 baud; anything near a second means the line is stuck.
    static constexpr std::chrono::milliseconds kSendBound{1000};

    explicit MSComm(ComPathResolver resolver, QObject *parent = nullptr);
    ~MSComm() override;

    bool PortOpen() const;
    void setPortOpen(bool open);

    short CommPort() const { return m_commPort; }
    void setCommPort(short portNumber) { m_commPort = portNumber; }

    QString Settings() const { return m_settingsText; }
    void setSettings(const QString &settings);

    int InBufferCount() const;
    void setInBufferCount(int count);
    int OutBufferCount() const;
    void setOutBufferCount(int count);

    void Output(const QString &text);
    void Output(const QByteArray &bytes);
    QString Input();

    short RThreshold() const { return m_rThreshold; }
    void setRThreshold(short threshold) { m_rThreshold = threshold; }
    short CommEvent() const { return m_commEvent; }

    // Blocks (bounded) until everything written has left for the device.
    // What has not left by then is withdrawn, so it never leaves later.
    void waitUntilSent();

    // "COM1: /dev/ttyUSB0 (/dev/com1)": what the last opening tried, as it
    // stood then; an unplugged adapter takes its alias with it.
    const QString &deviceLine() const { return m_deviceLine; }
    // Why the last opening failed; nothing after a success.
    const std::optional<CommError> &openFailure() const { return m_openFailure; }
    // A loss signalled but not yet told: the first to tell it takes it, so
    // that an action queued behind the unplug and the signal say it once.
    bool takeUntoldLoss() { return std::exchange(m_lossUntold, false); }
    // Throws NotOpen, or DeviceLost for a loss not yet told.
    void requireOpenForSending();

signals:
    void OnComm();
    // Characters arrived, whatever the receive threshold.
    void Arrived();
    // The device went away and the port has been closed. Not emitted when the
    // operation under way reports the loss itself, so the operator hears once.
    void DeviceLost(const QString &device);

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void requireOpen() const;
    void closePort();
    void lose();
    void noticeHangUp();
    QString describeDevice() const;
    // Bytes still unsent at the deadline: in Qt's buffer, then in the driver's.
    qint64 unsentAfter(std::chrono::steady_clock::time_point deadline);
    [[noreturn]] void failOpen(CommFault fault, const QString &detail = {});
    // Fails the opening when another program's claim on the port can be seen.
    void failIfClaimed();

    ComPathResolver m_resolver;
    QSerialPort m_port;
    QSocketNotifier *m_hangUpWatch = nullptr;
    std::unique_ptr<platform::PortHold> m_hold;
    short m_commPort = 1;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    LineSettings m_settings;
    short m_rThreshold = 1;
    short m_commEvent = 0;
    QString m_triedPath;
    QString m_deviceLine;
    std::optional<CommError> m_openFailure;
    bool m_waiting = false;
    bool m_lostWhileWaiting = false;
    bool m_lossUntold = false;
};
