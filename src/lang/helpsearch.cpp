// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpsearch.h"

namespace help {

qsizetype findFrom(const QString &text, const QString &what, qsizetype from, qsizetype window)
{
    if (what.isEmpty() || from < 0 || from >= text.size())
        return -1;
    const qsizetype span = window < 0 ? text.size() - from : qMin(window, text.size() - from);
    // Upper case on both sides, as the operator expects "abc" to find "ABC".
    const QString hay = text.mid(from, span).toUpper();
    const qsizetype at = hay.indexOf(what.toUpper());
    return at < 0 ? -1 : from + at;
}

} // namespace help
