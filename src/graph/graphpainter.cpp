// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphpainter.h"

#include "graph/graphmodel.h"

#include <QPainter>

#include <algorithm>

namespace graphpaint {

namespace {

// One-pixel lines straight into the image: the graph's lines are at most one column wide,
// so a steep line is a run down one column that steps to the next half way.
class Raster
{
public:
    explicit Raster(QImage &img)
        : m_bits(reinterpret_cast<QRgb *>(img.bits())),
          m_stride(static_cast<int>(img.bytesPerLine() / 4)), m_w(img.width()), m_h(img.height())
    {
    }
    void setPen(const QColor &c, int) { m_c = c.rgb(); }
    void drawLine(int x0, int y0, int x1, int y1)
    {
        if (x0 == x1) {
            run(x0, y0, y1);
        } else if (y0 == y1) {
            if (y0 < 0 || y0 >= m_h)
                return;
            for (int x = std::max(std::min(x0, x1), 0); x <= std::min(std::max(x0, x1), m_w - 1);
                 ++x)
                m_bits[y0 * m_stride + x] = m_c;
        } else {
            // Only lines one column apart are drawn this way (see paintGraph).
            const int mid = y0 + (y1 - y0) / 2;
            run(x0, y0, mid);
            run(x1, mid + (y1 > y0 ? 1 : -1), y1);
        }
    }

private:
    void run(int x, int y0, int y1)
    {
        if (x < 0 || x >= m_w)
            return;
        if (y0 > y1)
            std::swap(y0, y1);
        y0 = std::max(y0, 0);
        y1 = std::min(y1, m_h - 1);
        for (int y = y0; y <= y1; ++y)
            m_bits[y * m_stride + x] = m_c;
    }

    QRgb *m_bits;
    int m_stride, m_w, m_h;
    QRgb m_c = 0;
};

template <typename Painter>
void paintColumns(Painter &p, const GraphModel &model, int penWidth, bool secondary)
{
    const QColor silver(192, 192, 192), grey(128, 128, 128), black(Qt::black), navy(0, 0, 128);
    const auto &cols = model.columns();
    int prevMean = cols.empty() ? 0 : model.row1(cols[0].mean1) + 1;
    int prevMean2 = cols.empty() ? 0 : model.row2(cols[0].mean2) + 1;
    for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
        const GraphColumn &c = cols[static_cast<size_t>(i)];
        p.setPen(silver, penWidth);
        p.drawLine(i, model.row1(c.min1), i, model.row1(c.max1));
        p.setPen(grey, penWidth);
        const int first = model.row1(c.first1);
        p.drawLine(i - 1, first, i, first);
        p.setPen(black, penWidth);
        const int mean = model.row1(c.mean1);
        p.drawLine(i - 1, prevMean, i, mean);
        prevMean = mean;
        if (secondary) {
            p.setPen(navy, penWidth);
            const int mean2 = model.row2(c.mean2);
            p.drawLine(i - 1, prevMean2, i, mean2);
            prevMean2 = mean2;
        }
    }
}

template <typename Painter>
void paintReferences(Painter &p, const GraphModel &model, int width)
{
    const QColor teal(0, 128, 128), maroon(128, 0, 0), purple(128, 0, 128);
    const int zero = model.row1(0), meanRow = model.row1(model.primary().mean),
              rmsRow = model.row1(model.primary().rms);
    for (int x = 0; x <= width + 9; x += 9) {
        p.setPen(teal, 1);
        p.drawLine(x - 9, zero, x - 6, zero);
        p.setPen(maroon, 1);
        p.drawLine(x - 6, meanRow, x - 3, meanRow);
        p.setPen(purple, 1);
        p.drawLine(x - 3, rmsRow, x, rmsRow);
    }
}

// QPainter for the two-pixel pen.
struct WidePainter
{
    QPainter p;
    explicit WidePainter(QImage &img) : p(&img) {}
    void setPen(const QColor &c, int width) { p.setPen(QPen(c, width)); }
    void drawLine(int x0, int y0, int x1, int y1) { p.drawLine(x0, y0, x1, y1); }
};

} // namespace

void paintGraph(QImage &img, const GraphModel &model, bool twoPixel, bool secondary)
{
    img.fill(kBackground);
    if (twoPixel) {
        WidePainter p(img);
        paintColumns(p, model, 2, secondary);
        paintReferences(p, model, img.width());
    } else {
        Raster r(img);
        paintColumns(r, model, 1, secondary);
        paintReferences(r, model, img.width());
    }
}

void paintHistogram(QImage &img, const GraphModel &model, const QColor &background)
{
    img.fill(background);
    const auto &bins = model.histogram();
    const qint64 largest = *std::max_element(bins.begin(), bins.begin() + 100);
    if (largest > 0) {
        QPainter p(&img);
        p.setPen(Qt::black);
        for (int i = 0; i < 100; ++i) {
            const int top =
                static_cast<int>(100 - bins[static_cast<size_t>(i)] / (largest / 100.0));
            p.drawLine(i, 99, i, top);
        }
    }
}

} // namespace graphpaint
