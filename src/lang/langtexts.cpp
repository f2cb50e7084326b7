// SPDX-License-Identifier: GPL-3.0-or-later
#include "langtexts.h"

#include "lang/langfile.h"
#include "lang/langtable.h"

#include <QHash>

namespace lang {

namespace {
QHash<QString, QString> &held()
{
    static QHash<QString, QString> texts;
    return texts;
}
} // namespace

QString text(QStringView key)
{
    const QString k = key.toString().toLower();
    const auto it = held().constFind(k);
    if (it != held().cend())
        return *it;
    for (const KeyRow &row : keyTable()) {
        if ((row.flags & Held) &&
            key.compare(QLatin1StringView(row.key), Qt::CaseInsensitive) == 0) {
            const QString def = QString::fromUtf8(row.caption);
            return (row.flags & Escaped) ? expandEscapes(def) : def;
        }
    }
    return {};
}

void hold(const QString &key, const QString &value)
{
    held().insert(key.toLower(), value);
}

void clearTexts()
{
    held().clear();
}

} // namespace lang
