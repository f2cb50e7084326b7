// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphmodel.h"

#include "data/datafile.h"
#include "data/datetime.h"
#include "data/numtext.h"
#include "engine/readingformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Rows far outside the image are cut so painting never sees an overflowed coordinate.
int clampRow(long double r)
{
    if (!(r > -1e6L))
        return -1000000;
    if (r > 1e6L)
        return 1000000;
    return static_cast<int>(r);
}

// Both the chronological index and its slot advance; the ring wraps at High.
template <typename Fn>
void forEachRun(const BigAry &buf, qint64 from, qint64 to, Fn fn)
{
    if (from > to)
        return;
    const measpol *data = &buf[0];
    const qint64 high = buf.High();
    const qint64 s = buf.Slot(from);
    const qint64 n = to - from + 1;
    const qint64 first = std::min(n, high - s + 1);
    fn(data + s, data + s + first);
    if (first < n)
        fn(data, data + (n - first));
}

} // namespace

GraphModel::GraphModel(BigAry &buffer) : m_buf(buffer)
{
    m_cols.resize(1);
}

void GraphModel::setImageSize(int width, int height)
{
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width != m_width)
        m_colsValid = false;
    m_width = width;
    m_height = height;
    m_cols.resize(static_cast<size_t>(width));
}

void GraphModel::setSecondary(bool on)
{
    if (on != m_secondary)
        m_colsValid = false;
    m_secondary = on;
}

void GraphModel::rescale(qint64 from, qint64 to)
{
    if (from >= 0)
        m_from = from;
    if (to >= 0)
        m_to = to;
    // A range typed backwards is put in order; indices past the newest record are the
    // newest record, so nothing outside the array is ever read.
    if (m_from > m_to)
        std::swap(m_from, m_to);
    const qint64 high = m_buf.High();
    m_from = std::clamp<qint64>(m_from, 0, high);
    m_to = std::clamp<qint64>(m_to, 0, high);

    m_stat1 = RangeStats();
    m_stat2 = RangeStats();
    m_hist.fill(0);
    const bool prepared = takePrepared();
    if (!prepared && m_secondary)
        pass<true>(m_from, m_to, true);
    else if (!prepared)
        pass<false>(m_from, m_to, true);

    const long double d1 = m_stat1.max - m_stat1.min;
    m_scale1 = d1 == 0 ? 1.0L : (m_height - 2) / d1;
    const long double d2 = m_stat2.max - m_stat2.min;
    m_scale2 = d2 == 0 ? 1.0L : (m_height - 2) / d2;
    m_binWidth = d1 == 0 ? 0 : d1 / 100;
    if (m_binWidth != 0 && !prepared)
        countHistogram();
    m_baseline = m_height;
    setupScroll();
}

void GraphModel::adoptView(GraphModel &&o)
{
    m_prepared = Prepared{o.m_from,
                          o.m_to,
                          o.m_buf.High(),
                          o.m_buf.bigarypos(),
                          o.m_buf.bigarycnt(),
                          o.m_width,
                          o.m_height,
                          o.m_secondary,
                          o.m_stat1,
                          o.m_stat2,
                          o.m_hist,
                          std::move(o.m_cols)};
    if (!o.m_colsValid)
        m_prepared.reset();
    m_shadow = std::move(o.m_shadow);
    m_shadowValid = o.m_shadowValid;
    m_shadowCnt = o.m_shadowCnt;
    m_shadowPos = o.m_shadowPos;
}

bool GraphModel::takePrepared()
{
    if (!m_prepared)
        return false;
    Prepared p = std::move(*m_prepared);
    m_prepared.reset();
    // Only for exactly the view it was computed for, over the buffer as it was then.
    if (p.from != m_from || p.to != m_to || p.high != m_buf.High() || p.pos != m_buf.bigarypos() ||
        p.cnt != m_buf.bigarycnt() || p.width != m_width || p.height != m_height ||
        p.secondary != m_secondary)
        return false;
    m_stat1 = p.stat1;
    m_stat2 = p.stat2;
    m_hist = p.hist;
    m_cols = std::move(p.cols);
    m_colsValid = true;
    return true;
}

template <bool Sec>
void GraphModel::pass(qint64 from, qint64 to, bool columns)
{
    long double max1 = -1e38L, min1 = 1e38L, sum1 = 0, sq1 = 0;
    long double max2 = -1e38L, min2 = 1e38L, sum2 = 0, sq2 = 0;
    auto extend = [](long double v, long double &max, long double &min, long double &sum) {
        if (v > max)
            max = v;
        if (v < min)
            min = v;
        sum += v;
    };
    auto add = [&](long double v, long double &max, long double &min, long double &sum,
                   long double &sq) {
        extend(v, max, min, sum);
        sq += v * v;
    };
    auto total = [&](const measpol &r) {
        add(r.value1, max1, min1, sum1, sq1);
        if constexpr (Sec)
            add(r.value2, max2, min2, sum2, sq2);
    };

    // The columns walk the same records as the statistics, so both come from one pass:
    // a record shared by two neighbouring columns counts once for the statistics.
    if (columns) {
        const measpol *data = &m_buf[0];
        const long double perColumn = static_cast<long double>(to - from) / m_width;
        qint64 counted = from;
        for (int i = 0; i < m_width; ++i) {
            GraphColumn &c = m_cols[static_cast<size_t>(i)];
            c = GraphColumn();
            const qint64 f = from + std::llrint(perColumn * i);
            const qint64 l = std::min(to, from + std::llrint(perColumn * (i + 1)));
            c.firstIdx = f;
            c.lastIdx = l;
            long double s1 = 0, s2 = 0;
            c.first1 = data[m_buf.Slot(f)].value1;
            auto column = [&](const measpol &r) {
                extend(r.value1, c.max1, c.min1, s1);
                if constexpr (Sec)
                    extend(r.value2, c.max2, c.min2, s2);
            };
            // Records the previous column already counted, then the new ones.
            const qint64 split = std::clamp(counted, f, l + 1);
            forEachRun(m_buf, f, split - 1, [&](const measpol *b, const measpol *e) {
                for (; b != e; ++b)
                    column(*b);
            });
            forEachRun(m_buf, split, l, [&](const measpol *b, const measpol *e) {
                for (; b != e; ++b) {
                    column(*b);
                    total(*b);
                }
            });
            counted = std::max(counted, l + 1);
            const long double n = static_cast<long double>(l - f + 1);
            c.mean1 = s1 == 0 ? 0 : s1 / n;
            c.mean2 = s2 == 0 ? 0 : s2 / n;
        }
        forEachRun(m_buf, counted, to, [&](const measpol *b, const measpol *e) {
            for (; b != e; ++b)
                total(*b);
        });
        m_colsValid = true;
    } else {
        forEachRun(m_buf, from, to, [&](const measpol *b, const measpol *e) {
            for (; b != e; ++b)
                total(*b);
        });
    }
    const long double n = static_cast<long double>(to - from + 1);
    m_stat1 = {max1, min1, sum1 / n, std::sqrt(sq1 / n)};
    if constexpr (Sec)
        m_stat2 = {max2, min2, sum2 / n, std::sqrt(sq2 / n)};
}

void GraphModel::countHistogram()
{
    const long double min = m_stat1.min;
    const long double width = m_binWidth;
    qint64 *hist = m_hist.data();
    auto exactBin = [&](long double v) {
        const long double t = (v - min) / width;
        return t >= 100 ? 100 : t > 0 ? static_cast<int>(t) : 0;
    };
    // The shadow doubles give the bin unless the value lies so close to a bin edge that
    // the rounding to double could move it across; those few take the 80-bit value.
    const long double big = std::max(std::fabs(m_stat1.max), std::fabs(min));
    const double eps = static_cast<double>(big * 0x1p-49L / width) + 1e-9;
    if (eps < 0.01 && syncShadow()) {
        const double *shadow = m_shadow.data();
        const double mind = static_cast<double>(min);
        const double inv = static_cast<double>(1 / width);
        const measpol *data = &m_buf[0];
        forEachRun(m_buf, m_from, m_to, [&](const measpol *b, const measpol *e) {
            const double *d = shadow + (b - data);
            for (const measpol *r = b; r != e; ++r, ++d) {
                const double t = (*d - mind) * inv;
                const int bin = t > 0 ? static_cast<int>(std::min(t, 100.0)) : 0;
                const double frac = t - bin;
                if (frac < eps || frac > 1 - eps || t >= 100 - eps)
                    ++hist[exactBin(r->value1)];
                else
                    ++hist[bin];
            }
        });
        return;
    }
    forEachRun(m_buf, m_from, m_to, [&](const measpol *b, const measpol *e) {
        for (; b != e; ++b)
            ++hist[exactBin(b->value1)];
    });
}

void GraphModel::invalidateShadow()
{
    m_shadowValid = false;
}

void GraphModel::releaseShadow()
{
    m_shadowValid = false;
    std::vector<double>().swap(m_shadow);
}

bool GraphModel::syncShadow()
{
    const qint64 high = m_buf.High();
    const qint64 pos = m_buf.bigarypos();
    const qint64 cnt = m_buf.bigarycnt();
    const qint64 ring = m_buf.maxbuffer() + 1;
    const qint64 size = static_cast<qint64>(m_shadow.size());
    const qint64 added = cnt - m_shadowCnt;
    auto at = [this](qint64 slot) {
        m_shadow[static_cast<size_t>(slot)] = static_cast<double>(m_buf[slot].value1);
    };
    if (m_shadowValid && added == 0 && size == high + 1 && pos == m_shadowPos)
        return true;
    if (m_shadowValid && added > 0 && added <= high + 1 && size <= high + 1 && ring > 0 &&
        (m_shadowPos + added) % ring == pos) {
        // Only readings appended since the last look: the slots after the old newest.
        m_shadow.resize(static_cast<size_t>(high + 1));
        for (qint64 k = 1; k <= added; ++k)
            at((m_shadowPos + k) % ring);
    } else {
        if (m_shadow.capacity() < static_cast<size_t>(high + 1))
            m_shadow.reserve(static_cast<size_t>(std::max(high + 1, m_buf.maxbuffer() + 1)));
        m_shadow.resize(static_cast<size_t>(high + 1));
        for (qint64 s = 0; s <= high; ++s)
            at(s);
    }
    m_shadowValid = true;
    m_shadowCnt = cnt;
    m_shadowPos = pos;
    return true;
}

void GraphModel::buildColumns()
{
    if (m_colsValid)
        return;
    // Only the columns: the statistics of the range stay as the rescale left them.
    const RangeStats s1 = m_stat1, s2 = m_stat2;
    if (m_secondary)
        pass<true>(m_from, m_to, true);
    else
        pass<false>(m_from, m_to, true);
    m_stat1 = s1;
    m_stat2 = s2;
}

void GraphModel::setupScroll()
{
    const qint64 span = m_to - m_from;
    const qint64 high = m_buf.High();
    m_scroll.pageStep = std::clamp<qint64>(span / 20, 1, 32767);
    const int third = m_width / 3;
    m_scroll.singleStep = std::max<qint64>(third > 0 ? m_scroll.pageStep / third : 1, 1);
    m_scroll.minimum = span >= 1 && span < high ? span : 0;
    m_scroll.maximum = high < 1 ? 2 : high;
    // The scroll handler reads the position as the range's end.
    m_scroll.position = m_to;
}

int GraphModel::row1(long double v) const
{
    return clampRow(m_baseline - std::nearbyint((v - m_stat1.min) * m_scale1) - 1);
}

int GraphModel::row2(long double v) const
{
    return clampRow(m_baseline - std::nearbyint((v - m_stat2.min) * m_scale2) - 1);
}

long double GraphModel::valueAtRow(int y) const
{
    return (m_baseline - y) / m_scale1 + m_stat1.min;
}

void GraphModel::verticalIn()
{
    m_scale1 *= 1.1L;
    m_baseline += 5;
}

void GraphModel::verticalOut()
{
    m_scale1 /= 1.1L;
    m_baseline -= 5;
}

void GraphModel::moveUp()
{
    m_baseline -= 5;
}

void GraphModel::moveDown()
{
    m_baseline += 5;
}

GraphModel::Range GraphModel::zoomInRange(int column) const
{
    const qint64 q = (m_to - m_from) / 4;
    const GraphColumn &c = m_cols[static_cast<size_t>(columnAt(column))];
    return {c.firstIdx - q, c.lastIdx + q};
}

namespace {
// Zooming out under four records still widens by one on each side.
qint64 outStep(qint64 span)
{
    return std::max<qint64>(span / 4, 1);
}
} // namespace

GraphModel::Range GraphModel::zoomOutMenuRange() const
{
    const qint64 q = outStep(m_to - m_from);
    if (m_from - q > 0)
        return {m_from - q, m_to + q};
    return {0, m_buf.High()};
}

GraphModel::Range GraphModel::zoomOutMouseRange() const
{
    const qint64 q = outStep(m_to - m_from);
    if (m_from - q < 0)
        return {0, m_buf.High()};
    return {m_from - q, m_to + q};
}

GraphModel::Range GraphModel::scrollRange(qint64 position) const
{
    const qint64 span = m_to - m_from;
    if (position - span < 0)
        return {0, span};
    return {position - span, position};
}

int GraphModel::columnAt(int x) const
{
    return std::clamp(x, 0, m_width - 1);
}

void GraphModel::deleteRange(qint64 from, qint64 to)
{
    const qint64 high = m_buf.High();
    if (from > to)
        std::swap(from, to);
    from = std::clamp<qint64>(from, 0, high);
    to = std::clamp<qint64>(to, 0, high);
    MeasRecords &recs = m_buf.records();
    const qint64 pos = m_buf.bigarypos();
    // A wrapped ring is first put in time order, so the gap closes by one move.
    if (pos >= 0 && pos < high)
        std::rotate(recs.begin(), recs.begin() + (pos + 1), recs.end());
    const qint64 removed = to - from + 1;
    measpol *data = recs.data();
    std::memmove(static_cast<void *>(data + from), data + to + 1,
                 static_cast<size_t>(high - to) * sizeof(measpol));
    const qint64 cnt = std::max<qint64>(m_buf.bigarycnt() - removed, 0);
    if (removed > high) {
        recs.assign(1, measpol{});
        m_buf.setBookkeeping(-1, cnt);
    } else {
        recs.resize(static_cast<size_t>(high + 1 - removed));
        m_buf.setBookkeeping(high - removed, cnt);
    }
    m_colsValid = false;
    m_shadowValid = false;
}

QString GraphModel::aligned(long double v) const
{
    return FormatLongAligned(v, decSep);
}

QString GraphModel::totalText() const
{
    return texts.total + QStringLiteral("  ") + pad8(m_buf.High() + 1);
}

QString GraphModel::statisticText() const
{
    const QChar nl = QLatin1Char('\n');
    return texts.count + QStringLiteral("  ") + pad8(m_to - m_from + 1) + nl + texts.max +
           aligned(m_stat1.max) + nl + texts.min + aligned(m_stat1.min) + nl + texts.pkpk +
           aligned(m_stat1.max - m_stat1.min) + nl + graphTime(record(m_from).dateTime) + nl +
           graphTime(record(m_to).dateTime);
}

QString GraphModel::meanText() const
{
    return texts.mean + aligned(m_stat1.mean);
}

QString GraphModel::rmsText() const
{
    return texts.rms + aligned(m_stat1.rms);
}

QString GraphModel::cursorText(int column) const
{
    const GraphColumn &c = m_cols[static_cast<size_t>(columnAt(column))];
    const measpol &r = record(c.firstIdx);
    const QChar nl = QLatin1Char('\n');
    const QChar sp = QLatin1Char(' ');
    const char ds = datafile::decimalSeparatorOf(decSep);
    return texts.from + sp + pad8(c.firstIdx) + nl + texts.to + sp + pad8(c.lastIdx) + nl +
           texts.count + sp + pad8(c.lastIdx - c.firstIdx + 1) + nl + texts.max + aligned(c.max1) +
           nl + texts.min + aligned(c.min1) + nl + texts.pkpk + aligned(c.max1 - c.min1) + nl +
           texts.mean + aligned(c.mean1) + nl + texts.first + aligned(c.first1) + nl + texts.units +
           sp + r.Lunits1.toString() + nl + nl + graphCursorTime(r.dateTime) + nl + texts.range +
           sp + QString::fromLatin1(datafile::formatNumber(r.range, ds)) + nl + texts.resol + sp +
           QString::fromLatin1(datafile::formatNumber(r.resol, ds));
}

QString GraphModel::cursorStatus(int column, int y) const
{
    const GraphColumn &c = m_cols[static_cast<size_t>(columnAt(column))];
    const measpol &r = record(c.firstIdx);
    return QLatin1Char(' ') + aligned(c.mean1) + QStringLiteral("  ") + aligned(r.value2) +
           QStringLiteral("  ") + graphCursorTime(r.dateTime) + QStringLiteral("  [") +
           aligned(valueAtRow(y)) + QLatin1Char(']');
}

QString GraphModel::histogramStatus(int x) const
{
    x = std::clamp(x, 0, 100);
    const long double lo = m_stat1.min + x * m_binWidth;
    const long double hi = m_stat1.min + (x + 1) * m_binWidth;
    return QStringLiteral(" Value from: ") + FormatValue(lo, decSep) + QStringLiteral(" to ") +
           FormatValue(hi, decSep) + QStringLiteral("   count: ") +
           QString::number(m_hist[static_cast<size_t>(x)]) + QStringLiteral("  position: ") +
           QString::number(x + 1);
}

QString GraphModel::zoomLevelText() const
{
    const long double perColumn = static_cast<long double>(m_to - m_from) / m_width;
    return QStringLiteral("1 ~ ") + thousandsTwoDecimals(perColumn) + QStringLiteral(" [") +
           QString::number(m_width) + QStringLiteral("px]");
}

QString graphTime(double days)
{
    return dtime::format(QStringLiteral("ddd dd.mm.yyyy\nhh:nn:ss.zzz"), days);
}

QString graphCursorTime(double days)
{
    static const char *const kDays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                        "Friday", "Saturday", "Sunday"};
    const QDateTime dt = dtime::toQDateTime(days);
    const int dow = dt.date().dayOfWeek();
    const QString day = dow >= 1 && dow <= 7 ? QLatin1String(kDays[dow - 1]) : QString();
    return day + dtime::format(QStringLiteral("\nhh:nn:ss.zzz\ndd.mm.yyyy"), dt);
}

QString pad8(qint64 n)
{
    return QString::number(n).rightJustified(8, QLatin1Char(' '));
}

QString compactCount(qint64 n)
{
    if (n == 0)
        return QStringLiteral("      0");
    struct Step
    {
        long double limit;
        long double div;
        const char *unit;
    };
    static const Step kSteps[] = {{1024.0L, 1000.0L, "k "},
                                  {1048576.0L, 1024.0L, "Ki"},
                                  {1073741824.0L, 1048576.0L, "Mi"},
                                  {1099511627776.0L, 1073741824.0L, "Gi"}};
    const long double v = static_cast<long double>(n);
    for (const Step &s : kSteps) {
        if (v <= s.limit)
            return numtext::formatFixed(v / s.div, 1).rightJustified(5) + QLatin1String(s.unit);
    }
    return numtext::formatFixed(v / 1099511627776.0L, 1).rightJustified(5) + QStringLiteral("Ti");
}

QString thousandsTwoDecimals(long double v)
{
    QString s = numtext::formatFixed(v, 2);
    const qsizetype dot = s.indexOf(QLatin1Char('.'));
    qsizetype start = s.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = (dot < 0 ? s.size() : dot) - 3; i > start; i -= 3)
        s.insert(i, QLatin1Char(','));
    return s;
}
