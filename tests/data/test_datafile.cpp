// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/numtext.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

using namespace datafile;

namespace {

long double ld(const QString &text)
{
    return *numtext::parseLongDouble(text);
}

double stamp(int y, int mo, int d, int h, int n, int s, int ms)
{
    return dtime::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, n, s, ms)));
}

measpol sampleRecord()
{
    measpol r;
    r.value1 = 1.5L;
    r.value2 = -0.25L;
    r.dateTime = stamp(2024, 1, 5, 10, 20, 30, 456);
    r.range = 10;
    r.resol = 1e-6L;
    r.Lunits1.set(u"V");
    r.Lunits2.set(u"mV");
    return r;
}

QString fullStamp(double days)
{
    return dtime::format(QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz"), days);
}

QList<QByteArray> readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_ALL, ""); }

    void number_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("decSep");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("plain") << "1.5"
                               << "." << QByteArray("1.5");
        QTest::newRow("decimal comma") << "1.5"
                                       << "," << QByteArray("1,5");
        QTest::newRow("comma no fraction") << "150"
                                           << "," << QByteArray("150");
        QTest::newRow("exponent comma") << "1.5E-7"
                                        << "," << QByteArray("1,5E-7");
        QTest::newRow("1e-5 fixed") << "1e-5"
                                    << "." << QByteArray("0.00001");
        QTest::newRow("below 1e-5") << "9.99999e-6"
                                    << "." << QByteArray("9.99999E-6");
        QTest::newRow("15 integer digits") << "999999999999999"
                                           << "." << QByteArray("999999999999999");
        QTest::newRow("1e15") << "1e15"
                              << "." << QByteArray("1E15");
        QTest::newRow("1e16") << "1e16"
                              << "." << QByteArray("1E16");
        QTest::newRow("rounds up to 1e15") << "999999999999999.7"
                                           << "." << QByteArray("1E15");
        QTest::newRow("tie to even") << "1000000000000015"
                                     << "." << QByteArray("1.00000000000002E15");
        QTest::newRow("negative zero") << "-0"
                                       << "." << QByteArray("0");
        QTest::newRow("empty marker") << "1e-37"
                                      << "." << QByteArray("1E-37");
        QTest::newRow("conversion failure") << "-1.1e-39"
                                            << "." << QByteArray("-1.1E-39");
        QTest::newRow("overload") << "9.9E37"
                                  << "." << QByteArray("9.9E37");
        QTest::newRow("17 digits") << "1.23456789012345678"
                                   << "." << QByteArray("1.23456789012346");
        QTest::newRow("small negative") << "-0.001234"
                                        << "." << QByteArray("-0.001234");
        QTest::newRow("third") << "0.333333333333333333"
                               << "." << QByteArray("0.333333333333333");
        QTest::newRow("big fraction") << "12345678901234.5"
                                      << "." << QByteArray("12345678901234.5");
    }
    void number()
    {
        QFETCH(QString, value);
        QFETCH(QString, decSep);
        QFETCH(QByteArray, text);
        const long double v = ld(value);
        QCOMPARE(formatNumber(v, decimalSeparatorOf(decSep)), text);
    }

    // The fast formatter must give exactly the project-wide general form.
    void numberMatchesGeneralForm()
    {
        auto *rng = QRandomGenerator::global();
        char a[kNumberBufSize];
        char b[kNumberBufSize];
        for (int i = 0; i < 200000; ++i) {
            const int e = static_cast<int>(rng->bounded(60)) - 30;
            long double v = (rng->generateDouble() + rng->generateDouble() * 1e-16) *
                            std::pow(10.0L, static_cast<long double>(e));
            if (i % 3 == 0) // short decimals as an instrument sends them
                v = ld(QString::number(rng->bounded(1000000)) + QStringLiteral("E") +
                       QString::number(e));
            if (i % 2)
                v = -v;
            const int na = formatNumber(a, v);
            const int nb = numtext::formatGeneral(b, v);
            if (QByteArray(a, na) != QByteArray(b, nb))
                QFAIL(qPrintable(
                    QStringLiteral("%1 vs %2").arg(QLatin1String(a, na), QLatin1String(b, nb))));
        }
    }

    void headLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        InstrumentIds ids{QStringLiteral("ACME"), QStringLiteral("8846X"), QStringLiteral("123"),
                          QStringLiteral("2023-01-01")};
        QTest::newRow("instrument") << instrumentLine(ids)
                                    << QByteArray("# TYPE:8846X  SN:123  CAL.date:2023-01-01  "
                                                  "PROD:ACME\r\n");
        ids.serial = QString(60, QLatin1Char('9'));
        QTest::newRow("instrument cut to 50")
            << instrumentLine(ids)
            << "# TYPE:8846X  SN:" + QByteArray(50, '9') + "  CAL.date:2023-01-01  PROD:ACME\r\n";
        QTest::newRow("instrument unknown")
            << instrumentLine({}) << QByteArray("# TYPE:  SN:  CAL.date:  PROD:\r\n");
        const StartInfo info{stamp(2024, 1, 5, 10, 20, 30, 456), 1234, 800, 0};
        QTest::newRow("start semicolon")
            << startLine(';', info)
            << QByteArray("# Start time: 20240105-102030; Multiple measurement lasted 1234ms; "
                          "Multiple delay time 800ms; Measurement repeat time 0ms\r\n");
        QTest::newRow("start tab before any reading")
            << startLine('\t', StartInfo{})
            << QByteArray("# Start time: 18991230-000000\t Multiple measurement lasted 0ms\t "
                          "Multiple delay time 0ms\t Measurement repeat time 0ms\r\n");
        QTest::newRow("columns automatic")
            << columnLine(';', ColumnVariant::Automatic)
            << QByteArray("# Result ;units ;DateTime ;miliSecond ;Range ;Resolution ;Note \r\n");
        QTest::newRow("columns buffer")
            << columnLine(',', ColumnVariant::Buffer)
            << QByteArray("# Result ,units ,DateTime ,ms ,Range ,Resolution ,Note \r\n");
        QTest::newRow("columns chart")
            << columnLine('\t', ColumnVariant::Chart)
            << QByteArray("# Measurement1 \tunits1 \tDateTime \tRange \tResolution \t"
                          "Measurement2 \tunits2 \tFlag \r\n");
    }
    void headLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        QCOMPARE(line, expected);
    }

    void dataLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        const measpol r = sampleRecord();
        QByteArray a;
        appendDataLine(a, r, ';', '.', false);
        QTest::newRow("automatic")
            << a << QByteArray("1.5;V;2024-01-05 10:20:30;456;10;1E-6;-0.25;mV\r\n");
        QByteArray b;
        appendDataLine(b, r, '\t', '.', true);
        QTest::newRow("buffer")
            << b << QByteArray("1.5\tV\t2024-01-05 10:20:30\t456\t10\t1E-6\t-0.25\tmV\t\r\n");
        QByteArray c;
        appendDataLine(c, r, ',', ',', false);
        QTest::newRow("comma file with decimal comma")
            << c << QByteArray("1,5,V,2024-01-05 10:20:30,456,10,1E-6,-0,25,mV\r\n");
        QByteArray d;
        appendChartLine(d, r, 7, ';', '.');
        QTest::newRow("chart") << d
                               << QByteArray("1.5;V;2024-01-05 10:20:30;10;1E-6;-0.25;mV;7\r\n");
        QByteArray e;
        appendChartLine(e, measpol{}, 0, ';', '.');
        QTest::newRow("chart empty entry")
            << e << QByteArray("0;;1899-12-30 00:00:00;0;0;0;;0\r\n");
        measpol m = r;
        m.value1 = sentinel::kEmptyReading;
        m.Lunits1.set(u"\u00B0C");
        m.Lunits2.set(u"\u03A9");
        m.dateTime = stamp(2024, 12, 31, 23, 59, 59, 999) + 0.4 / 86400000.0;
        QByteArray f;
        appendDataLine(f, m, ';', '.', false);
        QTest::newRow("marker, units in UTF-8, last millisecond")
            << f
            << QByteArray("1E-37;\xC2\xB0"
                          "C;2024-12-31 23:59:59;999;10;1E-6;-0.25;\xCE\xA9\r\n");
        m.dateTime = stamp(2024, 12, 31, 23, 59, 59, 999) + 0.6 / 86400000.0;
        QByteArray g;
        appendDataLine(g, m, ';', '.', false);
        QTest::newRow("rounds over midnight")
            << g
            << QByteArray("1E-37;\xC2\xB0"
                          "C;2025-01-01 00:00:00;000;10;1E-6;-0.25;\xCE\xA9\r\n");
    }
    void dataLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        QCOMPARE(line, expected);
    }

    // The fast date writer turns day counts into the same text as the date module.
    void dateTextMatchesDateModule()
    {
        auto *rng = QRandomGenerator::global();
        for (int i = 0; i < 20000; ++i) {
            double days = rng->generateDouble() * 80000.0;
            if (i % 5 == 0)
                days = -days / 8;
            measpol r;
            r.dateTime = days;
            QByteArray line;
            appendChartLine(line, r, 0, ';', '.');
            const QByteArray text = line.split(';').at(2);
            QCOMPARE(text, dtime::format(QStringLiteral("yyyy-mm-dd hh:nn:ss"), days).toLatin1());
        }
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("sep");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("value1");
        QTest::addColumn<QString>("unit1");
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("resol");
        QTest::addColumn<QString>("value2"); // the slot held 77 before
        QTest::addColumn<QString>("unit2");
        const int C = int(LineKind::Comment), R = int(LineKind::Rejected),
                  S = int(LineKind::Stored);
        QTest::newRow("automatic line keeps the unit")
            << QByteArray("1.5;V;2024-01-05 10:20:30;456;10;1E-6;-0.25;mV\r\n") << ";" << S << "1.5"
            << "V"
            << "2024-01-05 10:20:30.456"
            << "10"
            << "1E-6"
            << "-0.25"
            << "mV";
        QTest::newRow("buffer line gives an empty unit")
            << QByteArray("1.5\tV\t2024-01-05 10:20:30\t456\t10\t1E-6\t-0.25\tmV\t\r\n") << "\t"
            << S << "1.5"
            << "V"
            << "2024-01-05 10:20:30.456"
            << "10"
            << "1E-6"
            << "-0.25"
            << "";
        QTest::newRow("decimal comma")
            << QByteArray("1,5;V;2024-01-05 10:20:30;000;1,5;0,001;-2,5E-3;A") << ";" << S << "1.5"
            << "V"
            << "2024-01-05 10:20:30.000"
            << "1.5"
            << "0.001"
            << "-0.0025"
            << "A";
        QTest::newRow("hash in column 1") << QByteArray("# Result ;units") << ";" << C << "0"
                                          << ""
                                          << ""
                                          << ""
                                          << ""
                                          << ""
                                          << "";
        QTest::newRow("hash in column 3") << QByteArray("  #1;V") << ";" << C << "0"
                                          << ""
                                          << ""
                                          << ""
                                          << ""
                                          << ""
                                          << "";
        QTest::newRow("one character, sep, hash") << QByteArray("5;#;x") << ";" << C << "0"
                                                  << ""
                                                  << ""
                                                  << ""
                                                  << ""
                                                  << ""
                                                  << "";
        QTest::newRow("hash in column 4 is data")
            << QByteArray("12;#;2024-01-05 10:20:30;5") << ";" << S << "12"
            << "#"
            << "2024-01-05 10:20:30.005"
            << "-1"
            << "-1"
            << "77"
            << "";
        QTest::newRow("hash after blanks in column 4")
            << QByteArray("   #;V") << ";" << R << "-1e39"
            << ""
            << ""
            << ""
            << ""
            << ""
            << "";
        QTest::newRow("first field not a number")
            << QByteArray("abc;V;2024-01-05 10:20:30;0") << ";" << R << "-1e39"
            << ""
            << ""
            << ""
            << ""
            << ""
            << "";
        QTest::newRow("empty line") << QByteArray("\r\n") << ";" << R << "-1e39"
                                    << ""
                                    << ""
                                    << ""
                                    << ""
                                    << ""
                                    << "";
        QTest::newRow("overload rejected") << QByteArray("9.9E37;V") << ";" << R << "9.9E37"
                                           << ""
                                           << ""
                                           << ""
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("empty marker rejected") << QByteArray("1E-37;V") << ";" << R << "1E-37"
                                               << ""
                                               << ""
                                               << ""
                                               << ""
                                               << ""
                                               << "";
        QTest::newRow("exactly 1e37 stored") << QByteArray("1E37") << ";" << S << "1E37"
                                             << ""
                                             << "1900-01-02 06:00:00.000"
                                             << "-1"
                                             << "-1"
                                             << "77"
                                             << "";
        QTest::newRow("no separator: defaults") << QByteArray("42") << ";" << S << "42"
                                                << ""
                                                << "1900-01-02 06:00:00.000"
                                                << "-1"
                                                << "-1"
                                                << "77"
                                                << "";
        QTest::newRow("first blank dropped") << QByteArray("1 234;V") << ";" << S << "1234"
                                             << "V"
                                             << "1900-01-02 06:00:00.000"
                                             << "-1"
                                             << "-1"
                                             << "77"
                                             << "";
        QTest::newRow("day-first date reads as 3.25 plus ms")
            << QByteArray("0;V;05.01.2024 10:20:30;250;1;1;1;V") << ";" << S << "0"
            << "V"
            << "1900-01-02 06:00:00.250"
            << "1"
            << "1"
            << "1"
            << "V";
        QTest::newRow("invalid secondary keeps the slot")
            << QByteArray("2;V;2024-02-29 00:00:00;0;1;1;9.9E37;V") << ";" << S << "2"
            << "V"
            << "2024-02-29 00:00:00.000"
            << "1"
            << "1"
            << "77"
            << "V";
        QTest::newRow("bad numbers get defaults")
            << QByteArray("2;V;2023-02-29 00:00:00;x;y;z;w;V") << ";" << S << "2"
            << "V"
            << "1900-01-02 06:00:00.000"
            << "-1"
            << "-1"
            << "77"
            << "V";
        QTest::newRow("units cut to 5, UTF-8")
            << QByteArray("3;\xCE\xBC\xCE\xA9xyzw;2024-01-05 10:20:30;0;1;1;1;abcdefg") << ";" << S
            << "3" << QString::fromUtf8("\xCE\xBC\xCE\xA9xyz") << "2024-01-05 10:20:30.000"
            << "1"
            << "1"
            << "1"
            << "abcde";
        QTest::newRow("legacy Greek unit")
            << QByteArray("3;k\xD9;2024-01-05 10:20:30;0;1;1;1;\xECV") << ";" << S << "3"
            << QString::fromUtf8("k\xCE\xA9") << "2024-01-05 10:20:30.000"
            << "1"
            << "1"
            << "1" << QString::fromUtf8("\xCE\xBCV");
        QTest::newRow("secondary unit is the text after the next separator")
            << QByteArray("3;V;2024-01-05 10:20:30;0;1;1;1;x;yz") << ";" << S << "3"
            << "V"
            << "2024-01-05 10:20:30.000"
            << "1"
            << "1"
            << "1"
            << "yz";
    }
    void parse()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, sep);
        QFETCH(int, kind);
        measpol rec;
        rec.value2 = 77;
        const measpol before = rec;
        const LineResult res = parseDataLine(line, sep.at(0).toLatin1(), rec);
        QCOMPARE(int(res.kind), kind);
        if (res.kind == LineKind::Comment)
            return;
        QFETCH(QString, value1);
        QCOMPARE(res.first, ld(value1));
        if (res.kind == LineKind::Rejected) {
            QVERIFY(std::memcmp(&rec, &before, sizeof rec) == 0);
            return;
        }
        QFETCH(QString, unit1);
        QFETCH(QString, when);
        QFETCH(QString, range);
        QFETCH(QString, resol);
        QFETCH(QString, value2);
        QFETCH(QString, unit2);
        QCOMPARE(rec.value1, ld(value1));
        QCOMPARE(rec.Lunits1.toString(), unit1);
        QCOMPARE(fullStamp(rec.dateTime), when);
        QCOMPARE(rec.range, ld(range));
        QCOMPARE(rec.resol, ld(resol));
        QCOMPARE(rec.value2, ld(value2));
        QCOMPARE(rec.Lunits2.toString(), unit2);
    }

    void dateField_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected"); // empty: not a date
        QTest::newRow("full") << QByteArray("2024-01-05 10:20:30") << "2024-01-05 10:20:30.000";
        QTest::newRow("with ms") << QByteArray("2024-01-05 10:20:30.5")
                                 << "2024-01-05 10:20:30.005";
        QTest::newRow("date only") << QByteArray("2024-01-05") << "2024-01-05 00:00:00.000";
        QTest::newRow("no seconds") << QByteArray("2024-1-5 7:05") << "2024-01-05 07:05:00.000";
        QTest::newRow("before the epoch")
            << QByteArray("1899-12-29 18:00:00") << "1899-12-29 18:00:00.000";
        QTest::newRow("leap day") << QByteArray("2000-02-29 00:00:00") << "2000-02-29 00:00:00.000";
        QTest::newRow("no leap day") << QByteArray("1900-02-29 00:00:00") << "";
        QTest::newRow("hour 24") << QByteArray("2024-01-05 24:00:00") << "";
        QTest::newRow("dots") << QByteArray("05.01.2024") << "";
        QTest::newRow("slash") << QByteArray("2024/01/05") << "";
        QTest::newRow("trailing text") << QByteArray("2024-01-05 10:20:30x") << "";
        QTest::newRow("empty") << QByteArray("") << "";
    }
    void dateField()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        double days = 0;
        const bool ok = parseDateTime(text.constData(), text.constData() + text.size(), days);
        QCOMPARE(ok, !expected.isEmpty());
        if (ok)
            QCOMPARE(fullStamp(days), expected);
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("decSep");
        QTest::addColumn<bool>("buffer");
        QTest::newRow("buffer semicolon") << int(FileKind::Semicolon) << "." << true;
        QTest::newRow("buffer tab") << int(FileKind::Tab) << "." << true;
        QTest::newRow("buffer comma") << int(FileKind::Comma) << "." << true;
        QTest::newRow("buffer semicolon, decimal comma") << int(FileKind::Semicolon) << "," << true;
        QTest::newRow("automatic semicolon") << int(FileKind::Semicolon) << "." << false;
        QTest::newRow("automatic tab, decimal comma") << int(FileKind::Tab) << "," << false;
    }
    void roundTrip()
    {
        QFETCH(int, kind);
        QFETCH(QString, decSep);
        QFETCH(bool, buffer);
        const char sep = separatorOf(FileKind(kind));
        const char dec = decimalSeparatorOf(decSep);
        std::vector<measpol> recs(3000);
        auto *rng = QRandomGenerator::global();
        for (size_t i = 0; i < recs.size(); ++i) {
            measpol &r = recs[i];
            const long double scale = std::pow(10.0L, static_cast<int>(rng->bounded(20)) - 10);
            r.value1 = ld(numtext::formatGeneral((rng->generateDouble() - 0.5) * scale));
            r.value2 = i % 7 ? ld(numtext::formatGeneral(rng->generateDouble())) : 0;
            r.range = i % 2 ? 1000 : 0.1L;
            r.resol = 1e-6L;
            r.dateTime = 45000 + static_cast<double>(i) / 86400.0 + 0.123 / 86400;
            r.Lunits1.set(i % 3 ? QStringView(u"V") : QStringView(u"k\u03A9"));
            r.Lunits2.set(u"\u00B0C");
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f"));
        if (buffer) {
            QVERIFY(writeBufferFile(
                path, FileKind(kind), dec, {}, {}, 0, qint64(recs.size()) - 1,
                [&](int64_t i) -> const measpol & { return recs[size_t(i)]; }, {}, nullptr));
        } else {
            QByteArray all =
                instrumentLine({}) + startLine(sep, {}) + columnLine(sep, ColumnVariant::Automatic);
            for (const measpol &r : recs)
                appendDataLine(all, r, sep, dec, false);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(all);
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        LineReader reader(fd);
        const char *b = nullptr;
        const char *e = nullptr;
        size_t n = 0;
        int comments = 0;
        while (reader.next(b, e)) {
            measpol got;
            const LineResult res = parseDataLine(b, e, sep, got);
            if (res.kind == LineKind::Comment) {
                ++comments;
                continue;
            }
            QCOMPARE(int(res.kind), int(LineKind::Stored));
            QVERIFY(n < recs.size());
            const measpol &want = recs[n++];
            QCOMPARE(got.value1, want.value1);
            QCOMPARE(got.value2, want.value2);
            QCOMPARE(got.range, want.range);
            QCOMPARE(got.resol, want.resol);
            QCOMPARE(fullStamp(got.dateTime), fullStamp(want.dateTime));
            QCOMPARE(got.Lunits1, want.Lunits1);
            QCOMPARE(got.Lunits2.toString(), buffer ? QString() : want.Lunits2.toString());
        }
        ::close(fd);
        QCOMPARE(comments, 3);
        QCOMPARE(n, recs.size());
    }

    void bufferFileRangeAndProgress_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QList<qint64>>("progress");
        QTest::newRow("all") << qint64(0) << qint64(25000) << QList<qint64>{0, 10000, 20000};
        QTest::newRow("selected, no multiple") << qint64(10001) << qint64(19999) << QList<qint64>{};
        QTest::newRow("selected one record") << qint64(7) << qint64(7) << QList<qint64>{};
        QTest::newRow("selected from a multiple")
            << qint64(20000) << qint64(20001) << QList<qint64>{20000};
    }
    void bufferFileRangeAndProgress()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QList<qint64>, progress);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x-s.csv"));
        QList<qint64> seen;
        std::vector<measpol> recs(static_cast<size_t>(to + 1));
        for (size_t i = 0; i < recs.size(); ++i)
            recs[i].value1 = static_cast<long double>(i);
        QVERIFY(writeBufferFile(
            path, FileKind::Semicolon, '.', {}, {}, from, to,
            [&](int64_t i) -> const measpol & { return recs[static_cast<size_t>(i)]; },
            [&](int64_t i) { seen << i; }, nullptr));
        QCOMPARE(seen, progress);
        const QList<QByteArray> lines = readLines(path);
        QCOMPARE(lines.size(), 3 + (to - from + 1));
        QVERIFY(lines.at(3).startsWith(QByteArray::number(from) + ';'));
        QVERIFY(lines.last().startsWith(QByteArray::number(to) + ';'));
        QVERIFY(lines.last().endsWith(";\r"));
    }

    void writeFailures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing directory") << "/nonexistent-dir-for-test/x.csv";
        QTest::newRow("full disk") << "/dev/full";
    }
    void writeFailures()
    {
        QFETCH(QString, path);
        if (path == QLatin1String("/dev/full") && !QFile::exists(path))
            QSKIP("no /dev/full here");
        measpol r;
        QString error;
        QVERIFY(!writeBufferFile(
            path, FileKind::Semicolon, '.', {}, {}, 0, 100000,
            [&](int64_t) -> const measpol & { return r; }, {}, &error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!writeChartFile(
            path, FileKind::Tab, '.', {}, 400, [](int) { return ChartRow{}; }, &error));
        QVERIFY(!error.isEmpty());
    }

    void chartFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("c-t.txt"));
        const StartInfo info{stamp(2024, 1, 5, 10, 20, 30, 0), 5, 6, 7};
        QVERIFY(writeChartFile(
            path, FileKind::Tab, ',', info, 400,
            [](int i) {
                ChartRow row;
                row.rec.value1 = i + 0.5L;
                row.flag = static_cast<uint32_t>(i + 1);
                return row;
            },
            nullptr));
        const QList<QByteArray> lines = readLines(path);
        QCOMPARE(lines.size(), 402);
        QCOMPARE(lines.at(0) + '\n', startLine('\t', info));
        QCOMPARE(lines.at(1) + '\n', columnLine('\t', ColumnVariant::Chart));
        QCOMPARE(lines.at(2), QByteArray("0,5\t\t1899-12-30 00:00:00\t0\t0\t0\t\t1\r"));
        QCOMPARE(lines.at(401), QByteArray("399,5\t\t1899-12-30 00:00:00\t0\t0\t0\t\t400\r"));
    }

    void namesAndKinds_data()
    {
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("sep");
        QTest::newRow("comma") << 1 << "-c.txt"
                               << ",";
        QTest::newRow("tab") << 2 << "-t.txt"
                             << "\t";
        QTest::newRow("semicolon") << 3 << "-s.csv"
                                   << ";";
        QTest::newRow("any file") << 4 << ""
                                  << ";";
    }
    void namesAndKinds()
    {
        QFETCH(int, filterIndex);
        QFETCH(QString, suffix);
        QFETCH(QString, sep);
        const FileKind kind = kindFromFilterIndex(filterIndex);
        QCOMPARE(suffixOf(kind), suffix);
        QCOMPARE(QString(QLatin1Char(separatorOf(kind))), sep);
        if (filterIndex <= 3)
            QCOMPARE(kindFromDefaultFileType(filterIndex - 1), kind);
        QCOMPARE(proposedFileName(0), QStringLiteral("Data_18991230-000000"));
    }

    // Lines longer than the reader's buffer and a last line without a line end.
    void lineReaderEdges()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("l"));
        const QByteArray longLine(9 << 20, 'x');
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("a\r\n" + longLine + "\r\n\r\nlast");
        f.close();
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        LineReader reader(fd);
        const char *b = nullptr;
        const char *e = nullptr;
        QList<QByteArray> got;
        while (reader.next(b, e))
            got << QByteArray(b, e - b);
        ::close(fd);
        QCOMPARE(got.size(), 4);
        QCOMPARE(got.at(0), QByteArray("a"));
        QCOMPARE(got.at(1), longLine);
        QCOMPARE(got.at(2), QByteArray());
        QCOMPARE(got.at(3), QByteArray("last"));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("CR LF") << QByteArray("a\r\nbc\r\n") << QList<QByteArray>{"a", "bc"};
        QTest::newRow("LF") << QByteArray("a\nbc\n") << QList<QByteArray>{"a", "bc"};
        QTest::newRow("CR") << QByteArray("a\rbc\r") << QList<QByteArray>{"a", "bc"};
        QTest::newRow("mixed, no end")
            << QByteArray("a\rb\nc\r\nd") << QList<QByteArray>{"a", "b", "c", "d"};
        QTest::newRow("empty lines")
            << QByteArray("\r\n\r\r\n\n\rx") << QList<QByteArray>{"", "", "", "", "", "x"};
        QTest::newRow("LF CR is two ends")
            << QByteArray("a\n\rb") << QList<QByteArray>{"a", "", "b"};
        QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{};
    }
    // Read from a real file in blocks of every small size: a block may end between CR and LF.
    void lineEnds()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ends.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        for (qsizetype block = 1; block <= 6; ++block) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            ChunkReader chunks(fd, block);
            TextBlock t;
            QList<QByteArray> got;
            while (chunks.next(t)) {
                LineSplitter split(t.begin(), t.end());
                const char *b = nullptr;
                const char *e = nullptr;
                while (split.next(b, e))
                    got << QByteArray(b, e - b);
            }
            ::close(fd);
            QCOMPARE(got, lines);
        }
    }

    // Formatted in blocks on several threads, the file is byte for byte the one the line
    // composer gives line after line.
    void bufferFileAcrossBlocks()
    {
        std::vector<measpol> recs(2000);
        for (size_t i = 0; i < recs.size(); ++i) {
            measpol &r = recs[i];
            r.value1 = (i % 7 ? 1 : -1) * static_cast<long double>(i) / 3;
            r.value2 = i % 5 ? 1e-7L * i : sentinel::kEmptyReading;
            r.range = i % 2 ? 10 : 0.1L;
            r.resol = 1e-6L;
            r.dateTime = 45000.5 + static_cast<double>(i) / 86400.0;
            r.Lunits1.set(i % 3 ? QStringView(u"V") : QStringView(u"k\u03A9"));
            r.Lunits2.set(u"mV");
        }
        const InstrumentIds ids{QStringLiteral("ACME"), QStringLiteral("8846X"),
                                QStringLiteral("7"), QStringLiteral("2024")};
        QByteArray want =
            instrumentLine(ids) + startLine(',', {}) + columnLine(',', ColumnVariant::Buffer);
        for (const measpol &r : recs)
            appendDataLine(want, r, ',', '.', true);
        QVERIFY(want.contains("\r\n0,k\xCE\xA9,2023-03-15 12:00:00,000,0.1,1E-6,1E-37,mV,\r\n"
                              "0.333333333333333,V,2023-03-15 12:00:01,000,10,1E-6,1E-7,mV,\r\n"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("b-c.txt"));
        for (const WriteSplit split : {WriteSplit{1, 0}, WriteSplit{2, 1}, WriteSplit{3, 7},
                                       WriteSplit{4, 333}, WriteSplit{2, 5000}}) {
            QList<qint64> seen;
            QVERIFY(writeBufferFile(
                path, FileKind::Comma, '.', ids, {}, 0, 1999,
                [&](int64_t i) -> const measpol & { return recs[static_cast<size_t>(i)]; },
                [&](int64_t i) { seen << i; }, nullptr, nullptr, split));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), want);
            QCOMPARE(seen, QList<qint64>{0});
        }
        // A cancel leaves no error text.
        std::atomic<bool> cancel{true};
        QString error;
        QVERIFY(!writeBufferFile(
            path, FileKind::Comma, '.', ids, {}, 0, 1999,
            [&](int64_t i) -> const measpol & { return recs[static_cast<size_t>(i)]; }, {}, &error,
            &cancel));
        QVERIFY(error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDataFile)
#include "test_datafile.moc"
