// SPDX-License-Identifier: GPL-3.0-or-later
#include "readinglinkhost.h"

#include "app/settings.h"
#include "data/datetime.h"
#include "engine/cycle.h"
#include "engine/readingengine.h"
#include "engine/readingformat.h"
#include "link/scpilink.h"

void ReadingLinkHost::setCurrentReading(long double v)
{
    if (m_engine)
        m_engine->state().current = v;
}

void ReadingLinkHost::requestProcessReading()
{
    if (m_cycle)
        m_cycle->postRequest(1);
}

long double ReadingLinkHost::cleanNumber(const QString &text, long double failure)
{
    return convertNumber(CleanNumber(text), failure);
}

QString ReadingLinkHost::formatValue(long double v)
{
    return FormatValue(v, m_settings.DecSeparator);
}

QString ReadingLinkHost::valueLogText(long double v)
{
    return ::valueLogText(v, m_settings.DecSeparator);
}

LinkHost::FieldResult ReadingLinkHost::interpretField(const QString &field)
{
    const ValueField vf =
        interpretValueField(field, ScpiLink::timeStamp(), m_settings.DecSeparator);
    setCurrentReading(vf.value);
    FieldResult r;
    r.log = vf.log;
    r.drain = vf.drainRead;
    if (vf.showLastValue)
        r.lastValue = formatValue(vf.value);
    return r;
}

quint32 ReadingLinkHost::measurementStartTick() const
{
    return m_cycle ? m_cycle->measurementStartTick() : dtime::ticks();
}

int ReadingLinkHost::lastMeasurementPeriod() const
{
    return m_cycle ? m_cycle->lastPeriod() : 0;
}
