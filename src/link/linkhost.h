// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the link needs from the rest of the program: the main window's texts and the reading
// interpretation. Every call has a harmless default, so the link runs on its own in tests.
class LinkHost
{
public:
    virtual ~LinkHost() = default;

    virtual void setMeasText(const QString &) {}         // meastext1
    virtual void setStatusPanel(int, const QString &) {} // main status bar
    virtual void setConnectCaption(const QString &) {}   // Device menu connect item
    virtual void setConnectHint(const QString &) {}      // its hint
    virtual void setConnectButtonEnabled(bool) {}        // connectb1
    virtual void setDatalas(const QString &) {}
    virtual void setAppTitle(const QString &) {}
    virtual void setInstrumentIds(const QString &) {} // instumentids
    virtual void setEolStatus(const QString &) {}     // status panel 2
    // Connect step: reset range/resolution and read the instrument's state back.
    virtual void afterConnect() {}

    // The current reading, set by ReadValue; then the main window is asked to show it.
    virtual void setCurrentReading(long double) {}
    virtual void requestProcessReading() {}
    // Number interpretation of a reply, with the caller's value for a failed conversion.
    virtual long double cleanNumber(const QString &text, long double failure);
    // Display form of a value for the console and the log.
    virtual QString formatValue(long double v);
    // The log text after "<# " for a value read by ReadValue.
    virtual QString valueLogText(long double v);

    // The parse flag of NextField: interpret a field as a number. Returns the lines to log
    // after the "<O " line; `drain` asks for a quick read because the field was no number.
    struct FieldResult
    {
        QStringList log;
        bool drain = false;
        QString lastValue; // for the console's last-value label; empty: unchanged
    };
    virtual FieldResult interpretField(const QString &field);

    // For the supervision's status texts: when the current measurement started (ticks) and
    // the last measurement period in ms.
    virtual quint32 measurementStartTick() const;
    virtual int lastMeasurementPeriod() const { return 0; }
};
