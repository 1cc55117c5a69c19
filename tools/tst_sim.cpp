#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // The simulator as the operator starts it: a link comN to its pty, a
    // table per frame, a reply record on "r", the link gone at the end.
    void runsAsComN()
    {
        QTemporaryDir dir;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(QUARLIN_SIM), {"--com", "4", "--link-dir", dir.path()});
        QString output;
        const auto waitFor = [&](const QString &text) {
            const QDeadlineTimer deadline(5000);
            while (!output.contains(text) && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
                process.waitForReadyRead(50);
                output += QString::fromUtf8(process.readAllStandardOutput());
            }
            return output.contains(text);
        };
        QVERIFY2(waitFor(QStringLiteral("Waiting for frames")), qPrintable(output));
        const QString link = dir.filePath(QStringLiteral("com4"));
        QVERIFY(QFileInfo(link).isSymLink());

        const int line = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(line >= 0);
        TimeTable table;
        table.stages[0] = {1, 30, 5};
        table.masks[0] = 0x09;
        const DownloadFrame frame = BuildDownloadFrame(table);
        QCOMPARE(::write(line, frame.data(), frame.size()), ssize_t(frame.size()));
        QVERIFY2(waitFor(QStringLiteral("  STAGE 1  01:30.5   09    릴레이_1 (relay 1), 내부릴레이 (internal relay)\n")),
                 qPrintable(output));

        process.write("r\n");
        QByteArray reply;
        const auto received = [&] {
            char buffer[64];
            const ssize_t n = ::read(line, buffer, sizeof buffer);
            reply.append(buffer, n > 0 ? n : 0);
            return reply;
        };
        QTRY_COMPARE(received(), QByteArray("RQSIM FRAMES=0001 LAST=OK\x04"));
        ::close(line);

        process.terminate();
        QVERIFY(process.waitForFinished(5000) && process.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
