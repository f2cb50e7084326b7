// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/measpol.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class BigAry;

// The texts the clipboard commands hand over: tab-separated lines ending in CR LF, numbers in
// the data-file form with the decimal separator setting put in. Windows only pass them on.
namespace clipexport {

// A range whose to index lies further than this above its from index needs the operator's
// consent: spreadsheets take little more.
inline constexpr qint64 kSpreadsheetLimit = 32000;

enum class Form {
    Complete,    // value, unit, date-time without ms, range, resolution, value 2, unit 2
    NumbersOnly, // the primary value alone
};

// One record as a line of the chosen form, CR LF included.
QString recordText(const measpol &rec, Form form, char decSep);

// Records 0..count-1 handed out by recordAt, one line each.
QString listText(int count, const std::function<const measpol &(int)> &recordAt, Form form,
                 char decSep);

// A chronological range of the buffer, inclusive, reordered and held inside the records the
// buffer has; empty when the buffer holds none.
struct Range
{
    qint64 from = 0;
    qint64 to = -1;
    bool empty() const { return to < from; }
    qint64 count() const { return empty() ? 0 : to - from + 1; }
    bool needsConsent() const { return to - from > kSpreadsheetLimit; }
};
Range bufferRange(const BigAry &buffer, qint64 from, qint64 to);

// The range's records oldest first, built in one growing text.
QString rangeText(const BigAry &buffer, const Range &range, Form form, char decSep);

} // namespace clipexport
