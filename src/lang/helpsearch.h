// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace help {

// The help window looks this far ahead for the next occurrence.
inline constexpr int kSearchWindow = 256000;

// Index of `what` in `text` from `from` on, without regard to case, within `window`
// characters; -1 when absent. An empty `what` is never found.
qsizetype findFrom(const QString &text, const QString &what, qsizetype from, qsizetype window = -1);

} // namespace help
