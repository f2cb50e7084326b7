// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipboardexport.h"

#include "data/datafile.h"
#include "engine/bigary.h"

#include <algorithm>

namespace clipexport {

namespace {

inline void appendLine(QByteArray &out, const measpol &rec, Form form, char decSep)
{
    if (form == Form::Complete)
        datafile::appendPlainLine(out, rec, '\t', decSep);
    else
        datafile::appendNumberLine(out, rec.value1, decSep);
}

// Enough for most lines, so the text grows without many copies.
qsizetype expectedSize(qint64 lines, Form form)
{
    return static_cast<qsizetype>(lines) * (form == Form::Complete ? 96 : 24);
}

} // namespace

QString recordText(const measpol &rec, Form form, char decSep)
{
    QByteArray out;
    appendLine(out, rec, form, decSep);
    return QString::fromUtf8(out);
}

QString listText(int count, const std::function<const measpol &(int)> &recordAt, Form form,
                 char decSep)
{
    QByteArray out;
    out.reserve(expectedSize(count, form));
    for (int i = 0; i < count; ++i)
        appendLine(out, recordAt(i), form, decSep);
    return QString::fromUtf8(out);
}

Range bufferRange(const BigAry &buffer, qint64 from, qint64 to)
{
    // An empty buffer still holds its one all-zero slot; that is no reading.
    if (buffer.bigarypos() < 0)
        return {};
    if (from > to)
        std::swap(from, to);
    return {std::max<qint64>(from, 0), std::min(to, buffer.High())};
}

QString rangeText(const BigAry &buffer, const Range &range, Form form, char decSep)
{
    QByteArray out;
    out.reserve(expectedSize(range.count(), form));
    for (qint64 i = range.from; i <= range.to; ++i)
        appendLine(out, buffer[buffer.Slot(i)], form, decSep);
    return QString::fromUtf8(out);
}

} // namespace clipexport
