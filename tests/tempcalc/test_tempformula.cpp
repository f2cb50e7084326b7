// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/numtext.h"
#include "tempcalc/probe.h"
#include "tempcalc/tempformula.h"

#include <QFile>
#include <QTest>

#include <cmath>

namespace {

// The "Euro - alpha 3850055 - IEC751" probe.
constexpr long double kA = 3.9083e-3L, kB = -5.775e-7L, kC = -4.183e-12L;

QString sixDecimals(long double v)
{
    return numtext::formatFixed(v, 6);
}

} // namespace

class TestTempFormula : public QObject
{
    Q_OBJECT
private slots:
    void inverseConversion_data()
    {
        QTest::addColumn<double>("rt");
        QTest::addColumn<bool>("derived"); // A, B, C from the initial alpha, beta, delta
        QTest::addColumn<QString>("temperature");
        QTest::addColumn<int>("minEvals");
        QTest::addColumn<int>("maxEvals");
        QTest::newRow("search") << 90.1693126727978 << false << "-25.058469" << 160 << 175;
        QTest::newRow("search, derived") << 90.1693126727978 << true << "-25.062000" << 160 << 175;
        QTest::newRow("closed form") << 138.50554 << false << "100.000105" << 0 << 0;
        QTest::newRow("-200") << 18.52008 << false << "-200.000000" << 160 << 175;
        QTest::newRow("below -211") << 10.0 << false << "-300.000000" << 160 << 175;
        QTest::newRow("R0 itself") << 100.0 << false << "0.000000" << 0 << 0;
        QTest::newRow("just below R0") << 99.9999 << false << "-0.000256" << 160 << 175;
        QTest::newRow("zero Rt") << 0.0 << false << "-300.000000" << 0 << 0;
    }
    void inverseConversion()
    {
        QFETCH(double, rt);
        QFETCH(bool, derived);
        QFETCH(QString, temperature);
        QFETCH(int, minEvals);
        QFETCH(int, maxEvals);
        AbcConstants abc{kA, kB, kC};
        if (derived)
            abc = AbcFromAlphaBetaDelta(3.85e-3L, 0.10863L, 1.4999L);
        const CvdResult r = CvdTemperature(rt, 100, abc.A, abc.B, abc.C);
        QCOMPARE(sixDecimals(r.Temperature), temperature);
        QVERIFY(r.calculated);
        QVERIFY2(r.EvalCount >= minEvals && r.EvalCount <= maxEvals,
                 qPrintable(QString::number(r.EvalCount)));
    }

    void derivedConstants()
    {
        const AbcConstants abc = AbcFromAlphaBetaDelta(3.85e-3L, 0.10863L, 1.4999L);
        QCOMPARE(numtext::formatGeneral(abc.A, 12), QStringLiteral("0.00390774615"));
        QCOMPARE(numtext::formatGeneral(abc.B, 12), QStringLiteral("-5.774615E-7"));
        QCOMPARE(numtext::formatGeneral(abc.C, 12), QStringLiteral("-4.182255E-12"));
    }

    // Both ways against the published IEC 60751 table (10 degree steps, 0.01 ohm).
    void iecTable()
    {
        QFile f(QStringLiteral(TEMPCALC_DATA "/pt100-iec60751.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        int rows = 0;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QStringList cells = line.split(QLatin1Char(';'));
            QCOMPARE(cells.size(), 2);
            const long double t = *numtext::parseLongDouble(cells[0]);
            const long double r = *numtext::parseLongDouble(cells[1]);
            const long double rBack = CvdResistance(t, 100, kA, kB, kC);
            QVERIFY2(std::fabs(rBack - r) <= 0.005L, qPrintable(line));
            // Half a table digit in ohms is this much in degrees at t.
            const long double slope = (CvdResistance(t + 0.5L, 100, kA, kB, kC) -
                                       CvdResistance(t - 0.5L, 100, kA, kB, kC));
            const CvdResult conv = CvdTemperature(r, 100, kA, kB, kC);
            QVERIFY2(std::fabs(conv.Temperature - t) <= 0.005L / slope + 2e-6L,
                     qPrintable(line + QStringLiteral(" -> ") + sixDecimals(conv.Temperature)));
            ++rows;
        }
        QCOMPARE(rows, 106);
    }

    // Resistances that are exact binary fractions make two grid points equally far.
    void equalDistancesKeepTheLowerTemperature()
    {
        const long double A = 1.0L / 256, B = -1.0L / (1 << 21), C = -1.0L / (1LL << 38);
        const long double mid =
            (CvdResistance(-2, 128, A, B, C) + CvdResistance(-1, 128, A, B, C)) / 2;
        QCOMPARE(mid - CvdResistance(-2, 128, A, B, C), CvdResistance(-1, 128, A, B, C) - mid);
        CvdSearchCount count;
        const auto t = CvdSearchStage(-5, 5, 1, mid, 128, A, B, C, count);
        QVERIFY(t);
        QCOMPARE(double(*t), -2.0);
        QCOMPARE(count.EvalCount, 11);
    }

    void noRealResult_data()
    {
        QTest::addColumn<double>("rt");
        QTest::newRow("no candidate closer than R0") << -150.0;
        QTest::newRow("negative radicand") << 800.0;
        QTest::newRow("not a number") << double(NAN);
        QTest::newRow("infinite") << double(INFINITY);
    }
    void noRealResult()
    {
        QFETCH(double, rt);
        const CvdResult r = CvdTemperature(rt, 100, kA, kB, kC);
        QCOMPARE(double(r.Temperature), -300.0);
        QVERIFY(!r.calculated);
        // Still a finite way back for the window to show.
        QVERIFY(std::isfinite(CvdResistance(r.Temperature, 100, kA, kB, kC)));
    }

    void closedFormJustInsideItsRange()
    {
        const CvdResult r = CvdTemperature(700, 100, kA, kB, kC);
        QVERIFY(r.calculated);
        QVERIFY(r.Temperature > 2000);
    }

    void countOverflowIsNoAnswer()
    {
        CvdSearchCount count;
        count.EvalCount = std::numeric_limits<qint32>::max() - 5;
        QVERIFY(!CvdSearchStage(-100, 100, 0.1L, 90, 100, kA, kB, kC, count));
        QVERIFY(count.overflow);
    }

    void thermistor_data()
    {
        QTest::addColumn<double>("rt");
        QTest::addColumn<bool>("zeroConstants");
        QTest::addColumn<bool>("calculated");
        QTest::newRow("10k at 25 degrees") << 10000.0 << false << true;
        QTest::newRow("zero ohm") << 0.0 << false << false;
        QTest::newRow("negative") << -5.0 << false << false;
        QTest::newRow("zero denominator") << 10000.0 << true << false;
    }
    void thermistor()
    {
        QFETCH(double, rt);
        QFETCH(bool, zeroConstants);
        QFETCH(bool, calculated);
        const ProbeParams p;
        const ThermistorResult r = zeroConstants
                                       ? ThermistorTemperature(rt, 0, 0, 0, 0)
                                       : ThermistorTemperature(rt, p.A0, p.A1, p.A2, p.A3);
        QCOMPARE(r.calculated, calculated);
        const long double back = ThermistorResistance(r.TKelvin, p.B0, p.B1, p.B2, p.B3);
        QVERIFY(std::isfinite(back));
        if (calculated) {
            QVERIFY2(std::fabs(r.Temperature - 25) < 0.1L, qPrintable(sixDecimals(r.Temperature)));
            QCOMPARE(double(r.TKelvin - r.Temperature), 273.15);
            QVERIFY2(std::fabs(back - rt) < 10, qPrintable(numtext::formatGeneral(back)));
        } else {
            QCOMPARE(double(r.Temperature), -300.0);
        }
    }

    // The catalogue is data: a few conversions show its rows are the intended probes.
    void catalogueProbesConvert_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<double>("rt");
        QTest::addColumn<double>("degrees");
        QTest::newRow("Euro IEC751 at 100") << "Euroalpha38501" << 138.5055 << 100.0;
        QTest::newRow("PT100 alpha 3850 at -100") << "ITS901" << 60.2558 << -100.0;
        QTest::newRow("US 3911 at 0") << "USAlpha39111" << 100.0 << 0.0;
        QTest::newRow("100k thermistor") << "N100kthermistor1" << 100000.0 << 25.0;
        QTest::newRow("3k3 thermistor") << "N3k3thermistor1" << 3300.0 << 25.0;
    }
    void catalogueProbesConvert()
    {
        QFETCH(QString, entry);
        QFETCH(double, rt);
        QFETCH(double, degrees);
        ProbeParams p = ProbeParams::initial();
        for (const probes::CatalogueEntry &e : probes::catalogue()) {
            if (QLatin1String(e.name) != entry)
                continue;
            probes::applyEntry(e, p);
            long double t = 0;
            if (e.kind == probes::EntryKind::Thermistor) {
                t = ThermistorTemperature(rt, p.A0, p.A1, p.A2, p.A3).Temperature;
            } else {
                if (e.kind == probes::EntryKind::AlphaBetaDelta)
                    p.deriveAbc();
                t = CvdTemperature(rt, p.R0, p.A, p.B, p.C).Temperature;
            }
            QVERIFY2(std::fabs(t - degrees) < 0.5L, qPrintable(sixDecimals(t)));
            return;
        }
        QFAIL("no such entry");
    }
};

QTEST_GUILESS_MAIN(TestTempFormula)
#include "test_tempformula.moc"
