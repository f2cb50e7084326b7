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
constexpr Deviation kAll[] = {Deviation::Allan, Deviation::Modified, Deviation::Hadamard,
                              Deviation::Total, Deviation::Averages};

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

// Power-law noise S(f) ~ f^alpha: white noise through the filter (1 - z^-1)^(alpha / 2).
std::vector<double> powerLaw(int alpha, int n, quint64 seed)
{
    Gauss g(seed);
    const size_t count = size_t(n);
    std::vector<double> w(count), h(count), y(count, 0);
    for (double &v : w)
        v = g();
    if (alpha == kRandomWalk) {
        double sum = 0;
        for (size_t i = 0; i < count; ++i)
            y[i] = sum += w[i];
        return y;
    }
    h[0] = 1;
    for (int k = 1; k < n; ++k)
        h[size_t(k)] = h[size_t(k - 1)] * (k - 1 - alpha / 2.0) / k;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k <= i && h[size_t(k)] != 0; ++k)
            y[size_t(i)] += h[size_t(k)] * w[size_t(i - k)];
    return y;
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

// The deviations straight from their definitions over frequency averages, each run on its
// own, pooled by terms.
struct Definition
{
    std::vector<std::vector<double>> runs;

    static double average(const std::vector<double> &y, qint64 from, qint64 m)
    {
        long double s = 0;
        for (qint64 i = 0; i < m; ++i)
            s += y[size_t(from + i)];
        return double(s / m);
    }

    double operator()(Deviation d, qint64 m) const
    {
        long double acc = 0;
        qint64 terms = 0;
        for (const auto &y : runs) {
            const qint64 M = qint64(y.size());
            if (M < 2 * m)
                continue;
            const auto ybar = [&](qint64 j) { return average(y, j, m); };
            switch (d) {
            case Deviation::Allan:
                for (qint64 j = 0; j + 2 * m <= M; ++j, ++terms)
                    acc += std::pow(ybar(j + m) - ybar(j), 2) / 2;
                break;
            case Deviation::Modified:
                for (qint64 j = 0; j + 3 * m - 1 <= M; ++j, ++terms) {
                    long double inner = 0;
                    for (qint64 i = j; i < j + m; ++i)
                        inner += ybar(i + m) - ybar(i);
                    acc += inner * inner / (2.0L * m * m);
                }
                break;
            case Deviation::Hadamard:
                for (qint64 j = 0; j + 3 * m <= M; ++j, ++terms)
                    acc += std::pow(ybar(j + 2 * m) - 2 * ybar(j + m) + ybar(j), 2) / 6;
                break;
            case Deviation::Total: {
                // Phase, reflected about both ends.
                std::vector<long double> x(size_t(3 * M + 1));
                const qint64 o = M;
                for (qint64 k = 1; k <= M; ++k)
                    x[size_t(o + k)] = x[size_t(o + k - 1)] + y[size_t(k - 1)];
                for (qint64 j = 1; j < M; ++j) {
                    x[size_t(o - j)] = 2 * x[size_t(o)] - x[size_t(o + j)];
                    x[size_t(o + M + j)] = 2 * x[size_t(o + M)] - x[size_t(o + M - j)];
                }
                for (qint64 k = 1; k < M; ++k, ++terms)
                    acc +=
                        std::pow(x[size_t(o + k - m)] - 2 * x[size_t(o + k)] + x[size_t(o + k + m)],
                                 2) /
                        (2.0L * m * m);
                break;
            }
            case Deviation::Averages:
                break;
            }
        }
        if (d == Deviation::Averages) {
            std::vector<double> a;
            for (const auto &y : runs)
                for (qint64 j = 0; j + m <= qint64(y.size()); j += m)
                    a.push_back(average(y, j, m));
            long double mean = 0, sq = 0;
            for (double v : a)
                mean += v;
            mean /= a.size();
            for (double v : a)
                sq += (v - mean) * (v - mean);
            return double(std::sqrt(sq / (a.size() - 1)));
        }
        return double(std::sqrt(acc / terms));
    }
};

// Least-squares slope of log(adev) over log(tau) for m up to mMax.
double logLogSlope(const NoiseResult &r, qint64 mMax)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
    for (const StabilityPoint &p : r.points) {
        if (p.m > mMax)
            continue;
        const double x = std::log(p.tau), y = std::log(p[Deviation::Allan].dev);
        sx += x, sy += y, sxx += x * x, sxy += x * y, n += 1;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

bool within(const Interval &b, double v)
{
    return b.lower <= v && v <= b.upper;
}

} // namespace

class TestNoiseAnalysis : public QObject
{
    Q_OBJECT

private slots:
    // The handbooks' 1000-point test set: n0 = 1234567890, n = 16807 n mod (2^31 - 1),
    // reading n / (2^31 - 1), one a second. Every published digit.
    void publishedReference_data()
    {
        QTest::addColumn<int>("deviation");
        QTest::addColumn<QList<double>>("at1_10_100");
        QTest::newRow("ADEV") << int(Deviation::Allan)
                              << QList<double>{2.922319e-01, 9.159953e-02, 3.241343e-02};
        QTest::newRow("MDEV") << int(Deviation::Modified)
                              << QList<double>{2.922319e-01, 6.172376e-02, 2.170921e-02};
        QTest::newRow("HDEV") << int(Deviation::Hadamard)
                              << QList<double>{2.943883e-01, 9.581083e-02, 3.237638e-02};
        QTest::newRow("TOTDEV") << int(Deviation::Total)
                                << QList<double>{2.922319e-01, 9.134743e-02, 3.406530e-02};
        QTest::newRow("SD") << int(Deviation::Averages)
                            << QList<double>{2.884664e-01, 9.296352e-02, 3.206656e-02};
    }
    void publishedReference()
    {
        QFETCH(int, deviation);
        QFETCH(QList<double>, at1_10_100);
        BigAry buf(2000);
        qint64 n = 1234567890;
        for (int i = 0; i < 1000; ++i) {
            append(buf, double(n) / 2147483647.0, kStart + i / 86400.0);
            n = 16807 * n % 2147483647;
        }
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High(), TauSteps::OneTwoFive);
        QCOMPARE(r.tau0, 1.0);
        const auto digits = [](double got, double want) {
            const double half = std::pow(10.0, std::floor(std::log10(want)) - 6) / 2;
            return std::fabs(got - want) <= half;
        };
        QVERIFY(digits(r.figures.sd, 2.884664e-01));
        int checked = 0;
        for (const StabilityPoint &p : r.points) {
            const int i = p.m == 1 ? 0 : p.m == 10 ? 1 : p.m == 100 ? 2 : -1;
            if (i < 0)
                continue;
            const double got = p.est[deviation].dev;
            QVERIFY2(digits(got, at1_10_100[i]),
                     qPrintable(QString("tau %1: %2").arg(p.tau).arg(got, 0, 'e', 9)));
            ++checked;
        }
        QCOMPARE(checked, 3);
    }

    // Gaps, sentinels and the 1-2-5 steps against the definitions, to 1e-12.
    void definition_data()
    {
        QTest::addColumn<bool>("oneTwoFive");
        QTest::addColumn<QList<int>>("gapsAfter");
        QTest::addColumn<QList<int>>("sentinelsAt");
        QTest::addColumn<QString>("kind");
        QTest::newRow("white, octaves") << false << QList<int>{} << QList<int>{} << "unit";
        QTest::newRow("white, 1-2-5") << true << QList<int>{} << QList<int>{} << "unit";
        QTest::newRow("walk, two gaps") << false << QList<int>{599, 1399} << QList<int>{} << "walk";
        QTest::newRow("drift, sentinels")
            << true << QList<int>{} << QList<int>{0, 17, 18, 1999} << "drift";
        QTest::newRow("gap and sentinels")
            << false << QList<int>{999} << QList<int>{5, 1000} << "unit";
    }
    void definition()
    {
        QFETCH(bool, oneTwoFive);
        QFETCH(QList<int>, gapsAfter);
        QFETCH(QList<int>, sentinelsAt);
        QFETCH(QString, kind);
        const std::vector<double> v = series(kind, 2000);
        const long double bad[] = {sentinel::kEmptyReading, sentinel::kConversionFailed,
                                   sentinel::kConversionFailedAlt, 5e-37L};
        Definition def;
        def.runs.resize(1);
        BigAry buf(10000);
        double stamp = kStart;
        for (int i = 0; i < 2000; ++i) {
            if (sentinelsAt.contains(i))
                append(buf, bad[i % 4], stamp);
            append(buf, v[size_t(i)], stamp);
            // About the first reading, so the definition's own sums keep their digits.
            def.runs.back().push_back(v[size_t(i)] - v[0]);
            stamp += 1.0 / 86400;
            if (gapsAfter.contains(i)) {
                stamp += 11.0 / 86400;
                def.runs.emplace_back();
            }
        }
        const NoiseResult r = NoiseAnalysis::compute(
            buf, 0, buf.High(), oneTwoFive ? TauSteps::OneTwoFive : TauSteps::Octave);
        QCOMPARE(r.skipped, qint64(sentinelsAt.size()));
        QCOMPARE(r.valid, qint64(2000));
        QCOMPARE(r.gaps, qint64(gapsAfter.size()));
        QCOMPARE(r.tau0, 1.0);
        QVERIFY(r.points.size() > 5);
        // A deviation that is truly zero (the Hadamard one of a line) is as close to zero
        // as the readings' own rounding, in either evaluation.
        const double rounding = 1e-12 * r.figures.pp;
        for (const StabilityPoint &p : r.points) {
            for (const Deviation d : kAll) {
                const double want = def(d, p.m), got = p[d].dev;
                QVERIFY2(
                    std::fabs(got / want - 1) < 1e-12 || std::fabs(got - want) < rounding,
                    qPrintable(
                        QString("%1 m=%2 %3 %4").arg(shortName(d)).arg(p.m).arg(got).arg(want)));
            }
        }
    }

    // Each deviation alone takes its own path through the sums; the values stay.
    void eachAlone()
    {
        BigAry buf(10000);
        fill(buf, series("walk", 5000));
        const NoiseResult all = NoiseAnalysis::compute(buf, 0, buf.High());
        for (const Deviation d : kAll) {
            const NoiseResult one =
                NoiseAnalysis::compute(buf, 0, buf.High(), TauSteps::Octave, bit(d), false);
            QCOMPARE(one.points.size(), all.points.size());
            for (size_t i = 0; i < one.points.size(); ++i) {
                QVERIFY(std::fabs(one.points[i][d].dev / all.points[i][d].dev - 1) < 1e-13);
                for (const Deviation other : kAll)
                    if (other != d)
                        QVERIFY(std::isnan(one.points[i][other].dev));
            }
        }
    }

    // Power-law noise of known type, made by filtering white noise, is named so at most
    // averaging factors and nearly always over thousands of averages; a few averages fall
    // back on the variance ratios, which say less. Flicker is the hardest: at long tau its
    // differences sit near the autocorrelation's threshold.
    void noiseIdentified_data()
    {
        QTest::addColumn<int>("alpha");
        QTest::newRow("white") << kWhite;
        QTest::newRow("flicker") << kFlicker;
        QTest::newRow("random walk") << kRandomWalk;
        QTest::newRow("white phase") << kWhitePhase;
        QTest::newRow("flicker phase") << kFlickerPhase;
    }
    void noiseIdentified()
    {
        QFETCH(int, alpha);
        int right = 0, total = 0, rightShort = 0, totalShort = 0;
        QString seen;
        for (quint64 seed = 1; seed <= 4; ++seed) {
            BigAry buf(10000);
            fill(buf, powerLaw(alpha, 8192, seed), 1);
            const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
            QCOMPARE(r.points.size(), size_t(12)); // 1 .. 2048
            for (const StabilityPoint &p : r.points) {
                QCOMPARE(p.byRatio, p.averages < kMinAutocorrelationPoints);
                right += p.alpha == alpha;
                ++total;
                if (p.m <= 4) {
                    rightShort += p.alpha == alpha;
                    ++totalShort;
                }
                seen += QString::number(p.alpha) + (p.byRatio ? "* " : " ");
            }
            seen += "| ";
        }
        QVERIFY2(right > 0.55 * total && rightShort > 0.9 * totalShort, qPrintable(seen));
    }

    // On a random walk the bounds from the identified noise hold the true deviation about
    // two times in three; the white-noise bounds, too narrow at long tau, much less there.
    void boundsFollowTheNoise()
    {
        int identified = 0, white = 0, total = 0, longTau = 0, whiteLong = 0, identifiedLong = 0;
        for (quint64 seed = 1; seed <= 150; ++seed) {
            Gauss g(seed);
            std::vector<double> v(2048);
            double walk = 0;
            for (double &x : v)
                x = walk += g();
            BigAry buf(3000);
            fill(buf, v, 1);
            for (const StabilityPoint &p : NoiseAnalysis::compute(buf, 0, buf.High()).points) {
                const double m = double(p.m), truth = std::sqrt((2 * m * m + 1) / (6 * m));
                const Estimate &e = p[Deviation::Allan];
                const bool in = within(e.bounds[int(BoundModel::Identified)], truth);
                const bool inWhite = within(e.bounds[int(BoundModel::White)], truth);
                identified += in;
                white += inWhite;
                ++total;
                if (p.m >= 64) {
                    identifiedLong += in;
                    whiteLong += inWhite;
                    ++longTau;
                }
            }
        }
        const QString counts = QString("%1 %2 of %3; long: %4 %5 of %6")
                                   .arg(identified)
                                   .arg(white)
                                   .arg(total)
                                   .arg(identifiedLong)
                                   .arg(whiteLong)
                                   .arg(longTau);
        QVERIFY2(identified > 0.6 * total && identified < 0.76 * total, qPrintable(counts));
        QVERIFY2(identifiedLong > 0.6 * longTau && whiteLong < identifiedLong - 0.05 * longTau,
                 qPrintable(counts));
    }

    // Where a deviation is truly zero the rounding of the running sums does not show.
    void trueZeros()
    {
        BigAry line(10000), toggle(10000);
        fill(line, series("drift", 5000), 2);
        std::vector<double> v(4000);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = i % 2 ? 0.3 : 0.1;
        fill(toggle, v);
        // A straight line: the Hadamard deviation ignores it, the Allan one does not.
        for (const StabilityPoint &p : NoiseAnalysis::compute(line, 0, line.High()).points) {
            QCOMPARE(p[Deviation::Hadamard].dev, 0.0);
            QVERIFY(p[Deviation::Allan].dev > 0);
        }
        // Two values in turn: every even number of them averages alike.
        const NoiseResult r = NoiseAnalysis::compute(toggle, 0, toggle.High());
        for (const StabilityPoint &p : r.points) {
            for (const Deviation d :
                 {Deviation::Allan, Deviation::Modified, Deviation::Hadamard, Deviation::Averages})
                QCOMPARE(p[d].dev == 0, p.m % 2 == 0);
            QCOMPARE(p.alpha == kNoNoise, p.m % 2 == 0);
        }
        QCOMPARE(r.minimum, 1);
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
        for (const StabilityPoint &p : r.points) {
            if (p.m != 1 && p.m != 4 && p.m != 16 && p.m != 64)
                continue;
            const double expected = 2e-6 / std::sqrt(double(p.m));
            const Estimate &e = p[Deviation::Allan];
            const Interval &b = e.bounds[int(BoundModel::White)];
            QVERIFY2(within(b, expected),
                     qPrintable(QString("m=%1: %2 %3").arg(p.m).arg(b.lower).arg(b.upper)));
            QVERIFY(b.lower < e.dev && e.dev < b.upper);
            QCOMPARE(e.terms, 40000 - 2 * p.m + 1);
            QCOMPARE(p.alpha, kWhite);
        }
        QVERIFY(std::fabs(r.figures.sd / 2e-6 - 1) < 0.02);
        // Neighbour differences of white noise carry its whole deviation.
        QVERIFY(std::fabs(r.figures.diffNoise / r.figures.sd - 1) < 0.02);
        QVERIFY(std::fabs(r.figures.noiseFreeDigits - std::log10(10 / (6.6 * r.figures.sd))) <
                1e-12);
        QVERIFY(std::fabs(r.figures.sdPpm - 0.2) < 0.005);
    }

    // A 1-sigma interval holds the true deviation about two times in three, for each
    // deviation: much more and it is too wide, much less and the degrees of freedom are wrong.
    void intervalCoverage()
    {
        int inside[kDeviations] = {}, total = 0;
        for (quint64 seed = 1; seed <= 60; ++seed) {
            BigAry buf(3000);
            fill(buf, series("white", 2000, seed));
            for (const StabilityPoint &p : NoiseAnalysis::compute(buf, 0, buf.High()).points) {
                const double m = double(p.m);
                // The modified variance of white noise: (m^2 + 1) / (2 m^3) of the readings'.
                const double truth[kDeviations] = {
                    2e-6 / std::sqrt(m), 2e-6 * std::sqrt((m * m + 1) / (2 * m * m * m)),
                    2e-6 / std::sqrt(m), 2e-6 / std::sqrt(m), 2e-6 / std::sqrt(m)};
                for (int d = 0; d < kDeviations; ++d)
                    inside[d] += within(p.est[d].bounds[int(BoundModel::Identified)], truth[d]);
                ++total;
            }
        }
        QCOMPARE(total, 60 * 9);
        for (int d = 0; d < kDeviations; ++d)
            QVERIFY2(inside[d] > 0.6 * total && inside[d] < 0.76 * total,
                     qPrintable(QString("%1: %2 of %3")
                                    .arg(shortName(Deviation(d)))
                                    .arg(inside[d])
                                    .arg(total)));
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
        for (const StabilityPoint &p : r.points)
            QVERIFY(std::fabs(p[Deviation::Allan].dev / (3e-7 * double(p.m) / std::sqrt(2.0)) - 1) <
                    1e-6);

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
        QVERIFY(!r.tooFew() && !r.points.empty());
        for (const StabilityPoint &p : r.points) {
            for (const Deviation d : kAll) {
                QCOMPARE(p[d].dev, 0.0);
                QCOMPARE(p[d].bounds[0].upper, 0.0);
            }
            QCOMPARE(p.alpha, kNoNoise);
        }
        QCOMPARE(r.minimum, 0);
        QCOMPARE(r.figures.sd, 0.0);
        QCOMPARE(r.figures.pp, 0.0);
        QCOMPARE(r.figures.diffNoise, 0.0);
        QCOMPARE(r.drift.perHour, 0.0);
        QCOMPARE(r.figures.mean, 1.2345);
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

    // Fewer readings than a deviation needs still give what they can.
    void fewReadings_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<qint64>("valid");
        QTest::addColumn<double>("mean");
        // Records: 1, empty, 2, 3, empty, 5, 6.
        QTest::newRow("one") << 0 << 1 << qint64(1) << 1.0;
        QTest::newRow("two") << 0 << 2 << qint64(2) << 1.5;
        QTest::newRow("three") << 0 << 3 << qint64(3) << 2.0;
        QTest::newRow("four, reversed") << 5 << 0 << qint64(4) << 2.75;
        QTest::newRow("beyond the end") << 6 << 99 << qint64(1) << 6.0;
        QTest::newRow("only empty") << 1 << 1 << qint64(0) << 0.0;
    }
    void fewReadings()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(qint64, valid);
        QFETCH(double, mean);
        BigAry buf(100);
        const long double v[] = {1, sentinel::kEmptyReading, 2, 3, sentinel::kEmptyReading, 5, 6};
        for (int i = 0; i < 7; ++i)
            append(buf, v[i], kStart + i / 86400.0);
        const NoiseResult r = NoiseAnalysis::compute(buf, from, to);
        QCOMPARE(r.valid, valid);
        QCOMPARE(r.tooFew(), valid < 4);
        QCOMPARE(r.points.empty(), valid < 4);
        QCOMPARE(r.empty(), valid == 0);
        if (valid == 0)
            return;
        QCOMPARE(r.figures.mean, mean);
        QCOMPARE(std::isnan(r.figures.sd), valid < 2);
        QCOMPARE(r.drift.valid, valid >= 2);
        if (r.drift.valid)
            QCOMPARE(std::isnan(r.drift.stdErrPerHour), valid < 3);
        if (valid == 2)
            QVERIFY(std::fabs(r.drift.perSecond - 1.0 / 2) < 1e-6); // 1 to 2 in two seconds
        QVERIFY(NoiseAnalysis::compute(BigAry(10), 0, 0).empty());
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
        for (size_t i = 0; i < a.points.size(); ++i) {
            for (const Deviation d : kAll)
                QCOMPARE(a.points[i][d].dev, b.points[i][d].dev);
            QCOMPARE(a.points[i].alpha, b.points[i].alpha);
        }
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

    // A cancelled job stops at its next step, from another thread too.
    void cancel()
    {
        BigAry buf(100000);
        fill(buf, series("white", 60000));
        NoiseAnalysis job(buf, 0, buf.High());
        while (!job.scanned())
            job.step();
        job.step(1000);
        job.cancel();
        QVERIFY(!job.step());
        QVERIFY(job.cancelled() && !job.finished());
    }

    void table_data()
    {
        QTest::addColumn<char>("decSep");
        QTest::addColumn<int>("model");
        QTest::newRow("point, identified") << '.' << int(BoundModel::Identified);
        QTest::newRow("comma, white") << ',' << int(BoundModel::White);
    }
    void table()
    {
        QFETCH(char, decSep);
        QFETCH(int, model);
        BigAry buf(1000);
        fill(buf, series("white", 600), 0.125);
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        const QList<QByteArray> lines = clipboardTable(r, BoundModel(model), decSep).split('\n');
        QCOMPARE(lines.size(), qsizetype(r.points.size()) + 2); // heading, rows, empty tail
        const QList<QByteArray> head = lines[0].chopped(1).split('\t');
        QCOMPARE(head.size(), 6 + 4 * kDeviations);
        QCOMPARE(head.mid(0, 6),
                 (QList<QByteArray>{"tau (s)", "m", "terms", "noise", "alpha", "identified by"}));
        QCOMPARE(head[6], QByteArray("ADEV (V=)"));
        QCOMPARE(head[9], model == int(BoundModel::White)
                              ? QByteArray("ADEV edf (white noise)")
                              : QByteArray("ADEV edf (identified noise)"));
        QCOMPARE(head[22], QByteArray("SD (V=)"));
        const QList<QByteArray> f = lines[3].chopped(1).split('\t');
        QCOMPARE(f.size(), head.size());
        QCOMPARE(f[0], decSep == ',' ? QByteArray("0,5") : QByteArray("0.5"));
        QCOMPARE(f[1], QByteArray("4"));
        QCOMPARE(f[2], QByteArray::number(600 - 8 + 1));
        QCOMPARE(f[3], QByteArray("white"));
        QCOMPARE(f[4], QByteArray("0"));
        QCOMPARE(f[5], QByteArray("lag-1 autocorrelation"));
        const auto number = [&](int i) {
            return *numtext::parseDouble(QString::fromLatin1(f[i]).replace(',', '.'));
        };
        const StabilityPoint &p = r.points[2];
        for (int d = 0; d < kDeviations; ++d) {
            const Estimate &e = p.est[d];
            QVERIFY(std::fabs(number(6 + 4 * d) / e.dev - 1) < 1e-14);
            QVERIFY(std::fabs(number(7 + 4 * d) / e.bounds[model].lower - 1) < 1e-14);
            QVERIFY(std::fabs(number(8 + 4 * d) / e.bounds[model].upper - 1) < 1e-14);
            QVERIFY(std::fabs(number(9 + 4 * d) / e.edf[model] - 1) < 1e-14);
        }
        QCOMPARE(csvTable(r, BoundModel(model), decSep).count(';'),
                 (head.size() - 1) * qsizetype(r.points.size() + 1));
    }
};

QTEST_GUILESS_MAIN(TestNoiseAnalysis)
#include "test_noiseanalysis.moc"
