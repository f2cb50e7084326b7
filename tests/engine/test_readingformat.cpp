// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/numtext.h"
#include "engine/measpol.h"
#include "engine/readingformat.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestReadingFormat : public QObject
{
    Q_OBJECT
private slots:
    void cleanNumber_data();
    void cleanNumber();
    void convert_data();
    void convert();
    void formatValue_data();
    void formatValue();
    void formatValueSeparator();
    void formatPrefixed_data();
    void formatPrefixed();
    void formatLong_data();
    void formatLong();
    void bar_data();
    void bar();
    void filter_data();
    void filter();
    void valueField_data();
    void valueField();
    void internalInfo();
};

void TestReadingFormat::cleanNumber_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("plus exponent") << "+1.23456789E+00"
                                   << "1.23456789E+00";
    QTest::newRow("negative") << "-0.5"
                              << "-0.5";
    QTest::newRow("thousands") << "1,234.5"
                               << "1234.5";
    QTest::newRow("overload") << "+9.90000000E+37"
                              << "9.90000000E+037";
    QTest::newRow("negative exponent") << "-1.0E-05"
                                       << "-1.0E-05";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("letters") << "abc"
                             << "abc";
    QTest::newRow("control chars") << "\r+1.5E+02\n"
                                   << "1.5E+02";
    QTest::newRow("lower case exponent") << "+2.5e-03"
                                         << "2.5E-03";
    QTest::newRow("leading zeros of mantissa sign") << "+0.001"
                                                    << "0.001";
    QTest::newRow("only the first exponent") << "1E+5E+6"
                                             << "1E+05E+6";
}

void TestReadingFormat::cleanNumber()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(CleanNumber(in), out);
}

void TestReadingFormat::convert_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "+1.23456789E+00" << 1.23456789;
    QTest::newRow("overload") << "+9.90000000E+37" << 9.9e37;
    QTest::newRow("small") << "-1.0E-05" << -1e-5;
    QTest::newRow("thousands") << "1,234.5" << 1234.5;
    QTest::newRow("empty fails") << "" << -1.1e-39;
    QTest::newRow("letters fail") << "ERR" << -1.1e-39;
    QTest::newRow("comma decimal is thousands") << "1,5" << 15.0;
}

void TestReadingFormat::convert()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    const long double v = convertNumber(CleanNumber(field), sentinel::kConversionFailedAlt);
    QCOMPARE(static_cast<double>(v), value);
}

namespace {

// Test values as text, so boundaries are exact long doubles rather than rounded doubles.
long double number(const QString &text)
{
    if (text == QLatin1String("INF"))
        return std::numeric_limits<long double>::infinity();
    if (text == QLatin1String("-INF"))
        return -std::numeric_limits<long double>::infinity();
    if (text == QLatin1String("NAN"))
        return std::numeric_limits<long double>::quiet_NaN();
    return *numtext::parseLongDouble(text);
}

} // namespace

void TestReadingFormat::formatValue_data()
{
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("text");
    QTest::newRow("12.3456") << "12.3456"
                             << "+12.34560 ";
    QTest::newRow("0.00123") << "0.00123"
                             << "+1.230000m";
    QTest::newRow("1234567") << "1234567"
                             << "+1.234567M";
    QTest::newRow("zero") << "0" << QStringLiteral("\u00B10");
    QTest::newRow("negative zero") << "-0" << QStringLiteral("\u00B10");
    QTest::newRow("999") << "999"
                         << "+999.00000 ";
    QTest::newRow("rounds up past 999") << "0.99999999999"
                                        << "+1000.0000m";
    QTest::newRow("just over 999 is kilo") << "999.5"
                                           << "+0.9995000K";
    QTest::newRow("1000") << "1000"
                          << "+1.0000000K";
    QTest::newRow("999999") << "999999"
                            << "+999.99900K";
    QTest::newRow("1e6") << "1e6"
                         << "+1.0000000M";
    QTest::newRow("1e9") << "1e9"
                         << "+1.0000000G";
    QTest::newRow("1e12") << "1e12"
                          << "+1.0000000T";
    QTest::newRow("1e15") << "1e15"
                          << "+1.0000000P";
    QTest::newRow("just under exa") << "999999999999999999"
                                    << "+1000.0000P";
    QTest::newRow("1e18") << "1e18"
                          << "+1.0000000E";
    QTest::newRow("1") << "1"
                       << "+1.0000000 ";
    QTest::newRow("1.2 six decimals") << "1.2"
                                      << "+1.200000 ";
    QTest::newRow("1.1 seven decimals") << "1.1"
                                        << "+1.1000000 ";
    QTest::newRow("11 six decimals") << "11"
                                     << "+11.000000 ";
    QTest::newRow("12 five decimals") << "12"
                                      << "+12.00000 ";
    QTest::newRow("0.999") << "0.999"
                           << "+999.00000m";
    QTest::newRow("1e-3") << "1e-3"
                          << "+1.0000000m";
    QTest::newRow("9.99e-4") << "9.99e-4" << QStringLiteral("+999.00000\u00B5");
    QTest::newRow("1e-6") << "1e-6" << QStringLiteral("+1.0000000\u00B5");
    QTest::newRow("1e-9") << "1e-9"
                          << "+1.0000000n";
    QTest::newRow("1e-12") << "1e-12"
                           << "+1.0000000p";
    QTest::newRow("1e-15") << "1e-15"
                           << "+1.0000000f";
    QTest::newRow("1e-16") << "1e-16"
                           << "+100.00000a";
    QTest::newRow("1e-30") << "1e-30"
                           << "+0.0000000a";
    QTest::newRow("negative") << "-1.5"
                              << "-1.500000 ";
    QTest::newRow("negative kilo") << "-123456"
                                   << "-123.45600K";
    QTest::newRow("overload value") << "9.9e37"
                                    << "+990000000E";
    QTest::newRow("beyond double") << "1e4000"
                                   << "+100000000E";
    QTest::newRow("infinity") << "INF"
                              << "+INF";
    QTest::newRow("minus infinity") << "-INF"
                                    << "-INF";
    QTest::newRow("nan") << "NAN"
                         << "NAN";
}

void TestReadingFormat::formatValue()
{
    QFETCH(QString, x);
    QFETCH(QString, text);
    QCOMPARE(FormatValue(number(x)), text);
}

void TestReadingFormat::formatValueSeparator()
{
    QCOMPARE(FormatValue(12.3456L, u","), QStringLiteral("+12,34560 "));
    QCOMPARE(FormatLong(12.3456L, u","), QStringLiteral("+12,34560000 "));
}

void TestReadingFormat::formatPrefixed_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("text");
    QTest::newRow("range 10") << "%0.0f" << 10.0 << "10 ";
    QTest::newRow("range 100m") << "%0.0f" << 0.1 << "100m";
    QTest::newRow("resolution 3u") << "%0.0f" << 3e-6 << QStringLiteral("3\u00B5");
    QTest::newRow("title") << "%0.2f" << 1.2345678 << "1.23 ";
    QTest::newRow("title negative") << "%0.2f" << -1234.5 << "-1.23K";
    QTest::newRow("plus") << "+%0.2f" << 1.5 << "+1.50 ";
    QTest::newRow("plus negative") << "+%0.2f" << -1.5 << "-1.50 ";
    QTest::newRow("zero padded") << "%08.3f" << 2.5 << "0002.500 ";
    QTest::newRow("not cut") << "%0.9f" << 1.0 << "1.000000000 ";
    QTest::newRow("zero") << "%0.0f" << 0.0 << "0 ";
    QTest::newRow("title of zero") << "%0.2f" << 0.0 << "0.00 ";
    QTest::newRow("infinity") << "%0.2f" << std::numeric_limits<double>::infinity() << "INFE";
}

void TestReadingFormat::formatPrefixed()
{
    QFETCH(QString, format);
    QFETCH(double, x);
    QFETCH(QString, text);
    QCOMPARE(FormatPrefixed(format, x), text);
}

void TestReadingFormat::formatLong_data()
{
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << "1"
                       << "+1.000000000 ";
    QTest::newRow("0.5 is 500m") << "0.5"
                                 << "+500.0000000m";
    QTest::newRow("10.5") << "10.5"
                          << "+10.50000000 ";
    QTest::newRow("105") << "105"
                         << "+105.0000000 ";
    QTest::newRow("negative 5") << "-5"
                                << "-5.000000000 ";
    QTest::newRow("kilo") << "1500"
                          << "+1.500000000K";
    QTest::newRow("zero") << "0" << QStringLiteral("\u00B10");
    QTest::newRow("nan") << "NAN"
                         << "??";
    QTest::newRow("inf") << "INF"
                         << "??";
}

void TestReadingFormat::formatLong()
{
    QFETCH(QString, x);
    QFETCH(QString, text);
    QCOMPARE(FormatLong(number(x)), text);
    const QString aligned = FormatLongAligned(number(x));
    QCOMPARE(aligned.size(), 14);
    QVERIFY(aligned.endsWith(text));
    QVERIFY(aligned.left(14 - text.size()).trimmed().isEmpty());
}

void TestReadingFormat::bar_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<bool>("blocksFirst");
    QTest::newRow("zero positive range") << 0.0 << 10.0 << 0 << true;
    QTest::newRow("full scale") << 12.0 << 10.0 << 50 << true;
    QTest::newRow("half") << 6.0 << 10.0 << 25 << true;
    QTest::newRow("over range cut") << 100.0 << 10.0 << 50 << true;
    QTest::newRow("rounding") << 1.0 << 10.0 << 4 << true; // 4.17
    QTest::newRow("negative value") << -6.0 << 10.0 << 25 << false;
    QTest::newRow("negative small") << -0.1 << 10.0 << 0 << false;
    QTest::newRow("negative range") << 6.0 << -10.0 << 0 << false;
    QTest::newRow("both negative") << -6.0 << -10.0 << 0 << true;
    QTest::newRow("no range") << 5.0 << 0.0 << 0 << true;
    QTest::newRow("huge value tiny range") << 1e37 << 1e-30 << 50 << true;
}

void TestReadingFormat::bar()
{
    QFETCH(double, v);
    QFETCH(double, range);
    QFETCH(int, blocks);
    QFETCH(bool, blocksFirst);
    const QString bar = barText(v, range);
    QCOMPARE(bar.size(), 50);
    const QChar first = blocksFirst ? kBarBlock : kBarFiller;
    const QChar second = blocksFirst ? kBarFiller : kBarBlock;
    QCOMPARE(bar, QString(blocks, first) + QString(50 - blocks, second));
}

void TestReadingFormat::filter_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<double>("v");
    QTest::addColumn<bool>("pass");
    QTest::newRow("off") << false << 100.0 << true;
    QTest::newRow("inside") << true << 0.5 << true;
    QTest::newRow("low bound excluded") << true << 0.0 << false;
    QTest::newRow("high bound excluded") << true << 1.0 << false;
    QTest::newRow("below") << true << -1.0 << false;
}

void TestReadingFormat::filter()
{
    QFETCH(bool, enabled);
    QFETCH(double, v);
    QFETCH(bool, pass);
    QCOMPARE(FilterPass(v, enabled, 0, 1), pass);
}

void TestReadingFormat::valueField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<bool>("drain");
    QTest::addColumn<bool>("show");
    QTest::newRow("value") << "+1.23456789E+00"
                           << QStringList{"<C 1.23456789E+00", "12:00:00:000 All<# +1.234568 "}
                           << false << true;
    QTest::newRow("overload") << "+9.90000000E+37"
                              << QStringList{"<C 9.90000000E+037", "12:00:00:000 All<# OVERLOAD!"}
                              << false << false;
    QTest::newRow("garbage") << "ERR" << QStringList{"<C ERR", "12:00:00:000 ALL<# VALUE UNKNOWN"}
                             << true << false;
    QTest::newRow("zero") << "+0.00000000E+00"
                          << QStringList{"<C 0.00000000E+00",
                                         QStringLiteral("12:00:00:000 All<# \u00B10")}
                          << false << true;
}

void TestReadingFormat::valueField()
{
    QFETCH(QString, field);
    QFETCH(QStringList, log);
    QFETCH(bool, drain);
    QFETCH(bool, show);
    const ValueField f = interpretValueField(field, QStringLiteral("12:00:00:000"));
    QCOMPARE(f.log, log);
    QCOMPARE(f.drainRead, drain);
    QCOMPARE(f.showLastValue, show);
    if (drain)
        QCOMPARE(f.value, sentinel::kConversionFailedAlt);
    QCOMPARE(valueLogText(f.value), f.log.last().mid(f.log.last().indexOf('#') + 2));
}

void TestReadingFormat::internalInfo()
{
    InternalInfo i;
    i.LastRaw = QStringLiteral("raw");
    i.Units1 = QStringLiteral("V=");
    i.high = 1024;
    i.bigarypos = 1023;
    i.bigarycnt = 1024;
    i.maxbuffer = 2000000;
    i.recordSize = 96;
    i.terminator = QStringLiteral("\r\n");
    const QString text = internalInfoText(i);
    QVERIFY(text.startsWith(QStringLiteral("LastRaw:\traw\nLastData:\t\nLastCMD:\t")));
    QVERIFY(text.contains(QStringLiteral("\nUnits1:\tV=\nUnits2:\t\n\nhigh bigary\t1024\n")));
    QVERIFY(text.contains(QStringLiteral("\nbigarypos \t1023\nbigarycnt \t1024\n")));
    QVERIFY(text.contains(QStringLiteral("\nmaxbuffer \t2000000\n")));
    QVERIFY(text.contains(QStringLiteral("\nSize BigAry of measpol\t96.00 KiB\n\n")));
    QVERIFY(text.endsWith(QStringLiteral("\nEOL = 0D0A [CRLF]")));
    QCOMPARE(binaryPrefixed(0), QStringLiteral("0 B"));
    QCOMPARE(binaryPrefixed(960000096), QStringLiteral("915.53 MiB"));
}

QTEST_GUILESS_MAIN(TestReadingFormat)
#include "test_readingformat.moc"
