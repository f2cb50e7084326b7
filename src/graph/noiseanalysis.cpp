// SPDX-License-Identifier: GPL-3.0-or-later
#include "noiseanalysis.h"

#include "data/datafile.h"
#include "engine/bigary.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace noise {

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Time stamps carry milliseconds: steps below half of one are equal stamps.
constexpr double kEqualStamps = 0.0005;

double ppmOf(double x, double mean)
{
    return mean != 0 ? x / std::fabs(mean) * 1e6 : kNaN;
}

template <typename V>
void release(V &v)
{
    V().swap(v);
}

qint64 microseconds(double days)
{
    const double us = days * kSecondsPerDay * 1e6;
    // A stamp that is no number is as far from its neighbours as can be.
    if (!(std::fabs(us) < 1e17))
        return us < 0 ? qint64(-1e17) : qint64(1e17);
    return qint64(us + (us < 0 ? -0.5 : 0.5));
}

// A step kept in seconds, as whole microseconds.
qint64 magnitude(float seconds)
{
    return std::llround(std::fabs(double(seconds)) * 1e6);
}

// The median of |steps| in microseconds. Steps crowd near tau0, so counting them in a
// window above the smallest one is a single pass; a wider spread falls back to selection.
template <typename V>
double medianMagnitude(const V &steps, qint64 lowest, qint64 highest)
{
    const size_t n = steps.size();
    const size_t ranks[2] = {(n - 1) / 2, n / 2};
    qint64 at[2] = {-1, -1};
    const qint64 bins = std::min<qint64>(highest - lowest + 1, qint64(1) << 20);
    std::vector<quint32> count(size_t(bins), 0);
    for (const float s : steps) {
        const qint64 b = magnitude(s) - lowest;
        if (b < bins)
            ++count[size_t(b)];
    }
    size_t below = 0;
    for (qint64 b = 0; b < bins && at[1] < 0; ++b) {
        below += count[size_t(b)];
        for (int i = 0; i < 2; ++i)
            if (at[i] < 0 && ranks[i] < below)
                at[i] = lowest + b;
    }
    if (at[1] < 0) {
        std::vector<qint64> a(n);
        std::transform(steps.begin(), steps.end(), a.begin(), magnitude);
        for (int i = 0; i < 2; ++i) {
            std::nth_element(a.begin(), a.begin() + qsizetype(ranks[i]), a.end());
            at[i] = a[ranks[i]];
        }
    }
    return (double(at[0]) + double(at[1])) / 2;
}

// Two doubles side by side: the compiler's vector type, so the sums below keep both halves
// of the adder busy without the reordering it may not do on its own.
typedef double Pair __attribute__((vector_size(16)));

inline Pair pairAt(const double *p)
{
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline double total(Pair a, Pair b)
{
    const Pair s = a + b;
    return s[0] + s[1];
}

// Sum over j < count of (s[j + 2m] - 2 s[j + m] + s[j])^2: m times the difference of
// neighbouring m-averages.
double secondDifferenceSquares(const double *s, qint64 m, qint64 count)
{
    const double *s1 = s + m, *s2 = s + 2 * m;
    Pair a = {0, 0}, b = {0, 0};
    qint64 j = 0;
    for (; j + 4 <= count; j += 4) {
        const Pair v = pairAt(s2 + j) - 2 * pairAt(s1 + j) + pairAt(s + j);
        const Pair w = pairAt(s2 + j + 2) - 2 * pairAt(s1 + j + 2) + pairAt(s + j + 2);
        a += v * v;
        b += w * w;
    }
    double rest = 0;
    for (; j < count; ++j) {
        const double v = s2[j] - 2 * s1[j] + s[j];
        rest += v * v;
    }
    return total(a, b) + rest;
}

// The sums of squares of the differences of one run of M readings (S[0..M]) at factor m.
struct RunSums
{
    double allan = 0, hadamard = 0, modified = 0, total = 0;
    qint64 allanTerms = 0, hadamardTerms = 0, modifiedTerms = 0, totalTerms = 0;
};

inline double secondDifference(const double *s, qint64 j, qint64 m)
{
    return s[j + 2 * m] - 2 * s[j + m] + s[j];
}

// m second differences in a row: m times the second difference of m-averages of phase.
double window(const double *s, qint64 j, qint64 m)
{
    double a[4] = {0, 0, 0, 0};
    qint64 i = 0;
    for (; i + 4 <= m; i += 4)
        for (int u = 0; u < 4; ++u)
            a[u] += secondDifference(s, j + i + u, m);
    for (; i < m; ++i)
        a[0] += secondDifference(s, j + i, m);
    return (a[0] + a[1]) + (a[2] + a[3]);
}

// Up to kBlock consecutive second differences d2(j) and third ones d3(j) = d2(j + m) - d2(j)
// from p = S + j: d3 into out, the sums of their squares added to sums[0] and sums[1].
constexpr int kBlock = 64;

void thirdDifferenceBlock(const double *p, qint64 m, int n, double *out, double *sums)
{
    const double *p1 = p + m, *p2 = p + 2 * m, *p3 = p + 3 * m;
    Pair a[2] = {{0, 0}, {0, 0}}, h[2] = {{0, 0}, {0, 0}};
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        for (int v = 0; v < 2; ++v) {
            const int i = k + 2 * v;
            const Pair x1 = pairAt(p1 + i), x2 = pairAt(p2 + i);
            const Pair d2 = x2 - 2 * x1 + pairAt(p + i);
            const Pair d3 = (pairAt(p3 + i) - 2 * x2 + x1) - d2;
            a[v] += d2 * d2;
            h[v] += d3 * d3;
            std::memcpy(out + i, &d3, sizeof d3);
        }
    }
    double ra = 0, rh = 0;
    for (; k < n; ++k) {
        const double d2 = p2[k] - 2 * p1[k] + p[k];
        const double d3 = (p3[k] - 2 * p2[k] + p1[k]) - d2;
        ra += d2 * d2;
        rh += d3 * d3;
        out[k] = d3;
    }
    sums[0] += total(a[0], a[1]) + ra;
    sums[1] += total(h[0], h[1]) + rh;
}

// Neighbouring second differences give the third (Hadamard) difference; the modified
// variance's windows of m second differences follow from each other by adding it. Four
// lanes through separate stretches keep those running windows from waiting on each other,
// and each window is summed afresh now and then, so rounding cannot pile up in it.
template <bool Modified>
void thirdDifferences(const double *s, qint64 L, qint64 m, RunSums &r)
{
    constexpr int kLanes = 4;
    const qint64 refresh = (std::max<qint64>(256, 16 * m) + kBlock - 1) / kBlock * kBlock;
    const qint64 lane = L / kLanes;
    double sums[kLanes][2] = {}, w2[kLanes] = {}, w[kLanes] = {};
    double d3[kLanes][kBlock];
    for (qint64 t = 0; t < lane; t += kBlock) {
        if (Modified && t % refresh == 0)
            for (int u = 0; u < kLanes; ++u)
                w[u] = window(s, u * lane + t, m);
        const int n = int(std::min<qint64>(kBlock, lane - t));
        for (int u = 0; u < kLanes; ++u)
            thirdDifferenceBlock(s + u * lane + t, m, n, d3[u], sums[u]);
        if (Modified) {
            for (int k = 0; k < n; ++k) {
                for (int u = 0; u < kLanes; ++u) {
                    w2[u] += w[u] * w[u];
                    w[u] += d3[u][k];
                }
            }
        }
    }
    // The rest of the stretch, and the last window after it.
    double wt = Modified ? window(s, kLanes * lane, m) : 0;
    for (qint64 j = kLanes * lane; j < L; j += kBlock) {
        const int n = int(std::min<qint64>(kBlock, L - j));
        thirdDifferenceBlock(s + j, m, n, d3[0], sums[0]);
        for (int k = 0; Modified && k < n; ++k) {
            w2[0] += wt * wt;
            wt += d3[0][k];
        }
    }
    if (Modified)
        w2[0] += std::pow(window(s, L, m), 2);
    r.allan += (sums[0][0] + sums[1][0]) + (sums[2][0] + sums[3][0]);
    r.hadamard += (sums[0][1] + sums[1][1]) + (sums[2][1] + sums[3][1]);
    r.modified += (w2[0] + w2[1]) + (w2[2] + w2[3]);
}

// Total variance: the run reflected at both ends supplies the second differences whose
// ends fall outside it.
double reflectedEnds(const double *s, qint64 M, qint64 m)
{
    double sum = 0;
    for (qint64 k = 1; k < m; ++k) {
        const double v = (2 * s[0] - s[m - k]) - 2 * s[k] + s[k + m];
        sum += v * v;
    }
    for (qint64 k = M - m + 1; k < M; ++k) {
        const double v = s[k - m] - 2 * s[k] + (2 * s[M] - s[2 * M - k - m]);
        sum += v * v;
    }
    return sum;
}

void runSums(const double *s, qint64 M, qint64 m, DeviationSet want, RunSums &r)
{
    const bool hadamard = (want & bit(Deviation::Hadamard)) && M >= 3 * m;
    const bool modified = (want & bit(Deviation::Modified)) && M >= 3 * m - 1;
    if (M < 2 * m)
        return;
    // Second differences j < L have a third one after them.
    const qint64 L = hadamard || modified ? M - 3 * m + 1 : 0;
    if (modified)
        thirdDifferences<true>(s, L, m, r);
    else if (hadamard)
        thirdDifferences<false>(s, L, m, r);
    r.allan += secondDifferenceSquares(s + L, m, M - 2 * m + 1 - L);
    r.allanTerms += M - 2 * m + 1;
    r.hadamardTerms += hadamard ? L : 0;
    r.modifiedTerms += modified ? L + 1 : 0;
    if (want & bit(Deviation::Total)) {
        r.totalTerms += M - 1;
        r.total += reflectedEnds(s, M, m);
    }
}

// The m-averages of each run, for the noise identification and their standard deviation:
// the lag-1 autocorrelation of the averages, detrended within each run, and of their
// differences up to the third.
struct AverageSums
{
    static constexpr int kLevels = 4;
    qint64 count = 0;
    double squares = 0; // about the mean of all averages
    double lag[kLevels] = {}, power[kLevels] = {};

    double autocorrelation(int level) const
    {
        return power[level] > 0 ? lag[level] / power[level] : kNaN;
    }
};

struct Level
{
    qint64 n = 0;
    double sum = 0, sq = 0, lag = 0, first = 0, last = 0;

    void add(double x)
    {
        if (n == 0)
            first = x;
        else
            lag += x * last;
        sum += x;
        sq += x * x;
        last = x;
        ++n;
    }
};

// Enough averages for the lag-1 autocorrelation to say which noise it is, many times over;
// the standard deviation takes all of them.
constexpr qint64 kAutocorrelationAverages = qint64(1) << 18;

void averageSums(const double *sum, const std::vector<qint64> &runStart, qint64 m, AverageSums &out)
{
    // The sums of the averages telescope: their total and mean need no pass.
    qint64 count = 0;
    for (size_t r = 1; r < runStart.size(); ++r)
        count += (runStart[r] - runStart[r - 1]) / m;
    out.count = count;
    if (count == 0)
        return;
    double all = 0;
    for (size_t r = 1; r < runStart.size(); ++r) {
        const qint64 K = (runStart[r] - runStart[r - 1]) / m;
        all += sum[runStart[r - 1] + K * m] - sum[runStart[r - 1]];
    }
    const double mean = all / double(count), scale = 1 / double(m);
    // One pass: the squares about the mean, and the sum of S at the averages' ends for
    // each run's straight line (sum of i z_i = (K - 1) S_K - sum of S_1 .. S_K-1).
    struct Fit
    {
        double c0 = 0, c1 = 0;
    };
    std::vector<Fit> fits(runStart.size() - 1);
    double squares[4] = {0, 0, 0, 0};
    for (size_t r = 1; r < runStart.size(); ++r) {
        const double *s = sum + runStart[r - 1];
        const qint64 K = (runStart[r] - runStart[r - 1]) / m;
        double ends[4] = {0, 0, 0, 0};
        qint64 i = 0;
        for (; i + 4 <= K; i += 4) {
            for (int u = 0; u < 4; ++u) {
                const double lo = s[(i + u) * m], hi = s[(i + u + 1) * m];
                squares[u] += (hi - lo - mean) * (hi - lo - mean);
                ends[u] += lo;
            }
        }
        for (; i < K; ++i) {
            const double lo = s[i * m], hi = s[(i + 1) * m];
            squares[0] += (hi - lo - mean) * (hi - lo - mean);
            ends[0] += lo;
        }
        if (K < 1)
            continue;
        const double k = double(K), sz = s[K * m] - s[0];
        // ends holds S_0 .. S_K-1 (S_0 the run's start).
        const double siz = (k - 1) * s[K * m] - ((ends[0] + ends[1]) + (ends[2] + ends[3]) - s[0]);
        if (K >= 3) {
            fits[r - 1].c1 = (siz - (k - 1) / 2 * sz) / (k * (k * k - 1) / 12);
            fits[r - 1].c0 = sz / k - fits[r - 1].c1 * (k - 1) / 2;
        } else {
            fits[r - 1].c0 = sz / k;
        }
    }
    // The averages are sums over m readings: scale to averages.
    out.squares = ((squares[0] + squares[1]) + (squares[2] + squares[3])) * scale * scale;

    qint64 budget = kAutocorrelationAverages;
    for (size_t r = 1; r < runStart.size() && budget > 0; ++r) {
        const double *s = sum + runStart[r - 1];
        const qint64 K = std::min((runStart[r] - runStart[r - 1]) / m, budget);
        budget -= K;
        const Fit f = fits[r - 1];
        Level level[AverageSums::kLevels];
        double prev[AverageSums::kLevels] = {};
        for (qint64 i = 0; i < K; ++i) {
            double x = s[(i + 1) * m] - s[i * m] - (f.c0 + f.c1 * double(i));
            for (int d = 0; d < AverageSums::kLevels && d <= i; ++d) {
                const double here = x;
                x -= prev[d];
                prev[d] = here;
                level[d].add(here);
            }
        }
        for (int d = 0; d < AverageSums::kLevels; ++d) {
            const Level &l = level[d];
            if (l.n < 2)
                continue;
            const double mu = l.sum / double(l.n);
            out.lag[d] += l.lag - mu * (2 * l.sum - l.first - l.last) + double(l.n - 1) * mu * mu;
            out.power[d] += l.sq - double(l.n) * mu * mu;
        }
    }
}

} // namespace

std::vector<qint64> averagingFactors(qint64 n, TauSteps steps)
{
    std::vector<qint64> out;
    const qint64 limit = n / 4;
    if (steps == TauSteps::Octave) {
        for (qint64 m = 1; m <= limit; m *= 2)
            out.push_back(m);
        return out;
    }
    for (qint64 decade = 1; decade <= limit; decade *= 10) {
        for (qint64 f : {1, 2, 5})
            if (f * decade <= limit)
                out.push_back(f * decade);
    }
    return out;
}

double noiseFreeDigits(double range, double sigma)
{
    if (!(range > 0) || !(sigma > 0) || !std::isfinite(range) || !std::isfinite(sigma))
        return kNaN;
    return std::log10(range / (6.6 * sigma));
}

NoiseAnalysis::NoiseAnalysis(const BigAry &buffer, qint64 from, qint64 to, TauSteps steps,
                             DeviationSet deviations, bool identify)
    : m_buffer(buffer), m_steps(steps), m_identify(identify)
{
    if (from > to)
        std::swap(from, to);
    m_result.deviations = deviations & kAllDeviations;
    m_high0 = buffer.High();
    m_pos0 = buffer.bigarypos();
    m_cnt0 = buffer.bigarycnt();
    m_result.from = std::max<qint64>(from, 0);
    m_result.to = m_pos0 < 0 ? -1 : std::min(to, m_high0);
    m_result.records = std::max<qint64>(m_result.to - m_result.from + 1, 0);
    m_next = m_result.from;
    if (m_result.records == 0) {
        m_stage = Stage::Done;
        return;
    }
    m_slot = buffer.Slot(m_next);
    m_sum.reserve(size_t(m_result.records) + 1);
    m_step.reserve(size_t(m_result.records));
}

bool NoiseAnalysis::bufferMoved() const
{
    if (m_stage != Stage::Scan)
        return false;
    // New readings overwrite the oldest records once the ring is full; harmless while those
    // have been read already. A clear, load or deletion is not a run of appends.
    const qint64 appended = m_buffer.bigarycnt() - m_cnt0, grown = m_buffer.High() - m_high0;
    return appended < 0 || grown < 0 || appended - grown > m_next;
}

bool NoiseAnalysis::step(qint64 budget)
{
    budget = std::max<qint64>(budget, 1);
    if (m_cancel)
        return false;
    switch (m_stage) {
    case Stage::Scan:
        scan(budget);
        break;
    case Stage::Median:
        median();
        break;
    case Stage::Gaps:
        gaps(budget);
        break;
    case Stage::Factors:
        factors(budget);
        break;
    case Stage::Done:
        break;
    }
    return finished();
}

NoiseResult NoiseAnalysis::compute(const BigAry &buffer, qint64 from, qint64 to, TauSteps steps,
                                   DeviationSet deviations, bool identify)
{
    NoiseAnalysis job(buffer, from, to, steps, deviations, identify);
    while (!job.step(std::numeric_limits<qint64>::max() / 4)) {
    }
    return job.m_result;
}

void NoiseAnalysis::scan(qint64 budget)
{
    NoiseResult &r = m_result;
    const qint64 end = std::min(r.to + 1, m_next + budget);
    qint64 slot = m_slot, lastValid = -1;
    // Locals, so the sums stay in registers while the arrays grow.
    Moments mo = m_mo;
    qint64 k = qint64(m_sum.size()) - (m_sum.empty() ? 1 : 2), stepMin = m_stepMin,
           stepMax = m_stepMax;
    double lastStamp = m_lastStamp, magnitude = m_sumMagnitude;
    for (qint64 i = m_next; i < end; ++i) {
        const measpol &rec = m_buffer[slot];
        const qint64 here = slot;
        if (++slot > m_high0)
            slot = 0;
        const long double v = rec.value1;
        if (!sentinel::isValid(v)) {
            ++r.skipped;
            continue;
        }
        lastValid = here;
        if (k < 0) {
            m_ref = v;
            m_firstStamp = lastStamp = rec.dateTime;
            m_sum.push_back(0);
        } else {
            const qint64 us = microseconds(rec.dateTime - lastStamp);
            m_step.push_back(float(double(us) * 1e-6));
            const qint64 a = us < 0 ? -us : us;
            stepMin = k == 0 ? a : std::min(stepMin, a);
            stepMax = std::max(stepMax, a);
        }
        lastStamp = rec.dateTime;
        const long double y = v - m_ref;
        const double t = (rec.dateTime - m_firstStamp) * kSecondsPerDay;
        mo.sy += y;
        const double s = double(mo.sy);
        m_sum.push_back(s);
        magnitude = std::max(magnitude, std::fabs(s));
        mo.syy += y * y;
        mo.st += t;
        mo.stt += t * t;
        mo.sty += t * y;
        const long double d = y - mo.prevY;
        mo.sky += double(++k) * double(y);
        mo.sdd += k > 0 ? d * d : 0;
        mo.prevY = y;
        mo.maxY = k > 0 ? std::max(mo.maxY, y) : y;
        mo.minY = k > 0 ? std::min(mo.minY, y) : y;
    }
    m_mo = mo;
    m_slot = slot;
    m_stepMin = stepMin;
    m_stepMax = stepMax;
    m_lastStamp = lastStamp;
    m_sumMagnitude = magnitude;
    if (lastValid >= 0) {
        const measpol &rec = m_buffer[lastValid];
        r.unit = rec.Lunits1.toString();
        r.figures.range = double(rec.range);
    }
    m_next = end;
    if (m_next > r.to) {
        r.valid = k + 1;
        m_stage = Stage::Median;
    }
}

void NoiseAnalysis::median()
{
    NoiseResult &r = m_result;
    if (r.valid == 0) {
        m_stage = Stage::Done;
        return;
    }
    if (r.valid == 1) {
        finish();
        return;
    }
    const double us = medianMagnitude(m_step, m_stepMin, m_stepMax);
    r.tau0Assumed = !(us >= kEqualStamps * 1e6);
    // Stamps of days since 1899 hold about a microsecond: finer digits are rounding.
    r.tau0 = r.tau0Assumed ? 1.0 : std::round(us) / 1e6;
    m_runStart.assign(1, 0);
    m_next = 0;
    m_stage = Stage::Gaps;
}

void NoiseAnalysis::gaps(qint64 budget)
{
    NoiseResult &r = m_result;
    const qint64 steps = qint64(m_step.size());
    const qint64 end = std::min(steps, m_next + budget);
    const double gap = kGapFactor * r.tau0 * 1e6;
    for (qint64 k = m_next; k < end; ++k) {
        if (std::fabs(double(m_step[size_t(k)])) * 1e6 <= gap)
            continue;
        // The step between readings k and k + 1 crosses a gap: it is no neighbour pair.
        m_runStart.push_back(k + 1);
        const long double d = (m_sum[k + 2] - m_sum[k + 1]) - (m_sum[k + 1] - m_sum[k]);
        m_mo.sdd -= d * d;
    }
    m_next = end;
    if (m_next == steps) {
        m_runStart.push_back(r.valid);
        r.gaps = qint64(m_runStart.size()) - 2;
        for (size_t i = 1; i < m_runStart.size(); ++i)
            r.longestRun = std::max(r.longestRun, m_runStart[i] - m_runStart[i - 1]);
        release(m_step);
        m_factors = averagingFactors(r.longestRun, m_steps);
        m_points.assign(m_factors.size(), StabilityPoint());
        m_factor = 0;
        m_stage = Stage::Factors;
    }
}

int NoiseAnalysis::threads()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

void NoiseAnalysis::factors(qint64 budget)
{
    // Each factor reads the sums and writes its own point: they share nothing else.
    std::atomic<size_t> next{m_factor};
    std::atomic<qint64> done{0};
    const auto work = [&] {
        while (!m_cancel && done < budget) {
            const size_t i = next++;
            if (i >= m_factors.size())
                break;
            done += factor(m_factors[i], m_points[i]);
        }
    };
    const int helpers = std::min<int>(threads(), int(m_factors.size() - m_factor)) - 1;
    std::vector<std::thread> pool;
    for (int i = 0; i < helpers; ++i)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();
    m_factor = std::min(next.load(), m_factors.size());
    if (m_factor == m_factors.size() && !m_cancel) {
        m_result.points = std::move(m_points);
        finish();
    }
}

qint64 NoiseAnalysis::factor(qint64 m, StabilityPoint &p) const
{
    const NoiseResult &r = m_result;
    p.m = m;
    p.tau = double(m) * r.tau0;
    // B1 needs the Allan variance and R(n) the modified one, whatever is shown.
    const DeviationSet want = r.deviations | (m_identify ? bit(Deviation::Allan) : 0);
    RunSums sums;
    qint64 work = 0;
    for (size_t i = 1; i < m_runStart.size(); ++i) {
        const qint64 a = m_runStart[i - 1], M = m_runStart[i] - a;
        runSums(m_sum.data() + a, M, m, want, sums);
        work += M;
    }
    const double md = double(m);
    p[Deviation::Allan].dev = std::sqrt(sums.allan / (2 * md * md * double(sums.allanTerms)));
    p[Deviation::Allan].terms = sums.allanTerms;
    p[Deviation::Modified].dev =
        std::sqrt(sums.modified / (2 * md * md * md * md * double(sums.modifiedTerms)));
    p[Deviation::Modified].terms = sums.modifiedTerms;
    p[Deviation::Hadamard].dev =
        std::sqrt(sums.hadamard / (6 * md * md * double(sums.hadamardTerms)));
    p[Deviation::Hadamard].terms = sums.hadamardTerms;
    p[Deviation::Total].dev =
        std::sqrt((sums.allan + sums.total) / (2 * md * md * double(sums.totalTerms)));
    p[Deviation::Total].terms = sums.totalTerms;

    AverageSums averages;
    if (m_identify || (r.deviations & bit(Deviation::Averages))) {
        averageSums(m_sum.data(), m_runStart, m, averages);
        work += r.valid;
    }
    p.averages = averages.count;
    p[Deviation::Averages].dev =
        averages.count > 1 ? std::sqrt(averages.squares / double(averages.count - 1)) : kNaN;
    p[Deviation::Averages].terms = averages.count;

    // Below the rounding of the running sums a deviation is zero, not a residue of it.
    const double floor = 16 * std::numeric_limits<double>::epsilon() * m_sumMagnitude / md;
    for (Estimate &e : p.est)
        if (e.dev < floor)
            e.dev = 0;

    if (m_identify) {
        const double adev = p[Deviation::Allan].dev;
        if (!(adev > 0)) {
            p.alpha = kNoNoise;
        } else if (averages.count >= kMinAutocorrelationPoints) {
            double r1[AverageSums::kLevels];
            for (int d = 0; d < AverageSums::kLevels; ++d)
                r1[d] = averages.autocorrelation(d);
            p.alpha = std::isnan(r1[0]) ? kNoNoise : alphaFromAutocorrelation(r1, 3);
        } else {
            const double sd = p[Deviation::Averages].dev;
            p.alpha = alphaFromB1(sd * sd / (adev * adev), averages.count);
            p.byRatio = true;
            double mdev = p[Deviation::Modified].dev;
            if (p.alpha == kWhitePhase && !(r.deviations & bit(Deviation::Modified))) {
                RunSums extra;
                for (size_t i = 1; i < m_runStart.size(); ++i)
                    runSums(m_sum.data() + m_runStart[i - 1], m_runStart[i] - m_runStart[i - 1], m,
                            bit(Deviation::Modified), extra);
                mdev = std::sqrt(extra.modified /
                                 (2 * md * md * md * md * double(extra.modifiedTerms)));
            }
            if (p.alpha == kWhitePhase)
                p.alpha = phaseNoiseFromRn(mdev * mdev / (adev * adev), m);
        }
    }
    bounds(p);
    for (int d = 0; d < kDeviations; ++d)
        if (!(r.deviations & bit(Deviation(d))))
            p.est[d] = Estimate();
    return work;
}

void NoiseAnalysis::bounds(StabilityPoint &p) const
{
    const qint64 m = p.m;
    const int models[kBoundModels] = {p.alpha == kNoNoise ? kWhite : p.alpha, kWhite};
    for (int k = 0; k < kBoundModels; ++k) {
        const int alpha = models[k], allan = std::max(alpha, kRandomWalk);
        const GreenhallEdf overlapping(allan, 2, m, true, false), modified(allan, 2, m, true, true),
            hadamard(alpha, 3, m, true, false);
        double edf[kDeviations] = {};
        for (size_t i = 1; i < m_runStart.size(); ++i) {
            const qint64 M = m_runStart[i] - m_runStart[i - 1], N = M + 1;
            if (M < 2 * m)
                continue;
            const double allanEdf = overlapping(N);
            edf[int(Deviation::Allan)] += allanEdf;
            edf[int(Deviation::Modified)] += modified(N);
            edf[int(Deviation::Hadamard)] += hadamard(N);
            // The handbook's total-variance formula ignores that at short tau the total
            // deviation is the Allan deviation with a few reflected terms more: no more
            // degrees of freedom than Allan's in proportion to the terms.
            edf[int(Deviation::Total)] +=
                std::min(totalEdf(allan, m, M), allanEdf * double(M - 1) / double(M - 2 * m + 1));
        }
        // The averages are independent only for white noise; nothing better is known.
        edf[int(Deviation::Averages)] = double(std::max<qint64>(p.averages - 1, 0));
        for (int d = 0; d < kDeviations; ++d) {
            Estimate &e = p.est[d];
            e.edf[k] = edf[d];
            e.bounds[k] = interval(e.dev, edf[d]);
        }
    }
}

void NoiseAnalysis::finish()
{
    NoiseResult &r = m_result;
    release(m_sum);
    release(m_step);
    const int first = r.deviations ? std::countr_zero(r.deviations) : 0;
    for (size_t i = 0; i < r.points.size(); ++i) {
        const double v = r.points[i].est[first].dev;
        if (!std::isnan(v) && (r.minimum < 0 || v < r.points[size_t(r.minimum)].est[first].dev))
            r.minimum = int(i);
    }

    const long double n = r.valid;
    const long double syy = std::max(m_mo.syy - m_mo.sy * m_mo.sy / n, 0.0L);
    NoiseFigures &f = r.figures;
    f.mean = double(m_ref + m_mo.sy / n);
    f.sd = r.valid > 1 ? double(std::sqrt(syy / (n - 1))) : kNaN;
    f.pp = double(m_mo.maxY - m_mo.minY);
    const qint64 pairs = r.valid - 1 - r.gaps;
    f.diffNoise = pairs > 0 ? double(std::sqrt(std::max(m_mo.sdd, 0.0L) / pairs / 2)) : kNaN;
    f.sdPpm = ppmOf(f.sd, f.mean);
    f.ppPpm = ppmOf(f.pp, f.mean);
    f.diffNoisePpm = ppmOf(f.diffNoise, f.mean);
    f.noiseFreeDigits = noiseFreeDigits(f.range, f.sd);

    // Equal stamps: the readings are taken tau0 (1 s) apart.
    const long double stt = r.tau0Assumed ? n * (n * n - 1) / 12 : m_mo.stt - m_mo.st * m_mo.st / n;
    const long double sty =
        r.tau0Assumed ? m_mo.sky - m_mo.sy * (n - 1) / 2 : m_mo.sty - m_mo.st * m_mo.sy / n;
    DriftFit &d = r.drift;
    d.valid = stt > 0;
    if (d.valid) {
        const long double slope = sty / stt;
        const double res2 =
            r.valid > 2 ? double(std::max(syy - slope * sty, 0.0L) / (n - 2)) : kNaN;
        d.perSecond = double(slope);
        d.perHour = d.perSecond * 3600;
        d.perDay = d.perSecond * kSecondsPerDay;
        d.ppmPerHour = ppmOf(d.perHour, f.mean);
        d.ppmPerDay = ppmOf(d.perDay, f.mean);
        const double se = std::sqrt(res2 / double(stt));
        d.stdErrPerHour = se * 3600;
        d.stdErrPerDay = se * kSecondsPerDay;
        d.residualSd = std::sqrt(res2);
    }
    m_stage = Stage::Done;
}

QByteArray tableText(const NoiseResult &r, BoundModel model, char sep, char decSep)
{
    QByteArray out;
    out.reserve(256 * qsizetype(r.points.size() + 1));
    const QByteArray unit = r.unit.isEmpty() ? QByteArray() : " (" + r.unit.toUtf8() + ")";
    const QByteArray edfName =
        model == BoundModel::White ? " edf (white noise)" : " edf (identified noise)";
    out += "tau (s)" + QByteArray(1, sep) + "m" + sep + "terms" + sep + "noise" + sep + "alpha" +
           sep + "identified by";
    for (int d = 0; d < kDeviations; ++d) {
        if (!(r.deviations & bit(Deviation(d))))
            continue;
        const QByteArray name = shortName(Deviation(d)).toLatin1();
        out += sep + name + unit + sep + name + " lower" + sep + name + " upper" + sep + name +
               edfName;
    }
    out += datafile::kCrLf;
    const int k = int(model);
    for (const StabilityPoint &p : r.points) {
        const bool known = p.alpha != kNoNoise;
        out += datafile::formatNumber(p.tau, decSep) + sep + QByteArray::number(p.m) + sep +
               QByteArray::number(p[Deviation::Allan].terms) + sep + noiseName(p.alpha).toUtf8() +
               sep + (known ? QByteArray::number(p.alpha) : QByteArray()) + sep +
               (!known      ? ""
                : p.byRatio ? "B1, R(n)"
                            : "lag-1 autocorrelation");
        for (int d = 0; d < kDeviations; ++d) {
            if (!(r.deviations & bit(Deviation(d))))
                continue;
            const Estimate &e = p.est[d];
            for (double v : {e.dev, e.bounds[k].lower, e.bounds[k].upper, e.edf[k]}) {
                out += sep;
                if (!std::isnan(v))
                    out += datafile::formatNumber(v, decSep);
            }
        }
        out += datafile::kCrLf;
    }
    return out;
}

} // namespace noise
