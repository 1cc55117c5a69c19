#include "timetable/Conversions.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void textValue_data();
    void textValue();
    void textValueOfHugeTexts();
    void toByte_data();
    void toByte();
};

void TestConversions::textValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "75" << 75.0;
    QTest::newRow("trailing letters") << "75abc" << 75.0;
    QTest::newRow("fraction") << "7.5" << 7.5;
    QTest::newRow("negative") << "-5" << -5.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blank") << " 7" << 7.0;
    QTest::newRow("blanks inside") << "1 2\t3" << 123.0;
    QTest::newRow("blank after sign") << "- 5" << -5.0;
    QTest::newRow("blank in fraction") << "2 . 5" << 2.5;
    QTest::newRow("leading zeros") << "059" << 59.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("point last") << "5." << 5.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("two signs") << "--5" << 0.0;
    QTest::newRow("sign after digits stops") << "5-3" << 5.0;
    QTest::newRow("no exponent") << "1e400" << 1.0;
    QTest::newRow("nan is no number") << "nan" << 0.0;
    QTest::newRow("hex is no number") << "&H10" << 0.0;
    QTest::newRow("comma stops") << "1,5" << 1.0;
    QTest::newRow("full-width digits") << QString::fromUtf16(u"\uFF11\uFF12") << 0.0;
    QTest::newRow("Hangul after number") << QString::fromUtf16(u"30초") << 30.0;
}

void TestConversions::textValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(TextValue(text), value);
}

void TestConversions::textValueOfHugeTexts()
{
    const double inf = std::numeric_limits<double>::infinity();
    QCOMPARE(TextValue(QString(1 << 20, u'9')), inf);
    QCOMPARE(TextValue(QStringLiteral("-") + QString(400, u'1')), -inf);
    // Leading zeros are no magnitude.
    QCOMPARE(TextValue(QString(100000, u'0') + QStringLiteral("42")), 42.0);
    QCOMPARE(TextValue(QStringLiteral("0.") + QString(5000, u'0') + QStringLiteral("1")), 0.0);
    QVERIFY(std::signbit(TextValue(QStringLiteral("-0"))));
    QCOMPARE(TextValue(QString(308, u'9')), 1e308);
}

void TestConversions::toByte_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("byte"); // -1: does not fit

    QTest::newRow("0.5 to even 0") << 0.5 << 0;
    QTest::newRow("1.5 to even 2") << 1.5 << 2;
    QTest::newRow("2.5 to even 2") << 2.5 << 2;
    QTest::newRow("7.5 to 8") << 7.5 << 8;
    QTest::newRow("-0.4 rounds to 0") << -0.4 << 0;
    QTest::newRow("-0.5 rounds to 0") << -0.5 << 0;
    QTest::newRow("-0") << -0.0 << 0;
    QTest::newRow("-0.6 is negative") << -0.6 << -1;
    QTest::newRow("255") << 255.0 << 255;
    QTest::newRow("255.5 to 256") << 255.5 << -1;
    QTest::newRow("254.5 to 254") << 254.5 << 254;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << -1;
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << -1;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << -1;
}

void TestConversions::toByte()
{
    QFETCH(double, x);
    QFETCH(int, byte);
    const auto got = ToByte(x);
    if (byte < 0)
        QVERIFY(!got.has_value());
    else
        QCOMPARE(got, std::optional<std::uint8_t>(static_cast<std::uint8_t>(byte)));
}

QTEST_APPLESS_MAIN(TestConversions)
#include "tst_conversions.moc"
