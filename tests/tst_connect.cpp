#include "app/Look.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "tests/WindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString kOpened = QStringLiteral("통신포트가 정상적으로 열렸읍니다.");
const QString kNotOpened = QStringLiteral("통신 포트가 정상적으로 열리지 않았읍니다.");

QByteArray eot()
{
    return QByteArray(1, '\x04');
}

const QByteArray kBody("R012345678901234567890123");

} // namespace

class TestConnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void init();
    void cleanup() { f.reset(); }

    void connectOpensTheChosenPort();
    void connectFailsWithoutDevice();
    void connectAgainWhileOpen();
    void failedConnectAfterSuccessKeepsButtons();
    void typedPortNumberSelectsNothing();
    void waitingInputIsDiscarded();
    void connectCompletesWhenReceptionStartsInside();
    void replies_data();
    void replies();
    void receptionUsesNoProcessorWhileIdle();
    void handlersWorkWhileReceiving();
    void keyboardOnly();

private:
    void receive(const QList<QByteArray> &pieces);
    std::unique_ptr<WindowFixture> f;
};

void TestConnect::init()
{
    Module1::RxBuffer.clear();
    Module1::RxRecord.clear();
    f = std::make_unique<WindowFixture>();
    QVERIFY(f->pty->isValid());
}

void TestConnect::connectOpensTheChosenPort()
{
    const QList<SeenBox> boxes = f->connect(0);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("확  인"));
    QCOMPARE(boxes[0].text, kOpened + "\nCOM1: " + f->pty->slavePath());
    QCOMPARE(boxes[0].buttons, 1);
    QVERIFY(!boxes[0].hasIcon);
    QVERIFY(f->window.MSComm1->PortOpen());
    QCOMPARE(f->window.MSComm1->Settings(), QStringLiteral("9600,N,8,1"));
    for (QPushButton *b : {f->window.Command1, f->window.Command3, f->window.Command4})
        QVERIFY(b->isEnabled());
    QVERIFY(!f->window.cmdRead->isEnabled());
}

void TestConnect::connectFailsWithoutDevice()
{
    const QList<SeenBox> boxes = f->connect(2);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Quarlin_01"));
    const QStringList lines = boxes[0].text.split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], kNotOpened);
    QCOMPARE(lines[1], "COM3: " + f->emptyDev.path() + "/ttyS2");
    QVERIFY(lines[2].contains(QStringLiteral("장치가 없습니다")));
    QVERIFY(!f->window.MSComm1->PortOpen());
    QCOMPARE(f->window.MSComm1->CommPort(), 3);
    QVERIFY(!f->window.Command1->isEnabled());
}

void TestConnect::connectAgainWhileOpen()
{
    QCOMPARE(f->connect().size(), 1);
    const QList<SeenBox> again = f->connect();
    QCOMPARE(again.size(), 1);
    QVERIFY(again[0].text.startsWith(kOpened));
    QVERIFY(f->window.MSComm1->PortOpen());
    QCOMPARE(f->click(f->window.Command1).size(), 1);
    QCOMPARE(f->readFrame(), startFrame());
}

void TestConnect::failedConnectAfterSuccessKeepsButtons()
{
    f->connect(0);
    const QList<SeenBox> boxes = f->connect(7);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.startsWith(kNotOpened));
    QVERIFY(!f->window.MSComm1->PortOpen());
    for (QPushButton *b : {f->window.Command1, f->window.Command3, f->window.Command4})
        QVERIFY(b->isEnabled());
}

void TestConnect::typedPortNumberSelectsNothing()
{
    f->window.Combo1->lineEdit()->selectAll();
    QTest::keyClicks(f->window.Combo1->lineEdit(), "1");
    const QList<SeenBox> boxes = f->click(f->window.cmdConnect);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(f->window.MSComm1->CommPort(), 0);
    QVERIFY(boxes[0].text.startsWith(kNotOpened + "\nCOM 0: "));
    QVERIFY(boxes[0].text.contains(QStringLiteral("1~8")));

    // Picking from the list selects again.
    f->window.Combo1->setCurrentIndex(1);
    QTest::keyClick(f->window.Combo1, Qt::Key_Up);
    QCOMPARE(f->window.Combo1->currentIndex(), 0);
    QVERIFY(f->click(f->window.cmdConnect).value(0).text.startsWith(kOpened));
}

void TestConnect::waitingInputIsDiscarded()
{
    // Reception starts on the first character and takes it; what waited in
    // the port when "Connect" finished is dropped and makes no record.
    f->window.MSComm1->setRThreshold(0);
    f->pty->write(kBody);
    f->connect();
    QCOMPARE(f->window.MSComm1->InBufferCount(), 0);
    f->pty->write(eot());
    QTest::qWait(50);
    QCOMPARE(Module1::RxRecord, QString());
}

void TestConnect::connectCompletesWhenReceptionStartsInside()
{
    // Characters that waited before the opening start reception while
    // Connect lets pending events run; Connect still finishes.
    f->pty->write("noise");
    const QList<SeenBox> boxes = f->connect();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.startsWith(kOpened));
    QVERIFY(f->window.Command1->isEnabled());
    receive({kBody + eot()});
    QCOMPARE(Module1::RxRecord, QString::fromLatin1(kBody));
}

void TestConnect::receive(const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces) {
        f->pty->write(piece);
        // Lets each piece arrive on its own.
        QTest::qWait(30);
    }
}

void TestConnect::replies_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("record");

    QTest::newRow("one piece") << QList<QByteArray>{kBody + eot()} << QString::fromLatin1(kBody);
    QTest::newRow("several pieces") << QList<QByteArray>{"R0123", "4567890123456789", "0123", eot()}
                                    << QString::fromLatin1(kBody);
    QTest::newRow("leading characters") << QList<QByteArray>{"xy" + kBody + eot()} << QString::fromLatin1(kBody);
    QTest::newRow("lower-case r") << QList<QByteArray>{"r123" + eot()} << QString();
    QTest::newRow("short record keeps terminator") << QList<QByteArray>{"R12" + eot()} << "R12" + QString(QChar(4));
    QTest::newRow("two replies in one read") << QList<QByteArray>{kBody + eot() + "Rsecond" + eot()}
                                             << QString::fromLatin1(kBody);
    QTest::newRow("high bytes") << QList<QByteArray>{"R\xff\x80" + eot()} << QStringLiteral("R\u00ff\u0080\u0004");
}

void TestConnect::replies()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, record);
    f->connect();
    receive(pieces);
    QCOMPARE(Module1::RxRecord, record);
    QVERIFY(Module1::RxBuffer.isEmpty());

    // The next reply replaces the record.
    receive({"Rnext" + eot()});
    QCOMPARE(Module1::RxRecord, QStringLiteral("Rnext\u0004"));
}

void TestConnect::receptionUsesNoProcessorWhileIdle()
{
    f->connect();
    receive({"R1"});
    const double before = cpuSeconds();
    QTest::qWait(1000);
    const double used = cpuSeconds() - before;
    // A polling loop would use the whole second; allow a lot for a loaded machine.
    QVERIFY2(used < 0.3, qPrintable(QString::number(used)));
    receive({eot()});
    QCOMPARE(Module1::RxRecord, QStringLiteral("R1\u0004"));
}

void TestConnect::handlersWorkWhileReceiving()
{
    f->connect();
    receive({"R-partial"});
    QCOMPARE(f->click(f->window.Command1).size(), 1);
    QCOMPARE(f->readFrame(), startFrame());
    f->window.txt_1_min[0]->setText(QStringLiteral("70"));
    QCOMPARE(f->window.txt_1_min[0]->text(), QStringLiteral("59"));
    const QList<SeenBox> again = f->connect();
    QCOMPARE(again.size(), 1);
    QVERIFY(again[0].text.startsWith(kOpened));
    receive({"R2" + eot()});
    QCOMPARE(Module1::RxRecord, QStringLiteral("R-partialR2\u0004"));
}

void TestConnect::keyboardOnly()
{
    frmQuarlin &w = f->window;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };

    w.Combo1->setFocus();
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.cmdConnect);
    {
        BoxCatcher catcher;
        press(Qt::Key_Space);
        QVERIFY(catcher.waitFor(1));
        QVERIFY(catcher.boxes[0].text.startsWith(kOpened));
    }
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    w.txt_1_hr[0]->setFocus();
    QTest::keyClicks(w.txt_1_hr[0], "2");
    for (int k = 0; k < 3 * kRowCount + 1; ++k)
        press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.Command1);
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.chk_st1[0]);
    press(Qt::Key_Space);
    QVERIFY(w.chk_st1[0]->isChecked());
    press(Qt::Key_Backtab);
    {
        BoxCatcher catcher;
        press(Qt::Key_Space);
        QVERIFY(catcher.waitFor(1));
    }
    QByteArray expected = startFrame();
    expected[1] = 0x02; // the field now reads "002"
    expected[16] = 0x08;
    QCOMPARE(f->readFrame(), expected);
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
