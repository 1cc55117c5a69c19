#include "app/Look.h"
#include "app/Messages.h"
#include "app/frmQuarlin.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "serial/Platform.h"
#include "tests/BoxCatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>

// A Windows program, run under Wine by com1.sh: COM1 is a Linux pty whose
// bytes the script compares and which it writes to or closes when asked
// through the folder QUARLIN_LINE; QUARLIN_FREE_COM names a COM number Wine lacks.
class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void windowsPortsAndReasons();
    void missingPort();
    void downloadThroughCom1();
    void replies_data();
    void replies();
    void unplugIsToldOnce(); // last: COM1 stays unplugged
};

namespace {

// Connects to COM n and returns the text of the one box that follows.
QString connectTo(frmQuarlin &window, int number)
{
    window.Combo1->setCurrentIndex(number - 1);
    const QList<SeenBox> boxes = click(window.cmdConnect);
    return boxes.size() == 1 ? boxes[0].text : QStringLiteral("%1 boxes").arg(boxes.size());
}

// Asks the Linux end of COM1 to "send" bytes, to "unplug", or for "cpu": the
// milliseconds of CPU this process used over 2 s, as Linux counts them.
QByteArray line(const QString &action, const QByteArray &bytes = {})
{
    const QString dir = qEnvironmentVariable("QUARLIN_LINE") + QLatin1Char('/');
    QFile request(dir + QStringLiteral("request"));
    if (!request.open(QIODevice::WriteOnly) || request.write(bytes) != bytes.size())
        return "no request";
    request.close();
    QFile::remove(dir + QStringLiteral("answer"));
    const QString asked = dir + QStringLiteral("request.") + action;
    if (!request.rename(asked) || !QTest::qWaitFor([&] { return !QFile::exists(asked); }, 20000))
        return "no answer";
    QFile answer(dir + QStringLiteral("answer"));
    return answer.open(QIODevice::ReadOnly) ? answer.readAll() : QByteArray();
}

// A program that waits on the line costs next to nothing.
bool idle()
{
    const QByteArray ms = line(QStringLiteral("cpu"));
    qInfo("CPU over 2 s: %s ms", ms.constData());
    return !ms.isEmpty() && ms.toInt() < 500;
}

} // namespace

void TestWindows::windowsPortsAndReasons()
{
    QCOMPARE(platform::comPortName(1), QStringLiteral("COM1"));
    QVERIFY(platform::comPortName(9).isEmpty());
    // Wine lets two programs open one port, so only the mapping can be shown here.
    QCOMPARE(platform::openFault(QStringLiteral("COM1"), QSerialPort::PermissionError), platform::OpenFault::InUse);
}

void TestWindows::missingPort()
{
    const int number = qEnvironmentVariableIntValue("QUARLIN_FREE_COM");
    if (number == 0)
        QSKIP("Wine gave every COM number a device");
    frmQuarlin window;
    const QString text = connectTo(window, number);
    QVERIFY2(text.contains(QStringLiteral("COM%1").arg(number)) && text.contains(QStringLiteral("장치가 없습니다")),
             qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("dialout")) && !text.contains(QStringLiteral("/dev")), qPrintable(text));
}

// com1.sh expects 53 01 1E 05 02 05 0C 00… 63 3B 09 29 00 00 00 F9 00 07 03 01 2C 0D.
void TestWindows::downloadThroughCom1()
{
    frmQuarlin window;
    const QString opened = connectTo(window, 1);
    QVERIFY2(opened.contains(QStringLiteral("COM1")) && !opened.contains(QStringLiteral("/dev")), qPrintable(opened));
    const std::array<std::array<const char *, 3>, kRowCount> rows{
        {{"1", "30", "5"}, {"2", "5", "12"}, {"0", "0", "0"}, {"0", "0", "0"}, {"99", "59", "9"}, {"0", "7", "3"}}};
    for (std::size_t row = 0; row < rows.size(); ++row) {
        window.txt_1_hr[row]->setText(QLatin1String(rows[row][0]));
        window.txt_1_min[row]->setText(QLatin1String(rows[row][1]));
        window.txt_1_sec[row]->setText(QLatin1String(rows[row][2]));
    }
    for (std::size_t relay : {0U, 2U, 5U})
        window.chk_st1[relay]->setChecked(true);
    for (QCheckBox *box : window.chk_st5)
        box->setChecked(true);
    window.txt_cnt->setText(QStringLiteral("300"));
    const QList<SeenBox> boxes = click(window.Command1);
    QVERIFY(boxes.size() == 1 && boxes[0].text == QStringLiteral("설정값이 다운로드 되었습니다"));
}

void TestWindows::replies_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    const QByteArray reply = "R" + QByteArray(23, 'a') + "\xE9";
    QTest::newRow("whole") << QByteArrayList{reply + "\x04"};
    QTest::newRow("split") << QByteArrayList{reply.left(10), reply.mid(10) + "\x04"};
    QTest::newRow("noise first") << QByteArrayList{QByteArray("x\0\xFFr", 4) + reply + "\x04"};
    QTest::newRow("after a flood") << QByteArrayList{QByteArray(65536, 'f'), reply + "\x04"};
}

// Taken as on Linux: the record is the 25 characters from the "R", then the line is calm.
void TestWindows::replies()
{
    QFETCH(QByteArrayList, writes);
    Module1::RxBuffer.clear();
    Module1::RxRecord.clear();
    frmQuarlin window;
    QVERIFY(connectTo(window, 1).contains(QStringLiteral("COM1")));
    BoxCatcher catcher;
    for (const QByteArray &bytes : writes) {
        QCOMPARE(line(QStringLiteral("send"), bytes), QByteArray());
        QTest::qWait(50);
    }
    const QString record = QString::fromLatin1("R" + QByteArray(23, 'a') + "\xE9");
    QVERIFY2(QTest::qWaitFor([&] { return Module1::RxRecord == record; }), qPrintable(Module1::RxRecord));
    QVERIFY(idle());
    QCOMPARE(catcher.boxes.size(), 0);
}

void TestWindows::unplugIsToldOnce()
{
    frmQuarlin window;
    QVERIFY(connectTo(window, 1).contains(QStringLiteral("COM1")));
    BoxCatcher catcher;
    QTest::qWait(300);
    QVERIFY(window.MSComm1->PortOpen() && catcher.boxes.isEmpty());
    QCOMPARE(line(QStringLiteral("unplug")), QByteArray());
    QVERIFY(catcher.waitFor(1));
    QVERIFY(!window.MSComm1->PortOpen());
    QVERIFY(idle());
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes[0].text, messages::deviceLost(QStringLiteral("COM1")));
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
