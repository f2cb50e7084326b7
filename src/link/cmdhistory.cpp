// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmdhistory.h"

#include "data/textcodec.h"

#include <QFile>
#include <QSaveFile>

namespace cmdhistory {

void AddHistory(QStringList &history, const QString &text)
{
    if (history.join(QStringLiteral("\r\n")).contains(text, Qt::CaseInsensitive))
        return;
    history.prepend(text);
    if (history.size() > kAddLimit)
        history.removeLast();
}

void PromoteHistory(QStringList &history, const QString &text)
{
    history.prepend(text);
    for (qsizetype i = history.size() - 1; i >= 1; --i) {
        if (history[i].compare(text, Qt::CaseInsensitive) == 0)
            history.removeAt(i);
    }
    if (history.size() > kPromoteLimit)
        history.removeAt(kPromoteLimit);
}

QStringList load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (QByteArray line : f.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            out << decodeLegacyText(line);
    }
    return out;
}

bool save(const QString &path, const QStringList &history)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const QString &h : history)
        f.write(h.toUtf8() + "\r\n");
    return f.commit();
}

} // namespace cmdhistory
