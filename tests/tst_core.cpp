#include "serial/ComDevice.h"
#include "serial/LockFile.h"
#include "serial/ReplyReceiver.h"
#include "timetable/Conversions.h"
#include "timetable/DownloadFrame.h"
#include "timetable/TimeTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>


class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void textValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("sign") << "-5" << -5.0;
        QTest::newRow("plus") << "+7" << 7.0;
        QTest::newRow("blanks anywhere") << " - 1 2 . 5 " << -12.5;
        QTest::newRow("second point ends it") << "1.2.3" << 1.2;
        QTest::newRow("no exponent") << "1e400" << 1.0;
        QTest::newRow("full-width sign, point, space") << QStringLiteral("－　７．５") << -7.5;
        QTest::newRow("too large for a double") << QString(400, u'9') << qInf();
    }

    void textValue()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(TextValue(text), value);
    }

    void toByteRoundsHalfToEven_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("byte"); // -1: does not fit
        QTest::newRow("0.5") << 0.5 << 0;
        QTest::newRow("2.51") << 2.51 << 3;
        QTest::newRow("-0.4") << -0.4 << 0;
        QTest::newRow("-0.5") << -0.5 << 0;
        QTest::newRow("-0.6") << -0.6 << -1;
        QTest::newRow("254.5") << 254.5 << 254;
        QTest::newRow("255.5") << 255.5 << -1;
        QTest::newRow("infinity") << qInf() << -1;
    }

    void toByteRoundsHalfToEven()
    {
        QFETCH(double, x);
        QFETCH(int, byte);
        const auto got = ToByte(x);
        QCOMPARE(got ? int(*got) : -1, byte);
    }

    // Every field holds a different value, so a swapped or shifted offset shows.
    void frameLayout()
    {
        TimeTableTexts texts;
        for (int row = 0; row < kRowCount; ++row)
            texts.rows[std::size_t(row)] = {QString::number(10 * row + 1), QString::number(10 * row + 2),
                                             QString::number(10 * row + 3)};
        texts.relays[1][0] = texts.relays[3][5] = texts.relays[4][4] = true;
        texts.count = QStringLiteral("4660"); // 0x1234
        const DownloadFrame frame = BuildDownloadFrame(ReadTimeTable(texts));
        const QByteArray got(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
        QCOMPARE(got.toHex(' '), QByteArray("53 01 02 03 0b 0c 0d 15 16 17 1f 20 21 29 2a 2b "
                                            "00 08 00 01 80 33 34 35 12 34 0d"));
    }

    void comDevicePaths()
    {
        if (QSysInfo::productType() == QLatin1String("windows"))
            QSKIP("the Linux mapping: Windows reserves the file name COM2");
        QTemporaryDir dev;
        QVERIFY(QFile(dev.filePath(QStringLiteral("com2"))).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(dev.filePath(QStringLiteral("gone")), dev.filePath(QStringLiteral("com3"))));
        QCOMPARE(comDevicePath(1, dev.path()), dev.filePath(QStringLiteral("ttyS0")));
        QCOMPARE(comDevicePath(2, dev.path()), dev.filePath(QStringLiteral("com2")));
        QCOMPARE(comDevicePath(3, dev.path()), dev.filePath(QStringLiteral("com3")));
        QCOMPARE(comDevicePath(8, dev.path()), dev.filePath(QStringLiteral("ttyS7")));
        QVERIFY(comDevicePath(0, dev.path()).isEmpty());
        QVERIFY(comDevicePath(9, dev.path()).isEmpty());
    }

    // The window's tests reach a device by its path and by an alias; lockdev also names it by its numbers.
    void lockFileNames()
    {
        QCOMPARE(::lockFileNames({"/dev/com1", "/dev/ttyUSB0", ""}, DeviceNumber{188, 0}),
                 QStringList({"LCK..com1", "LCK..ttyUSB0", "LCK.188.000"}));
    }

    void replies_data()
    {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("ended"); // how many chunks ended a reply
        const QString body = QStringLiteral("R") + QString(24, u'x');
        QTest::newRow("short, terminator kept") << QStringList{QStringLiteral("Rab\x04")} << QStringLiteral("Rab\x04") << 1;
        QTest::newRow("lower-case r: the last record stands")
            << QStringList{QStringLiteral("R1\x04"), QStringLiteral("rab\x04")} << QStringLiteral("R1\x04") << 2;
        QTest::newRow("no terminator yet") << QStringList{body} << QString() << 0;
    }

    void replies()
    {
        QFETCH(QStringList, chunks);
        QFETCH(QString, record);
        QFETCH(int, ended);
        QString buffer, rxRecord;
        ReplyReceiver receiver(buffer, rxRecord);
        int endings = 0;
        for (const QString &chunk : chunks)
            endings += receiver.feed(chunk) ? 1 : 0;
        QCOMPARE(rxRecord, record);
        QCOMPARE(endings, ended);
        QCOMPARE(buffer.isEmpty(), ended > 0);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
