#include "serial/ReplyReceiver.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// The reception steps taken literally: the whole buffer is kept and searched
// on every read. The receiver must take the same records from the same reads.
struct ReferenceModel
{
    QString rxBuffer;
    QString rxRecord;

    bool feed(const QString &chunk)
    {
        rxBuffer += chunk;
        if (!rxBuffer.contains(QChar(4)))
            return false;
        const qsizetype p = rxBuffer.indexOf(QLatin1Char('R'));
        if (p >= 0)
            rxRecord = rxBuffer.mid(p, 25);
        rxBuffer.clear();
        return true;
    }
};

QString eot()
{
    return QString(QChar(4));
}

} // namespace

class TestReceiver : public QObject
{
    Q_OBJECT

private slots:
    void keepsOnlyWhatCanBecomeTheRecord();
    void matchesTheReferenceOnRandomStreams();
};

void TestReceiver::keepsOnlyWhatCanBecomeTheRecord()
{
    QString buffer;
    QString record = QStringLiteral("previous");
    ReplyReceiver receiver(buffer, record);
    for (int i = 0; i < 10000; ++i)
        receiver.feed(QStringLiteral("noise without a start "));
    QVERIFY(buffer.isEmpty());
    receiver.feed(QStringLiteral("R"));
    for (int i = 0; i < 10000; ++i)
        receiver.feed(QStringLiteral("0123456789"));
    QCOMPARE(buffer.size(), 25);

    // A terminator with no "R" since the last reply keeps the last record.
    receiver.feed(eot());
    receiver.feed(QStringLiteral("no start here") + eot());
    QCOMPARE(record, QStringLiteral("R012345678901234567890123"));
    QVERIFY(buffer.isEmpty());
}

void TestReceiver::matchesTheReferenceOnRandomStreams()
{
    QRandomGenerator random(20261206);
    // Few distinct characters, so that "R", "r" and the terminator come often.
    const QString alphabet = QStringLiteral("RrRx0\x04\x04\xFF");
    for (int stream = 0; stream < 3000; ++stream) {
        const int length = random.bounded(1, 400);
        QString text;
        for (int i = 0; i < length; ++i)
            text.append(alphabet[random.bounded(alphabet.size())]);

        ReferenceModel reference;
        QString buffer;
        QString record;
        ReplyReceiver receiver(buffer, record);
        int at = 0;
        while (at < text.size()) {
            const int size = random.bounded(1, 40);
            const QString chunk = text.mid(at, size);
            at += size;
            const bool refEnded = reference.feed(chunk);
            QCOMPARE(receiver.feed(chunk), refEnded);
            QCOMPARE(record, reference.rxRecord);
            QVERIFY(buffer.size() <= 25);
        }
    }
}

QTEST_APPLESS_MAIN(TestReceiver)
#include "tst_receiver.moc"
