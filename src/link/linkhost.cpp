// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkhost.h"

#include "data/datetime.h"
#include "data/numtext.h"

#include <cmath>

long double LinkHost::cleanNumber(const QString &text, long double failure)
{
    const auto v = numtext::parseLongDouble(text);
    return v ? *v : failure;
}

QString LinkHost::formatValue(long double v)
{
    return numtext::formatGeneral(v);
}

QString LinkHost::valueLogText(long double v)
{
    if (std::fabs(v) < 1e-38L && v != 0)
        return QStringLiteral("VALUE UNKNOWN");
    if (std::fabs(v) <= 1e37L)
        return formatValue(v);
    return QStringLiteral("OVERLOAD!");
}

LinkHost::FieldResult LinkHost::interpretField(const QString &)
{
    return {};
}

quint32 LinkHost::measurementStartTick() const
{
    return dtime::ticks();
}
