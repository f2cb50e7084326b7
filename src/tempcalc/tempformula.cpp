// SPDX-License-Identifier: GPL-3.0-or-later
#include "tempformula.h"

#include <cmath>
#include <limits>

namespace {

// The equation itself, inlined into the search: a call per candidate, with five extended
// values copied onto the stack each time, would cost more than the arithmetic.
inline long double cvdEquation(long double t, long double R0, long double A, long double B,
                               long double C)
{
    const long double f = A * t + 1 + t * t * B;
    if (t >= 0)
        return R0 * f;
    return R0 * (f + (t - 100) * C * t * t * t);
}

inline bool anyZero(long double R0, long double A, long double B, long double C)
{
    return A == 0 || B == 0 || C == 0 || R0 == 0;
}

} // namespace

AbcConstants AbcFromAlphaBetaDelta(long double alpha, long double beta, long double delta)
{
    return {alpha + alpha * delta / 100, -(alpha * delta / 10000), -(alpha * beta / 100000000)};
}

long double CvdResistance(long double t, long double R0, long double A, long double B,
                          long double C)
{
    return anyZero(R0, A, B, C) ? -1 : cvdEquation(t, R0, A, B, C);
}

std::optional<long double> CvdSearchStage(long double centre, long double halfWidth,
                                          long double stepsPerDegree, long double Rt,
                                          long double R0, long double A, long double B,
                                          long double C, CvdSearchCount &count)
{
    const long double loF = std::trunc((centre - halfWidth) * stepsPerDegree);
    const long double hiF = std::trunc((centre + halfWidth) * stepsPerDegree);
    constexpr long double kLimit = std::numeric_limits<qint64>::max() / 4;
    if (!(std::fabs(loF) < kLimit && std::fabs(hiF) < kLimit))
        return std::nullopt;
    const qint64 lo = static_cast<qint64>(loF);
    const qint64 hi = static_cast<qint64>(hiF);
    // A range the count cannot hold is refused before it is walked.
    if (hi >= lo && hi - lo + 1 > std::numeric_limits<qint32>::max() - qint64(count.EvalCount)) {
        count.overflow = true;
        return std::nullopt;
    }
    const bool zero = anyZero(R0, A, B, C);
    long double best = R0;
    std::optional<long double> answer;
    for (qint64 k = lo; k <= hi; ++k) {
        const long double t = static_cast<long double>(k) / stepsPerDegree;
        const long double d = std::fabs((zero ? -1 : cvdEquation(t, R0, A, B, C)) - Rt);
        ++count.EvalCount;
        if (d < best) {
            best = d;
            answer = t;
        }
    }
    return answer;
}

CvdResult CvdTemperature(long double Rt, long double R0, long double A, long double B,
                         long double C)
{
    CvdResult r;
    if (anyZero(R0, A, B, C) || Rt == 0)
        return r;
    if (Rt >= R0) {
        const long double radicand = A * A - 4 * B * (1 - Rt / R0);
        const long double t = (std::sqrt(radicand) - A) / (2 * B);
        // A negative radicand (a resistance far above the probe's range) has no real root.
        if (!(radicand >= 0) || !std::isfinite(t)) {
            r.calculated = false;
            return r;
        }
        r.Temperature = t == 0 ? 0 : t; // never "-0.000000" at R0
        return r;
    }

    struct Stage
    {
        long double halfWidth, stepsPerDegree;
    };
    static constexpr Stage kStages[] = {
        {100.0L, 0.1L},   {10.0L, 1.0L},      {1.0L, 10.0L},        {0.1L, 100.0L},
        {0.01L, 1000.0L}, {0.001L, 10000.0L}, {0.0001L, 100000.0L}, {0.00001L, 1000000.0L}};
    CvdSearchCount count;
    long double centre = -100;
    for (const Stage &s : kStages) {
        const auto answer =
            CvdSearchStage(centre, s.halfWidth, s.stepsPerDegree, Rt, R0, A, B, C, count);
        r.EvalCount = count.EvalCount;
        if (!answer) {
            r.calculated = false;
            return r;
        }
        centre = *answer;
    }
    if (centre >= -211)
        r.Temperature = centre;
    return r;
}

ThermistorResult ThermistorTemperature(long double Rt, long double A0, long double A1,
                                       long double A2, long double A3)
{
    ThermistorResult r;
    if (!(Rt > 0) || !std::isfinite(Rt))
        return r;
    const long double L = std::log(Rt);
    const long double denominator = A0 + A1 * L + A2 * L * L + A3 * L * L * L;
    const long double kelvin = 1 / denominator;
    if (denominator == 0 || !std::isfinite(kelvin))
        return r;
    r.TKelvin = kelvin;
    r.Temperature = kelvin - 273.15L;
    r.calculated = true;
    return r;
}

long double ThermistorResistance(long double T, long double B0, long double B1, long double B2,
                                 long double B3)
{
    if (!(T > 0))
        return -1;
    const long double r = std::exp(B0 + B1 / T + B2 / (T * T) + B3 / (T * T * T));
    return std::isfinite(r) ? r : -1;
}
