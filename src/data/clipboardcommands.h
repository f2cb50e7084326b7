// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/clipboardexport.h"

#include <QImage>
#include <QString>

class BigAry;
class QWidget;

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

} // namespace clipcmd
