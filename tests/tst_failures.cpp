#include "app/Look.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "tests/WindowFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

namespace {

const QString kDownloaded = QStringLiteral("설정값이 다운로드 되었습니다");
const QString kNotOpen = QStringLiteral("통신 포트가 열려 있지 않아 아무것도 보내지 않았습니다.");

bool anyConfirmed(const QList<SeenBox> &boxes)
{
    for (const SeenBox &box : boxes)
        if (box.text == kDownloaded)
            return true;
    return false;
}

} // namespace

class TestFailures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void init();
    void cleanup() { f.reset(); }

    void closedPortAfterFailedConnect();
    void testPatternsOnClosedPortKeepTheirPattern();
    void unplugIsReportedOnceAndCalm();
    void unplugDuringReception();
    void stuckLineIsNotConfirmed();
    void clearingOutputKeepsThePreviousTail();
    void hostileFieldTexts_data();
    void hostileFieldTexts();
    void hostileReplyStream();

private:
    std::unique_ptr<WindowFixture> f;
};

void TestFailures::init()
{
    Module1::RxBuffer.clear();
    Module1::RxRecord.clear();
    f = std::make_unique<WindowFixture>();
    QCOMPARE(f->connect().size(), 1);
    QVERIFY(f->window.MSComm1->PortOpen());
}

void TestFailures::closedPortAfterFailedConnect()
{
    f->connect(4);
    QVERIFY(!f->window.MSComm1->PortOpen());
    const QList<SeenBox> boxes = f->click(f->window.Command1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Quarlin_01"));
    QVERIFY(boxes[0].text.startsWith(kNotOpen));
    QVERIFY(boxes[0].text.contains(QStringLiteral("\"Connect\"")));
    QCOMPARE(f->pty->readFor(100), QByteArray());
}

void TestFailures::testPatternsOnClosedPortKeepTheirPattern()
{
    f->connect(4);
    QList<SeenBox> boxes = f->click(f->window.Command3);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.startsWith(kNotOpen));
    QCOMPARE(f->window.txt_1_min[2]->text(), QStringLiteral("1"));
    QVERIFY(f->window.chk_st5[5]->isChecked());

    boxes = f->click(f->window.Command4);
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0].text.startsWith(kNotOpen));
    QCOMPARE(f->window.txt_1_min[2]->text(), QStringLiteral("0"));
    QVERIFY(!f->window.chk_st5[5]->isChecked());
    QCOMPARE(f->pty->readFor(100), QByteArray());
}

void TestFailures::unplugIsReportedOnceAndCalm()
{
    {
        BoxCatcher catcher;
        f->pty->closeMaster();
        QVERIFY(catcher.waitFor(1));
        QCOMPARE(catcher.boxes[0].title, QStringLiteral("Quarlin_01"));
        QVERIFY2(catcher.boxes[0].text.contains(QStringLiteral("연결이 끊어졌습니다")),
                 qPrintable(catcher.boxes[0].text));
        QVERIFY(!f->window.MSComm1->PortOpen());

        const double before = cpuSeconds();
        QTest::qWait(1000);
        const double used = cpuSeconds() - before;
        QVERIFY2(used < 0.3, qPrintable(QString::number(used)));
        QCOMPARE(catcher.boxes.size(), 1);
    }

    const QList<SeenBox> refused = f->click(f->window.Command1);
    QCOMPARE(refused.size(), 1);
    QVERIFY(refused[0].text.startsWith(kNotOpen));

    f->plugInNewDevice();
    const QList<SeenBox> reconnected = f->connect();
    QCOMPARE(reconnected.size(), 1);
    QCOMPARE(reconnected[0].title, QStringLiteral("확  인"));
    QVERIFY(anyConfirmed(f->click(f->window.Command1)));
    QCOMPARE(f->readFrame(), startFrame());
}

void TestFailures::unplugDuringReception()
{
    f->pty->write("R-half");
    QTest::qWait(30);
    {
        BoxCatcher catcher;
        f->pty->closeMaster();
        QVERIFY(catcher.waitFor(1));
        QTest::qWait(200);
        QCOMPARE(catcher.boxes.size(), 1);
    }

    f->plugInNewDevice();
    QCOMPARE(f->connect().size(), 1);
    f->pty->write("R+rest\x04");
    QTRY_COMPARE(Module1::RxRecord, QStringLiteral("R-halfR+rest\u0004"));
}

void TestFailures::stuckLineIsNotConfirmed()
{
    QVERIFY(f->pty->clog() > 0);
    const QList<SeenBox> boxes = f->click(f->window.Command1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, QStringLiteral("Quarlin_01"));
    QVERIFY2(boxes[0].text.contains(QStringLiteral("제시간에 나가지 않았습니다")), qPrintable(boxes[0].text));
}

void TestFailures::clearingOutputKeepsThePreviousTail()
{
    MSComm &comm = *f->window.MSComm1;
    const QByteArray frame = startFrame();
    comm.Output(frame);
    comm.setOutBufferCount(0);
    QCOMPARE(f->pty->read(27), frame);
}

void TestFailures::hostileFieldTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte"); // -1: the download is refused

    QTest::newRow("empty") << "" << 0;
    QTest::newRow("1e400 reads 1") << "1e400" << 1;
    QTest::newRow("nan") << "nan" << 0;
    QTest::newRow("inf") << "inf" << 0;
    QTest::newRow("Hangul") << QStringLiteral("일이삼") << 0;
    QTest::newRow("emoji then digits") << QStringLiteral("\U0001F600 12") << 0;
    QTest::newRow("blanks and sign") << " + 1 2 . 6 " << 13;
    QTest::newRow("control characters") << QString::fromUtf16(u"\u0000\u0004R") << 0;
    QTest::newRow("megabyte of digits") << QString(1 << 20, u'7') << -1;
    QTest::newRow("negative") << "-12" << -1;
}

void TestFailures::hostileFieldTexts()
{
    QFETCH(QString, text);
    QFETCH(int, byte);
    frmQuarlin &w = f->window;
    w.txt_1_sec[2]->setText(text);
    const QList<SeenBox> boxes = f->click(w.Command1);
    QCOMPARE(boxes.size(), 1);
    if (byte < 0) {
        QVERIFY(boxes[0].text.startsWith(QStringLiteral("STAGE 3 1/10 초 값")));
        QCOMPARE(f->pty->readFor(100), QByteArray());
        return;
    }
    QCOMPARE(boxes[0].text, kDownloaded);
    QByteArray expected = startFrame();
    expected[9] = static_cast<char>(byte);
    QCOMPARE(f->readFrame(), expected);

    // The limits take the same texts calmly.
    w.txt_1_hr[0]->setText(text);
    w.txt_1_min[0]->setText(text);
    QVERIFY(w.txt_1_hr[0]->text() == text || w.txt_1_hr[0]->text() == QStringLiteral("99"));
}

void TestFailures::hostileReplyStream()
{
    QRandomGenerator random(4);
    for (int i = 0; i < 200; ++i) {
        QByteArray piece(random.bounded(1, 2048), '\0');
        for (char &c : piece)
            c = static_cast<char>(random.bounded(256));
        f->pty->write(piece);
        if (i % 20 == 0)
            QTest::qWait(5);
        QVERIFY(Module1::RxBuffer.size() <= 25);
        QVERIFY(Module1::RxRecord.size() <= 25);
    }
    QTest::qWait(50);
    QVERIFY(Module1::RxBuffer.size() <= 25);
    QVERIFY(f->window.MSComm1->PortOpen());
    QVERIFY(anyConfirmed(f->click(f->window.Command1)));
    QCOMPARE(f->readFrame(), startFrame());
}

QTEST_MAIN(TestFailures)
#include "tst_failures.moc"
