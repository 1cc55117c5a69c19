#include "serial/MSComm.h"

#include "serial/CommError.h"

#include <QFileInfo>
#include <QThread>

#include <sys/ioctl.h>

namespace {

QString notOpenMessage()
{
    return QStringLiteral("통신 포트가 열려 있지 않습니다.\n\"Connect\"를 눌러 포트를 연 뒤 다시 시도하십시오.");
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

    m_openFailure.clear();
    m_triedPath = m_resolver(m_commPort);
    if (m_triedPath.isEmpty()) {
        m_openFailure = QStringLiteral("COM %1에 해당하는 장치가 없습니다. 목록에서 1~8 중 하나를 고르십시오.")
                            .arg(m_commPort);
        throw CommError(m_openFailure);
    }

    m_port.setPortName(m_triedPath);
    m_port.setBaudRate(m_settings.baudRate);
    m_port.setParity(m_settings.parity);
    m_port.setDataBits(m_settings.dataBits);
    m_port.setStopBits(m_settings.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_openFailure = openFailureReason();
        m_port.clearError();
        throw CommError(m_openFailure);
    }
}

void MSComm::setSettings(const QString &settings)
{
    const auto parsed = parseLineSettings(settings);
    if (!parsed)
        throw CommError(QStringLiteral("통신 설정 \"%1\"을(를) 알 수 없습니다.").arg(settings));
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
        throw CommError(QStringLiteral("통신 포트에 쓰지 못했습니다 (%1).").arg(m_port.errorString()));
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
    while (m_port.bytesToWrite() > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !m_port.waitForBytesWritten(static_cast<int>(left.count()))) {
            if (m_port.bytesToWrite() == 0)
                break;
            throw CommError(QStringLiteral("보낼 데이터가 제시간에 나가지 않았습니다 (%1).\n"
                                           "케이블과 장치를 확인하십시오.")
                                .arg(m_port.isOpen() ? m_port.errorString() : QStringLiteral("포트 닫힘")));
        }
    }
    waitKernelDrained(deadline);
}

void MSComm::waitKernelDrained(std::chrono::steady_clock::time_point deadline)
{
    // The driver's queue (a UART FIFO, a USB adapter's buffer) is not Qt's to
    // report; ask the tty how much it still holds.
    for (;;) {
        if (!m_port.isOpen())
            throw CommError(notOpenMessage());
        int queued = 0;
        if (::ioctl(static_cast<int>(m_port.handle()), TIOCOUTQ, &queued) != 0 || queued <= 0)
            return;
        if (std::chrono::steady_clock::now() >= deadline)
            throw CommError(QStringLiteral("보낸 데이터가 장치에서 나가지 않습니다 (%1바이트 남음).\n"
                                           "케이블과 장치를 확인하십시오.")
                                .arg(queued));
        QThread::msleep(1);
    }
}

QString MSComm::deviceLine() const
{
    if (m_triedPath.isEmpty())
        return QStringLiteral("COM %1: 장치 없음").arg(m_commPort);
    const QFileInfo info(m_triedPath);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        return QStringLiteral("COM%1: %2 (%3)")
            .arg(m_commPort)
            .arg(target.isEmpty() ? info.symLinkTarget() : target, m_triedPath);
    }
    return QStringLiteral("COM%1: %2").arg(m_commPort).arg(m_triedPath);
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
    emit DeviceLost(QStringLiteral("통신 장치와의 연결이 끊어졌습니다 (%1).\n"
                                   "장치와 케이블을 다시 연결한 뒤 \"Connect\"를 누르십시오.")
                        .arg(deviceLine()));
}

void MSComm::requireOpen() const
{
    if (!m_port.isOpen())
        throw CommError(notOpenMessage());
}

QString MSComm::openFailureReason() const
{
    const QString detail = m_port.errorString();
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("장치가 없습니다. 어댑터와 케이블 연결, COM 번호를 확인하십시오.");
    case QSerialPort::PermissionError:
        if (detail.contains(QLatin1String("lock"), Qt::CaseInsensitive)
            || detail.contains(QLatin1String("busy"), Qt::CaseInsensitive))
            return QStringLiteral("다른 프로그램이 이 포트를 사용하고 있습니다. 그 프로그램을 닫은 뒤 다시 연결하십시오.");
        return QStringLiteral("포트를 열 권한이 없습니다. 사용자를 dialout 그룹에 넣은 뒤"
                              " (sudo usermod -aG dialout $USER) 다시 로그인하십시오.");
    default:
        return QStringLiteral("포트를 열 수 없습니다 (%1).").arg(detail);
    }
}
