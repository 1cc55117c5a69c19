#include "app/Look.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "tests/Support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

#include <termios.h>

#include <thread>

namespace {

const QString kDownloaded = QStringLiteral("설정값이 다운로드 되었습니다");
const QString kConfirm = QStringLiteral("확  인");
const QString kAppTitle = QStringLiteral("Quarlin_01");

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
        QVERIFY(boxes[0].plain);
        for (QPushButton *b : {f->window.Command1, f->window.Command3, f->window.Command4})
            QVERIFY(b->isEnabled());
        QVERIFY(!f->window.cmdRead->isEnabled());

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

    void failedConnect_data()
    {
        QTest::addColumn<bool>("connectedBefore");
        QTest::newRow("at start") << false;
        QTest::newRow("after a success") << true;
    }

    void failedConnect()
    {
        QFETCH(bool, connectedBefore);
        if (connectedBefore)
            QCOMPARE(f->connect().size(), 1);
        const QList<SeenBox> boxes = f->connect(4);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, kAppTitle);
        QVERIFY(boxes[0].text.startsWith(QStringLiteral("통신 포트가 정상적으로 열리지 않았읍니다.\nCOM5: ")));
        QVERIFY(!f->window.MSComm1->PortOpen());
        QCOMPARE(f->window.Command1->isEnabled(), connectedBefore);
        if (connectedBefore) { // enabled still, but a closed port sends nothing
            const QList<SeenBox> refused = click(f->window.Command3);
            QVERIFY(refused.size() == 1
                    && refused[0].text.startsWith(QStringLiteral("통신 포트가 열려 있지 않아 아무것도 보내지 않았습니다.")));
            QCOMPARE(f->read(1, 100), QByteArray());
        }

        // Typing into the list chooses no entry: COM 0.
        QTest::keyClicks(f->window.Combo1->lineEdit(), QStringLiteral("3"));
        const QList<SeenBox> typed = click(f->window.cmdConnect);
        QVERIFY(typed.size() == 1 && typed[0].text.contains(QStringLiteral("COM 0")));
    }

    void downloads_data()
    {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("stage 1 at 1:30.5, relays 1, 3, internal, count 300")
            << QStringList{"hr0=1", "min0=30", "sec0=5", "chk1.0", "chk1.2", "chk1.5", "cnt=300"}
            << bytes({0x53, 1, 0x1E, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x29, 0, 0, 0, 0, 0, 0, 0, 1, 0x2C, 0x0D});
        QTest::newRow("half to even, letters, limits, full width")
            << QStringList{"sec0=6.5", "sec1=7.5", "hr2=12abc", "min2=75", "sec3=２５", "cnt=12.5"}
            << bytes({0x53, 0, 0, 6, 0, 0, 8, 12, 0x3B, 0, 0, 0, 0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0x0D});
    }

    void downloads()
    {
        QFETCH(QStringList, edits);
        QFETCH(QByteArray, frame);
        QCOMPARE(f->connect().size(), 1);
        edit(f->window, edits);
        const QList<SeenBox> boxes = click(f->window.Command1);
        QCOMPARE(f->read(), frame);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title + boxes[0].text, kConfirm + kDownloaded);
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

    void refusalSendsNothing_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("named");
        QTest::newRow("negative minutes") << "hr0=-3" << "STAGE 1 분 값 \"-3\"";
        QTest::newRow("tenths 256 in the delay") << "sec5=256" << "DELAY 1/10 초 값 \"256\"";
        QTest::newRow("count 65536") << "cnt=65536" << "반복횟수 값 \"65536\"";
        QTest::newRow("a megabyte of digits") << "sec2=" + QString(1 << 20, u'7') << "STAGE 3 1/10 초 값";
    }

    void refusalSendsNothing()
    {
        QFETCH(QString, edit);
        QFETCH(QString, named);
        QCOMPARE(f->connect().size(), 1);
        ::edit(f->window, {edit});
        const QList<SeenBox> boxes = click(f->window.Command1);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, kAppTitle);
        QVERIFY2(boxes[0].text.startsWith(named) && boxes[0].text.contains(QStringLiteral("아무것도 보내지 않았습니다")),
                 qPrintable(boxes[0].text.left(200)));
        QCOMPARE(f->read(1, 100), QByteArray());
    }

    void unplugIsToldOnce()
    {
        QCOMPARE(f->connect().size(), 1);
        QCOMPARE(f->connect().size(), 1);
        {
            BoxCatcher catcher;
            f->pty->closeMaster();
            QVERIFY(catcher.waitFor(1));
            QTest::qWait(300);
            QCOMPARE(catcher.boxes.size(), 1);
            QVERIFY(catcher.boxes[0].text.startsWith(QStringLiteral("통신 장치와의 연결이 끊어졌습니다 (COM1: ")));
            QVERIFY(!f->window.MSComm1->PortOpen());
        }

        f->pty = WindowFixture::newPty();
        QCOMPARE(f->connect().size(), 1);
        click(f->window.Command1);
        QCOMPARE(f->read(), startFrame());
    }

    void unplugWhileStuckIsToldOnce()
    {
        QCOMPARE(f->connect().size(), 1);
        f->clog();
        std::thread unplug([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            f->pty->closeMaster();
        });
        BoxCatcher catcher;
        QTest::mouseClick(f->window.Command1, Qt::LeftButton);
        unplug.join();
        QTest::qWait(300);
        QCOMPARE(catcher.boxes.size(), 1);
        QVERIFY(catcher.boxes[0].text.startsWith(QStringLiteral("통신 장치와의 연결이 끊어졌습니다")));
    }

    // "Downloaded" means the bytes have left: Qt's buffer and the driver's queue are empty.
    void confirmedOnlyWhenSent()
    {
        QCOMPARE(f->connect().size(), 1);
        // The driver holds bytes once the frame is written, and never lets them go.
        int queries = 0;
        f->window.MSComm1->setQueueQuery([&queries](qintptr) { return queries++ > 0 ? 5 : 0; });
        QList<SeenBox> boxes = click(f->window.Command1);
        QVERIFY(boxes.size() == 1 && boxes[0].text.startsWith(QStringLiteral("보낼 데이터가 제시간에 나가지 않았습니다")));
        QCOMPARE(f->read(), startFrame());

        f->window.MSComm1->setQueueQuery([](qintptr) { return 0; });
        f->clog();
        boxes = click(f->window.Command1);
        QVERIFY(boxes.size() == 1 && boxes[0].text.startsWith(QStringLiteral("보낼 데이터가 제시간에 나가지 않았습니다")));
    }

    void replies()
    {
        QCOMPARE(f->connect().size(), 1);
        // One byte is enough to start taking a reply; bytes above 127 come through as they are.
        f->write("R");
        QTRY_COMPARE(Module1::RxBuffer, QStringLiteral("R"));
        f->write(QByteArray(24, 'z') + "\x04");
        QTRY_VERIFY(Module1::RxBuffer.isEmpty());
        const QByteArray first = "R" + QByteArray(23, 'a') + "\xE9";
        f->write("xx" + first.left(10));
        QTest::qWait(30);
        f->write(first.mid(10) + "\x04");
        QTRY_COMPARE(Module1::RxRecord, QString::fromLatin1(first));
        QVERIFY(Module1::RxBuffer.isEmpty());

        // What waits in the port when a reply ends is dropped: the second reply never lands.
        const QByteArray second = "R" + QByteArray(24, 'b') + "\x04";
        f->write("R" + QByteArray(24, 'c') + "\x04" + QByteArray(1500, 'x') + second);
        QTRY_COMPARE(Module1::RxRecord, QString(u'R') + QString(24, u'c'));
        QTest::qWait(100);
        QCOMPARE(Module1::RxRecord, QString(u'R') + QString(24, u'c'));

        // Reception leaves the window usable.
        click(f->window.Command1);
        QCOMPARE(f->read(), startFrame());
    }

    void exitCloses()
    {
        f->window.show();
        QCOMPARE(f->connect().size(), 1);
        click(f->window.Command2);
        QVERIFY(!f->window.isVisible());
    }

private:
    std::unique_ptr<WindowFixture> f;
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
