// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/bigary.h"
#include "graph/stability.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <limits>
#include <vector>

// Noise and drift of a stretch of the buffer: the overlapping Allan, modified Allan,
// overlapping Hadamard and total deviations and the standard deviation of the averages over
// the averaging time, the dominant noise at each, the straight-line drift and the noise
// figures a metrologist quotes.
namespace noise {

// Averaging factors: 1, 2, 4, 8, ... or 1, 2, 5, 10, 20, 50, ...
enum class TauSteps { Octave, OneTwoFive };

// One deviation at one averaging time.
struct Estimate
{
    double dev = std::numeric_limits<double>::quiet_NaN(); // NaN: not computed, no term
    qint64 terms = 0;
    double edf[kBoundModels] = {0, 0};
    Interval bounds[kBoundModels];
};

// One averaging time of the plot and table.
struct StabilityPoint
{
    double tau = 0;       // m * tau0, seconds
    qint64 m = 0;         // averaging factor
    qint64 averages = 0;  // whole m-averages the runs hold
    int alpha = kNoNoise; // dominant noise
    bool byRatio = false; // too few averages for the autocorrelation: B1 and R(n)
    Estimate est[kDeviations];

    const Estimate &operator[](Deviation d) const { return est[int(d)]; }
    Estimate &operator[](Deviation d) { return est[int(d)]; }
};

struct DriftFit
{
    bool valid = false;   // needs two distinct times
    double perSecond = 0; // slope, reading's unit per second
    double perHour = 0;
    double perDay = 0;
    double ppmPerHour = 0; // of the mean; NaN for a zero mean
    double ppmPerDay = 0;
    double stdErrPerHour = 0; // standard error of the slope; NaN under three readings
    double stdErrPerDay = 0;
    double residualSd = 0; // standard deviation left after removing the line
};

struct NoiseFigures
{
    double mean = 0;
    double sd = 0;        // sample standard deviation; NaN for one reading
    double pp = 0;        // peak-to-peak
    double diffNoise = 0; // RMS of neighbour differences / sqrt 2: the noise free of drift
    double sdPpm = 0;     // each of the mean; NaN for a zero mean
    double ppPpm = 0;
    double diffNoisePpm = 0;
    double range = 0;           // range of the readings, 0 when unknown
    double noiseFreeDigits = 0; // log10(range / (6.6 sd)); NaN without a range
};

struct NoiseResult
{
    qint64 from = 0, to = -1; // chronological selection as analysed
    qint64 records = 0;       // in the selection
    qint64 valid = 0;
    qint64 skipped = 0; // sentinels and over-range values left out
    qint64 gaps = 0;    // time gaps above 10 tau0; runs = gaps + 1
    qint64 longestRun = 0;
    double tau0 = 0;             // seconds
    bool tau0Assumed = false;    // equal time stamps: 1 s taken
    QString unit;                // primary unit of the last valid reading
    DeviationSet deviations = 0; // computed at every point
    std::vector<StabilityPoint> points;
    int minimum = -1; // index into points of the smallest first computed deviation
    DriftFit drift;
    NoiseFigures figures;

    qint64 runs() const { return valid > 0 ? gaps + 1 : 0; }
    // No valid reading: nothing at all to show.
    bool empty() const { return valid == 0; }
    // Too few readings for a deviation: the figures alone.
    bool tooFew() const { return valid < kMinReadings; }
    static constexpr qint64 kMinReadings = 4;
};

inline constexpr double kGapFactor = 10;

// Averaging factors up to n / 4.
std::vector<qint64> averagingFactors(qint64 n, TauSteps steps);
// log10(range / (6.6 sigma)); NaN when range or sigma give no answer.
double noiseFreeDigits(double range, double sigma);

// The computation in pieces, so a window can run it between events. It reads the buffer
// only in the first stage and keeps its own running sums of the values (8 bytes per
// reading, no copy of the records); after that stage the buffer may change freely and
// the rest may run on another thread.
class NoiseAnalysis
{
public:
    NoiseAnalysis(const BigAry &buffer, qint64 from, qint64 to, TauSteps steps = TauSteps::Octave,
                  DeviationSet deviations = kAllDeviations, bool identify = true);

    // Does about `budget` records' worth of work; true when the result is complete.
    bool step(qint64 budget = kDefaultBudget);
    bool finished() const { return m_stage == Stage::Done; }
    // The buffer has been read: what is left touches only the analysis' own data.
    bool scanned() const { return m_stage != Stage::Scan; }
    // True while the buffer is still being read and records not yet read have been
    // overwritten, cleared or deleted since the start: start again.
    bool bufferMoved() const;
    // From any thread: the next step returns at once, unfinished.
    void cancel() { m_cancel = true; }
    bool cancelled() const { return m_cancel; }
    const NoiseResult &result() const { return m_result; }

    static NoiseResult compute(const BigAry &buffer, qint64 from, qint64 to,
                               TauSteps steps = TauSteps::Octave,
                               DeviationSet deviations = kAllDeviations, bool identify = true);

    static constexpr qint64 kDefaultBudget = 1 << 20;
    // The averaging factors are computed on up to this many threads at once.
    static int threads();

private:
    enum class Stage { Scan, Median, Gaps, Factors, Done };

    void scan(qint64 budget);
    void median();
    void gaps(qint64 budget);
    void factors(qint64 budget);
    qint64 factor(qint64 m, StabilityPoint &p) const;
    void bounds(StabilityPoint &p) const;
    void finish();

    const BigAry &m_buffer;
    TauSteps m_steps;
    bool m_identify;
    std::atomic<bool> m_cancel{false};
    Stage m_stage = Stage::Scan;
    NoiseResult m_result;
    qint64 m_high0 = 0, m_pos0 = 0, m_cnt0 = 0;
    qint64 m_next = 0; // chronological index or array index, per stage
    qint64 m_slot = 0; // of the next record: appends to a full ring shift the indices

    // Running sums S[k] of y = value - first value (S[0] = 0) and the stamp steps in
    // seconds between valid readings (a float holds them to a microsecond up to a minute,
    // well past the stamps' milliseconds); big blocks, so they come with huge pages.
    std::vector<double, RecordAllocator<double>> m_sum;
    std::vector<float, RecordAllocator<float>> m_step;
    qint64 m_stepMin = 0, m_stepMax = 0; // of |step|
    double m_sumMagnitude = 0;           // largest |S|: the scale of the sums' rounding
    long double m_ref = 0;
    double m_firstStamp = 0, m_lastStamp = 0;
    // Moments about the first reading and its time, wide enough for ten million terms;
    // k counts readings, d is the step from the previous one.
    struct Moments
    {
        long double sy = 0, syy = 0, sty = 0, sdd = 0, prevY = 0, maxY = 0, minY = 0;
        double st = 0, stt = 0, sky = 0; // times need no more

    } m_mo;
    std::vector<qint64> m_runStart; // array index where each run begins, plus the end
    std::vector<qint64> m_factors;
    size_t m_factor = 0;                  // the next to compute
    std::vector<StabilityPoint> m_points; // by factor, filled in any order
};

// The table with a heading line: tau, m, terms (of the Allan deviation), noise, alpha, how
// the noise was identified, then each computed deviation with its bounds and degrees of
// freedom under `model`. Fields split by sep, lines ending in CR LF, numbers in the
// data-file form with decSep.
QByteArray tableText(const NoiseResult &r, BoundModel model, char sep, char decSep);
// For the clipboard: tab-separated.
inline QByteArray clipboardTable(const NoiseResult &r, BoundModel model, char decSep)
{
    return tableText(r, model, '\t', decSep);
}
// For a file: semicolon-separated.
inline QByteArray csvTable(const NoiseResult &r, BoundModel model, char decSep)
{
    return tableText(r, model, ';', decSep);
}

} // namespace noise
