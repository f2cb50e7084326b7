// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/bigary.h"

#include <QString>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

// One pixel column of the large graph: what the records falling on it amount to.
struct GraphColumn
{
    long double mean1 = 0;
    long double min1 = 1e37L;
    long double max1 = -1e37L;
    long double mean2 = 0;
    long double max2 = -1e37L;
    long double min2 = 1e37L;
    long double first1 = 0;
    qint64 firstIdx = 0;
    qint64 lastIdx = 0;
};

// Maximum, minimum, mean and RMS of one value over the visible range.
struct RangeStats
{
    long double max = -1e38L;
    long double min = 1e38L;
    long double mean = 0;
    long double rms = 0;
};

// Where the scroll bar under the graph stands after a rescale.
struct ScrollSetup
{
    qint64 minimum = 0;
    qint64 maximum = 2;
    qint64 pageStep = 1;
    qint64 singleStep = 1;
    qint64 position = 0;
};

// Label words of the window; the language file may replace them.
struct GraphTexts
{
    QString total = QStringLiteral("Total");
    QString from = QStringLiteral("From");
    QString to = QStringLiteral("To");
    QString count = QStringLiteral("Count");
    QString mean = QStringLiteral("Mean");
    QString rms = QStringLiteral("RMS");
    QString min = QStringLiteral("Min");
    QString max = QStringLiteral("Max");
    QString range = QStringLiteral("Range");
    QString pkpk = QStringLiteral("Pk/Pk");
    QString first = QStringLiteral("First");
    QString units = QStringLiteral("Units");
    QString resol = QStringLiteral("Resol");
};

// The large graph's arithmetic over the buffer: the visible range with its statistics,
// scales and histogram, the column table the picture is drawn from, zoom and scroll steps,
// and the label texts. No widgets; the window paints what this computed.
class GraphModel
{
public:
    explicit GraphModel(BigAry &buffer);

    BigAry &buffer() { return m_buf; }
    const BigAry &buffer() const { return m_buf; }

    // The column table follows the image width; the baseline the image height.
    void setImageSize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The secondary trace (`SecGraph1`) adds the secondary statistics and columns.
    void setSecondary(bool on);
    bool secondary() const { return m_secondary; }

    // A negative argument keeps that end. The range is put in order and kept inside the
    // buffer.
    void rescale(qint64 from, qint64 to);
    // Fills the column table from the visible range (at once when rescale already did).
    void buildColumns();

    qint64 from() const { return m_from; }
    qint64 to() const { return m_to; }
    const RangeStats &primary() const { return m_stat1; }
    const RangeStats &secondaryStats() const { return m_stat2; }
    long double scale1() const { return m_scale1; }
    long double scale2() const { return m_scale2; }
    long double baseline() const { return m_baseline; }
    const std::array<qint64, 101> &histogram() const { return m_hist; }
    long double binWidth() const { return m_binWidth; }
    const std::vector<GraphColumn> &columns() const { return m_cols; }

    // Image rows of a primary and a secondary value.
    int row1(long double v) const;
    int row2(long double v) const;
    // The value the cursor row stands for.
    long double valueAtRow(int y) const;

    // Vertical adjustments: they last until the next rescale.
    void verticalIn();
    void verticalOut();
    void moveUp();
    void moveDown();

    struct Range
    {
        qint64 from;
        qint64 to;
        bool operator==(const Range &) const = default;
    };
    // Zoom in around a column (the centre for the menu, the clicked one for the mouse).
    Range zoomInRange(int column) const;
    // Zoom out from the menu and by the right mouse button differ at from - q == 0.
    Range zoomOutMenuRange() const;
    Range zoomOutMouseRange() const;
    // The range the scroll bar at `position` shows.
    Range scrollRange(qint64 position) const;
    const ScrollSetup &scrollSetup() const { return m_scroll; }

    // The record of a chronological index; indices left over from before a deletion are
    // kept inside the buffer.
    const measpol &record(qint64 i) const
    {
        return m_buf[m_buf.Slot(std::clamp<qint64>(i, 0, m_buf.High()))];
    }

    // After the buffer was rewritten in place (loading, generating, clearing): the speed-up
    // copy of the primary values is rebuilt at the next rescale.
    void invalidateShadow();
    // The same, and its memory goes back: a load brings a shadow of its own.
    void releaseShadow();

    // Takes the view `other` computed, on another thread, over the contents this model's
    // buffer has since received whole (a finished load): the next rescale over that range
    // uses it instead of passing over every record again on the GUI thread.
    void adoptView(GraphModel &&other);

    // Removes the records from..to (chronological, inclusive); later ones move down.
    void deleteRange(qint64 from, qint64 to);

    // Label texts. `decSep` is the shown decimal separator.
    GraphTexts texts;
    QString decSep = QStringLiteral(".");
    QString totalText() const;
    QString statisticText() const; // `millab`
    QString meanText() const;
    QString rmsText() const;
    QString cursorText(int column) const;
    QString cursorStatus(int column, int y) const;
    QString histogramStatus(int x) const;
    QString zoomLevelText() const;
    QString aligned(long double v) const;

    // Column of an image x, kept inside the table.
    int columnAt(int x) const;

private:
    bool takePrepared();
    template <bool Sec>
    void pass(qint64 from, qint64 to, bool columns);
    void countHistogram();
    bool syncShadow();
    void setupScroll();

    BigAry &m_buf;
    int m_width = 1;
    int m_height = 1;
    bool m_secondary = false;
    qint64 m_from = 0;
    qint64 m_to = 0;
    RangeStats m_stat1;
    RangeStats m_stat2;
    long double m_scale1 = 1;
    long double m_scale2 = 1;
    long double m_baseline = 1;
    std::array<qint64, 101> m_hist{};
    long double m_binWidth = 0;
    std::vector<GraphColumn> m_cols;
    bool m_colsValid = false;
    ScrollSetup m_scroll;
    // The primary values as doubles, slot by slot, kept in step with the buffer; only
    // for speed, never for a shown figure.
    std::vector<double> m_shadow;
    bool m_shadowValid = false;
    qint64 m_shadowCnt = 0;
    qint64 m_shadowPos = -1;

    struct Prepared
    {
        qint64 from, to, high, pos, cnt;
        int width, height;
        bool secondary;
        RangeStats stat1, stat2;
        std::array<qint64, 101> hist;
        std::vector<GraphColumn> cols;
    };
    std::optional<Prepared> m_prepared;
};

// Long-form date lines of the labels.
QString graphTime(double days);       // "ddd dd.mm.yyyy\nhh:nn:ss.zzz"
QString graphCursorTime(double days); // "dddd\nhh:nn:ss.zzz\ndd.mm.yyyyy"
// "%8d"
QString pad8(qint64 n);
// Progress count form: "      0", "  1.5k ", " 12.0Ki", ...
QString compactCount(qint64 n);
// "1,234.57": thousands separators and two decimals, whatever the locale.
QString thousandsTwoDecimals(long double v);
