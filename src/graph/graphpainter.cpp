// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphpainter.h"

#include "graph/graphmodel.h"

#include <QPainter>

#include <algorithm>

namespace graphpaint {

void paintGraph(QImage &img, const GraphModel &model, bool twoPixel, bool secondary)
{
    const int w = img.width();
    img.fill(kBackground);
    {
        QPainter p(&img);
        const int penWidth = twoPixel ? 2 : 1;
        const QPen silver(QColor(192, 192, 192), penWidth), grey(QColor(128, 128, 128), penWidth),
            black(Qt::black, penWidth), navy(QColor(0, 0, 128), penWidth);
        const auto &cols = model.columns();
        const bool sec = secondary;
        int prevMean = cols.empty() ? 0 : model.row1(cols[0].mean1) + 1;
        int prevMean2 = cols.empty() ? 0 : model.row2(cols[0].mean2) + 1;
        for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
            const GraphColumn &c = cols[static_cast<size_t>(i)];
            p.setPen(silver);
            p.drawLine(i, model.row1(c.min1), i, model.row1(c.max1));
            p.setPen(grey);
            const int first = model.row1(c.first1);
            p.drawLine(i - 1, first, i, first);
            p.setPen(black);
            const int mean = model.row1(c.mean1);
            p.drawLine(i - 1, prevMean, i, mean);
            prevMean = mean;
            if (sec) {
                p.setPen(navy);
                const int mean2 = model.row2(c.mean2);
                p.drawLine(i - 1, prevMean2, i, mean2);
                prevMean2 = mean2;
            }
        }
        const QPen teal(QColor(0, 128, 128), 1), maroon(QColor(128, 0, 0), 1),
            purple(QColor(128, 0, 128), 1);
        const int zero = model.row1(0), meanRow = model.row1(model.primary().mean),
                  rmsRow = model.row1(model.primary().rms);
        for (int x = 0; x <= w + 9; x += 9) {
            p.setPen(teal);
            p.drawLine(x - 9, zero, x - 6, zero);
            p.setPen(maroon);
            p.drawLine(x - 6, meanRow, x - 3, meanRow);
            p.setPen(purple);
            p.drawLine(x - 3, rmsRow, x, rmsRow);
        }
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
