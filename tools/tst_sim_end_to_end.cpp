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

// The simulator as a child process, linking COM 4 in a temporary directory.
struct Sim
{
    QTemporaryDir dir;
    QProcess process;
    QString output;

    ~Sim() { stop(); }
    QString link() const { return dir.filePath(QStringLiteral("com4")); }
    QString pty() const { return output.section(QStringLiteral("pseudo-terminal  "), 1).section(u'\n', 0, 0); }

    bool start(const QStringList &more = {})
    {
        process.setProcessChannelMode(QProcess::MergedChannels); // its complaints show in a failure
        process.start(QStringLiteral(QUARLIN_SIM),
                      QStringList{QStringLiteral("--com"), QStringLiteral("4"), QStringLiteral("--link-dir"), dir.path()} + more);
        return waitFor(QStringLiteral("Waiting for frames"));
    }

    // Bounded, so a silent simulator fails the test instead of hanging it.
    bool waitFor(const QString &text)
    {
        const QDeadlineTimer deadline(5000);
        while (!output.contains(text) && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(50);
            output += QString::fromUtf8(process.readAllStandardOutput());
        }
        return output.contains(text);
    }

    // Ends it as Ctrl+C would; true when it ended cleanly.
    bool stop()
    {
        process.terminate();
        return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // What is at the link's path, in a few words.
    QString state() const
    {
        const QFileInfo info(link());
        return info.isSymLink() ? QStringLiteral("link to ") + info.symLinkTarget()
             : info.exists()    ? QStringLiteral("file")
                                : QStringLiteral("none");
    }
};

} // namespace

class TestSimEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void programReachesTheSimulatorAsComN()
    {
        Sim sim;
        QVERIFY2(sim.start(), qPrintable(sim.output));

        // Opened the way the window opens COM 4, with the window's texts.
        MSComm port([&sim](int n) { return comDevicePath(n, sim.dir.path()); });
        port.setCommPort(4);
        port.setPortOpen(true);
        TimeTableTexts texts;
        texts.rows[0] = {QStringLiteral("1"), QStringLiteral("30"), QStringLiteral("5")};
        texts.relays[0] = {true, false, false, false, false, true};
        const DownloadFrame frame = BuildDownloadFrame(ReadTimeTable(texts));
        const QByteArray bytes(reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size()));
        port.Output(bytes);
        port.waitUntilSent();
        QVERIFY2(sim.waitFor(QStringLiteral("  STAGE 1  01:30.5   09    릴레이_1 (relay 1), 내부릴레이 (internal relay)\n")),
                 qPrintable(sim.output));

        // r + Enter: a reply record the program's receiver takes in whole.
        sim.process.write("r\n");
        QString buffer, record;
        ReplyReceiver receiver(buffer, record);
        const auto received = [&] {
            if (port.InBufferCount() > 0)
                receiver.feed(port.Input());
            return record;
        };
        // LAST=OK: frame 1 came through whole.
        QTRY_COMPARE_WITH_TIMEOUT(received(), QStringLiteral("RQSIM FRAMES=0001 LAST=OK"), 3000);

        // A second Connect closes and reopens the program's side; the pty must outlive that.
        port.setPortOpen(false);
        port.setPortOpen(true);
        port.Output(bytes);
        port.waitUntilSent();
        QVERIFY2(sim.waitFor(QStringLiteral("Frame 2: OK")), qPrintable(sim.output));
        port.setPortOpen(false);

        QVERIFY(sim.stop());
    }

    void handlesWhatIsAlreadyThere_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("says"); // PTY and DIR filled in
        QTest::addColumn<QString>("during");
        QTest::addColumn<QString>("after");

        QTest::newRow("real file left alone")
            << "file" << "com4 is a real device or file: left alone" << "file" << "file";
        QTest::newRow("stale link replaced")
            << "stale" << "com4 -> PTY (replaced a stale link to DIR/gone" << "link to PTY" << "none";
        QTest::newRow("live link left alone")
            << "live" << "com4 already points to DIR/there," << "link to DIR/there" << "link to DIR/there";
        QTest::newRow("--no-link prints the command") << "--no-link" << "sudo ln -sf PTY DIR/com4" << "none" << "none";
    }

    void handlesWhatIsAlreadyThere()
    {
        QFETCH(QString, before);
        QFETCH(QString, says);
        QFETCH(QString, during);
        QFETCH(QString, after);
        Sim sim;
        QVERIFY(QFile(before == u"file" ? sim.link() : sim.dir.filePath(QStringLiteral("there"))).open(QIODevice::WriteOnly));
        if (before == u"stale" || before == u"live")
            QVERIFY(QFile::link(sim.dir.filePath(before == u"live" ? QStringLiteral("there") : QStringLiteral("gone")),
                                sim.link()));

        QVERIFY2(sim.start(before == u"--no-link" ? QStringList{before} : QStringList{}), qPrintable(sim.output));
        const auto fill = [&sim](QString text) {
            return text.replace(QStringLiteral("PTY"), sim.pty()).replace(QStringLiteral("DIR"), sim.dir.path());
        };
        QVERIFY2(sim.output.contains(fill(says)), qPrintable(sim.output));
        QCOMPARE(sim.state(), fill(during));
        QVERIFY(sim.stop());
        QCOMPARE(sim.state(), fill(after));
    }
};

QTEST_GUILESS_MAIN(TestSimEndToEnd)
#include "tst_sim_end_to_end.moc"
