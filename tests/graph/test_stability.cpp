// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/stability.h"

#include <QTest>

#include <cmath>

using namespace noise;

class TestStability : public QObject
{
    Q_OBJECT

private slots:
    void chiSquared_data()
    {
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("k");
        QTest::addColumn<double>("x");
        QTest::newRow("median of 1") << 0.5 << 1.0 << 0.454936423119573;
        QTest::newRow("95% of 10") << 0.95 << 10.0 << 18.3070380532751;
        QTest::newRow("5% of 2") << 0.05 << 2.0 << 0.102586588775101;
        QTest::newRow("one sigma low of 3") << 0.158655253931457 << 3.0 << 0.833891010129122;
        QTest::newRow("99% of 100") << 0.99 << 100.0 << 135.806723499536;
        // Beyond 2000 degrees the approximation takes over; it must meet the exact value.
        QTest::newRow("one sigma high of 1998") << 0.841344746068543 << 1998.0 << 2061.20339087650;
        QTest::newRow("one sigma low of 2002") << 0.158655253931457 << 2002.0 << 1938.73338265658;
        QTest::newRow("one sigma high of 5000") << 0.841344746068543 << 5000.0 << 5099.99333919062;
    }
    void chiSquared()
    {
        QFETCH(double, p);
        QFETCH(double, k);
        QFETCH(double, x);
        QVERIFY2(std::fabs(chiSquaredQuantile(p, k) / x - 1) < 1e-6,
                 qPrintable(QString::number(chiSquaredQuantile(p, k), 'g', 15)));
    }

    // A reference program's published octave run over a record of 19982 readings: noise
    // identified, deviation and 68.3 % bounds. Its chi-squared approximation above 100
    // degrees leaves a few parts in 10^4.
    void referenceBounds_data()
    {
        QTest::addColumn<int>("deviation");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("m");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("dev");
        QTest::addColumn<double>("upper");
        const int A = int(Deviation::Allan), M = int(Deviation::Modified),
                  H = int(Deviation::Hadamard), T = int(Deviation::Total);
        QTest::newRow("ADEV flicker phase 1")
            << A << 1 << 1 << 7.5672e-11 << 7.6143e-11 << 7.6622e-11;
        QTest::newRow("ADEV white 4") << A << 0 << 4 << 1.8650e-11 << 1.8816e-11 << 1.8987e-11;
        QTest::newRow("ADEV walk 16") << A << -2 << 16 << 6.0842e-12 << 6.2088e-12 << 6.3413e-12;
        QTest::newRow("ADEV walk 64") << A << -2 << 64 << 4.8402e-12 << 5.0365e-12 << 5.2589e-12;
        QTest::newRow("ADEV flicker 256")
            << A << -1 << 256 << 4.7422e-12 << 5.0826e-12 << 5.5085e-12;
        QTest::newRow("ADEV walk 512") << A << -2 << 512 << 4.6879e-12 << 5.2159e-12 << 5.9752e-12;
        QTest::newRow("ADEV flicker 1024")
            << A << -1 << 1024 << 5.7328e-12 << 6.5443e-12 << 7.8393e-12;
        QTest::newRow("ADEV white 4096")
            << A << 0 << 4096 << 7.2435e-12 << 9.1057e-12 << 1.4019e-11;
        QTest::newRow("MDEV flicker phase 2")
            << M << 1 << 2 << 2.8003e-11 << 2.8204e-11 << 2.8410e-11;
        QTest::newRow("MDEV walk 16") << M << -2 << 16 << 3.4048e-12 << 3.4813e-12 << 3.5632e-12;
        QTest::newRow("MDEV flicker 128")
            << M << -1 << 128 << 4.2034e-12 << 4.4401e-12 << 4.7222e-12;
        QTest::newRow("MDEV walk 512") << M << -2 << 512 << 3.8984e-12 << 4.3832e-12 << 5.1095e-12;
        QTest::newRow("MDEV white 4096")
            << M << 0 << 4096 << 7.3831e-12 << 9.8071e-12 << 1.9848e-11;
        QTest::newRow("HDEV flicker phase 2")
            << H << 1 << 2 << 4.2296e-11 << 4.2610e-11 << 4.2931e-11;
        QTest::newRow("HDEV walk 16") << H << -2 << 16 << 5.4935e-12 << 5.6036e-12 << 5.7207e-12;
        QTest::newRow("HDEV flicker 128")
            << H << -1 << 128 << 4.6679e-12 << 4.9244e-12 << 5.2287e-12;
        QTest::newRow("HDEV walk 512") << H << -2 << 512 << 3.8499e-12 << 4.2789e-12 << 4.8931e-12;
        QTest::newRow("HDEV white 4096")
            << H << 0 << 4096 << 6.5430e-12 << 8.4681e-12 << 1.4748e-11;
        QTest::newRow("TOTDEV flicker phase 8")
            << T << 1 << 8 << 9.7088e-12 << 9.7845e-12 << 9.8620e-12;
        QTest::newRow("TOTDEV walk 16") << T << -2 << 16 << 6.4971e-12 << 6.6299e-12 << 6.7713e-12;
        QTest::newRow("TOTDEV flicker 128")
            << T << -1 << 128 << 5.3817e-12 << 5.6545e-12 << 5.9738e-12;
        QTest::newRow("TOTDEV walk 512")
            << T << -2 << 512 << 4.6681e-12 << 5.1857e-12 << 5.9255e-12;
        QTest::newRow("TOTDEV white 2048")
            << T << 0 << 2048 << 6.6177e-12 << 7.7214e-12 << 9.6593e-12;
    }
    void referenceBounds()
    {
        QFETCH(int, deviation);
        QFETCH(int, alpha);
        QFETCH(int, m);
        QFETCH(double, lower);
        QFETCH(double, dev);
        QFETCH(double, upper);
        constexpr qint64 readings = 19982;
        double edf = 0;
        switch (Deviation(deviation)) {
        case Deviation::Allan:
            edf = greenhallEdf(alpha, 2, m, readings + 1, true, false);
            break;
        case Deviation::Modified:
            edf = greenhallEdf(alpha, 2, m, readings + 1, true, true);
            break;
        case Deviation::Hadamard:
            edf = greenhallEdf(alpha, 3, m, readings + 1, true, false);
            break;
        default:
            edf = totalEdf(alpha, m, readings);
        }
        const Interval b = interval(dev, edf);
        constexpr double tolerance = 6e-4;
        QVERIFY2(std::fabs(b.lower / lower - 1) < tolerance &&
                     std::fabs(b.upper / upper - 1) < tolerance,
                 qPrintable(QString("edf %1: %2 .. %3").arg(edf).arg(b.lower).arg(b.upper)));
    }

    // The tables take over from the exact sums beyond 100 lags; the two must meet there,
    // or a coefficient or a basis function is wrong. Below that the unmodified variances of
    // frequency noise model the phase as averaged over one reading, which the tables do not:
    // a few per cent apart.
    void tablesMeetTheExactSums_data()
    {
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("d");
        QTest::addColumn<bool>("modified");
        for (int d = 2; d <= 3; ++d)
            for (int alpha = 1; alpha >= (d == 2 ? -2 : -4); --alpha)
                for (const bool modified : {false, true})
                    QTest::addRow("alpha %d d %d %s", alpha, d, modified ? "modified" : "plain")
                        << alpha << d << modified;
    }
    void tablesMeetTheExactSums()
    {
        QFETCH(int, alpha);
        QFETCH(int, d);
        QFETCH(bool, modified);
        // (d + 1) m lags: the last factor summed exactly and the first taken from a table.
        const qint64 exact = 100 / (d + 1), table = exact + 1, N = 1000000;
        const double a = greenhallEdf(alpha, d, exact, N, true, modified) * double(exact);
        const double b = greenhallEdf(alpha, d, table, N, true, modified) * double(table);
        const double tolerance = !modified && alpha <= 0 ? 0.05 : 0.02;
        QVERIFY2(a > 0 && std::fabs(b / a - 1) < tolerance,
                 qPrintable(QString("%1 %2").arg(a).arg(b)));
    }

    // White phase noise: second differences of independent phases correlate only at 0, 1
    // and 2 strides (6, -4, 1), so the degrees of freedom follow by hand.
    void whitePhaseEdf_data()
    {
        QTest::addColumn<qint64>("m");
        QTest::addColumn<qint64>("N");
        QTest::addColumn<bool>("overlapping");
        QTest::newRow("two terms, apart") << qint64(4) << qint64(13) << false;
        QTest::newRow("five terms, apart") << qint64(4) << qint64(25) << false;
        QTest::newRow("long, overlapped") << qint64(10) << qint64(100001) << true;
        QTest::newRow("short, overlapped") << qint64(10) << qint64(61) << true;
    }
    void whitePhaseEdf()
    {
        QFETCH(qint64, m);
        QFETCH(qint64, N);
        QFETCH(bool, overlapping);
        const qint64 stride = overlapping ? 1 : m;
        const qint64 terms = (N - 1 - 2 * m) / stride + 1;
        const auto rho = [&](qint64 lag) {
            const qint64 k = std::abs(lag) * stride;
            return k == 0 ? 1.0 : k == m ? -4.0 / 6 : k == 2 * m ? 1.0 / 6 : 0.0;
        };
        double sum = 0;
        for (qint64 k = -(terms - 1); k < terms; ++k)
            sum += double(terms - std::abs(k)) * rho(k) * rho(k);
        const double want = double(terms) * double(terms) / sum;
        const double got = greenhallEdf(2, 2, m, N, overlapping, false);
        QVERIFY2(std::fabs(got / want - 1) < 1e-12,
                 qPrintable(QString("%1 %2").arg(got).arg(want)));
    }

    void edfNeedsARecord()
    {
        QCOMPARE(greenhallEdf(0, 2, 10, 20, true, false), 0.0); // 2m + 1 phase points
        QVERIFY(greenhallEdf(0, 2, 10, 21, true, false) > 0);
        QCOMPARE(greenhallEdf(-3, 2, 1, 1000, true, false), 0.0); // diverges
        QCOMPARE(totalEdf(0, 10, 19), 0.0);
    }

    void identification_data()
    {
        QTest::addColumn<QList<double>>("r1"); // lag-1 autocorrelations, differenced 0..3
        QTest::addColumn<int>("alpha");
        QTest::newRow("white") << QList<double>{0.01, -0.5, -0.66, -0.75} << 0;
        QTest::newRow("white phase") << QList<double>{-0.5, -0.66, -0.75, -0.8} << 2;
        QTest::newRow("flicker phase") << QList<double>{-0.35, -0.6, -0.7, -0.78} << 1;
        QTest::newRow("flicker") << QList<double>{0.7, -0.33, -0.6, -0.7} << -1;
        QTest::newRow("random walk") << QList<double>{0.99, 0.0, -0.5, -0.66} << -2;
        QTest::newRow("flicker walk") << QList<double>{0.999, 0.7, -0.33, -0.6} << -3;
        QTest::newRow("random run") << QList<double>{0.999, 0.99, 0.0, -0.5} << -4;
        QTest::newRow("beyond: stops at the last difference")
            << QList<double>{1, 1, 0.9, 0.9} << -4;
    }
    void identification()
    {
        QFETCH(QList<double>, r1);
        QFETCH(int, alpha);
        QCOMPARE(alphaFromAutocorrelation(r1.data(), 3), alpha);
        QCOMPARE(alphaFromAutocorrelation(r1.data(), 2), std::max(alpha, -2));
    }

    // B1 is the standard over the Allan variance; for phase noise R(n), the modified over
    // the Allan variance, tells white from flicker.
    void ratios_data()
    {
        QTest::addColumn<double>("b1");
        QTest::addColumn<double>("rn");
        QTest::addColumn<int>("alpha");
        // Ten averages of 100: B1 = 0.73 (phase), 1 (white), 1.85 (flicker), 5 (random walk).
        QTest::newRow("white") << 1.05 << 0.5 << 0;
        QTest::newRow("flicker") << 1.6 << 0.5 << -1;
        QTest::newRow("random walk") << 4.5 << 0.6 << -2;
        QTest::newRow("white phase") << 0.7 << 0.012 << 2;
        QTest::newRow("flicker phase") << 0.7 << 0.15 << 1;
    }
    void ratios()
    {
        QFETCH(double, b1);
        QFETCH(double, rn);
        QFETCH(int, alpha);
        QCOMPARE(alphaFromRatios(b1, rn, 10, 100), alpha);
    }

    void slopes()
    {
        QCOMPARE(slope(Deviation::Allan, kWhite), -0.5);
        QCOMPARE(slope(Deviation::Allan, kRandomWalk), 0.5);
        QCOMPARE(slope(Deviation::Allan, kWhitePhase), -1.0);
        QCOMPARE(slope(Deviation::Modified, kWhitePhase), -1.5);
        QCOMPARE(slope(Deviation::Total, kFlicker), 0.0);
        QCOMPARE(slope(Deviation::Hadamard, kRandomRun), 1.5);
        QCOMPARE(slope(Deviation::Allan, kRandomRun), 0.5); // the Allan family stops there
        QVERIFY(std::isnan(slope(Deviation::Averages, kWhite)));
    }
};

QTEST_GUILESS_MAIN(TestStability)
#include "test_stability.moc"
