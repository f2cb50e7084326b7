// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>

class GraphModel;

// Painting what GraphModel computed: one set of lines per pixel column.
namespace graphpaint {

inline const QColor kBackground(240, 240, 240);

// The graph picture: column extents, first values, means, the dashed reference lines.
void paintGraph(QImage &img, const GraphModel &model, bool twoPixel, bool secondary);
// The 100 x 100 histogram picture on `background`; bin 100 is counted but not drawn.
void paintHistogram(QImage &img, const GraphModel &model, const QColor &background);

} // namespace graphpaint
