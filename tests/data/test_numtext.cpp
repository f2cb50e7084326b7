// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/datetime.h"
#include "data/numtext.h"
#include "data/textcodec.h"

#include <QTest>

#include <clocale>
#include <limits>

class TestNumText : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_ALL, ""); }

    void general_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("one") << 1.0 << "1";
        QTest::newRow("fraction") << 0.00385 << "0.00385";
        QTest::newRow("smallest fixed") << 1e-5 << "0.00001";
        QTest::newRow("below fixed") << 1.5e-7 << "1.5E-7";
        QTest::newRow("negative sci") << -5.775e-7 << "-5.775E-7";
        QTest::newRow("15 integer digits") << 999999999999999.0 << "999999999999999";
        QTest::newRow("16 integer digits") << 1e15 << "1E15";
        QTest::newRow("large") << 2e20 << "2E20";
        QTest::newRow("marker") << 1e-37 << "1E-37";
        QTest::newRow("rounded to 15") << 0.1 + 0.2 << "0.3";
        QTest::newRow("mixed") << 4924.457 << "4924.457";
        QTest::newRow("negative") << -123.5 << "-123.5";
        QTest::newRow("rounding carries") << 9.9999999999999999 << "10";
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << "INF";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "NAN";
    }
    void general()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(numtext::formatGeneral(value), text);
        if (std::isfinite(value)) {
            const auto back = numtext::parseDouble(text);
            QVERIFY(back);
            QCOMPARE(numtext::formatGeneral(*back), text);
        }
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "1.5" << true << 1.5;
        QTest::newRow("blanks") << "  -2.5e3 " << true << -2500.0;
        QTest::newRow("plus") << "+9.90000000E+37" << true << 9.9e37;
        QTest::newRow("leading dot") << ".5" << true << 0.5;
        QTest::newRow("comma") << "1,5" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("letters") << "abc" << false << 0.0;
        QTest::newRow("inf word") << "inf" << false << 0.0;
        QTest::newRow("double sign") << "--1" << false << 0.0;
        QTest::newRow("trailing junk") << "1.5V" << false << 0.0;
        QTest::newRow("non ascii") << QString::fromUtf8("1\u00b5") << false << 0.0;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        const auto v = numtext::parseDouble(text);
        QCOMPARE(bool(v), ok);
        if (ok)
            QCOMPARE(*v, value);
    }

    void parseInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "3490" << true << 3490;
        QTest::newRow("signed") << " -12 " << true << -12;
        QTest::newRow("float") << "1.5" << false << 0;
        QTest::newRow("overflow") << "99999999999" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
    }
    void parseInt()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const auto v = numtext::parseInt(text);
        QCOMPARE(bool(v), ok);
        if (ok)
            QCOMPARE(*v, value);
    }

    void decSeparator()
    {
        QCOMPARE(numtext::withDecSeparator(QStringLiteral("1.5E-7"), QStringLiteral(",")),
                 QStringLiteral("1,5E-7"));
        QCOMPARE(numtext::withDecSeparator(QStringLiteral("1.5"), QStringLiteral(".")),
                 QStringLiteral("1.5"));
    }

    void legacyDecoding()
    {
        QCOMPARE(decodeLegacyText(QByteArray("\xEC\xD9"), LegacyCodepage::Windows1253),
                 QString::fromUtf8("\u03bc\u03a9"));
        QCOMPARE(decodeLegacyText(QByteArray("\xB0"
                                             "C")),
                 QString::fromUtf8("\u00b0C"));
        QCOMPARE(decodeLegacyText(QString::fromUtf8("\u03bc\u03a9").toUtf8(),
                                  LegacyCodepage::Windows1253),
                 QString::fromUtf8("\u03bc\u03a9"));
    }

    void dateTime()
    {
        const QDateTime dt(QDate(2026, 12, 8), QTime(13, 5, 9, 42));
        const double days = dtime::fromQDateTime(dt);
        QCOMPARE(dtime::toQDateTime(days), dt);
        QCOMPARE(dtime::format(QStringLiteral("yyyymmdd-hhnnss"), days),
                 QStringLiteral("20261208-130509"));
        QCOMPARE(dtime::format(QStringLiteral("yyyy-mm-dd hh:nn:ss"), days),
                 QStringLiteral("2026-12-08 13:05:09"));
        QCOMPARE(dtime::format(QStringLiteral("ddd hh:nn:ss.zzz"), days),
                 QStringLiteral("Tue 13:05:09.042"));
        QCOMPARE(dtime::fromQDateTime(QDateTime(QDate(1899, 12, 31), QTime(12, 0))), 1.5);
        QCOMPARE(dtime::tickDiff(5u, 0xFFFFFFF0u), 21);
    }
};

QTEST_GUILESS_MAIN(TestNumText)
#include "test_numtext.moc"
