#include "app/Look.h"
#include "app/Messages.h"
#include "app/frmQuarlin.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "serial/Platform.h"
#include "tests/BoxCatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>

// A Windows program, run under Wine by com1.sh: COM1 is a Linux pty on which
// the script plays the controller; QUARLIN_FREE_COM names a COM number Wine lacks.
class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void missingPort();
    void throughCom1();
};

namespace {

// Connects to COM n and returns the text of the one box that follows.
QString connectTo(frmQuarlin &window, int number)
{
    window.Combo1->setCurrentIndex(number - 1);
    const QList<SeenBox> boxes = click(window.cmdConnect);
    return boxes.size() == 1 ? boxes[0].text : QStringLiteral("%1 boxes").arg(boxes.size());
}

} // namespace

void TestWindows::missingPort()
{
    // Wine lets two programs open one port, so only the mapping can be shown here.
    QCOMPARE(platform::openFault(QStringLiteral("COM1"), QSerialPort::PermissionError), platform::OpenFault::InUse);
    const int number = qEnvironmentVariableIntValue("QUARLIN_FREE_COM");
    if (number == 0)
        QSKIP("Wine gave every COM number a device");
    frmQuarlin window;
    const QString text = connectTo(window, number);
    QVERIFY2(text.contains(QStringLiteral("COM%1").arg(number)) && text.contains(QStringLiteral("장치가 없습니다")),
             qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("dialout")) && !text.contains(QStringLiteral("/dev")), qPrintable(text));
}

// com1.sh expects the frame 53 01 1E 05 02 05 0C 00… 63 3B 09 29 00 00 00 F9 00 07 03 01 2C 0D,
// then sends replies and at last unplugs the line, following in the log what the
// program shows: the record taken and how many messages it showed.
void TestWindows::throughCom1()
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
    BoxCatcher catcher;
    QByteArray shown;
    QVERIFY(QTest::qWaitFor([&] {
        const QByteArray state = Module1::RxRecord.toLatin1().toHex() + ' ' + QByteArray::number(catcher.boxes.size());
        if (state != shown)
            qInfo("state %s", (shown = state).constData());
        return !catcher.boxes.isEmpty();
    }, 90000));
    QTest::qWait(2500); // com1.sh counts the CPU time meanwhile
    QVERIFY(!window.MSComm1->PortOpen() && catcher.boxes.size() == 1
            && catcher.boxes[0].text == messages::deviceLost(QStringLiteral("COM1")));
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
