// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

// The frequency-stability arithmetic that does not touch the readings: names and slopes of
// the deviations and noise types, degrees of freedom, chi-squared quantiles and the noise
// identification rules. The readings are treated as the handbooks treat fractional
// frequency, with tau0 the reading interval.
namespace noise {

enum class Deviation { Allan, Modified, Hadamard, Total, Averages };
inline constexpr int kDeviations = 5;
using DeviationSet = unsigned;
inline constexpr DeviationSet bit(Deviation d)
{
    return 1u << unsigned(d);
}
inline constexpr DeviationSet kAllDeviations = (1u << kDeviations) - 1;

// Where the degrees of freedom of the 68.3 % interval come from.
enum class BoundModel { Identified, White };
inline constexpr int kBoundModels = 2;

// Power-law noise by the exponent alpha of its spectrum S_y(f) ~ f^alpha.
inline constexpr int kWhitePhase = 2, kFlickerPhase = 1, kWhite = 0, kFlicker = -1,
                     kRandomWalk = -2, kFlickerWalk = -3, kRandomRun = -4;
inline constexpr int kNoNoise = 99; // nothing to identify: a constant

// "ADEV", "MDEV", "HDEV", "TOTDEV", "SD".
QString shortName(Deviation d);
// "overlapping Allan", "modified Allan", ...
QString longName(Deviation d);
// "white", "flicker", "random walk", "white phase", ...; "-" for kNoNoise.
QString noiseName(int alpha);
// Exponent of tau that deviation d follows under noise alpha; NaN where it has none.
double slope(Deviation d, int alpha);

// Greenhall's equivalent degrees of freedom of a variance built on phase differences of
// order d (2: Allan, 3: Hadamard) at factor m over N phase points, for noise alpha;
// 0 when the record is too short for one term.
double greenhallEdf(int alpha, int d, qint64 m, qint64 N, bool overlapping, bool modified);
// The same for records of many lengths: the sums that do not depend on the length are
// kept from one call to the next.
class GreenhallEdf
{
public:
    GreenhallEdf(int alpha, int d, qint64 m, bool overlapping, bool modified);
    double operator()(qint64 N) const;

private:
    int m_alpha, m_d;
    double m_m, m_F, m_S; // averaging, filter and stride factors
    bool m_valid;
    mutable bool m_haveLong = false;
    mutable double m_longA = 0, m_longB = 0, m_norm = 0;
};
// Degrees of freedom of the total variance over `readings` at factor m: the handbook's
// table for white, flicker and random-walk noise, its simple Allan formulas for phase noise.
double totalEdf(int alpha, qint64 m, qint64 readings);

// The chi-squared value below which a fraction p of the distribution with k degrees lies.
double chiSquaredQuantile(double p, double k);
// The 68.3 % interval of a deviation with `edf` degrees of freedom.
struct Interval
{
    double lower = 0, upper = 0;
};
Interval interval(double deviation, double edf);

// Lag-1 autocorrelation identification: r1[k] is the lag-1 autocorrelation of the averages
// differenced k times (k <= dmax). Returns alpha.
int alphaFromAutocorrelation(const double *r1, int dmax);
// For records too short for that: the ratio b1 of the standard variance of `averages`
// m-averages to the Allan variance gives alpha from white to random walk, or says phase
// noise (kWhitePhase) ...
int alphaFromB1(double b1, qint64 averages);
// ... which the ratio rn of the modified to the Allan variance at factor m tells apart.
int phaseNoiseFromRn(double rn, qint64 m);
inline int alphaFromRatios(double b1, double rn, qint64 averages, qint64 m)
{
    const int alpha = alphaFromB1(b1, averages);
    return alpha == kWhitePhase ? phaseNoiseFromRn(rn, m) : alpha;
}
// Averages below which the lag-1 autocorrelation says too little.
inline constexpr qint64 kMinAutocorrelationPoints = 30;

} // namespace noise
