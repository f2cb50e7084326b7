// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "instrument/catalogue.h"

#include <QDateTime>
#include <QString>

#include <functional>

// The link operations the instrument set-up sequences need; the program adapts its SCPI
// link to this, the tests script it.
class ScpiPort
{
public:
    struct Identity
    {
        QString maker, model, serial, caldate;
    };
    struct SystErr
    {
        int errcode = 0;
        QString errtext;
    };

    virtual ~ScpiPort() = default;
    // Skipped silently while not connected and for an empty command.
    virtual void SendCmd(const QString &command) = 0;
    // Empty on time-out, error, a nested read or no connection.
    virtual QString ReadReply(bool quick = false) = 0;
    // Reads a reply as the current reading and has it shown.
    virtual QString ReadValue() = 0;
    // Pause that keeps the window responsive.
    virtual void DelayMs(int ms) = 0;
    // Parses the last reply as an answer to "syst:err?".
    virtual SystErr ParseSystErr() = 0;
    virtual Identity identity() const = 0;
};

// The controls of the "Settings F5" page as the sequences see them.
class SetupPage
{
public:
    virtual ~SetupPage() = default;
    virtual meascat::ConfigCommands BuildConfigCommand() = 0;
    // Shows the type in the type list without rebuilding the other lists.
    virtual void selectMeasType(int type) = 0;
    // Selects an entry of sens1cb; -1 leaves it without a selection.
    virtual void selectFilter(int index) = 0;
    virtual void setTerminalText(const QString &text) = 0;
    virtual void setLastError(const QString &text) = 0;
    virtual void setIdentificationLine(const QString &text) = 0;
    virtual void setMeasChEnabled(bool enabled) = 0;
    virtual void setGetErrEnabled(bool enabled) = 0;
    // Range and resolution on their third entries (none where a list is shorter).
    virtual void selectThirdEntries() = 0;
    virtual void meastypecbChange() = 0;
};

// What the sequences need from the rest of the main window: the measurement cycle, the
// reading state and the menu items they touch.
class SetupHost
{
public:
    virtual ~SetupHost() = default;
    // Last end tick and measurement start tick := now, last period := 0.
    virtual void restartCycleClock() = 0;
    // Measurement start tick := now.
    virtual void markMeasurementStart() = 0;
    // Last period := now - measurement start tick.
    virtual void takeLastPeriod() = 0;
    // Secondary reading := the empty-reading marker.
    virtual void clearSecondaryReading() = 0;
    virtual void setZeroReference(long double value) = 0;
    virtual bool autoMeasChecked() const = 0;
    virtual void setAutoMeasChecked(bool checked) = 0;
    virtual void setAutoMeasEnabled(bool enabled) = 0;
    virtual void setCycleTimerRunning(bool running) = 0;
    virtual void setCycleBusy(bool busy) = 0;
    virtual bool autoTempChecked() const = 0;
    virtual bool autoTempEnabled() const = 0;
    virtual void setAutoTempChecked(bool checked) = 0;
    virtual void setAutoTempEnabled(bool enabled) = 0;
    virtual void runAutoTempHandler() = 0;
    virtual bool alternateReadingChecked() const = 0;
    // Interprets a "conf?" reply; returns the measurement type in effect afterwards.
    virtual int ParseConf(const QString &reply) = 0;
    // Queued: process and show the current reading after the running operation.
    virtual void requestProcessReading() = 0;
    // While held, readings the link asks to show are not shown (nor recorded).
    virtual void holdReadingRequests(bool) {}
    // Enables "&GET data" and "&Start" of the multiple measurement.
    virtual void enableSeriesButtons() = 0;
};

// The set-up sequences of the "Settings F5" page and the Device menu.
namespace setupseq {

inline constexpr int kIdnDelayMs = 2;
inline constexpr int kResetSettleMs = 5000;
inline constexpr int kResetAfterErrorMs = 1000;

// "Instrument: ..." while configuring, "Device: ..." after a read-back.
QString configuringLine(const ScpiPort::Identity &id);
QString deviceLine(const ScpiPort::Identity &id);

// "S&et": sends the configuration, then reads the state back.
void measchClick(ScpiPort &port, SetupPage &page, SetupHost &host);
// Reads the instrument's function, filter, terminals and error into the page.
void ReadBackState(ScpiPort &port, SetupPage &page, SetupHost &host);
// "Auto Calculate temperature" is offered only in the resistance functions: leaving them
// unchecks and disables it, coming back enables it. `always` runs the handler even when
// nothing changes (the read-back does).
void followMeasurementType(SetupHost &host, int type, bool always = false);
// After a successful connect: range and resolution on their third entries, then read-back.
void readBackAfterConnect(ScpiPort &port, SetupPage &page, SetupHost &host);
// "Reset!" once the operator has said Yes.
void resetDevice(ScpiPort &port, SetupPage &page, SetupHost &host);
// "Get Err&or": shows the error queue's head, also when it is 0.
void geterrbClick(ScpiPort &port, SetupPage &page);
// Enter in the display text field.
void sendDisplayText(ScpiPort &port, const QString &text);
// The clock is read once per line.
void setTimeAndDate(ScpiPort &port, const std::function<QDateTime()> &clock);

} // namespace setupseq
