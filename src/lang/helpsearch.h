// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace help {

// The help window looks this far ahead for the next occurrence.
inline constexpr int kSearchWindow = 256000;

// The text in upper case, one UTF-16 unit at a time: "abc" finds "ABC", and every position
// is that of the text itself (a whole-string upper case turns ß into SS and shifts them).
QString folded(QStringView text);

// Index of the folded `what` in the folded `text` from `from` on, within `window`
// characters; -1 when absent. An empty `what` is never found.
qsizetype findFolded(QStringView text, QStringView what, qsizetype from, qsizetype window = -1);

// A search over folded text done in slices, so that a long text never holds up typing.
class SliceSearch
{
public:
    void start(QStringView text, QString what, qsizetype from);
    // Looks through at most `chars` more characters; true when the answer is there.
    bool step(qsizetype chars);
    bool done() const { return m_done; }
    qsizetype result() const { return m_result; }
    const QString &what() const { return m_what; }

private:
    QStringView m_text;
    QString m_what;
    qsizetype m_next = 0;
    qsizetype m_result = -1;
    bool m_done = true;
};

} // namespace help
