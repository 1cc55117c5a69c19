#include "serial/ComDevice.h"
#include "serial/MSComm.h"
#include "serial/ReplyReceiver.h"
#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The simulator as a child process; everything it printed is kept.
class Sim
{
public:
    explicit Sim(const QStringList &arguments)
    {
        m_process.setProgram(QStringLiteral(QUARLIN_SIM));
        m_process.setArguments(arguments);
        m_process.start();
    }

    ~Sim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // Waits (bounded) until the output holds the text.
    bool waitFor(const QString &text, int timeoutMs = 5000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!output().contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return output().contains(text);
            m_process.waitForReadyRead(50);
            m_output += m_process.readAllStandardOutput();
        }
        return true;
    }

    QString output() const { return QString::fromUtf8(m_output); }
    void type(const QByteArray &line) { m_process.write(line); }

    // Ends it as Ctrl+C or a shutdown would; true when it ended cleanly.
    bool stop()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            return false;
        m_output += m_process.readAllStandardOutput();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QByteArray m_output;
};

TimeTableTexts windowTexts()
{
    TimeTableTexts texts;
    for (auto &row : texts.rows)
        row = {QStringLiteral("00"), QStringLiteral("00"), QStringLiteral("0")};
    texts.rows[0] = {QStringLiteral("1"), QStringLiteral("30"), QStringLiteral("5")};
    texts.rows[5] = {QStringLiteral("0"), QStringLiteral("10"), QStringLiteral("0")};
    texts.relays[0] = {true, false, false, false, false, true};
    texts.relays[4] = {false, false, false, false, true, false};
    texts.count = QStringLiteral("2");
    return texts;
}

QByteArray frameBytes(const TimeTable &table)
{
    const DownloadFrame frame = BuildDownloadFrame(table);
    return {reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size())};
}

// What arrives on the port until a reply ends, within the time.
QString readReply(MSComm &port, int timeoutMs = 3000)
{
    QString got;
    const QDeadlineTimer deadline(timeoutMs);
    while (!got.contains(kReplyEnd) && !deadline.hasExpired()) {
        QTest::qWait(20);
        if (port.InBufferCount() > 0)
            got += port.Input();
    }
    return got;
}

bool isLink(const QString &path)
{
    return QFileInfo(path).isSymLink();
}

} // namespace

class TestSimEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void programReachesTheSimulatorAsComN();
    void leavesARealFileAlone();
    void replacesOnlyAStaleLink();
    void noLinkPrintsTheCommand();
};

void TestSimEndToEnd::programReachesTheSimulatorAsComN()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString linkPath = dir.filePath(QStringLiteral("com5"));

    Sim sim({QStringLiteral("--com"), QStringLiteral("5"), QStringLiteral("--link-dir"), dir.path()});
    QVERIFY2(sim.waitFor(QStringLiteral("Waiting for frames")), qPrintable(sim.output() + sim.errors()));
    QVERIFY(isLink(linkPath));
    const QString pty = QFileInfo(linkPath).symLinkTarget();
    QVERIFY2(pty.startsWith(u"/dev/pts/"), qPrintable(pty));
    QVERIFY(sim.output().contains(QStringLiteral("pseudo-terminal  ") + pty));

    // Opened the way the window opens COM 5.
    MSComm port([&dir](int n) { return comDevicePath(n, dir.path()); });
    port.setCommPort(5);
    port.setPortOpen(true);
    QCOMPARE(port.deviceLine(), QStringLiteral("COM5: %1 (%2)").arg(pty, linkPath));

    port.Output(frameBytes(ReadTimeTable(windowTexts())));
    port.waitUntilSent();
    QVERIFY2(sim.waitFor(QStringLiteral("0 = repeat without end")), qPrintable(sim.output()));
    const QString table = sim.output();
    QVERIFY2(table.contains(u"Frame 1: OK\n"), qPrintable(table));
    QVERIFY2(table.contains(u"  STAGE 1  01:30.5   09    릴레이_1 (relay 1), 내부릴레이 (internal relay)\n"),
             qPrintable(table));
    QVERIFY2(table.contains(u"  STAGE 5  00:00.0   80    릴레이_5 (relay 5)\n"), qPrintable(table));
    QVERIFY2(table.contains(u"  DELAY    00:10.0"), qPrintable(table));
    QVERIFY2(table.contains(u"  REPEAT   2 "), qPrintable(table));

    // r + Enter: a reply record the program's receiver takes in whole.
    sim.type("r\n");
    const QString reply = readReply(port);
    QCOMPARE(reply, QStringLiteral("RQSIM FRAMES=0001 LAST=OK\x04"));
    QString buffer;
    QString record;
    ReplyReceiver receiver(buffer, record);
    QVERIFY(receiver.feed(reply));
    QCOMPARE(record, QStringLiteral("RQSIM FRAMES=0001 LAST=OK"));

    // A frame that stops half-way.
    port.Output(frameBytes(TimeTable{}).left(10));
    port.waitUntilSent();
    QVERIFY2(sim.waitFor(QStringLiteral("Cut frame: 10 of 27 bytes")), qPrintable(sim.output()));

    // The program closes and reopens its side, as a second Connect does.
    port.setPortOpen(false);
    port.setPortOpen(true);
    port.Output(frameBytes(TimeTable{}));
    port.waitUntilSent();
    QVERIFY2(sim.waitFor(QStringLiteral("Frame 2: OK")), qPrintable(sim.output()));
    port.setPortOpen(false);

    QVERIFY2(sim.stop(), qPrintable(sim.output() + sim.errors()));
    QVERIFY(!isLink(linkPath));
}

void TestSimEndToEnd::leavesARealFileAlone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("com6"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();

    Sim sim({QStringLiteral("--com"), QStringLiteral("6"), QStringLiteral("--link-dir"), dir.path()});
    QVERIFY2(sim.waitFor(QStringLiteral("Waiting for frames")), qPrintable(sim.output() + sim.errors()));
    QVERIFY2(sim.output().contains(path + QStringLiteral(" is a real device or file: left alone")),
             qPrintable(sim.output()));
    QVERIFY(sim.stop());

    QVERIFY(!isLink(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));
}

void TestSimEndToEnd::replacesOnlyAStaleLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stale = dir.filePath(QStringLiteral("com7"));
    const QString live = dir.filePath(QStringLiteral("com8"));
    const QString there = dir.filePath(QStringLiteral("there"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), stale));
    QFile thereFile(there);
    QVERIFY(thereFile.open(QIODevice::WriteOnly));
    thereFile.close();
    QVERIFY(QFile::link(there, live));

    {
        Sim sim({QStringLiteral("--com"), QStringLiteral("7"), QStringLiteral("--link-dir"), dir.path()});
        QVERIFY2(sim.waitFor(QStringLiteral("Waiting for frames")), qPrintable(sim.output() + sim.errors()));
        QVERIFY2(sim.output().contains(u"replaced a stale link"), qPrintable(sim.output()));
        QVERIFY(QFileInfo(stale).symLinkTarget().startsWith(u"/dev/pts/"));
        QVERIFY(sim.stop());
        QVERIFY(!isLink(stale));
    }
    {
        Sim sim({QStringLiteral("--com"), QStringLiteral("8"), QStringLiteral("--link-dir"), dir.path()});
        QVERIFY2(sim.waitFor(QStringLiteral("Waiting for frames")), qPrintable(sim.output() + sim.errors()));
        QVERIFY2(sim.output().contains(live + QStringLiteral(" already points to ") + there),
                 qPrintable(sim.output()));
        QVERIFY2(sim.output().contains(QStringLiteral("sudo ln -sf /dev/pts/")), qPrintable(sim.output()));
        QVERIFY(sim.stop());
        QCOMPARE(QFileInfo(live).symLinkTarget(), there);
    }
}

void TestSimEndToEnd::noLinkPrintsTheCommand()
{
    const bool existed = isLink(QStringLiteral("/dev/com3")) || QFileInfo::exists(QStringLiteral("/dev/com3"));
    Sim sim({QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--no-link")});
    QVERIFY2(sim.waitFor(QStringLiteral("Waiting for frames")), qPrintable(sim.output() + sim.errors()));
    const QString text = sim.output();
    const qsizetype at = text.indexOf(u"pseudo-terminal  ");
    QVERIFY(at >= 0);
    const QString pty = text.mid(at + 17).section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(text.contains(QStringLiteral("sudo ln -sf %1 /dev/com3").arg(pty)), qPrintable(text));
    QVERIFY(sim.stop());
    QCOMPARE(isLink(QStringLiteral("/dev/com3")) || QFileInfo::exists(QStringLiteral("/dev/com3")), existed);
}

QTEST_GUILESS_MAIN(TestSimEndToEnd)
#include "tst_sim_end_to_end.moc"
