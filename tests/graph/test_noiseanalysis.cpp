// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/numtext.h"
#include "engine/bigary.h"
#include "graph/noiseanalysis.h"

#include <QTest>

#include <cmath>
#include <random>

using namespace noise;

namespace {

constexpr double kStart = 46000.25; // days since 1899-12-30

// Box-Muller on a fixed generator: the same series on every machine.
struct Gauss
{
    explicit Gauss(quint64 seed = 20261208) : gen(seed) {}
    std::mt19937_64 gen;
    double operator()()
    {
        const double u1 = (double(gen() >> 11) + 1) / 9007199254740993.0;
        const double u2 = double(gen() >> 11) / 9007199254740992.0;
        return std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
    }
};

void append(BigAry &buf, long double v, double stamp, double range = 10)
{
    measpol r;
    r.value1 = v;
    r.dateTime = stamp;
    r.range = range;
    r.Lunits1.set(u"V=");
    buf.Append(r);
}

// Readings every tau0 seconds, the first one `first` steps after the start.
void fill(BigAry &buf, const std::vector<double> &v, double tau0 = 0.5, int first = 0)
{
    for (size_t i = 0; i < v.size(); ++i)
        append(buf, v[i], kStart + double(first + qsizetype(i)) * tau0 / 86400);
}

std::vector<double> series(const QString &kind, int n, quint64 seed = 20261208)
{
    Gauss g(seed);
    std::vector<double> v(static_cast<size_t>(n));
    double walk = 0;
    for (int i = 0; i < n; ++i) {
        if (kind == "white")
            v[size_t(i)] = 10 + 2e-6 * g();
        else if (kind == "unit")
            v[size_t(i)] = 3 + g();
        else if (kind == "walk")
            v[size_t(i)] = 10 + (walk += 1e-6 * g());
        else
            v[size_t(i)] = 1 + 3e-7 * i;
    }
    return v;
}

// The overlapping deviation straight from its definition: every pair of neighbouring
// m-averages, within each run.
double definitionAdev(const std::vector<std::vector<double>> &runs, qint64 m)
{
    long double acc = 0;
    qint64 terms = 0;
    for (const auto &y : runs) {
        for (qint64 j = 0; j + 2 * m <= qint64(y.size()); ++j) {
            long double a = 0, b = 0;
            for (qint64 i = 0; i < m; ++i) {
                a += y[size_t(j + i)];
                b += y[size_t(j + m + i)];
            }
            acc += (b / m - a / m) * (b / m - a / m);
            ++terms;
        }
    }
    return double(std::sqrt(acc / (2 * terms)));
}

// Least-squares slope of log(adev) over log(tau) for m up to mMax.
double logLogSlope(const NoiseResult &r, qint64 mMax)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (const AllanPoint &p : r.points) {
        if (p.m > mMax)
            continue;
        const double x = std::log(p.tau), y = std::log(p.adev);
        sx += x, sy += y, sxx += x * x, sxy += x * y, n += 1;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

} // namespace

class TestNoiseAnalysis : public QObject
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

    void knownSlopes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("slope");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("white noise") << "white" << -0.5 << 0.05;
        QTest::newRow("random walk") << "walk" << 0.5 << 0.1;
        QTest::newRow("linear drift") << "drift" << 1.0 << 1e-6;
    }
    void knownSlopes()
    {
        QFETCH(QString, kind);
        QFETCH(double, slope);
        QFETCH(double, tolerance);
        BigAry buf(100000);
        fill(buf, series(kind, 40000));
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        QCOMPARE(r.points.size(), size_t(14)); // 1 .. 8192 <= 40000 / 4
        QVERIFY2(std::fabs(logLogSlope(r, 256) - slope) < tolerance,
                 qPrintable(QString::number(logLogSlope(r, 256))));
    }

    // Four 1-sigma intervals all hold the truth for about one seed in five; this is one.
    void whiteNoiseWithinInterval()
    {
        BigAry buf(100000);
        fill(buf, series("white", 40000, 5), 0.25);
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        QCOMPARE(r.tau0, 0.25);
        for (const AllanPoint &p : r.points) {
            if (p.m != 1 && p.m != 4 && p.m != 16 && p.m != 64)
                continue;
            const double expected = 2e-6 / std::sqrt(double(p.m));
            QVERIFY2(p.lower <= expected && expected <= p.upper,
                     qPrintable(QString("m=%1: %2 %3").arg(p.m).arg(p.lower).arg(p.upper)));
            QVERIFY(p.lower < p.adev && p.adev < p.upper);
            QCOMPARE(p.terms, 40000 - 2 * p.m + 1);
        }
        QVERIFY(std::fabs(r.figures.sd / 2e-6 - 1) < 0.02);
        // Neighbour differences of white noise carry its whole deviation.
        QVERIFY(std::fabs(r.figures.diffNoise / r.figures.sd - 1) < 0.02);
        QVERIFY(std::fabs(r.figures.noiseFreeDigits - std::log10(10 / (6.6 * r.figures.sd))) <
                1e-12);
        QVERIFY(std::fabs(r.figures.sdPpm - 0.2) < 0.005);
    }

    // A 1-sigma interval holds the true deviation about two times in three: much more
    // and it is too wide, much less and the degrees of freedom are wrong.
    void intervalCoverage()
    {
        int inside = 0, total = 0;
        for (quint64 seed = 1; seed <= 60; ++seed) {
            BigAry buf(3000);
            fill(buf, series("white", 2000, seed));
            for (const AllanPoint &p : NoiseAnalysis::compute(buf, 0, buf.High()).points) {
                const double expected = 2e-6 / std::sqrt(double(p.m));
                inside += p.lower <= expected && expected <= p.upper;
                ++total;
            }
        }
        QCOMPARE(total, 60 * 9);
        QVERIFY2(inside > 0.6 * total && inside < 0.76 * total,
                 qPrintable(QString("%1 of %2").arg(inside).arg(total)));
    }

    void linearDrift()
    {
        BigAry buf(10000);
        fill(buf, series("drift", 5000), 2);
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        const double perSecond = 3e-7 / 2;
        QVERIFY(r.drift.valid);
        QVERIFY(std::fabs(r.drift.perHour / (perSecond * 3600) - 1) < 1e-9);
        QVERIFY(std::fabs(r.drift.perDay / (perSecond * 86400) - 1) < 1e-9);
        QVERIFY(std::fabs(r.drift.ppmPerHour / (perSecond * 3600 / r.figures.mean * 1e6) - 1) <
                1e-9);
        QVERIFY(r.drift.residualSd < 1e-9 * r.figures.pp);
        // The averages of a line step by the drift over m readings.
        for (const AllanPoint &p : r.points)
            QVERIFY(std::fabs(p.adev / (3e-7 * double(p.m) / std::sqrt(2.0)) - 1) < 1e-6);

        // A test signal's equal stamps: the readings count as 1 s apart.
        BigAry same(10000);
        for (const double v : series("drift", 5000))
            append(same, v, kStart);
        const NoiseResult s = NoiseAnalysis::compute(same, 0, same.High());
        QVERIFY(s.tau0Assumed);
        QVERIFY(std::fabs(s.drift.perHour / (3e-7 * 3600) - 1) < 1e-9);
    }

    void constant()
    {
        BigAry buf(1000);
        fill(buf, std::vector<double>(400, 1.2345));
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        QVERIFY(!r.tooFew && !r.points.empty());
        for (const AllanPoint &p : r.points)
            QCOMPARE(p.adev, 0.0);
        QCOMPARE(r.minimum, 0);
        QCOMPARE(r.figures.sd, 0.0);
        QCOMPARE(r.figures.pp, 0.0);
        QCOMPARE(r.figures.diffNoise, 0.0);
        QCOMPARE(r.drift.perHour, 0.0);
        QCOMPARE(r.figures.mean, 1.2345);
    }

    // Gaps, sentinels and the 1-2-5 steps against the definition, to 1e-12.
    void definition_data()
    {
        QTest::addColumn<bool>("oneTwoFive");
        QTest::addColumn<QList<int>>("gapsAfter");
        QTest::addColumn<QList<int>>("sentinelsAt");
        QTest::newRow("octaves") << false << QList<int>{} << QList<int>{};
        QTest::newRow("1-2-5") << true << QList<int>{} << QList<int>{};
        QTest::newRow("two gaps") << false << QList<int>{999, 2399} << QList<int>{};
        QTest::newRow("sentinels") << true << QList<int>{} << QList<int>{0, 17, 18, 2999};
        QTest::newRow("both") << false << QList<int>{1499} << QList<int>{5, 1500};
    }
    void definition()
    {
        QFETCH(bool, oneTwoFive);
        QFETCH(QList<int>, gapsAfter);
        QFETCH(QList<int>, sentinelsAt);
        const std::vector<double> v = series("unit", 3000);
        const long double bad[] = {sentinel::kEmptyReading, sentinel::kConversionFailed,
                                   sentinel::kConversionFailedAlt, 5e-37L};
        std::vector<std::vector<double>> runs(1);
        BigAry buf(10000);
        double stamp = kStart;
        for (int i = 0; i < 3000; ++i) {
            if (sentinelsAt.contains(i))
                append(buf, bad[i % 4], stamp);
            append(buf, v[size_t(i)], stamp);
            runs.back().push_back(v[size_t(i)]);
            stamp += 1.0 / 86400;
            if (gapsAfter.contains(i)) {
                stamp += 11.0 / 86400;
                runs.emplace_back();
            }
        }
        const NoiseResult r = NoiseAnalysis::compute(
            buf, 0, buf.High(), oneTwoFive ? TauSteps::OneTwoFive : TauSteps::Octave);
        QCOMPARE(r.skipped, qint64(sentinelsAt.size()));
        QCOMPARE(r.valid, qint64(3000));
        QCOMPARE(r.gaps, qint64(gapsAfter.size()));
        QCOMPARE(r.tau0, 1.0);
        QVERIFY(r.points.size() > 5);
        for (const AllanPoint &p : r.points) {
            const double want = definitionAdev(runs, p.m);
            QVERIFY2(std::fabs(p.adev / want - 1) < 1e-12,
                     qPrintable(QString("m=%1 %2 %3").arg(p.m).arg(p.adev).arg(want)));
        }
    }

    void stampsAndRuns_data()
    {
        QTest::addColumn<QList<double>>("steps"); // seconds between readings, repeated
        QTest::addColumn<double>("tau0");
        QTest::addColumn<bool>("assumed");
        QTest::addColumn<qint64>("gaps");
        QTest::newRow("equal stamps") << QList<double>{0} << 1.0 << true << qint64(0);
        QTest::newRow("jitter") << QList<double>{0.1, 0.1, 0.2, 0.1, 0.101} << 0.1 << false
                                << qint64(0);
        QTest::newRow("gap above ten")
            << QList<double>{1, 1, 1, 1, 1, 1, 1, 1, 1, 10.5} << 1.0 << false << qint64(9);
        QTest::newRow("under ten") << QList<double>{2, 2, 2, 19.9} << 2.0 << false << qint64(0);
        QTest::newRow("clock set back")
            << QList<double>{1, 1, 1, 1, 1, 1, 1, 1, 1, -3600} << 1.0 << false << qint64(9);
    }
    void stampsAndRuns()
    {
        QFETCH(QList<double>, steps);
        QFETCH(double, tau0);
        QFETCH(bool, assumed);
        QFETCH(qint64, gaps);
        BigAry buf(1000);
        double seconds = 0;
        for (int i = 0; i < 100; ++i) {
            append(buf, i % 7, kStart + seconds / 86400);
            seconds += steps[i % steps.size()];
        }
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        QCOMPARE(r.tau0, tau0);
        QCOMPARE(r.tau0Assumed, assumed);
        QCOMPARE(r.gaps, gaps);
        QCOMPARE(r.runs(), gaps + 1);
    }

    void tooFew_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("tooFew");
        // Records: 1, empty, 2, 3, empty, 4.
        QTest::newRow("two valid of three") << 0 << 2 << true;
        QTest::newRow("three valid of four") << 0 << 3 << false;
        QTest::newRow("reversed selection") << 5 << 1 << false;
        QTest::newRow("beyond the end") << 4 << 99 << true;
    }
    void tooFew()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, tooFew);
        BigAry buf(100);
        const long double v[] = {1, sentinel::kEmptyReading, 2, 3, sentinel::kEmptyReading, 4};
        for (int i = 0; i < 6; ++i)
            append(buf, v[i], kStart + i / 86400.0);
        const NoiseResult r = NoiseAnalysis::compute(buf, from, to);
        QCOMPARE(r.tooFew, tooFew);
        if (tooFew)
            QVERIFY(r.points.empty());
        QVERIFY(r.skipped >= 1);
        QVERIFY(NoiseAnalysis::compute(BigAry(10), 0, 0).tooFew);
    }

    // A wrapped ring is read in time order, in pieces as well as at once.
    void wrappedRingInPieces()
    {
        const std::vector<double> v = series("walk", 5000);
        BigAry ring(2999), plain(5000);
        fill(ring, v);
        fill(plain, std::vector<double>(v.end() - 3000, v.end()), 0.5, 2000);
        QVERIFY(ring.bigarypos() != ring.High());
        NoiseAnalysis job(ring, 0, ring.High());
        int steps = 0;
        while (!job.step(700))
            ++steps;
        QVERIFY(steps > 10);
        const NoiseResult a = job.result();
        const NoiseResult b = NoiseAnalysis::compute(plain, 0, plain.High());
        QCOMPARE(a.points.size(), b.points.size());
        for (size_t i = 0; i < a.points.size(); ++i)
            QCOMPARE(a.points[i].adev, b.points[i].adev);
        QCOMPARE(a.figures.sd, b.figures.sd);
        QCOMPARE(a.drift.perHour, b.drift.perHour);
    }

    // Readings that arrive while the window computes overwrite only what was read.
    void readingsArriveMeanwhile()
    {
        BigAry buf(50), copy(50);
        fill(buf, series("white", 40));
        fill(copy, series("white", 40));
        NoiseAnalysis job(buf, 0, 30), late(buf, 0, 30);
        job.step(10);
        late.step(10);
        for (int i = 0; i < 15; ++i)
            append(buf, 1, kStart);
        QVERIFY(!job.bufferMoved()); // 11 new slots, then the 4 oldest overwritten
        while (!job.step(7)) {
        }
        QCOMPARE(job.result().figures.sd, NoiseAnalysis::compute(copy, 0, 30).figures.sd);
        for (int i = 0; i < 7; ++i)
            append(buf, 1, kStart);
        QVERIFY(late.bufferMoved()); // record 10, not read yet, is gone
    }

    void table_data()
    {
        QTest::addColumn<char>("decSep");
        QTest::newRow("point") << '.';
        QTest::newRow("comma") << ',';
    }
    void table()
    {
        QFETCH(char, decSep);
        BigAry buf(1000);
        fill(buf, series("white", 600), 0.125);
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        const QList<QByteArray> lines = clipboardTable(r, decSep).split('\n');
        QCOMPARE(lines.size(), qsizetype(r.points.size()) + 2); // heading, rows, empty tail
        QCOMPARE(lines[0], QByteArray("tau (s)\tm\tdeviation (V=)\tlower\tupper\tterms\r"));
        const QList<QByteArray> f = lines[3].chopped(1).split('\t');
        QCOMPARE(f.size(), 6);
        QCOMPARE(f[0], decSep == ',' ? QByteArray("0,5") : QByteArray("0.5"));
        QCOMPARE(f[1], QByteArray("4"));
        QCOMPARE(f[5], QByteArray::number(600 - 8 + 1));
        const auto adev = numtext::parseDouble(QString::fromLatin1(f[2]).replace(',', '.'));
        QVERIFY(adev && std::fabs(*adev / r.points[2].adev - 1) < 1e-14);
        QCOMPARE(csvTable(r, decSep).count(';'), 5 * qsizetype(r.points.size() + 1));
    }
};

QTEST_GUILESS_MAIN(TestNoiseAnalysis)
#include "test_noiseanalysis.moc"
