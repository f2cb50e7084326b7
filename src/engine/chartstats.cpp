// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartstats.h"

#include "data/datetime.h"
#include "data/numtext.h"
#include "readingformat.h"

#include <QLine>
#include <QPainter>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

namespace {

// Shifts between two moves of the whole history.
constexpr size_t kSlack = 4096;

ChartEntry emptyEntry()
{
    ChartEntry e;
    e.rec.value1 = sentinel::kEmptyReading;
    e.rec.value2 = sentinel::kEmptyReading;
    return e;
}

// Rows that may lie outside the picture: nullopt then.
std::optional<int> rowInside(long double row, int height)
{
    if (!(row >= 0 && row < height))
        return std::nullopt;
    const long double r = std::round(row);
    if (r >= height)
        return std::nullopt;
    return static_cast<int>(r);
}

QFont defaultChartFont()
{
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace);
    f.setPointSize(chart::kFontPoints);
    // Solid glyph pixels keep the picture identical from run to run.
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

} // namespace

QString FormatStat(long double x, QStringView decSep)
{
    QString s;
    if (std::isnan(x))
        s = QStringLiteral("NAN");
    else if (std::isinf(x))
        s = x < 0 ? QStringLiteral("-INF") : QStringLiteral("+INF");
    else
        s = FormatLong(x, decSep); // the same prefix, decimals and cut to 12 characters
    if (s.size() >= 14)
        return s.right(14);
    return QString(14 - s.size(), QLatin1Char(' ')) + s;
}

QString statisticsText(const RunningStats &s, long double x, QStringView decSep)
{
    const long double mean = s.sum / s.count;
    const long double rms = std::sqrt(s.sumSq / s.count);
    const long double spread = s.maximum - s.minimum;
    auto line = [&](const char *label, long double v) {
        return QLatin1String(label) + FormatStat(v, decSep) + QLatin1Char('\n');
    };
    QString t = QStringLiteral("Count:   ") +
                QString::number(s.count).rightJustified(10, QLatin1Char(' ')) +
                QStringLiteral(" \n");
    t += line("Actual:  ", x);
    t += line("Max:     ", s.maximum);
    t += line("Min:     ", s.minimum);
    t += line("Max-Min: ", spread);
    t += line("Mean:    ", mean);
    t += line("Prop.:   ", spread / mean);
    t += line("Average: ", s.sumAbs / s.count);
    t += line("RMS:     ", rms);
    t += line("FormFac: ", spread / 2 / rms);
    return t;
}

int chartRow(long double v, long double minimum, long double span, int height)
{
    long double y = height - (height - 1) / span * (v - minimum) - 1;
    if (!(y >= 0)) // NaN lands on the top row too
        y = 0;
    if (y > height)
        y = height;
    return static_cast<int>(std::round(y));
}

int histogramBin(long double v, long double origin, long double width)
{
    if (width == 0)
        return -1;
    const long double b = std::round((v - origin) / width);
    if (!std::isfinite(b))
        return -1;
    return static_cast<int>(std::clamp<long double>(b, 0, chart::kBins - 1));
}

int histogramMarkerTop(int x)
{
    return static_cast<int>(std::lround((39 - x) * 5.75)) + 2;
}

QString histogramDataText(std::span<const qint32> bins)
{
    QString t = QStringLiteral("Histogram data:\n\n");
    for (int i = 0; i < chart::kHistSize && i < static_cast<int>(bins.size()); ++i) {
        t += QString::number(i) + QLatin1Char('\t') + QString::number(bins[size_t(i)]);
        t += (i % 2) ? QStringLiteral("\n") : QStringLiteral("\t\t");
    }
    return t;
}

QString histogramHoverText(int x, long double origin, long double width, qint32 count,
                           QStringView decSep)
{
    return QStringLiteral(" From: ") + FormatValue(origin + x * width, decSep) +
           QStringLiteral(" to ") + FormatValue(origin + (x + 1) * width, decSep) +
           QStringLiteral("   count: ") + QString::number(count) + QStringLiteral("  pos.: ") +
           QString::number(x);
}

QString chartHoverText(const ChartEntry &e, QStringView decSep)
{
    if (!(e.rec.dateTime > 1))
        return QStringLiteral(" n/a");
    return QLatin1Char(' ') + dtime::format(QStringLiteral("ddd hh:nn:ss.zzz"), e.rec.dateTime) +
           QStringLiteral("  ") + FormatValue(e.rec.value1, decSep) + QLatin1Char(' ') +
           e.rec.Lunits1.toString() + QStringLiteral(" ;  ") + FormatValue(e.rec.value2, decSep) +
           QLatin1Char(' ') + e.rec.Lunits2.toString();
}

QString clipboardValueText(long double v, const QString &unit, Qt::KeyboardModifiers mods,
                           const QString &decSep)
{
    const QString number = numtext::withDecSeparator(numtext::formatGeneral(v), decSep);
    QString t = number;
    if (mods & Qt::AltModifier)
        t = FormatValue(v, decSep);
    if (mods & Qt::ShiftModifier)
        t = number + QLatin1Char('\t') + unit;
    if (mods & Qt::ControlModifier)
        t = number + QLatin1Char(' ') + unit;
    return t;
}

QString lastClearHint(double days)
{
    static const char *const kMonths[] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
    const int month = dtime::toQDateTime(days).date().month();
    const QString name = month >= 1 && month <= 12 ? QLatin1String(kMonths[month - 1]) : QString();
    return QStringLiteral(" Last clear: ") + dtime::format(QStringLiteral("yyyy"), days) +
           QLatin1Char('.') + name + QLatin1Char('.') +
           dtime::format(QStringLiteral("dd hh:nn:ss"), days) + QLatin1Char(' ');
}

ChartStats::ChartStats(int chartHeight)
    : m_height(std::max(chartHeight, 2)), m_store(chart::kEntries + kSlack, emptyEntry()),
      m_chart(chart::kShown, m_height, QImage::Format_RGB32),
      m_histo(chart::kHistSize, chart::kHistSize, QImage::Format_RGB32)
{
    m_mean10.fill(sentinel::kEmptyReading);
    EraseChart();
}

void ChartStats::setChartFont(const QFont &f)
{
    m_font = f;
    m_font.setPointSize(chart::kFontPoints);
    m_font.setStyleStrategy(QFont::NoAntialias);
}

void ChartStats::shiftHistory()
{
    // Past the window's end the store holds only empty entries.
    if (m_base == kSlack) {
        std::move(m_store.begin() + kSlack, m_store.end(), m_store.begin());
        std::fill(m_store.begin() + chart::kEntries, m_store.end(), emptyEntry());
        m_base = 0;
    }
    ++m_base;
}

void ChartStats::storeNewest(const measpol &rec, std::optional<int> sampleNumber)
{
    ChartEntry &e = history()[chart::kShown - 1];
    e.rec = rec;
    if (sampleNumber)
        e.sampleNumber = *sampleNumber;
}

bool ChartStats::UpdateChart(bool add, bool white, const ChartInput &in)
{
    m_bins.fill(0);
    if (add)
        shiftHistory();
    if (!sentinel::isValid(in.reading.value1))
        return false;
    // Only a new reading is stored: a plain redraw (limits changed, picture saved) must
    // not slip a reading the filter or the chart delay kept out into the history.
    if (add)
        storeNewest(in.reading);

    m_max = -3e30L;
    m_min = 2e30L;
    bool any = false;
    for (int i = 0; i < chart::kShown; ++i) {
        const long double v = history()[size_t(i)].rec.value1;
        if (!sentinel::isValid(v))
            continue;
        any = true;
        m_max = std::max(m_max, v);
        m_min = std::min(m_min, v);
    }
    m_span = m_max - m_min;
    m_binWidth = m_span / 40;
    m_origin = m_min;

    // Without a reading the start values of the search would show as numbers.
    if (any) {
        m_texts.devlabel =
            QLatin1Char(' ') + FormatValue(m_span, in.decSep) + in.Units1 + QLatin1Char(' ');
        m_texts.maxlab1 = QLatin1Char(' ') + FormatValue(m_max, in.decSep) + QLatin1Char(' ');
        m_texts.minlab1 = QLatin1Char(' ') + FormatValue(m_min, in.decSep) + QLatin1Char(' ');
    } else {
        clearChartLabels();
    }

    m_drawSpan = m_span == 0 ? 4e-34L : m_span;
    drawChart(white, in);
    drawHistogram(white);
    return true;
}

void ChartStats::clearChartLabels()
{
    m_texts.devlabel.clear();
    m_texts.maxlab1.clear();
    m_texts.minlab1.clear();
    m_texts.meanl1.clear();
}

int ChartStats::rawRow(long double v) const
{
    return chartRow(v, m_min, m_drawSpan, m_height);
}

void ChartStats::drawChart(bool white, const ChartInput &in)
{
    const int w = chart::kShown;
    const int h = m_height;
    QPainter p(&m_chart);
    p.fillRect(m_chart.rect(), white ? QColor(Qt::white) : m_background);
    if (!in.limitText.isEmpty()) {
        p.setFont(m_font);
        p.setPen(in.limitColour);
        p.drawText(QRect(chart::kLimitTextAt, QSize(w, h)), Qt::AlignLeft | Qt::AlignTop,
                   in.limitText);
    }

    QVarLengthArray<QLine, chart::kShown> lines;
    QVarLengthArray<QPoint, 4> marks;
    std::optional<QPoint> at;
    if (sentinel::isValid(history()[0].rec.value1))
        at = QPoint(0, rawRow(history()[0].rec.value1));
    long double sum = 0;
    int count = 0;
    for (int i = 0; i < chart::kShown; ++i) {
        ChartEntry &e = history()[size_t(i)];
        const long double v = e.rec.value1;
        if (!sentinel::isValid(v))
            continue;
        const QPoint pt(i, rawRow(v));
        sum += v;
        ++count;
        if (at) {
            lines.append(QLine(*at, pt));
            e.chartY = pt.y();
        } else {
            marks.append(pt);
            e.chartY = -1;
        }
        at = pt;
        const int bin = histogramBin(v, m_origin, m_binWidth);
        if (bin >= 0)
            ++m_bins[size_t(bin)];
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawLines(lines.constData(), int(lines.size()));
    p.drawPoints(marks.constData(), int(marks.size()));

    if (count > 0)
        m_mean = sum / count;
    m_meanCount = count;
    if (count == 0)
        return;
    m_texts.meanl1 = QLatin1Char(' ') + FormatValue(m_mean, in.decSep) + QLatin1Char('/') +
                     QString::number(count) + QLatin1Char(' ');
    const int meanRow = rawRow(m_mean);
    p.setPen(QPen(chart::kMeanLine, 1));
    p.drawLine(0, meanRow, w - 1, meanRow);

    if (m_min < 0 && m_max > 0) {
        const long double zr = m_drawSpan <= 1e-24L ? 0 : m_max / m_drawSpan * (h - 1);
        if (const auto row = rowInside(zr, h)) {
            p.setPen(QPen(chart::kZeroLine, 1));
            p.drawLine(0, *row, w - 1, *row);
        }
    }

    if (in.limitsOn) {
        p.setPen(QPen(chart::kLimitLine, 1, Qt::DotLine));
        for (const long double limit : {in.highLimit, in.lowLimit}) {
            const long double y =
                m_drawSpan <= 1e-30L ? 0 : h - (h - 1) / m_drawSpan * (limit - m_min) - 1;
            if (const auto row = rowInside(y, h))
                p.drawLine(0, *row, w - 1, *row);
        }
    }
}

void ChartStats::drawHistogram(bool white)
{
    const int n = chart::kHistSize;
    qint32 m = 0;
    for (int i = 0; i < n; ++i)
        m = std::max(m, m_bins[size_t(i)]);
    QPainter p(&m_histo);
    p.fillRect(m_histo.rect(), white ? Qt::white : Qt::black);
    if (m == 0)
        return;
    p.setPen(QPen(white ? QColor(Qt::black) : chart::kHistBar, 1));
    for (int i = 0; i < n; ++i) {
        const int top = int(std::lround(n - m_bins[size_t(i)] / (m / double(n))));
        if (top < n)
            p.drawLine(i, n - 1, i, top);
    }
}

void ChartStats::UpdateMean10(long double v, QStringView decSep)
{
    if (v != 0 && m_lastMean != 0) {
        const long double ratio = std::fabs(v / m_lastMean);
        if (ratio > 1.1L || ratio < 0.9L) {
            m_mean10.fill(sentinel::kEmptyReading);
            m_texts.mean10l = QStringLiteral("N/A");
        }
    }
    m_mean10[0] = v;
    long double sum = 0;
    int count = 0;
    for (int i = 0; i < chart::kMean10Used; ++i) {
        if (sentinel::isValid(m_mean10[size_t(i)])) {
            sum += m_mean10[size_t(i)];
            ++count;
        }
    }
    if (count > 0 && sum != 0) {
        const long double mean = sum / count;
        m_texts.mean10l = FormatValue(mean, decSep) + QStringLiteral(" /") + QString::number(count);
        m_texts.updowmeai = mean > m_lastMean   ? QStringLiteral("t")
                            : mean < m_lastMean ? QStringLiteral("u")
                                                : QString();
        m_lastMean = mean;
    }
}

void ChartStats::ShiftMean10()
{
    std::move_backward(m_mean10.begin(), m_mean10.begin() + chart::kMean10Used - 1,
                       m_mean10.begin() + chart::kMean10Used);
}

void ChartStats::UpdateStatistics(long double x, QStringView decSep)
{
    // The engine offers only valid readings; a stray overload would poison every sum.
    if (!sentinel::isValid(x))
        return;
    RunningStats &s = m_stats;
    ++s.count;
    if (x > s.maximum)
        s.maximum = x;
    if (x < s.minimum)
        s.minimum = x;
    s.sum += x;
    s.sumAbs += std::fabs(x);
    s.sumSq += x * x;
    m_texts.mathal = statisticsText(s, x, decSep);
}

void ChartStats::EraseChart()
{
    m_texts.mean10l = QStringLiteral("N/A");
    m_mean10.fill(sentinel::kEmptyReading);
    m_bins.fill(0);
    std::fill(m_store.begin(), m_store.end(), emptyEntry());
    m_base = 0;
    clearChartLabels();
    m_font = defaultChartFont();
    m_chart.fill(m_background);
    m_histo.fill(Qt::black);
}

void ChartStats::ClearStatistic(double now)
{
    m_stats = RunningStats{};
    m_stats.lastClear = now;
    m_texts.mathal = QStringLiteral("No Data!");
    m_texts.clearHint = lastClearHint(now);
}

void ChartStats::drawClearNote()
{
    QPainter p(&m_chart);
    p.setFont(m_font);
    p.setPen(chart::kTextGrey);
    p.drawText(QRect(chart::kClearTextX, m_height / 2, chart::kShown, m_height),
               Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Clear..."));
}

ChartStats::Hover ChartStats::hoverChart(int x, QStringView decSep)
{
    x = std::clamp(x, 0, chart::kShown - 1);
    const ChartEntry &e = history()[size_t(x)];
    if (e.rec.dateTime > 1) {
        m_hover = e.rec.value1;
        return {chartHoverText(e, decSep), e.chartY};
    }
    m_hover = chart::kNoHover;
    return {QStringLiteral(" n/a"), std::nullopt};
}

QString ChartStats::hoverHistogram(int x, QStringView decSep) const
{
    x = std::clamp(x, 0, chart::kHistSize - 1);
    return histogramHoverText(x, m_origin, m_binWidth, m_bins[size_t(x)], decSep);
}
