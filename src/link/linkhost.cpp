// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkhost.h"

#include "data/datetime.h"
#include "data/numtext.h"

long double LinkHost::cleanNumber(const QString &text, long double failure)
{
    const auto v = numtext::parseLongDouble(text);
    return v ? *v : failure;
}

QString LinkHost::formatValue(long double v)
{
    return numtext::formatGeneral(v);
}

LinkHost::FieldResult LinkHost::interpretField(const QString &)
{
    return {};
}

quint32 LinkHost::measurementStartTick() const
{
    return dtime::ticks();
}
