#include "serial/MSComm.h"

#include "serial/Platform.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
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

std::pair<CommFault, QString> claimFault(const platform::PortClaim &claim)
{
    switch (claim.kind) {
    case platform::PortClaim::Kind::Unreadable: return {CommFault::LockUnreadable, claim.lockPath};
    case platform::PortClaim::Kind::NotALock: return {CommFault::NotALock, claim.lockPath};
    case platform::PortClaim::Kind::Held: break;
    }
    if (claim.pid <= 0)
        return {CommFault::InUse, {}};
    return {CommFault::HeldBy, QStringLiteral("%1\n%2\n%3").arg(QString::number(claim.pid), claim.program, claim.lockPath)};
}

int msecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

} // namespace

MSComm::MSComm(ComPathResolver resolver, QObject *parent)
    : QObject(parent), m_resolver(std::move(resolver)), m_port(this)
{
    m_port.setReadBufferSize(kReceiveBufferSize);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm::onError);
}

MSComm::~MSComm()
{
    // The port is closed with the component; what was queued is dropped.
    closePort();
}

bool MSComm::PortOpen() const
{
    return m_port.isOpen();
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        closePort();
        return;
    }
    if (m_port.isOpen())
        return;

    m_openFailure.reset();
    m_lossUntold = false; // the operator has acted on it
    m_triedPath = m_resolver(m_commPort);
    m_deviceLine = describeDevice();
    if (m_triedPath.isEmpty())
        failOpen(CommFault::NoSuchPort, QString::number(m_commPort));

    // Qt takes the port's lock before it finds the device missing, clearing
    // other programs' locks on the way: a missing device is told first.
    if (!platform::deviceExists(m_triedPath))
        failOpen(CommFault::NoSuchDevice);
    // Before Qt's opening, which would take over another program's lock file.
    failIfClaimed();
    m_port.setPortName(m_triedPath);
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    bool opened = false;
    {
        const auto guard = platform::guardOpening(m_triedPath);
        opened = m_port.open(QIODevice::ReadWrite);
    }
    if (!opened) {
        const QString detail = m_port.errorString();
        const CommFault fault = commFault(platform::openFault(m_triedPath, m_port.error()));
        m_port.clearError();
        if (fault == CommFault::InUse) {
            failIfClaimed(); // taken meanwhile
            if (const auto lock = platform::staleLock(m_triedPath))
                failOpen(CommFault::StaleLock, QStringLiteral("%1 %2").arg(lock->pid).arg(lock->path));
        }
        failOpen(fault, detail);
    }
    m_hold = platform::holdPort(m_triedPath, qintptr(m_port.handle()));
    if (!m_hold) {
        m_port.close();
        failIfClaimed();
        failOpen(CommFault::InUse);
    }
    m_hangUpWatch = platform::watchHangUp(qintptr(m_port.handle()), this, [this] { lose(); });
    // Qt keeps what waited in the driver before the opening: it is no reply to us.
    m_port.clear(QSerialPort::Input);
}

void MSComm::failIfClaimed()
{
    if (const auto claim = platform::portClaim(m_triedPath)) {
        const auto [fault, detail] = claimFault(*claim);
        failOpen(fault, detail);
    }
}

void MSComm::closePort()
{
    if (m_hangUpWatch) {
        // Off before its descriptor closes; deleted later, as it may be the caller.
        m_hangUpWatch->setEnabled(false);
        m_hangUpWatch->deleteLater();
        m_hangUpWatch = nullptr;
    }
    // Released before the port closes, so that its descriptor is never released twice.
    m_hold.reset();
    if (m_port.isOpen())
        m_port.close();
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
    m_waiting = true;
    m_lostWhileWaiting = false;
    const auto done = qScopeGuard([this] { m_waiting = false; });
    const qint64 unsent = unsentAfter(std::chrono::steady_clock::now() + kSendBound);
    if (m_lostWhileWaiting)
        throw CommError(CommFault::DeviceLost, deviceLine());
    requireOpen();
    if (unsent > 0) {
        // Reported as not sent, so none of it may leave later: the controller
        // would run a table the operator was told it never got, and the next
        // frame would queue behind it.
        m_port.clear(QSerialPort::Output);
        throw CommError(CommFault::SendTimeout, deviceLine(), QString::number(unsent));
    }
}

qint64 MSComm::unsentAfter(std::chrono::steady_clock::time_point deadline)
{
    while (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        if (m_port.waitForBytesWritten(msecondsUntil(deadline)))
            continue;
        // Qt gives up early on a hung-up line, or when its read buffer is full.
        noticeHangUp();
        if (!m_port.isOpen() || m_port.bytesToWrite() == 0)
            break;
        if (msecondsUntil(deadline) == 0)
            return m_port.bytesToWrite();
        QThread::msleep(1);
    }
    // The driver's queue (a UART FIFO, a USB adapter's buffer) is not Qt's to
    // report; ask it how much it still holds.
    for (;;) {
        noticeHangUp();
        if (!m_port.isOpen())
            return 0;
        const int queued = platform::driverQueued(qintptr(m_port.handle()));
        if (queued <= 0)
            return 0;
        if (msecondsUntil(deadline) == 0)
            return queued;
        QThread::msleep(1);
    }
}

void MSComm::noticeHangUp()
{
    if (m_port.isOpen() && platform::hungUp(qintptr(m_port.handle())))
        lose();
}

QString MSComm::describeDevice() const
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
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError || error == QSerialPort::WriteError)
        lose();
}

void MSComm::lose()
{
    if (!m_port.isOpen())
        return;
    closePort();
    if (m_waiting) {
        m_lostWhileWaiting = true;
    } else {
        m_lossUntold = true;
        emit DeviceLost(deviceLine());
    }
}

void MSComm::requireOpenForSending()
{
    if (!m_port.isOpen() && takeUntoldLoss())
        throw CommError(CommFault::DeviceLost, deviceLine());
    requireOpen();
}

void MSComm::requireOpen() const
{
    if (!m_port.isOpen())
        throw CommError(CommFault::NotOpen);
}
