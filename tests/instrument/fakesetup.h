// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/numtext.h"
#include "instrument/setupsequence.h"

#include <QHash>
#include <QStringList>

// Every fake writes into one shared journal so a test can check the order of everything
// that happened: "> cmd" for a line that went out, "delay N", "read" and so on.
using Journal = QStringList;

// A link that answers from a script of replies, one per read, and journals the traffic.
class FakePort : public ScpiPort
{
public:
    explicit FakePort(Journal &j) : m_j(j) {}

    bool connected = true;
    QStringList replies; // taken front first; an empty script reads as a time-out
    Identity id{QStringLiteral("ORVA"), QStringLiteral("8846A"), QStringLiteral("1234567"),
                QStringLiteral("2025-01-02")};

    void SendCmd(const QString &command) override
    {
        if (connected && !command.isEmpty())
            m_j.append(QLatin1String("> ") + command);
    }
    QString ReadReply(bool quick) override
    {
        m_j.append(quick ? QStringLiteral("read quick") : QStringLiteral("read"));
        return take();
    }
    QString ReadValue() override
    {
        m_j.append(QStringLiteral("read value"));
        return take();
    }
    void DelayMs(int ms) override { m_j.append(QLatin1String("delay ") + QString::number(ms)); }
    // As the link does it: number before the comma, message from the first quote on.
    SystErr ParseSystErr() override
    {
        SystErr e;
        const qsizetype comma = m_lastRaw.indexOf(u',');
        const auto code = numtext::parseInt(comma < 0 ? m_lastRaw : m_lastRaw.left(comma));
        e.errcode = code ? *code : 65536;
        const qsizetype quote = m_lastRaw.indexOf(u'"');
        if (quote >= 0)
            e.errtext = m_lastRaw.mid(quote, 500).remove(u'"');
        return e;
    }
    Identity identity() const override { return id; }

private:
    QString take()
    {
        m_lastRaw = connected && !replies.isEmpty() ? replies.takeFirst() : QString();
        return m_lastRaw;
    }
    Journal &m_j;
    QString m_lastRaw;
};

// The rest of the main window as the sequences see it.
class FakeHost : public SetupHost
{
public:
    explicit FakeHost(Journal &j) : m_j(j) {}

    bool autoMeas = false;
    bool autoMeasEnabled = true;
    bool timerRunning = false;
    bool busy = false;
    bool autoTemp = false;
    bool autoTempOn = true; // enabled
    bool alternate = false;
    int type = 0;
    // "conf?" replies this host understands; anything else keeps the last type.
    QHash<QString, int> confTypes{{QStringLiteral("\"VOLT +1.0E+01,+3.0E-06\""), 0},
                                  {QStringLiteral("\"VOLT:AC +1.0E+01,+3.0E-06\""), 1},
                                  {QStringLiteral("\"RES +1.0E+04,+1.0E+00\""), 4},
                                  {QStringLiteral("\"FRES +1.0E+04,+1.0E+00\""), 5},
                                  {QStringLiteral("\"CONT +1.0E+03,+1.0E-01\""), 6},
                                  {QStringLiteral("\"FREQ +1.0E+01,+3.0E-06\""), 8},
                                  {QStringLiteral("\"TEMP:RTD PT100_385\""), 11}};

    void restartCycleClock() override { log(QStringLiteral("cycle clock restarted")); }
    void markMeasurementStart() override { log(QStringLiteral("measurement start")); }
    void takeLastPeriod() override { log(QStringLiteral("last period")); }
    void clearSecondaryReading() override { log(QStringLiteral("secondary cleared")); }
    void setZeroReference(long double v) override
    {
        log(QLatin1String("zero ") + numtext::formatGeneral(v));
    }
    bool autoMeasChecked() const override { return autoMeas; }
    void setAutoMeasChecked(bool c) override
    {
        log(QLatin1String("automeas ") + onOff(autoMeas = c));
    }
    void setAutoMeasEnabled(bool e) override
    {
        log(QLatin1String("automeas enabled ") + onOff(autoMeasEnabled = e));
    }
    void setCycleTimerRunning(bool r) override
    {
        log(QLatin1String("timer ") + onOff(timerRunning = r));
    }
    void setCycleBusy(bool b) override { log(QLatin1String("busy ") + onOff(busy = b)); }
    bool autoTempChecked() const override { return autoTemp; }
    bool autoTempEnabled() const override { return autoTempOn; }
    void setAutoTempChecked(bool c) override
    {
        log(QLatin1String("autotemp ") + onOff(autoTemp = c));
    }
    void setAutoTempEnabled(bool e) override
    {
        log(QLatin1String("autotemp enabled ") + onOff(autoTempOn = e));
    }
    void runAutoTempHandler() override
    {
        log(QLatin1String("autotemp handler ") + onOff(autoTemp));
    }
    bool alternateReadingChecked() const override { return alternate; }
    int ParseConf(const QString &reply) override
    {
        type = confTypes.value(reply, type);
        log(QLatin1String("parse conf ") + QString::number(type));
        return type;
    }
    void requestProcessReading() override { log(QStringLiteral("process reading queued")); }
    void enableSeriesButtons() override { log(QStringLiteral("series buttons enabled")); }

private:
    static QString onOff(bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); }
    void log(const QString &s) { m_j.append(QLatin1String("host: ") + s); }
    Journal &m_j;
};

// The page controls, journalled.
class FakePage : public SetupPage
{
public:
    explicit FakePage(Journal &j) : m_j(j) {}

    meascat::ConfigCommands commands;
    int type = 0;
    int filter = -2; // -2: never set
    QString termlab = QStringLiteral("??");
    QString lasterrs = QStringLiteral("old error");
    QString ids;
    bool measch = true;
    bool geterrb = true;

    meascat::ConfigCommands BuildConfigCommand() override
    {
        log(QStringLiteral("build"));
        return commands;
    }
    void selectMeasType(int t) override { log(QLatin1String("type ") + QString::number(type = t)); }
    void selectFilter(int i) override
    {
        log(QLatin1String("filter ") + QString::number(filter = i));
    }
    void setTerminalText(const QString &t) override
    {
        log(QLatin1String("termlab ") + (termlab = t));
    }
    void setLastError(const QString &t) override
    {
        log(QLatin1String("lasterrs ") + (lasterrs = t));
    }
    void setIdentificationLine(const QString &t) override
    {
        log(QLatin1String("ids ") + (ids = t));
    }
    void setMeasChEnabled(bool e) override { log(QLatin1String("measch ") + onOff(measch = e)); }
    void setGetErrEnabled(bool e) override { log(QLatin1String("geterrb ") + onOff(geterrb = e)); }
    void selectThirdEntries() override { log(QStringLiteral("third entries")); }
    void meastypecbChange() override { log(QStringLiteral("type change")); }

private:
    static QString onOff(bool b) { return b ? QStringLiteral("on") : QStringLiteral("off"); }
    void log(const QString &s) { m_j.append(QLatin1String("page: ") + s); }
    Journal &m_j;
};

// Only the lines that went out to the instrument.
inline QStringList sentLines(const Journal &j)
{
    QStringList out;
    for (const QString &e : j) {
        if (e.startsWith(u"> "))
            out.append(e.mid(2));
    }
    return out;
}
