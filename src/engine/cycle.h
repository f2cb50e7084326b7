// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/readingengine.h"

#include <QEvent>
#include <QObject>
#include <QString>

#include <functional>

class BigAry;
class QTimer;
class ScpiLink;
struct Settings;

// A request to the main window: a code and a parameter, handled in arrival order.
class RequestEvent : public QEvent
{
public:
    static QEvent::Type eventType();
    RequestEvent(int code, qint64 param) : QEvent(eventType()), code(code), param(param) {}
    int code;
    qint64 param;
};

// What the cycle shows or asks of the main window; defaults do nothing.
class CycleHost
{
public:
    virtual ~CycleHost() = default;
    virtual void setSetupButtonsEnabled(bool) {} // measch, geterrb
    virtual void setMeasButtonEnabled(bool) {}
    virtual void setMeasButtonCaption(const QString &) {}
    virtual bool measButtonFocused() const { return false; }
    virtual void focusMeasButton() {}
    virtual void setCycleStatus(int, const QString &) {}
    virtual void setTermLabel(const QString &) {}
    virtual void setLastErrs(const QString &) {}
    virtual void setFetchGroupVisible(bool) {}
    virtual void setMathLine(const QString &) {}
    virtual void setRangeText(const QString &) {}
    virtual void requestGraphRefresh() {}
    // Adds the current reading to the chart history and redraws chart and histogram.
    virtual void addToChart(const measpol &) {}
    virtual bool addToBigChart() const { return true; }
    virtual bool autoTemperatureOn() const { return false; }
    // The function a configuration reply named: what depends on it (the temperature
    // conversion) follows before the reading is processed.
    virtual void followMeasurementType(int) {}
    // Requests 20 to 23 and 254.
    virtual void geterrbClick() {}
    virtual void measchClick() {}
    virtual void selectThirdEntries() {}
    virtual void readBackState() {}
    virtual void closeMainWindow() {}
};

// The measurement cycle: one combined query, its reading distributed to display, chart,
// buffer and error label, and the scheduling of the next one while measuring
// automatically. Runs on the window thread; waits pump the event loop.
class MeasurementCycle : public QObject
{
    Q_OBJECT
public:
    MeasurementCycle(Settings &settings, ScpiLink &link, ReadingEngine &engine, BigAry &buffer,
                     QObject *parent = nullptr);

    void setHost(CycleHost *host) { m_host = host ? host : &m_nullHost; }
    // Processing and showing the current reading (request 1); the window's controller
    // in the program, the bare engine in tests.
    void setProcessReading(std::function<void()> process) { m_process = std::move(process); }

    // A request 1 already waiting is not queued twice: the reading it shows is the same.
    void postRequest(int code, qint64 param = 0);
    // While held, request 1 shows nothing; the read-back shows its reading itself once the
    // reading's configuration is known.
    void holdReadingRequests(bool hold) { m_holdReading = hold; }
    void handleRequest(int code, qint64 param);

    void RunCycle();
    void measbClick();
    void automeas1cbClick(bool on);
    void casakTimer();
    // Each returns the edit's new text; the hint goes to `hint`.
    QString measdeleChange(const QString &text, QString *hint);
    QString logtimeleChange(const QString &text, QString *hint);
    // After the menu item toggled its check mark.
    void Alternatereading1Click(bool checked);

    bool busy() const { return m_busy; }
    void setBusy(bool b) { m_busy = b; }
    bool automatic() const { return m_auto; }
    bool alternateReading() const { return m_alternate; }
    QTimer *casak() const { return m_casak; }
    quint32 measurementStartTick() const { return m_startTick; }
    void setMeasurementStartTick(quint32 t) { m_startTick = t; }
    int lastPeriod() const { return m_lastPeriod; }
    void setLastPeriod(int ms) { m_lastPeriod = ms; }
    quint32 dueTick() const { return m_dueTick; }
    void setDueTick(quint32 t) { m_dueTick = t; }
    quint32 lastEndTick() const { return m_lastEndTick; }
    void setLastEndTick(quint32 t) { m_lastEndTick = t; }
    // Keeps the countdown off the status bar for a while (a hover text is showing).
    void holdStatus(int ms);
    void resetChartTick()
    {
        m_lastChartTick = 0;
        m_chartTickSet = false;
    }

signals:
    // Every cycle's start and end, for tests and benchmarks.
    void cycleStarted();
    void cycleFinished(bool gotReply);

protected:
    bool event(QEvent *e) override;

private:
    static QString delayText(int ms);

    Settings &m_s;
    ScpiLink &m_link;
    ReadingEngine &m_engine;
    BigAry &m_buffer;
    CycleHost m_nullHost;
    CycleHost *m_host = &m_nullHost;
    std::function<void()> m_process;
    QTimer *m_casak = nullptr;
    bool m_busy = false;
    bool m_readingQueued = false;
    bool m_holdReading = false;
    bool m_auto = false;
    bool m_alternate = false;
    quint32 m_startTick = 0;
    quint32 m_lastEndTick = 0;
    int m_lastPeriod = 0;
    quint32 m_dueTick = 0;
    quint32 m_lastChartTick = 0;
    bool m_chartTickSet = false;
    quint32 m_statusTick = 0;
};
