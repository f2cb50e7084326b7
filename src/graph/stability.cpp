// SPDX-License-Identifier: GPL-3.0-or-later
#include "stability.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <math.h>

namespace noise {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// Fraction of a normal distribution below -1 sigma.
constexpr double kOneSigmaTail = 0.15865525393145705;

// Regularised lower incomplete gamma function P(a, x).
double gammaP(double a, double x)
{
    if (x <= 0)
        return 0;
    // lgamma would set the global signgam: the factors are computed on several threads.
    int sign = 0;
    const double front = std::exp(-x + a * std::log(x) - ::lgamma_r(a, &sign));
    if (x < a + 1) {
        double term = 1 / a, sum = term;
        for (double ap = a + 1; ap < a + 100000; ap += 1) {
            term *= x / ap;
            sum += term;
            if (std::fabs(term) < std::fabs(sum) * 1e-16)
                break;
        }
        return std::min(1.0, sum * front);
    }
    // Continued fraction for the upper part (modified Lentz).
    constexpr double tiny = 1e-300;
    double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
    for (int i = 1; i < 100000; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1 / d;
        const double del = d * c;
        h *= del;
        if (std::fabs(del - 1) < 1e-16)
            break;
    }
    return std::max(0.0, 1 - front * h);
}

double normalQuantile(double p)
{
    double lo = -40, hi = 40;
    for (int i = 0; i < 200 && hi - lo > 1e-15; ++i) {
        const double mid = (lo + hi) / 2;
        (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

// Greenhall and Riley's basis functions: the generalised autocovariance of a continuous
// power-law process (its sign per alpha cancels in every ratio below) ...
double sw(double t, int alpha)
{
    t = std::fabs(t);
    const double lg = t > 0 ? std::log(t) : 0;
    switch (alpha) {
    case 2:
        return -t;
    case 1:
        return t * t * lg;
    case 0:
        return t * t * t;
    case -1:
        return -t * t * t * t * lg;
    case -2:
        return -std::pow(t, 5);
    case -3:
        return std::pow(t, 6) * lg;
    default:
        return std::pow(t, 7);
    }
}

// ... of the phase averaged over 1/F (F infinite: not averaged) ...
double sx(double t, double F, int alpha)
{
    if (std::isinf(F))
        return sw(t, alpha + 2);
    return F * F * (2 * sw(t, alpha) - sw(t - 1 / F, alpha) - sw(t + 1 / F, alpha));
}

constexpr double kBinomial[4][7] = {
    {1, 0, 0, 0, 0, 0, 0}, {1, 2, 1, 0, 0, 0, 0}, {1, 4, 6, 4, 1, 0, 0}, {1, 6, 15, 20, 15, 6, 1}};

// ... and of its d-th difference.
double sz(double t, double F, int alpha, int d)
{
    double sum = 0;
    for (int k = -d; k <= d; ++k)
        sum += ((k & 1) ? -1 : 1) * kBinomial[d][d + k] * sx(t + k, F, alpha);
    return sum;
}

// The sum of squared autocovariances over lags j < J in strides of 1/S, written as
// a - b / M for an estimator of M terms.
struct SumParts
{
    double a = 0, b = 0;
    double at(double M) const { return a - b / M; }
};

SumParts basicSum(double J, double S, double F, int alpha, int d)
{
    const double last = std::pow(sz(J / S, F, alpha, d), 2);
    SumParts p{std::pow(sz(0, F, alpha, d), 2) + last, J * last};
    for (int j = 1; j < int(J); ++j) {
        const double v = std::pow(sz(j / S, F, alpha, d), 2);
        p.a += 2 * v;
        p.b += 2 * j * v;
    }
    return p;
}

struct Coefficients
{
    double a0, a1;
};

constexpr double kJmax = 100;

// Greenhall and Riley's tables, rows alpha = 2 .. -4, columns d = 1 .. 3; zeros where the
// variance does not converge.
constexpr Coefficients kModifiedTable[7][3] = {
    {{2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}, {22.0 / 25, 2.0 / 3}},
    {{0.840, 0.345}, {0.997, 0.616}, {1.141, 0.843}},
    {{1.079, 0.368}, {1.033, 0.607}, {1.184, 0.848}},
    {{0, 0}, {1.048, 0.534}, {1.180, 0.816}},
    {{0, 0}, {1.302, 0.535}, {1.175, 0.777}},
    {{0, 0}, {0, 0}, {1.194, 0.703}},
    {{0, 0}, {0, 0}, {1.489, 0.702}}};
constexpr Coefficients kUnmodifiedTable[7][3] = {
    {{1.5, 0.5}, {35.0 / 18, 1}, {231.0 / 100, 1.5}},
    {{78.6, 25.2}, {790, 410}, {9950, 6520}},
    {{2.0 / 3, 1.0 / 6}, {2.0 / 3, 1.0 / 3}, {7.0 / 9, 0.5}},
    {{0, 0}, {0.852, 0.375}, {0.997, 0.617}},
    {{0, 0}, {1.079, 0.368}, {1.033, 0.607}},
    {{0, 0}, {0, 0}, {1.053, 0.553}},
    {{0, 0}, {0, 0}, {1.302, 0.535}}};
// Flicker phase noise, unmodified: sz(0) grows as b0 + b1 ln m.
constexpr Coefficients kFlickerPhaseTable[3] = {{6, 4}, {15.23, 12}, {47.8, 40}};

// The B1 ratio expected for `n` averages under a tau^mu Allan variance.
double expectedB1(double n, int mu)
{
    if (mu == 0)
        return n * std::log(n) / (2 * (n - 1) * std::log(2.0));
    return n * (1 - std::pow(n, mu)) / (2 * (n - 1) * (1 - std::pow(2.0, mu)));
}

// The ratio of the modified to the Allan variance expected for white and flicker phase
// noise at factor m, the bandwidth taken as half the reading rate.
double expectedRn(int alpha, double m)
{
    if (alpha == kWhitePhase)
        return 1 / m;
    return 3 * std::log(256.0 / 27) / (2 * (1.038 + 3 * std::log(M_PI * m)));
}

} // namespace

QString shortName(Deviation d)
{
    static const char *const names[] = {"ADEV", "MDEV", "HDEV", "TOTDEV", "SD"};
    return QString::fromLatin1(names[int(d)]);
}

QString longName(Deviation d)
{
    static const char *const names[] = {"overlapping Allan", "modified Allan",
                                        "overlapping Hadamard", "total",
                                        "standard deviation of the averages"};
    return QString::fromLatin1(names[int(d)]);
}

QString noiseName(int alpha)
{
    static const char *const names[] = {"white phase", "flicker phase", "white",     "flicker",
                                        "random walk", "flicker walk",  "random run"};
    const int i = kWhitePhase - alpha;
    return i >= 0 && i < 7 ? QString::fromLatin1(names[i]) : QStringLiteral("-");
}

double slope(Deviation d, int alpha)
{
    if (alpha == kNoNoise || d == Deviation::Averages)
        return kNaN;
    if (d == Deviation::Modified && alpha == kWhitePhase)
        return -1.5;
    if (alpha >= kFlickerPhase)
        return -1;
    // The Allan family stops at a random walk; the Hadamard variance goes two further.
    const int floor = d == Deviation::Hadamard ? kRandomRun : kRandomWalk;
    return (-std::max(alpha, floor) - 1) / 2.0;
}

GreenhallEdf::GreenhallEdf(int alpha, int d, qint64 m, bool overlapping, bool modified)
    : m_alpha(alpha), m_d(d), m_m(double(m)), m_F(modified ? 1 : double(m)),
      m_S(overlapping ? double(m) : 1),
      m_valid(m >= 1 && d >= 1 && d <= 3 && alpha <= 2 && alpha >= -4 && alpha + 2 * d > 1)
{
}

double GreenhallEdf::operator()(qint64 N) const
{
    const double L = m_m / m_F + m_m * m_d; // filter length in phase samples
    if (!m_valid || double(N) < L)
        return 0;
    const int alpha = m_alpha, d = m_d;
    const double S = m_S, md = m_m;
    const double M = 1 + std::floor(S * (double(N) - L) / md); // terms of the estimator
    const double J = std::min(M, (d + 1) * S);
    const double r = M / S;
    const int row = 2 - alpha, col = d - 1;
    // The exact sum; past (d + 1) S terms its lags no longer depend on M.
    const auto exact = [&](double F, double norm) {
        if (J < (d + 1) * S)
            return basicSum(J, S, F, alpha, d).at(M) / (M * norm);
        if (!m_haveLong) {
            const SumParts p = basicSum(J, S, F, alpha, d);
            m_longA = p.a;
            m_longB = p.b;
            m_norm = norm;
            m_haveLong = true;
        }
        return SumParts{m_longA, m_longB}.at(M) / (M * m_norm);
    };
    double inverse = 0;
    if (m_F == 1) {
        const double norm = std::pow(sz(0, 1, alpha, d), 2);
        if (J <= kJmax) {
            inverse = exact(1, norm);
        } else if (r >= d + 1) {
            const Coefficients c = kModifiedTable[row][col];
            inverse = (c.a0 - c.a1 / r) / r;
        } else {
            inverse = basicSum(kJmax, kJmax / r, 1, alpha, d).at(kJmax) / (kJmax * norm);
        }
    } else if (alpha <= 0) {
        if (J <= kJmax) {
            const double F = md * (d + 1) <= kJmax ? md : kInf;
            inverse = exact(F, std::pow(sz(0, F, alpha, d), 2));
        } else if (r >= d + 1) {
            const Coefficients c = kUnmodifiedTable[row][col];
            inverse = (c.a0 - c.a1 / r) / r;
        } else {
            inverse = basicSum(kJmax, kJmax / r, kInf, alpha, d).at(kJmax) /
                      (kJmax * std::pow(sz(0, kInf, alpha, d), 2));
        }
    } else if (alpha == kFlickerPhase) {
        const Coefficients b = kFlickerPhaseTable[col];
        const double norm = std::pow(b.a0 + b.a1 * std::log(md), 2);
        if (J <= kJmax) {
            inverse = exact(md, std::pow(sz(0, md, alpha, d), 2));
        } else if (r >= d + 1) {
            const Coefficients c = kUnmodifiedTable[row][col];
            inverse = (c.a0 - c.a1 / r) / (r * norm);
        } else {
            inverse = basicSum(kJmax, kJmax / r, kJmax / r, alpha, d).at(kJmax) / (kJmax * norm);
        }
    } else {
        // White phase noise: the differences are correlated over d strides only.
        const double K = std::ceil(r);
        if (K <= d) {
            double sum = 0;
            for (int k = 1; k < int(K); ++k)
                sum += (1 - k / r) * std::pow(kBinomial[d][d - k], 2);
            inverse = (1 + 2 * sum / std::pow(kBinomial[d][d], 2)) / M;
        } else {
            const Coefficients c = kUnmodifiedTable[row][col];
            inverse = (c.a0 - c.a1 / r) / M;
        }
    }
    return inverse > 0 ? 1 / inverse : 0;
}

double greenhallEdf(int alpha, int d, qint64 m, qint64 N, bool overlapping, bool modified)
{
    return GreenhallEdf(alpha, d, m, overlapping, modified)(N);
}

double totalEdf(int alpha, qint64 m, qint64 readings)
{
    if (m < 1 || readings < 2 * m)
        return 0;
    const double md = double(m), n = double(readings);
    // Phase noise: the handbook's simple formulas for the Allan variance, over n + 1 phase
    // points.
    if (alpha == kWhitePhase)
        return (n + 2) * (n + 1 - 2 * md) / (2 * (n + 1 - md));
    if (alpha == kFlickerPhase)
        return std::exp(std::sqrt(std::log(n / (2 * md)) * std::log((2 * md + 1) * n / 4)));
    // edf = b T / tau - c for white, flicker and random-walk noise.
    static constexpr Coefficients table[3] = {{1.50, 0}, {1.17, 0.22}, {0.93, 0.36}};
    const Coefficients c = table[std::min(-alpha, 2)];
    return std::max(c.a0 * n / md - c.a1, 0.0);
}

double chiSquaredQuantile(double p, double k)
{
    if (!(k > 0) || !(p > 0) || !(p < 1))
        return kNaN;
    if (k > 2000) {
        // Wilson-Hilferty: far below the interval's own uncertainty at these degrees.
        const double h = 2 / (9 * k);
        const double c = 1 - h + normalQuantile(p) * std::sqrt(h);
        return k * c * c * c;
    }
    const double a = k / 2;
    double lo = 0, hi = k + 10 * std::sqrt(2 * k) + 20;
    while (gammaP(a, hi / 2) < p)
        hi *= 2;
    for (int i = 0; i < 200 && hi - lo > 1e-14 * hi; ++i) {
        const double mid = (lo + hi) / 2;
        (gammaP(a, mid / 2) < p ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

Interval interval(double deviation, double edf)
{
    if (!(edf > 0) || !std::isfinite(deviation))
        return {kNaN, kNaN};
    return {deviation * std::sqrt(edf / chiSquaredQuantile(1 - kOneSigmaTail, edf)),
            deviation * std::sqrt(edf / chiSquaredQuantile(kOneSigmaTail, edf))};
}

int alphaFromAutocorrelation(const double *r1, int dmax)
{
    const int lowest = dmax >= 3 ? kRandomRun : kRandomWalk;
    for (int d = 0; d <= dmax; ++d) {
        // A lag-1 correlation of -1 or below (or none: a constant) is white phase.
        const double delta = r1[d] > -1 ? r1[d] / (1 + r1[d]) : -kInf;
        if (delta < 0.25 || d == dmax) {
            const double alpha = -std::round(2 * std::max(delta, -2.0)) - 2 * d;
            return std::clamp(int(alpha), lowest, kWhitePhase);
        }
    }
    return kWhite;
}

int alphaFromB1(double b1, qint64 averages)
{
    const double n = double(std::max<qint64>(averages, 2));
    // mu = -2 (phase noise), -1 (white), 0 (flicker), 1 (random walk); the bands meet at
    // the geometric means of neighbouring expectations.
    int mu = -2;
    while (mu < 1 && b1 > std::sqrt(expectedB1(n, mu) * expectedB1(n, mu + 1)))
        ++mu;
    return mu > -2 ? -mu - 1 : kWhitePhase;
}

int phaseNoiseFromRn(double rn, qint64 m)
{
    const double md = double(m);
    const double edge = std::sqrt(expectedRn(kWhitePhase, md) * expectedRn(kFlickerPhase, md));
    return rn < edge ? kWhitePhase : kFlickerPhase;
}

} // namespace noise
