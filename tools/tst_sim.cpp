#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // The simulator as the operator starts it: a link comN to its pty, a
    // table per frame, a reply record on "r" (tst_sim_link.sh: the link's life).
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
        const int line = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(line >= 0);
        // A different value in every field, and a count whose two bytes differ,
        // so that a swap or a mix-up in the decoder shows.
        const DownloadFrame frame = BuildDownloadFrame({{{{11, 12, 1}, {21, 22, 2}, {31, 32, 3}, {41, 42, 4}, {51, 52, 5}}},
                                                        {0x08, 0x11, 0x20, 0x40, 0x88}, {61, 53, 6}, 0x0102});
        QCOMPARE(::write(line, frame.data(), frame.size()), ssize_t(frame.size()));
        QVERIFY2(waitFor(QStringLiteral("  STAGE 1  11:12.1   08    릴레이_1 (relay 1)\n"
                                        "  STAGE 2  21:22.2   11    릴레이_2 (relay 2), 내부릴레이 (internal relay)\n"
                                        "  STAGE 3  31:32.3   20    릴레이_3 (relay 3)\n"
                                        "  STAGE 4  41:42.4   40    릴레이_4 (relay 4)\n"
                                        "  STAGE 5  51:52.5   88    릴레이_1 (relay 1), 릴레이_5 (relay 5)\n"
                                        "  DELAY    61:53.6   \n"
                                        "  REPEAT   258       반복횟수")),
                 qPrintable(output));

        process.write("r\n");
        QVERIFY(process.waitForBytesWritten(5000));
        QByteArray reply;
        for (const QDeadlineTimer deadline(5000); !reply.endsWith('\x04') && !deadline.hasExpired();) {
            pollfd ready{line, POLLIN, 0};
            char buffer[64];
            const ssize_t n = ::poll(&ready, 1, 50) > 0 ? ::read(line, buffer, sizeof buffer) : 0;
            reply.append(buffer, n > 0 ? n : 0);
        }
        QCOMPARE(reply, QByteArray("RQSIM FRAMES=0001 LAST=OK\x04"));
        ::close(line);

        process.terminate();
        QVERIFY(process.waitForFinished(5000) && process.exitCode() == 0);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
