#include "serial/ComDevice.h"
#include "serial/CommError.h"
#include "serial/LineSettings.h"
#include "serial/MSComm.h"
#include "tests/PtyPair.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void comPaths();
    void lineSettings();
    void rawBytesBothWays();
    void receiveNotificationFollowsThreshold();
    void closedPortRefusesTransfers();
    void openFailures();
};

void TestSerial::comPaths()
{
    QTemporaryDir dev;
    QVERIFY(dev.isValid());
    const QString d = dev.path();
    QCOMPARE(comDevicePath(1, d), d + "/ttyS0");
    QCOMPARE(comDevicePath(8, d), d + "/ttyS7");
    QVERIFY(QFile::link(d + "/ttyS0", d + "/com3"));
    QCOMPARE(comDevicePath(3, d), d + "/com3");
    QCOMPARE(comDevicePath(2, d), d + "/ttyS1");
    QVERIFY(QFile::link(d + "/ttyUSB9", d + "/com5"));
    QCOMPARE(comDevicePath(5, d), d + "/com5");
    for (int outside : {0, -1, 9, 32767})
        QVERIFY(comDevicePath(outside, d).isEmpty());
    QCOMPARE(comDevicePath(4), QStringLiteral("/dev/ttyS3"));
}

void TestSerial::lineSettings()
{
    const auto s = parseLineSettings(QStringLiteral("9600,N,8,1"));
    QVERIFY(s.has_value());
    QCOMPARE(s->baudRate, 9600);
    QCOMPARE(s->parity, QSerialPort::NoParity);
    QCOMPARE(s->dataBits, QSerialPort::Data8);
    QCOMPARE(s->stopBits, QSerialPort::OneStop);
    const auto e = parseLineSettings(QStringLiteral("19200,e,7,2"));
    QVERIFY(e.has_value());
    QCOMPARE(e->parity, QSerialPort::EvenParity);
    QCOMPARE(e->dataBits, QSerialPort::Data7);
    QCOMPARE(e->stopBits, QSerialPort::TwoStop);
    for (const char *bad : {"", "9600", "9600,N,8", "9600,X,8,1", "9600,N,9,1", "0,N,8,1", "fast,N,8,1", "9600,N,8,3"})
        QVERIFY2(!parseLineSettings(QString::fromLatin1(bad)).has_value(), bad);
}

void TestSerial::rawBytesBothWays()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    MSComm comm([&](int) { return pty.slavePath(); });
    comm.setSettings(QStringLiteral("9600,N,8,1"));
    comm.setPortOpen(true);
    QVERIFY(comm.PortOpen());

    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    comm.Output(all);
    comm.waitUntilSent();
    QCOMPARE(pty.read(256), all);

    pty.write(all);
    QTRY_COMPARE(comm.InBufferCount(), 256);
    const QString in = comm.Input();
    QCOMPARE(in.size(), 256);
    for (int b = 0; b < 256; ++b)
        QCOMPARE(in[b].unicode(), char16_t(b));
    QCOMPARE(comm.InBufferCount(), 0);

    pty.write("stale");
    QTRY_COMPARE(comm.InBufferCount(), 5);
    comm.setInBufferCount(0);
    QCOMPARE(comm.InBufferCount(), 0);
}

void TestSerial::receiveNotificationFollowsThreshold()
{
    PtyPair pty;
    MSComm comm([&](int) { return pty.slavePath(); });
    comm.setPortOpen(true);
    QSignalSpy onComm(&comm, &MSComm::OnComm);
    QSignalSpy arrived(&comm, &MSComm::Arrived);
    QCOMPARE(comm.RThreshold(), 1);

    pty.write("x");
    QTRY_COMPARE(onComm.size(), 1);
    QCOMPARE(comm.CommEvent(), MSComm::comEvReceive);
    comm.Input();

    comm.setRThreshold(0);
    pty.write("y");
    QTRY_COMPARE(arrived.size(), 2);
    QTest::qWait(20);
    QCOMPARE(onComm.size(), 1);
}

void TestSerial::closedPortRefusesTransfers()
{
    MSComm comm([](int) { return QString(); });
    QVERIFY(!comm.PortOpen());
    QCOMPARE(comm.InBufferCount(), 0);
    QCOMPARE(comm.OutBufferCount(), 0);
    QVERIFY_THROWS_EXCEPTION(CommError, comm.Output(QByteArray("S")));
    QVERIFY_THROWS_EXCEPTION(CommError, comm.Input());
    QVERIFY_THROWS_EXCEPTION(CommError, comm.setOutBufferCount(0));
    QVERIFY_THROWS_EXCEPTION(CommError, comm.setSettings(QStringLiteral("9600,Q,8,1")));
    QCOMPARE(comm.Settings(), QStringLiteral("9600,N,8,1"));
    comm.setPortOpen(false); // closing a closed port is harmless
}

void TestSerial::openFailures()
{
    QTemporaryDir dev;
    MSComm missing([&](int n) { return comDevicePath(n, dev.path()); });
    missing.setCommPort(2);
    QVERIFY_THROWS_EXCEPTION(CommError, missing.setPortOpen(true));
    QVERIFY(!missing.PortOpen());
    QCOMPARE(missing.deviceLine(), QStringLiteral("COM2: %1/ttyS1").arg(dev.path()));
    QVERIFY(missing.openFailure().contains(QStringLiteral("장치가 없습니다")));

    missing.setCommPort(0);
    QVERIFY_THROWS_EXCEPTION(CommError, missing.setPortOpen(true));
    QVERIFY(missing.openFailure().contains(QStringLiteral("1~8")));

    PtyPair pty;
    QVERIFY(QFile::link(pty.slavePath(), dev.path() + "/com1"));
    MSComm first([&](int n) { return comDevicePath(n, dev.path()); });
    first.setPortOpen(true);
    QCOMPARE(first.deviceLine(), QStringLiteral("COM1: %1 (%2/com1)").arg(pty.slavePath(), dev.path()));

    MSComm second([&](int n) { return comDevicePath(n, dev.path()); });
    QVERIFY_THROWS_EXCEPTION(CommError, second.setPortOpen(true));
    QVERIFY2(second.openFailure().contains(QStringLiteral("다른 프로그램")), qPrintable(second.openFailure()));
    QVERIFY(first.PortOpen());
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
