// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measpol.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>
#include <vector>

namespace chart {

// Entries behind the shown ones only feed the shift; they always stay empty.
inline constexpr int kEntries = 1025;
inline constexpr int kShown = 400;
// Trend picture height; the histogram marker's 5.75 pixels per bin span it exactly.
inline constexpr int kHeight = 230;
inline constexpr int kBins = 41;     // bin 40 only ever holds the maximum
inline constexpr int kHistSize = 40; // histogram picture, pixels square
inline constexpr int kMean10Slots = 26;
inline constexpr int kMean10Used = 10;
inline constexpr long double kNoHover = -1e38L;
inline constexpr int kFontPoints = 36;
inline constexpr QPoint kLimitTextAt{140, 70};
inline constexpr int kClearTextX = 20;

inline const QColor kButtonFace{0xF0, 0xF0, 0xF0};
inline const QColor kTextGrey{0x80, 0x80, 0x80};
inline const QColor kMeanLine{0x80, 0x00, 0x00};
inline const QColor kZeroLine{0x00, 0x80, 0x80};
inline const QColor kLimitLine{0xFF, 0xFF, 0x00};
inline const QColor kHistBar{0x00, 0xFF, 0x00};

} // namespace chart

// One place of the chart history: the reading and where it was last drawn.
struct ChartEntry
{
    measpol rec;
    qint32 sampleNumber = 0; // 1-based position within a triggered series, else 0
    qint32 chartY = 0;       // pixel row of the last drawing; -1 for a lone first point
};

// What the chart needs of the current reading, the limit test and the settings.
struct ChartInput
{
    measpol reading;
    QString Units1;
    QString limitText; // "PASS", " LOW", "HIGH" or empty
    QColor limitColour = chart::kTextGrey;
    bool limitsOn = false;
    long double lowLimit = 0;
    long double highLimit = 1;
    QString decSep = QStringLiteral(".");
};

// Statistics since the last clear.
struct RunningStats
{
    qint32 count = 0;
    long double maximum = -1e38L;
    long double minimum = 1e38L;
    long double sum = 0;
    long double sumAbs = 0;
    long double sumSq = 0;
    double lastClear = 0;
};

// The 14-character right-aligned statistics form: 8 to 11 decimals, SI prefix.
QString FormatStat(long double x, QStringView decSep = u".");
// The ten lines of `mathal` after a reading x entered the statistics.
QString statisticsText(const RunningStats &s, long double x, QStringView decSep = u".");

// Pixel row of v in a chart of `height` rows, limited to 0…height.
int chartRow(long double v, long double minimum, long double span, int height);
// Bin of v, or -1 when the width is 0 (all readings equal: nothing to count).
int histogramBin(long double v, long double origin, long double width);
// Top of the chart marker that points at histogram column x.
int histogramMarkerTop(int x);
// "Histogram data:" box text: bin TAB count, two bins per line.
QString histogramDataText(std::span<const qint32> bins);
// " From: … to …   count: …  pos.: …"
QString histogramHoverText(int x, long double origin, long double width, qint32 count,
                           QStringView decSep = u".");
// Status text for a chart entry: its time, both values and units, or " n/a" when empty.
QString chartHoverText(const ChartEntry &e, QStringView decSep = u".");
// A number for the clipboard; Alt, Shift and Ctrl pick the alternative texts, later ones
// winning, as a click on the value label does.
QString clipboardValueText(long double v, const QString &unit, Qt::KeyboardModifiers mods,
                           const QString &decSep);
// " Last clear: 2024.March.05 14:03:09 "
QString lastClearHint(double days);

// The data behind the main window's trend chart, histogram, mean of ten and running
// statistics, and the drawing of both pictures.
class ChartStats
{
public:
    explicit ChartStats(int chartHeight = chart::kHeight);

    int chartHeight() const { return m_height; }
    const ChartEntry &entry(int i) const { return history()[static_cast<size_t>(i)]; }
    std::span<const ChartEntry> shown() const { return history().first(chart::kShown); }

    // Moves every entry one place towards index 0; the newest place receives the empty
    // entry behind it.
    void shiftHistory();
    // The newest shown entry becomes `rec`; the sample number is left alone unless given.
    void storeNewest(const measpol &rec, std::optional<int> sampleNumber = std::nullopt);

    // With `add` the history moves on and takes the current reading. Recomputes the chart
    // statistics and histogram and redraws; false (pictures unchanged) when the current
    // reading is not valid.
    bool UpdateChart(bool add, bool white, const ChartInput &in);
    void UpdateMean10(long double v, QStringView decSep = u".");
    void ShiftMean10();
    void UpdateStatistics(long double x, QStringView decSep = u".");
    void EraseChart();
    void ClearStatistic(double now);
    // "Clear..." on the chart, half-way down.
    void drawClearNote();

    // Chart hover: the status text, and the row of the marker when an entry is there.
    struct Hover
    {
        QString status;
        std::optional<int> markerRow;
    };
    Hover hoverChart(int x, QStringView decSep = u".");
    void leaveChart() { m_hover = chart::kNoHover; }
    long double hoverValue() const { return m_hover; }
    QString hoverHistogram(int x, QStringView decSep = u".") const;

    const QImage &chartImage() const { return m_chart; }
    const QImage &histogramImage() const { return m_histo; }
    void setBackground(const QColor &c) { m_background = c; }
    void setChartFont(const QFont &f);

    std::span<const qint32> bins() const { return m_bins; }
    long double binWidth() const { return m_binWidth; }
    long double origin() const { return m_origin; }
    long double maximum() const { return m_max; }
    long double minimum() const { return m_min; }
    long double span() const { return m_span; }
    long double mean() const { return m_mean; }
    int meanCount() const { return m_meanCount; }

    std::span<const long double> mean10Slots() const { return m_mean10; }
    long double lastMean() const { return m_lastMean; }
    const RunningStats &stats() const { return m_stats; }

    // Label texts as the last operation left them.
    struct Texts
    {
        QString devlabel, maxlab1, minlab1, meanl1;
        QString mean10l = QStringLiteral("N/A");
        QString updowmeai;
        QString mathal;
        QString clearHint; // hint of "Clear Statistic!"
    };
    const Texts &texts() const { return m_texts; }

private:
    void drawChart(bool white, const ChartInput &in);
    void drawHistogram(bool white);
    int rawRow(long double v) const;
    void clearChartLabels();

    std::span<ChartEntry> history() { return {m_store.data() + m_base, chart::kEntries}; }
    std::span<const ChartEntry> history() const
    {
        return {m_store.data() + m_base, chart::kEntries};
    }

    int m_height;
    // The history is a window sliding over a longer store, so a long series moves it on
    // by one entry at a time without moving all of it each time.
    std::vector<ChartEntry> m_store;
    size_t m_base = 0;
    std::array<qint32, chart::kBins> m_bins{};
    long double m_binWidth = 0, m_origin = 0;
    long double m_max = 0, m_min = 0, m_span = 0;
    long double m_drawSpan = 4e-34L; // the span, never 0
    long double m_mean = 0;
    int m_meanCount = 0;
    std::array<long double, chart::kMean10Slots> m_mean10{};
    long double m_lastMean = 0;
    RunningStats m_stats;
    long double m_hover = chart::kNoHover;
    QImage m_chart, m_histo;
    QColor m_background = chart::kButtonFace;
    QFont m_font;
    Texts m_texts;
};
