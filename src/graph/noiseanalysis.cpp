// SPDX-License-Identifier: GPL-3.0-or-later
#include "noiseanalysis.h"

#include "data/datafile.h"
#include "engine/bigary.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace noise {

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Time stamps carry milliseconds: steps below half of one are equal stamps.
constexpr double kEqualStamps = 0.0005;
// Fraction of a normal distribution below -1 sigma.
constexpr double kOneSigmaTail = 0.15865525393145705;

// Regularised lower incomplete gamma function P(a, x).
double gammaP(double a, double x)
{
    if (x <= 0)
        return 0;
    const double front = std::exp(-x + a * std::log(x) - std::lgamma(a));
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
    for (const qint64 s : steps) {
        const qint64 b = (s < 0 ? -s : s) - lowest;
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
        std::transform(steps.begin(), steps.end(), a.begin(),
                       [](qint64 s) { return s < 0 ? -s : s; });
        for (int i = 0; i < 2; ++i) {
            std::nth_element(a.begin(), a.begin() + qsizetype(ranks[i]), a.end());
            at[i] = a[ranks[i]];
        }
    }
    return (double(at[0]) + double(at[1])) / 2;
}

// Sum over j < count of (s[j + 2m] - 2 s[j + m] + s[j])^2: m times the difference of
// neighbouring m-averages. Four sums keep the adder busy.
double secondDifferenceSquares(const double *s, qint64 m, qint64 count)
{
    const double *s1 = s + m, *s2 = s + 2 * m;
    double a[4] = {0, 0, 0, 0};
    qint64 j = 0;
    for (; j + 4 <= count; j += 4) {
        for (int u = 0; u < 4; ++u) {
            const double v = s2[j + u] - 2 * s1[j + u] + s[j + u];
            a[u] += v * v;
        }
    }
    for (; j < count; ++j) {
        const double v = s2[j] - 2 * s1[j] + s[j];
        a[0] += v * v;
    }
    return (a[0] + a[1]) + (a[2] + a[3]);
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

double whiteNoiseEdf(qint64 n, qint64 m)
{
    if (m < 1 || n < 2 * m + 1)
        return 0;
    // Counted in phase points, one more than readings.
    const double np = double(n) + 1, md = double(m);
    const double edf =
        (3 * (np - 1) / (2 * md) - 2 * (np - 2) / np) * (4 * md * md / (4 * md * md + 5));
    return std::max(edf, 1.0);
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

double noiseFreeDigits(double range, double sigma)
{
    if (!(range > 0) || !(sigma > 0) || !std::isfinite(range) || !std::isfinite(sigma))
        return kNaN;
    return std::log10(range / (6.6 * sigma));
}

NoiseAnalysis::NoiseAnalysis(const BigAry &buffer, qint64 from, qint64 to, TauSteps steps)
    : m_buffer(buffer), m_steps(steps)
{
    if (from > to)
        std::swap(from, to);
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
    case Stage::Allan:
        allan(budget);
        break;
    case Stage::Done:
        break;
    }
    return finished();
}

NoiseResult NoiseAnalysis::compute(const BigAry &buffer, qint64 from, qint64 to, TauSteps steps)
{
    NoiseAnalysis job(buffer, from, to, steps);
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
    double lastStamp = m_lastStamp;
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
            m_step.push_back(us);
            const qint64 a = us < 0 ? -us : us;
            stepMin = k == 0 ? a : std::min(stepMin, a);
            stepMax = std::max(stepMax, a);
        }
        lastStamp = rec.dateTime;
        const long double y = v - m_ref;
        const double t = (rec.dateTime - m_firstStamp) * kSecondsPerDay;
        mo.sy += y;
        m_sum.push_back(double(mo.sy));
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
    r.tooFew = r.valid < kMinReadings;
    if (r.tooFew) {
        release(m_sum);
        release(m_step);
        m_stage = Stage::Done;
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
        if (std::fabs(double(m_step[size_t(k)])) <= gap)
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
        m_factor = 0;
        m_stage = Stage::Allan;
    }
}

void NoiseAnalysis::allan(qint64 budget)
{
    NoiseResult &r = m_result;
    qint64 done = 0;
    while (m_factor < m_factors.size() && done < budget) {
        const qint64 m = m_factors[m_factor++];
        double acc = 0;
        AllanPoint p;
        p.m = m;
        p.tau = double(m) * r.tau0;
        for (size_t i = 1; i < m_runStart.size(); ++i) {
            const qint64 a = m_runStart[i - 1], b = m_runStart[i];
            if (b - a < 2 * m + 1)
                continue;
            acc += secondDifferenceSquares(m_sum.data() + a, m, b - a - 2 * m + 1);
            p.terms += b - a - 2 * m + 1;
            p.edf += whiteNoiseEdf(b - a, m);
        }
        done += p.terms;
        p.adev = std::sqrt(acc / (2.0 * double(m) * double(m) * double(p.terms)));
        p.lower = p.adev * std::sqrt(p.edf / chiSquaredQuantile(1 - kOneSigmaTail, p.edf));
        p.upper = p.adev * std::sqrt(p.edf / chiSquaredQuantile(kOneSigmaTail, p.edf));
        r.points.push_back(p);
    }
    if (m_factor == m_factors.size())
        finish();
}

void NoiseAnalysis::finish()
{
    NoiseResult &r = m_result;
    release(m_sum);
    for (size_t i = 0; i < r.points.size(); ++i)
        if (r.minimum < 0 || r.points[i].adev < r.points[size_t(r.minimum)].adev)
            r.minimum = int(i);

    const long double n = r.valid;
    const long double syy = std::max(m_mo.syy - m_mo.sy * m_mo.sy / n, 0.0L);
    NoiseFigures &f = r.figures;
    f.mean = double(m_ref + m_mo.sy / n);
    f.sd = double(std::sqrt(syy / (n - 1)));
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
        const double res2 = double(std::max(syy - slope * sty, 0.0L) / (n - 2));
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

QByteArray tableText(const NoiseResult &r, char sep, char decSep)
{
    QByteArray out;
    out.reserve(64 * qsizetype(r.points.size() + 1));
    const QByteArray unit = r.unit.isEmpty() ? QByteArray() : " (" + r.unit.toUtf8() + ")";
    out += "tau (s)" + QByteArray(1, sep) + "m" + sep + "deviation" + unit + sep + "lower" + sep +
           "upper" + sep + "terms" + datafile::kCrLf;
    for (const AllanPoint &p : r.points) {
        out += datafile::formatNumber(p.tau, decSep) + sep + QByteArray::number(p.m) + sep +
               datafile::formatNumber(p.adev, decSep) + sep +
               datafile::formatNumber(p.lower, decSep) + sep +
               datafile::formatNumber(p.upper, decSep) + sep + QByteArray::number(p.terms) +
               datafile::kCrLf;
    }
    return out;
}

} // namespace noise
