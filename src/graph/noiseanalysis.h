// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/bigary.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <vector>

// Noise and drift of a stretch of the buffer: the overlapping Allan deviation over the
// averaging time, the straight-line drift and the noise figures a metrologist quotes.
namespace noise {

// Averaging factors: 1, 2, 4, 8, ... or 1, 2, 5, 10, 20, 50, ...
enum class TauSteps { Octave, OneTwoFive };

// One averaging time of the deviation plot.
struct AllanPoint
{
    double tau = 0;   // m * tau0, seconds
    qint64 m = 0;     // averaging factor
    double adev = 0;  // overlapping Allan deviation, reading's unit
    double lower = 0; // 1-sigma interval from the white-noise degrees of freedom
    double upper = 0;
    qint64 terms = 0; // overlapping pairs summed, over all runs
    double edf = 0;
};

struct DriftFit
{
    bool valid = false;   // needs two distinct times
    double perSecond = 0; // slope, reading's unit per second
    double perHour = 0;
    double perDay = 0;
    double ppmPerHour = 0; // of the mean; NaN for a zero mean
    double ppmPerDay = 0;
    double stdErrPerHour = 0; // standard error of the slope
    double stdErrPerDay = 0;
    double residualSd = 0; // standard deviation left after removing the line
};

struct NoiseFigures
{
    double mean = 0;
    double sd = 0;        // sample standard deviation
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
    double tau0 = 0;          // seconds
    bool tau0Assumed = false; // equal time stamps: 1 s taken
    bool tooFew = true;       // fewer than 3 valid readings
    QString unit;             // primary unit of the last valid reading
    std::vector<AllanPoint> points;
    int minimum = -1; // index into points of the smallest deviation
    DriftFit drift;
    NoiseFigures figures;

    qint64 runs() const { return valid > 0 ? gaps + 1 : 0; }
};

inline constexpr qint64 kMinReadings = 3;
inline constexpr double kGapFactor = 10;

// Averaging factors up to n / 4.
std::vector<qint64> averagingFactors(qint64 n, TauSteps steps);

// Degrees of freedom of the overlapping deviation at factor m over one run of n readings,
// white noise assumed; 0 when the run has no term.
double whiteNoiseEdf(qint64 n, qint64 m);
// The chi-squared value below which a fraction p of the distribution with k degrees lies.
double chiSquaredQuantile(double p, double k);
// log10(range / (6.6 sigma)); NaN when range or sigma give no answer.
double noiseFreeDigits(double range, double sigma);

// The computation in pieces, so a window can run it between events. It reads the buffer
// only in the first stage and keeps its own running sums of the values (8 bytes per
// reading, no copy of the records); after that stage the buffer may change freely.
class NoiseAnalysis
{
public:
    NoiseAnalysis(const BigAry &buffer, qint64 from, qint64 to, TauSteps steps = TauSteps::Octave);

    // Does about `budget` records' worth of work; true when the result is complete.
    bool step(qint64 budget = kDefaultBudget);
    bool finished() const { return m_stage == Stage::Done; }
    // True while the buffer is still being read and records not yet read have been
    // overwritten, cleared or deleted since the start: start again.
    bool bufferMoved() const;
    const NoiseResult &result() const { return m_result; }

    static NoiseResult compute(const BigAry &buffer, qint64 from, qint64 to,
                               TauSteps steps = TauSteps::Octave);

    static constexpr qint64 kDefaultBudget = 1 << 20;

private:
    enum class Stage { Scan, Median, Gaps, Allan, Done };

    void scan(qint64 budget);
    void median();
    void gaps(qint64 budget);
    void allan(qint64 budget);
    void finish();

    const BigAry &m_buffer;
    TauSteps m_steps;
    Stage m_stage = Stage::Scan;
    NoiseResult m_result;
    qint64 m_high0 = 0, m_pos0 = 0, m_cnt0 = 0;
    qint64 m_next = 0; // chronological index or array index, per stage
    qint64 m_slot = 0; // of the next record: appends to a full ring shift the indices

    // Running sums S[k] of y = value - first value (S[0] = 0) and the stamp steps in
    // microseconds between valid readings; big blocks, so they come with huge pages.
    std::vector<double, RecordAllocator<double>> m_sum;
    std::vector<qint64, RecordAllocator<qint64>> m_step;
    qint64 m_stepMin = 0, m_stepMax = 0; // of |step|
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
    size_t m_factor = 0;
};

// The table (tau, m, deviation, lower, upper, terms) with a heading line, fields split by
// sep, lines ending in CR LF, numbers in the data-file form with decSep.
QByteArray tableText(const NoiseResult &r, char sep, char decSep);
// For the clipboard: tab-separated.
inline QByteArray clipboardTable(const NoiseResult &r, char decSep)
{
    return tableText(r, '\t', decSep);
}
// For a file: semicolon-separated.
inline QByteArray csvTable(const NoiseResult &r, char decSep)
{
    return tableText(r, ';', decSep);
}

} // namespace noise
