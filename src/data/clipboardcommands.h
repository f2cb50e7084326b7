// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/clipboardexport.h"

#include <QImage>
#include <QString>

#include <functional>
#include <utility>

class BigAry;
class QMenu;
class QWidget;
struct Settings;

// What the clipboard commands of the windows do: texts composed by clipexport, pictures
// grabbed from a panel as it shows now.
namespace clipcmd {

// The panel with everything drawn on it, as a 24-bit picture.
QImage panelImage(QWidget *panel);
// The panel's picture on the clipboard ("Copy chart to image" of the large graph).
void copyPanelImage(QWidget *panel);

// The buffer's chronological records from..to (inclusive) on the clipboard. More than
// 32001 records ask first, titled with `caption`; anything but Yes leaves the clipboard
// as it was. False when nothing was copied. `decSeparator` is the DecSeparator setting.
bool copyRange(QWidget *owner, const QString &caption, const BigAry &buffer, qint64 from, qint64 to,
               clipexport::Form form, const QString &decSeparator);
// "copy chart as values": one complete line per record.
bool copyRangeAsValues(QWidget *owner, const QString &caption, const BigAry &buffer, qint64 from,
                       qint64 to, const QString &decSeparator);
// "copy chart num only": the primary value of each record.
bool copyRangeNumbersOnly(QWidget *owner, const QString &caption, const BigAry &buffer, qint64 from,
                          qint64 to, const QString &decSeparator);

// The large graph's selection: chronological from and to index.
using Selection = std::function<std::pair<qint64, qint64>()>;

// Adds "copy chart as values" (`copychartasvalues1`), "copy chart num only"
// (`copychartnumonly1`) and "Copy chart to image" (`Copycharttoimage1`) to the graph's
// "Data" menu. The question is titled with `window`'s caption at the time of the click.
void addGraphCopyItems(QMenu *data, QWidget *window, const BigAry &buffer, Selection selection,
                       QWidget *panel, const Settings &settings);

} // namespace clipcmd
