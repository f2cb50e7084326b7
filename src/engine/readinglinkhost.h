// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/linkhost.h"

class MeasurementCycle;
class ReadingEngine;
struct Settings;

// Connects the link's reading hooks to the reading engine and the cycle: replies become
// the current reading, and ReadValue's request 1 goes to the cycle's queue.
class ReadingLinkHost : public LinkHost
{
public:
    explicit ReadingLinkHost(Settings &settings) : m_settings(settings) {}
    void attach(ReadingEngine *engine, MeasurementCycle *cycle)
    {
        m_engine = engine;
        m_cycle = cycle;
    }

    void setCurrentReading(long double v) override;
    void requestProcessReading() override;
    long double cleanNumber(const QString &text, long double failure) override;
    QString formatValue(long double v) override;
    QString valueLogText(long double v) override;
    FieldResult interpretField(const QString &field) override;
    quint32 measurementStartTick() const override;
    int lastMeasurementPeriod() const override;

private:
    Settings &m_settings;
    ReadingEngine *m_engine = nullptr;
    MeasurementCycle *m_cycle = nullptr;
};
