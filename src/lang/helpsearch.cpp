// SPDX-License-Identifier: GPL-3.0-or-later
#include "helpsearch.h"

namespace help {

QString folded(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        o[i] = c < 0x80 ? QChar(c >= 'a' && c <= 'z' ? c - 32 : c) : QChar(c).toUpper();
    }
    return out;
}

qsizetype findFolded(QStringView text, QStringView what, qsizetype from, qsizetype window)
{
    if (what.isEmpty() || from < 0 || from >= text.size())
        return -1;
    const qsizetype span = window < 0 ? text.size() - from : qMin(window, text.size() - from);
    const qsizetype at = text.mid(from, span).indexOf(what);
    return at < 0 ? -1 : from + at;
}

void SliceSearch::start(QStringView text, QString what, qsizetype from)
{
    m_text = text;
    m_what = std::move(what);
    m_next = from;
    m_result = -1;
    m_done = m_what.isEmpty() || from < 0 || from >= text.size();
}

bool SliceSearch::step(qsizetype chars)
{
    if (m_done)
        return true;
    // Slices overlap by the search text's length less one, so nothing falls between two.
    const qsizetype span = qMin(chars + m_what.size() - 1, m_text.size() - m_next);
    const qsizetype at = m_text.mid(m_next, span).indexOf(m_what);
    if (at >= 0) {
        m_result = m_next + at;
        m_done = true;
    } else {
        m_next += chars;
        m_done = m_next + m_what.size() > m_text.size();
    }
    return m_done;
}

} // namespace help
