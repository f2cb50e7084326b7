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

template <typename T>
void release(std::vector<T> &v)
{
    std::vector<T>().swap(v);
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
    m_sum.reserve(size_t(m_result.records) + 1);
    m_step.reserve(size_t(m_result.records));
}

bool NoiseAnalysis::bufferMoved() const
{
    if (m_stage != Stage::Scan)
        return false;
    // Appending to a ring that has not wrapped keeps every chronological index in place.
    const bool appendedOnly = m_pos0 == m_high0 && m_buffer.bigarypos() == m_buffer.High() &&
                              m_buffer.High() >= m_high0 &&
                              m_buffer.bigarycnt() - m_cnt0 == m_buffer.High() - m_high0;
    return !appendedOnly;
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
    case Stage::Sums:
        sums(budget);
        break;
    case Stage::Residual:
        residual(budget);
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
    qint64 lastValid = -1;
    for (qint64 i = m_next; i < end; ++i) {
        const measpol &rec = m_buffer[m_buffer.Slot(i)];
        const long double v = rec.value1;
        if (!sentinel::isValid(v)) {
            ++r.skipped;
            continue;
        }
        lastValid = i;
        if (m_sum.empty()) {
            m_ref = v;
            m_max = m_min = v;
            m_sum.push_back(0);
        } else {
            const double step = (rec.dateTime - m_lastStamp) * kSecondsPerDay;
            m_step.push_back(step);
            m_time += step;
            m_sumT += m_time;
        }
        m_lastStamp = rec.dateTime;
        m_acc += v - m_ref;
        m_sum.push_back(double(m_acc));
        m_max = std::max(m_max, v);
        m_min = std::min(m_min, v);
    }
    if (lastValid >= 0) {
        const measpol &rec = m_buffer[m_buffer.Slot(lastValid)];
        r.unit = rec.Lunits1.toString();
        r.figures.range = double(rec.range);
    }
    m_next = end;
    if (m_next > r.to) {
        r.valid = qint64(m_sum.size()) - (m_sum.empty() ? 0 : 1);
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
    std::vector<double> a(m_step.size());
    std::transform(m_step.begin(), m_step.end(), a.begin(), [](double s) { return std::fabs(s); });
    const auto mid = a.begin() + qsizetype(a.size() / 2);
    std::nth_element(a.begin(), mid, a.end());
    double med = *mid;
    if (a.size() % 2 == 0)
        med = (med + *std::max_element(a.begin(), mid)) / 2;
    r.tau0Assumed = !(med >= kEqualStamps);
    // Stamps of days since 1899 hold about a microsecond: finer digits are rounding.
    r.tau0 = r.tau0Assumed ? 1.0 : std::round(med * 1e6) / 1e6;
    m_meanY = m_acc / r.valid;
    m_meanT = r.tau0Assumed ? (r.valid - 1) / 2.0L : m_sumT / r.valid;
    m_runStart.assign(1, 0);
    m_next = 0;
    m_time = 0;
    m_stage = Stage::Sums;
}

double NoiseAnalysis::timeOf(qint64 k) const
{
    return m_result.tau0Assumed ? double(k) : double(m_time);
}

void NoiseAnalysis::sums(qint64 budget)
{
    NoiseResult &r = m_result;
    const qint64 end = std::min(r.valid, m_next + budget);
    const double gap = kGapFactor * r.tau0;
    for (qint64 k = m_next; k < end; ++k) {
        const double y = m_sum[k + 1] - m_sum[k];
        if (k > 0) {
            m_time += m_step[k - 1];
            if (std::fabs(m_step[k - 1]) > gap) {
                m_runStart.push_back(k);
            } else {
                const double d = y - (m_sum[k] - m_sum[k - 1]);
                m_diff2 += d * d;
                ++m_diffCount;
            }
        }
        const long double dt = timeOf(k) - m_meanT, dy = y - m_meanY;
        m_stt += dt * dt;
        m_sty += dt * dy;
        m_syy += dy * dy;
    }
    m_next = end;
    if (m_next == r.valid) {
        m_runStart.push_back(r.valid);
        r.gaps = qint64(m_runStart.size()) - 2;
        for (size_t i = 1; i < m_runStart.size(); ++i)
            r.longestRun = std::max(r.longestRun, m_runStart[i] - m_runStart[i - 1]);
        m_next = 0;
        m_time = 0;
        m_stage = Stage::Residual;
    }
}

void NoiseAnalysis::residual(qint64 budget)
{
    const NoiseResult &r = m_result;
    const qint64 end = std::min(r.valid, m_next + budget);
    const long double slope = m_stt > 0 ? m_sty / m_stt : 0;
    for (qint64 k = m_next; k < end; ++k) {
        if (k > 0)
            m_time += m_step[k - 1];
        const long double y = m_sum[k + 1] - m_sum[k];
        const long double e = (y - m_meanY) - slope * (timeOf(k) - m_meanT);
        m_ssr += e * e;
    }
    m_next = end;
    if (m_next == r.valid) {
        release(m_step);
        m_factors = averagingFactors(r.longestRun, m_steps);
        m_factor = 0;
        m_stage = Stage::Allan;
    }
}

void NoiseAnalysis::allan(qint64 budget)
{
    NoiseResult &r = m_result;
    const double *s = m_sum.data();
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
            for (qint64 j = a; j <= b - 2 * m; ++j) {
                const double v = s[j + 2 * m] - 2 * s[j + m] + s[j];
                acc += v * v;
            }
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

    const double n = double(r.valid);
    NoiseFigures &f = r.figures;
    f.mean = double(m_ref + m_meanY);
    f.sd = double(std::sqrt(m_syy / (n - 1)));
    f.pp = double(m_max - m_min);
    f.diffNoise = m_diffCount > 0 ? std::sqrt(double(m_diff2) / double(m_diffCount) / 2) : kNaN;
    f.sdPpm = ppmOf(f.sd, f.mean);
    f.ppPpm = ppmOf(f.pp, f.mean);
    f.diffNoisePpm = ppmOf(f.diffNoise, f.mean);
    f.noiseFreeDigits = noiseFreeDigits(f.range, f.sd);

    DriftFit &d = r.drift;
    d.valid = m_stt > 0;
    if (d.valid) {
        const double res2 = double(m_ssr) / (n - 2);
        d.perSecond = double(m_sty / m_stt);
        d.perHour = d.perSecond * 3600;
        d.perDay = d.perSecond * kSecondsPerDay;
        d.ppmPerHour = ppmOf(d.perHour, f.mean);
        d.ppmPerDay = ppmOf(d.perDay, f.mean);
        const double se = std::sqrt(res2 / double(m_stt));
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
