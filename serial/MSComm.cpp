#include "serial/MSComm.h"

#include "serial/Platform.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <utility>

namespace {

CommFault commFault(platform::OpenFault fault)
{
    switch (fault) {
    case platform::OpenFault::NoSuchDevice: return CommFault::NoSuchDevice;
    case platform::OpenFault::InUse: return CommFault::InUse;
    case platform::OpenFault::NoPermission: return CommFault::NoPermission;
    case platform::OpenFault::Other: break;
    }
    return CommFault::OpenFailed;
}

} // namespace

MSComm::MSComm(ComPathResolver resolver, QObject *parent)
    : QObject(parent), m_resolver(std::move(resolver)), m_queueQuery(platform::driverQueued), m_port(this)
{
    m_port.setReadBufferSize(kReceiveBufferSize);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

MSComm::~MSComm()
{
    // The port is closed with the component; what was queued is dropped.
    if (m_port.isOpen())
        m_port.close();
}

bool MSComm::PortOpen() const
{
    return m_port.isOpen();
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        return;
    }
    if (m_port.isOpen())
        return;

    m_openFailure.reset();
    m_triedPath = m_resolver(m_commPort);
    if (m_triedPath.isEmpty())
        failOpen(CommFault::NoSuchPort, QString::number(m_commPort));

    m_port.setPortName(m_triedPath);
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QString detail = m_port.errorString();
        const CommFault fault = commFault(platform::openFault(m_triedPath, m_port.error()));
        m_port.clearError();
        failOpen(fault, detail);
    }
    // Qt keeps what waited in the driver before the opening: it is no reply to us.
    m_port.clear(QSerialPort::Input);
}

void MSComm::failOpen(CommFault fault, const QString &detail)
{
    m_openFailure.emplace(fault, deviceLine(), detail);
    throw *m_openFailure;
}

void MSComm::setSettings(const QString &settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!parsed)
        throw CommError(CommFault::BadSettings, {}, settings);
    m_settingsText = settings;
    m_settings = *parsed;
}

int MSComm::InBufferCount() const
{
    return m_port.isOpen() ? static_cast<int>(m_port.bytesAvailable()) : 0;
}

void MSComm::setInBufferCount(int count)
{
    requireOpen();
    if (count == 0)
        m_port.clear(QSerialPort::Input);
}

int MSComm::OutBufferCount() const
{
    return m_port.isOpen() ? static_cast<int>(m_port.bytesToWrite()) : 0;
}

void MSComm::setOutBufferCount(int count)
{
    requireOpen();
    if (count != 0)
        return;
    // Whatever is still queued is the tail of a frame already begun: cutting
    // it would hand the controller half a frame. Let it leave instead, and
    // fail if it cannot. No driver flush afterwards: a pty or a USB adapter
    // may still hold bytes it does not report, and a flush would drop them.
    waitUntilSent();
}

void MSComm::Output(const QString &text)
{
    Output(text.toLatin1());
}

void MSComm::Output(const QByteArray &bytes)
{
    requireOpen();
    if (m_port.write(bytes) != bytes.size())
        throw CommError(CommFault::WriteFailed, deviceLine(), m_port.errorString());
}

QString MSComm::Input()
{
    requireOpen();
    // One character per byte, so that 0x80..0xFF survive as U+0080..U+00FF.
    return QString::fromLatin1(m_port.readAll());
}

void MSComm::waitUntilSent()
{
    requireOpen();
    const auto deadline = std::chrono::steady_clock::now() + kSendBound;
    m_waiting = true;
    m_lostWhileWaiting = false;
    const auto done = qScopeGuard([this] { m_waiting = false; });
    waitQtDrained(deadline);
    waitDriverDrained(deadline);
}

void MSComm::waitQtDrained(std::chrono::steady_clock::time_point deadline)
{
    while (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !m_port.waitForBytesWritten(static_cast<int>(left.count()))) {
            if (m_port.isOpen() && m_port.bytesToWrite() == 0)
                break;
            if (m_lostWhileWaiting)
                throw CommError(CommFault::DeviceLost, deviceLine());
            throw CommError(CommFault::SendTimeout, deviceLine(), QString::number(m_port.bytesToWrite()));
        }
    }
}

void MSComm::waitDriverDrained(std::chrono::steady_clock::time_point deadline)
{
    // The driver's queue (a UART FIFO, a USB adapter's buffer) is not Qt's to
    // report; ask it how much it still holds.
    for (;;) {
        if (m_lostWhileWaiting)
            throw CommError(CommFault::DeviceLost, deviceLine());
        if (!m_port.isOpen())
            throw CommError(CommFault::NotOpen);
        const int queued = m_queueQuery(qintptr(m_port.handle()));
        if (queued <= 0)
            return;
        if (std::chrono::steady_clock::now() >= deadline)
            throw CommError(CommFault::SendTimeout, deviceLine(), QString::number(queued));
        QThread::msleep(1);
    }
}

QString MSComm::deviceLine() const
{
    const QString com = QStringLiteral("COM%1").arg(m_commPort);
    if (m_triedPath.isEmpty())
        return QStringLiteral("COM %1: 장치 없음").arg(m_commPort);
    if (m_triedPath == com)
        return com;
    const QFileInfo info(m_triedPath);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        return QStringLiteral("%1: %2 (%3)").arg(com, target.isEmpty() ? info.symLinkTarget() : target, m_triedPath);
    }
    return QStringLiteral("%1: %2").arg(com, m_triedPath);
}

void MSComm::onReadyRead()
{
    emit Arrived();
    if (m_rThreshold > 0 && m_port.isOpen() && m_port.bytesAvailable() >= m_rThreshold) {
        m_commEvent = comEvReceive;
        emit OnComm();
    }
}

void MSComm::onError(QSerialPort::SerialPortError error)
{
    // Qt 6.4 may report a vanished device as a ReadError and keep its read
    // notifier firing; closing is what stops it.
    const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!lost || !m_port.isOpen())
        return;
    m_port.close();
    if (m_waiting)
        m_lostWhileWaiting = true;
    else
        emit DeviceLost(deviceLine());
}

void MSComm::requireOpen() const
{
    if (!m_port.isOpen())
        throw CommError(CommFault::NotOpen);
}
