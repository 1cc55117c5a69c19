#include "app/EndOnSignal.h"
#include "app/Look.h"
#include "app/Messages.h"
#include "serial/ComDevice.h"
#include "serial/LockFile.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "tests/Support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QPushButton>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kConfirm = QStringLiteral("확  인");
const QString kAppTitle = QStringLiteral("Quarlin_01");
const QString kTimedOut = QStringLiteral("보낼 데이터가 제시간에 나가지 않았습니다 (27바이트 남음).\n케이블과 장치를 확인하십시오.");

QString notOpened(const QString &device, const QString &reason)
{
    return QStringLiteral("통신 포트가 정상적으로 열리지 않았읍니다.\n") + device + u'\n' + reason;
}

// "hr0=1" sets the minutes of row 0, "min"/"sec" the seconds/tenths,
// "cnt=300" the repeat count, "chk2.5" ticks box 5 of stage 2.
void edit(frmQuarlin &w, const QStringList &edits)
{
    for (const QString &e : edits) {
        const QString value = e.section(u'=', 1);
        const auto row = std::size_t(e.mid(3, 1).toInt());
        if (e.startsWith(u"chk"))
            w.stageBoxes(e.mid(3, 1).toInt() - 1)[std::size_t(e.mid(5, 1).toInt())]->setChecked(true);
        else if (e.startsWith(u"cnt"))
            w.txt_cnt->setText(value);
        else
            (e.startsWith(u"hr") ? w.txt_1_hr[std::size_t(e.mid(2, 1).toInt())]
             : e.startsWith(u"min") ? w.txt_1_min[row] : w.txt_1_sec[row])->setText(value);
    }
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void init()
    {
        Module1::RxBuffer.clear();
        Module1::RxRecord.clear();
        f = std::make_unique<WindowFixture>();
    }
    void cleanup() { f.reset(); }

    void connectOpensAt9600_8N1()
    {
        f->write(QByteArray("Rstale") + QByteArray(24, 's') + '\x04');
        const QList<SeenBox> boxes = f->connect();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, kConfirm);
        QVERIFY(boxes[0].text.startsWith(QStringLiteral("통신포트가 정상적으로 열렸읍니다.\nCOM1: ")));
        QVERIFY(boxes[0].plain); // which buttons it enabled: the Tab walk

        termios line{};
        QCOMPARE(::tcgetattr(f->pty->spareSlave(), &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & (CSIZE | CSTOPB | PARENB), tcflag_t(CS8));
        // A pty forces 8 bits and no parity whatever it is told: ask the port what it was told.
        const auto *port = f->window.MSComm1->findChild<QSerialPort *>();
        QVERIFY(port && port->dataBits() == QSerialPort::Data8 && port->parity() == QSerialPort::NoParity);

        // What waited on the line before the opening is dropped, not taken for a reply,
        // and so is what came in while the operator read the message.
        QTest::qWait(50);
        QCOMPARE(Module1::RxRecord, QString());
        QTimer meanwhile;
        QObject::connect(&meanwhile, &QTimer::timeout, [this] {
            if (auto *box = QApplication::activeModalWidget()) {
                f->write("R" + QByteArray(24, 'm') + "\x04");
                box->close();
            }
        });
        meanwhile.start(5);
        QTest::mouseClick(f->window.cmdConnect, Qt::LeftButton);
        meanwhile.stop();
        QTest::qWait(50);
        QCOMPARE(Module1::RxRecord, QString());
    }

    // A failed Connect, at start and after a success, names the device and the reason.
    void failedConnect()
    {
        const QString noDevice = notOpened("COM5: " + f->emptyDev.path() + "/ttyS4",
                                           "장치가 없습니다. 어댑터와 케이블 연결, COM 번호를 확인하십시오.");
        QList<SeenBox> boxes = f->connect(4);
        QVERIFY(boxes.size() == 1 && boxes[0].title == kAppTitle && boxes[0].text == noDevice);
        QVERIFY(!f->window.MSComm1->PortOpen() && !f->window.Command1->isEnabled());
        {
            const QString slave = QString::fromStdString(f->pty->slavePath());
            QSerialPort other(slave); // another program holds COM 1
            QVERIFY(other.open(QIODevice::ReadWrite));
            QCOMPARE(f->connect()[0].text, notOpened("COM1: " + slave, "다른 프로그램이 이 포트를 사용하고 있습니다."
                                                                   " 그 프로그램을 닫은 뒤 다시 연결하십시오."));
        }
        QCOMPARE(f->connect().size(), 1);
        boxes = f->connect(4);
        QVERIFY(boxes.size() == 1 && boxes[0].text == noDevice);
        // DownLoad stays enabled, but a closed port sends nothing.
        QVERIFY(!f->window.MSComm1->PortOpen() && f->window.Command1->isEnabled());
        boxes = click(f->window.Command3);
        QVERIFY(boxes.size() == 1 && boxes[0].text.startsWith(QStringLiteral("통신 포트가 열려 있지 않아 아무것도 보내지 않았습니다.")));
        QCOMPARE(f->read(1, 100), QByteArray());

        // Typing into the list chooses no entry: COM 0.
        QTest::keyClicks(f->window.Combo1->lineEdit(), QStringLiteral("3"));
        boxes = click(f->window.cmdConnect);
        QVERIFY(boxes.size() == 1 && boxes[0].text.contains(QStringLiteral("COM 0")));
    }

    // A whole frame and its confirmation, or, when a value does not fit, nothing and the field named.
    void downloadsOrRefuses_data()
    {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("told");
        const QString sent = kConfirm + QStringLiteral("설정값이 다운로드 되었습니다");
        const QString refused = kAppTitle + "%1 값 \"%2\"은(는) 보낼 수 없습니다.\n허용 범위는 0 ~ %3입니다.\n"
                                            "아무것도 보내지 않았습니다. 값을 고친 뒤 다시 보내십시오.";
        QTest::newRow("stage 1 at 1:30.5, relays 1, 3, internal, count 300")
            << QStringList{"hr0=1", "min0=30", "sec0=5", "chk1.0", "chk1.2", "chk1.5", "cnt=300"}
            << bytes({0x53, 1, 0x1E, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x29, 0, 0, 0, 0, 0, 0, 0, 1, 0x2C, 0x0D}) << sent;
        QTest::newRow("half to even, letters, limits, full width")
            << QStringList{"sec0=6.5", "sec1=7.5", "hr2=12abc", "min2=75", "sec3=２５", "min5=4.5", "sec5=5.5", "cnt=12.5"}
            << bytes({0x53, 0, 0, 6, 0, 0, 8, 12, 0x3B, 0, 0, 0, 0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 6, 0, 12, 0x0D}) << sent;
        QTest::newRow("count, delay tenths and stage 1 minutes: the first in the frame is named")
            << QStringList{"cnt=70000", "sec5=256", "hr0=-3"} << QByteArray() << refused.arg("STAGE 1 분", "-3", "255");
        QTest::newRow("count 65536") << QStringList{"cnt=65536"} << QByteArray() << refused.arg("반복횟수", "65536", "65535");
        QTest::newRow("a megabyte of digits") << QStringList{"sec2=" + QString(1 << 20, u'7')} << QByteArray()
                                              << refused.arg("STAGE 3 1/10 초", QString(24, u'7') + u'…', "255");
    }

    void downloadsOrRefuses()
    {
        QFETCH(QStringList, edits);
        QFETCH(QByteArray, frame);
        QFETCH(QString, told);
        QCOMPARE(f->connect().size(), 1);
        edit(f->window, edits);
        const QList<SeenBox> boxes = click(f->window.Command1);
        QCOMPARE(f->read(27, frame.isEmpty() ? 100 : 2000), frame);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title + boxes[0].text, told);
    }

    void testPatterns()
    {
        frmQuarlin &w = f->window;
        QCOMPARE(f->connect().size(), 1);
        click(w.Command3);
        QCOMPARE(f->read(), bytes({0x53, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0x08, 0x10, 0x20, 0x40, 0x81,
                                   0, 0, 0, 0, 0, 0x0D}));
        click(w.Command4);
        QCOMPARE(f->read(), startFrame());
        QCOMPARE(w.txt_1_min[4]->text(), QStringLiteral("0"));

        // What lies outside the pattern goes as it stands.
        edit(w, {"chk1.1", "hr1=5", "sec1=3", "cnt=300"});
        const QList<SeenBox> boxes = click(w.Command3);
        QCOMPARE(f->read().mid(4, 3), bytes({5, 1, 3}));
        QCOMPARE(boxes.size(), 1);
        click(w.Command4);
        const QByteArray reset = f->read();
        QCOMPARE(reset.mid(16, 1) + reset.mid(24, 2), bytes({0x10, 0x01, 0x2C}));
    }

    void unplugIsToldOnce()
    {
        // COM 2 is an adapter's alias link, which goes with the adapter.
        const QString slave = QString::fromStdString(f->pty->slavePath()), alias = f->emptyDev.filePath("com2");
        QVERIFY(QFile::link(slave, alias));
        QCOMPARE(f->connect(1).size(), 1);
        QCOMPARE(f->connect(1).size(), 1);
        {
            BoxCatcher catcher;
            QVERIFY(QFile::remove(alias));
            f->pty->closeMaster();
            QVERIFY(QTest::qWaitFor([this] { return !f->window.MSComm1->PortOpen(); }, 1000) && catcher.waitFor(1));
            // Calm afterwards: a line that keeps waking the program would burn the core here.
            const std::clock_t cpu = std::clock();
            QTest::qWait(300);
            QVERIFY2(std::clock() - cpu < CLOCKS_PER_SEC / 10, "busy after the unplug");
            QVERIFY(catcher.boxes.size() == 1 && catcher.boxes[0].text == messages::deviceLost("COM2: " + slave + " (" + alias + ")"));
        }

        // Plugged in again, then pulled while a frame is stuck on its way out.
        f->pty = WindowFixture::newPty();
        QCOMPARE(f->connect().size(), 1);
        QCOMPARE(::tcflow(f->pty->spareSlave(), TCOOFF), 0);
        std::thread unplug([this] { QThread::msleep(300); f->pty->closeMaster(); });
        BoxCatcher catcher;
        QTest::mouseClick(f->window.Command1, Qt::LeftButton);
        unplug.join();
        QVERIFY(!f->window.MSComm1->PortOpen());
        QTest::qWait(300);
        QVERIFY(catcher.boxes.size() == 1 && catcher.boxes[0].text.startsWith(QStringLiteral("통신 장치와의 연결이 끊어졌습니다")));

        // Some lines tell a hang-up only as an error, as a pipe whose reader has gone does.
        int ends[2];
        bool heard = false;
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0 && ::close(ends[0]) == 0);
        const std::unique_ptr<QSocketNotifier> watch(platform::watchHangUp(ends[1], this, [&heard] { heard = true; }));
        QVERIFY(QTest::qWaitFor([&heard] { return heard; }, 1000));
        ::close(ends[1]);
    }

    // "Downloaded" means the bytes have left: Qt's buffer and the driver's queue are empty. A frame
    // reported as not sent never reaches the controller later, and the next one goes whole.
    void confirmedOnlyWhenSent()
    {
        QCOMPARE(f->connect().size(), 1);
        // The line stops, as after an XOFF, and runs again 1.5 s later: by then the first frame has
        // been told as not sent, and the next one, held for half a second, is confirmed.
        const int slave = f->pty->spareSlave();
        QCOMPARE(::tcflow(slave, TCOOFF), 0);
        std::thread restart([slave] { QThread::msleep(1500); ::tcflow(slave, TCOON); });
        QList<SeenBox> boxes = click(f->window.Command1);
        f->window.txt_1_hr[0]->setText(QStringLiteral("22"));
        boxes += click(f->window.Command1);
        restart.join();
        QVERIFY(boxes.size() == 2 && boxes[0].text == kTimedOut && boxes[1].text == messages::downloaded());
        QCOMPARE(f->read(28, 300), bytes({0x53, 22}) + startFrame().mid(2));

        // A pty keeps no output queue of its own. A socket under the port's descriptor does: the bytes
        // count as queued until its far end reads them, half a second late and then too late.
        const int port = int(f->window.MSComm1->findChild<QSerialPort *>()->handle());
        int line[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, line) == 0 && ::dup2(line[0], port) == port);
        std::atomic<int> taken = 0;
        std::thread controller([&line, &taken] {
            char frame[64];
            for (pollfd ready{line[1], POLLIN, 0}; const unsigned long heldMs : {500UL, 1500UL}) {
                if (::poll(&ready, 1, 3000) == 1)
                    QThread::msleep(heldMs);
                ++taken; // before the read, which lets the program go on
                if (::read(line[1], frame, sizeof frame) <= 0)
                    return;
            }
        });
        boxes = click(f->window.Command1);
        const bool confirmedAfterTaken = taken == 1;
        boxes += click(f->window.Command1);
        const bool toldBeforeTaken = taken == 1;
        controller.join();
        QVERIFY(boxes.size() == 2 && boxes[0].text == messages::downloaded() && confirmedAfterTaken);
        QVERIFY(boxes[1].text.startsWith(kTimedOut.section(u'(', 0, 0)) && toldBeforeTaken);

        // A line that refuses the write is given up like an unplugged one.
        const int refusing = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        QVERIFY(::dup2(refusing, port) == port);
        boxes = click(f->window.Command1);
        QVERIFY(!f->window.MSComm1->PortOpen() && boxes.size() == 1
                && boxes[0].text == messages::deviceLost("COM1: " + QString::fromStdString(f->pty->slavePath())));
        for (const int end : {line[0], line[1], refusing})
            ::close(end);
    }

    // The documented Tab order, skipping what is disabled, from the start-up focus round to it
    // again; the menu items have nothing behind them.
    void tabOrderAndInertMenu()
    {
        frmQuarlin &w = f->window;
        QList<QWidget *> order;
        for (std::size_t row = 0; row < kRowCount; ++row)
            order << w.txt_1_hr[row] << w.txt_1_min[row] << w.txt_1_sec[row];
        order << w.txt_cnt << w.Command1;
        for (int stage = 0; stage < kStageCount; ++stage)
            for (std::size_t j = 0; j < kRelayCount; ++j)
                order << w.stageBoxes(stage)[stage == 0 ? j : kRelayCount - 1 - j];
        order << w.Command2 << w.Combo1 << w.cmdConnect << w.cmdRead << w.Command3 << w.Command4 << order[0];
        // Tab skips what is disabled: the walk also shows which buttons are enabled.
        const auto walk = [&w](QList<QWidget *> expected, const QList<QWidget *> &disabled) {
            expected.removeIf([&](QWidget *c) { return disabled.contains(c); });
            QList<QWidget *> seen{QApplication::focusWidget()};
            while (seen.size() < expected.size()) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                seen << (QApplication::focusWidget() == w.Combo1->lineEdit() ? w.Combo1 : QApplication::focusWidget());
            }
            return seen == expected;
        };
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w) && walk(order, {w.Command1, w.cmdRead, w.Command3, w.Command4}));
        QCOMPARE(f->connect().size(), 1);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        order[0]->setFocus();
        QVERIFY(walk(order, {w.cmdRead}));

        BoxCatcher catcher;
        for (QAction *item : {w.mnuRead, w.mnuWrite, w.mnuSetting})
            item->trigger();
        QCOMPARE(f->read(1, 200), QByteArray());
        QVERIFY(catcher.boxes.isEmpty() && w.MSComm1->PortOpen() && w.Command1->isEnabled());
    }

    // Another program's hold on COM 1: Connect refuses, names it only when it really has the port, and
    // leaves its lock as it was. A lock no running program can be behind is taken over.
    void foreignHold_data()
    {
        QTest::addColumn<QByteArray>("lock"); // the lock file's contents: %1 the holder's PID, %2 this host
        QTest::addColumn<bool>("holds");      // the holder has the device open
        QTest::addColumn<int>("age");         // seconds since the lock was written; -1: before the boot
        QTest::addColumn<QString>("reason");  // empty: the port opens
        const QString held = "다른 프로그램(sleep, PID <pid>)이 이 포트를 사용하고 있습니다 (잠금 파일 <lock>). 그 프로그램을 닫은 뒤 다시 연결하십시오.";
        const QString notALock = "<lock>은(는) 잠금 파일이 아니어서 포트를 열지 않았습니다. 이 포트를 쓰는 프로그램이 없으면 이것을 지운 뒤 (sudo rm -r <lock>) 다시 연결하십시오.";
        const QString unknown = "다른 프로그램이 이 포트를 사용하고 있습니다. 그 프로그램을 닫은 뒤 다시 연결하십시오.";
        QTest::newRow("minicom: ASCII PID") << QByteArray("%1\n").rightJustified(11) << true << 0 << held;
        QTest::newRow("a PID without a line break") << QByteArray("%1") << true << 0 << held;
        QTest::newRow("Qt's form") << QByteArray("%1\nsleep\n%2\n") << true << 0 << held;
        QTest::newRow("binary PID") << QByteArray("binary") << true << 0 << held;
        QTest::newRow("picocom: flock on the device") << QByteArray("flock") << true << 0 << QString(held).replace("sleep", "flock").remove(" (잠금 파일 <lock>)");
        QTest::newRow("flock handed to a child") << QByteArray("flock child") << true << 0 << QString(held).remove(" (잠금 파일 <lock>)");
        QTest::newRow("another machine's lock") << QByteArray("%1\nminicom\nbench\n") << true << 0 << unknown;
        QTest::newRow("empty, being written") << QByteArray() << true << 0 << unknown;
        QTest::newRow("empty, long left") << QByteArray() << true << 60 << notALock;
        QTest::newRow("garbage, four bytes") << QByteArray("junk") << true << 0 << notALock;
        QTest::newRow("a directory") << QByteArray("dir") << true << 0 << notALock;
        QTest::newRow("a FIFO") << QByteArray("fifo") << true << 0 << notALock;
        QTest::newRow("a process that has ended") << QByteArray("4194304\n") << true << 0 << QString();
        QTest::newRow("a PID now another program's") << QByteArray("%1\nquarlin\n%2\n") << false << 0 << QString();
        QTest::newRow("a process without the port") << QByteArray("%1\n") << false << 0 << QString();
        QTest::newRow("from before the boot") << QByteArray("%1\n") << true << -1 << QString();
    }

    void foreignHold()
    {
        QFETCH(QByteArray, lock);
        QFETCH(bool, holds);
        QFETCH(int, age);
        QFETCH(QString, reason);
        const QString slave = QString::fromStdString(f->pty->slavePath()), path = "/var/lock/LCK.." + slave.mid(5).replace(u'/', u'_');
        QProcess holder;
        if (lock.startsWith("flock"))
            holder.start(lock == "flock" ? "flock" : "sh", lock == "flock" ? QStringList{"-o", slave, "-c", "echo; read x"}
                                                                          : QStringList{"-c", "exec 3<>\"$0\"; flock 3; sleep 30 & echo $!", slave});
        else {
            holder.setStandardInputFile(holds ? slave : QProcess::nullDevice());
            holder.start("sleep", {"30"});
        }
        QVERIFY(lock.startsWith("flock") ? holder.waitForReadyRead(5000) : holder.waitForStarted(5000));
        const qint64 child = lock == "flock child" ? holder.readLine().trimmed().toLongLong() : 0;
        // Until it has started, the child is a copy of the shell.
        QVERIFY(!child || QTest::qWaitFor([child] { QFile comm(QString("/proc/%1/comm").arg(child)); return comm.open(QIODevice::ReadOnly) && comm.readAll() == "sleep\n"; }));
        const auto pid = qint32(child ? child : holder.processId());
        const auto stopChild = qScopeGuard([child] { child && ::kill(pid_t(child), SIGTERM); });
        const QByteArray contents = lock == "binary" ? QByteArray(reinterpret_cast<const char *>(&pid), 4)
                                                     : QString::fromLatin1(lock).arg(pid).arg(QSysInfo::machineHostName()).toLatin1();
        QFile file(path);
        if (lock == "dir")
            QVERIFY(QDir().mkdir(path));
        else if (lock == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        else if (!lock.startsWith("flock"))
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        file.close();
        if (age != 0)
            QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(age < 0 ? QDateTime(QDate(2000, 1, 1), QTime()) : QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime));
        file.close();
        const QList<SeenBox> boxes = f->connect();
        const QByteArray now = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : lock;
        f->window.MSComm1->setPortOpen(false);
        holder.close();
        QFile::remove(path) || QDir().rmdir(path);
        QVERIFY(boxes.size() == 1 && (reason.isEmpty() ? now.startsWith(QByteArray::number(::getpid()) + '\n') : now == contents || now == lock));
        QCOMPARE(boxes[0].text.section(u'\n', 2), QString(reason).replace("<pid>", QString::number(pid)).replace("<lock>", path));
    }

    // A world-writable lock directory may hold anything, at any moment. Connect still answers within
    // 2 s, and a missing device is told without touching a running program's lock. Run in a child
    // process, so that a Connect that never answers fails within a bound instead of hanging the run.
    void plantedInLockDir()
    {
        if (!qEnvironmentVariableIsSet("QUARLIN_TEST_PLANTED")) {
            QProcess child;
            child.setProcessEnvironment([] { auto e = QProcessEnvironment::systemEnvironment(); e.insert("QUARLIN_TEST_PLANTED", "1"); return e; }());
            child.start(QCoreApplication::applicationFilePath(), {"plantedInLockDir"});
            const bool ended = child.waitForFinished(30000);
            if (!ended)
                child.kill(), child.waitForFinished(5000);
            const QByteArray told = child.readAll();
            // A child cut short leaves its FIFO behind.
            const QString planted = QString::fromLocal8Bit(told.mid(told.indexOf("planting ") + 9)).section(u'\n', 0, 0);
            if (QFileInfo(planted).exists() && !QFileInfo(planted).isFile())
                QFile::remove(planted);
            QVERIFY2(ended && told.contains("PASS   : TestWindow::plantedInLockDir()"), ended ? told.mid(told.indexOf("FAIL!"), 400).constData() : "a Connect hung");
            return;
        }
        // A user's loop that keeps making and removing a FIFO under the lock's name.
        const QByteArray fifo = "/var/lock/LCK.." + QByteArray::fromStdString(f->pty->slavePath()).mid(5).replace('/', '_');
        std::printf("planting %s\n", fifo.constData());
        std::fflush(stdout);
        std::atomic<bool> stop = false;
        std::thread planter([&] {
            while (!stop) {
                if (::mkfifo(fifo.constData(), 0644) == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(std::rand() % 3000));
                    ::unlink(fifo.constData());
                }
                std::this_thread::sleep_for(std::chrono::microseconds(std::rand() % 2000));
            }
        });
        qint64 slowest = 0;
        int answered = 0;
        for (int i = 0; i < 60; ++i) {
            QElapsedTimer clock;
            clock.start();
            answered += int(f->connect().size() == 1);
            slowest = std::max(slowest, clock.elapsed());
        }
        stop = true;
        planter.join();
        QCOMPARE(answered, 60);
        QVERIFY2(slowest < 2000, qPrintable(QString("slowest Connect: %1 ms").arg(slowest)));

        // COM 5 has no device: whatever lies under its lock's name is left as it is.
        const QString lock = "/var/lock/" + lockFileNames({comDevicePath(5, f->emptyDev.path())}).constFirst();
        QProcess holder;
        holder.start("sleep", {"30"});
        QVERIFY(holder.waitForStarted(5000));
        const QByteArray contents = QByteArray::number(holder.processId()).rightJustified(10) + '\n';
        for (const bool asFifo : {false, true}) {
            QFile file(lock);
            QVERIFY(asFifo ? ::mkfifo(QFile::encodeName(lock).constData(), 0644) == 0 : file.open(QIODevice::WriteOnly) && file.write(contents) > 0);
            file.close();
            const QList<SeenBox> boxes = f->connect(4);
            const bool kept = asFifo ? QFileInfo(lock).exists() : file.open(QIODevice::ReadOnly) && file.readAll() == contents;
            QFile::remove(lock);
            QVERIFY(boxes.size() == 1 && boxes[0].text.endsWith(QStringLiteral("장치가 없습니다. 어댑터와 케이블 연결, COM 번호를 확인하십시오.")));
            QVERIFY2(kept, asFifo ? "FIFO" : "live lock");
        }
    }

    // Reached through an alias, the port is held under the device's own lock name too, and by an
    // flock; both go when it closes.
    void heldUnderEveryName()
    {
        QTemporaryDir dev;
        const QString tty = QString::fromStdString(f->pty->slavePath()), alias = dev.filePath("com1");
        QVERIFY(QFile::link(tty, alias));
        frmQuarlin window([&alias](int) { return alias; });
        const QStringList locks = {"/var/lock/LCK.." + QString(alias).replace(u'/', u'_'), "/var/lock/LCK.." + tty.mid(5).replace(u'/', u'_')};
        BoxCatcher catcher;
        click(window.cmdConnect);
        QVERIFY(window.MSComm1->PortOpen());
        for (const QString &lock : locks) {
            QFile file(lock);
            QVERIFY2(file.open(QIODevice::ReadOnly) && file.readLine() == QByteArray::number(::getpid()) + '\n', qPrintable(lock));
        }
        QVERIFY(::flock(f->pty->spareSlave(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
        window.MSComm1->setPortOpen(false);
        QVERIFY(!QFile::exists(locks[0]) && !QFile::exists(locks[1]));
        QCOMPARE(::flock(f->pty->spareSlave(), LOCK_EX | LOCK_NB), 0);
    }

    // As a user without rights to the device or to a lock: run again as nobody, with a stale lock
    // that nobody may remove.
    void withoutRights()
    {
        const QStringList ttys = qEnvironmentVariable("QUARLIN_TEST_TTYS").split(u' ', Qt::SkipEmptyParts);
        if (::getuid() == 0) {
            const auto given = WindowFixture::newPty();
            QTemporaryDir dev; // COM 1 by an alias, whose device has locks under its own names
            const QString tty = QString::fromStdString(given->slavePath()), alias = dev.filePath("com1");
            QFile stale("/var/lock/LCK.." + QString(alias).replace(u'/', u'_'));
            QVERIFY(given->giveTo(65534, 65534) && QFile::link(tty, alias) && stale.open(QIODevice::WriteOnly) && stale.write("4194304\n") > 0
                    && stale.flush() && QFile::setPermissions(dev.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther));
            qputenv("QUARLIN_TEST_TTYS", (alias + u' ' + QString::fromStdString(f->pty->slavePath())).toLocal8Bit());
            QProcess child;
            child.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", QCoreApplication::applicationFilePath(), "withoutRights"});
            const QByteArray told = child.waitForFinished(15000) ? child.readAll() : QByteArray("no end within 15 s");
            stale.remove();
            QFile::remove("/var/lock/LCK.." + tty.section(u'/', -1));
            QVERIFY2(child.exitCode() == 0 && told.contains("PASS   : TestWindow::withoutRights()"), told.constData());
            return;
        }
        if (ttys.size() != 2)
            QSKIP("needs root, to run as a user without rights");
        frmQuarlin window([&ttys](int n) { return ttys.value(n - 1); });
        const auto reason = [&window](int item) { window.Combo1->setCurrentIndex(item); return click(window.cmdConnect).value(0).text.section(u'\n', 2); };
        QFile unreadable("/var/lock/LCK.." + QFileInfo(ttys[0]).symLinkTarget().section(u'/', -1)); // minicom's name
        QVERIFY(unreadable.open(QIODevice::WriteOnly) && unreadable.setPermissions({}));
        QCOMPARE(reason(0), QStringLiteral("잠금 파일 %1을(를) 읽을 수 없어 포트를 열지 않았습니다. 이 포트를 쓰는 프로그램이 없으면 "
                                           "이 파일을 지운 뒤 (sudo rm %1) 다시 연결하십시오.").arg(unreadable.fileName()));
        QVERIFY(unreadable.remove());
        QCOMPARE(reason(0), QStringLiteral("이미 끝난 프로그램(PID 4194304)의 잠금 파일 /var/lock/LCK..%1이(가) 남아 포트를 열 수 없습니다. "
                                           "이 파일을 지운 뒤 (sudo rm /var/lock/LCK..%1) 다시 연결하십시오.").arg(QString(ttys[0]).replace(u'/', u'_')));
        QCOMPARE(reason(1), QStringLiteral("포트를 열 권한이 없습니다. 사용자를 dialout 그룹에 넣은 뒤 (sudo usermod -aG dialout $USER) 다시 로그인하십시오."));
    }

    void replies()
    {
        QCOMPARE(f->connect().size(), 1);
        // One byte is enough to start taking a reply; bytes above 127 come through as they are.
        f->write("R");
        QVERIFY(QTest::qWaitFor([] { return Module1::RxBuffer == QStringLiteral("R"); }));
        f->write(QByteArray(24, 'z') + "\x04");
        QVERIFY(QTest::qWaitFor([] { return Module1::RxBuffer.isEmpty(); }));
        const QByteArray first = "R" + QByteArray(23, 'a') + "\xE9";
        f->write("xx" + first.left(10));
        QTest::qWait(30);
        f->write(first.mid(10) + "\x04");
        QVERIFY(QTest::qWaitFor([&] { return Module1::RxRecord == QString::fromLatin1(first); }));
        QVERIFY(Module1::RxBuffer.isEmpty());

        // What waits in the port when a reply ends is dropped: the second reply never lands.
        const QByteArray second = "R" + QByteArray(24, 'b') + "\x04";
        f->write("R" + QByteArray(24, 'c') + "\x04" + QByteArray(1500, 'x') + second);
        QTest::qWait(100);
        QCOMPARE(Module1::RxRecord, QString(u'R') + QString(24, u'c'));
    }

    void exitCloses()
    {
        f->window.show();
        QCOMPARE(f->connect().size(), 1);
        click(f->window.Command2);
        QVERIFY(!f->window.isVisible());
    }

    // Last: it ends the event loop, as a logout or Ctrl-C ends the program.
    void signalEndsAsExitDoes()
    {
        QCOMPARE(f->connect().size(), 1);
        const QString lock = "/var/lock/LCK.." + QString::fromStdString(f->pty->slavePath()).mid(5).replace(u'/', u'_');
        QVERIFY(QFile::exists(lock));
        endOnTerminationSignals(f->window);
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        QTimer::singleShot(3000, [] { QCoreApplication::exit(-1); });
        const int status = QCoreApplication::exec();
        ::alarm(0); // the bound on the program's end would cut the test run short
        QCOMPARE(status, 0);
        QVERIFY(!f->window.MSComm1->PortOpen() && !QFile::exists(lock));
        int exclusive = 1;
        QVERIFY(::ioctl(f->pty->spareSlave(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
    }

private:
    std::unique_ptr<WindowFixture> f;
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
