// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class BigAry;
class MeasurementCycle;
class ReadingEngine;
class ScpiLink;
struct Settings;

// What a triggered series shows or asks of the windows; defaults do nothing.
class SeriesHost
{
public:
    virtual ~SeriesHost() = default;
    // "&GET data", "&Start", the automatic-measurement box and the measure button.
    virtual void setSeriesControlsEnabled(bool) {}
    virtual void setGetCaption(const QString &) {} // fetchgetb
    virtual void setStatusPanel(int, const QString &) {}
    virtual void setLastErrs(const QString &) {}
    virtual bool limitBeepChecked() const { return false; } // limitbeepcb
    virtual void setLimitBeepChecked(bool) {}
    // The chart history moves on by one place; a valid current reading becomes its newest
    // entry with its 1-based number in the series.
    virtual void addSeriesReading(int) {}
    // The small chart and histogram drawn again without adding.
    virtual void redrawChart() {}
    virtual bool addToBigChart() const { return true; }
    virtual void requestGraphRefresh() {}
    virtual bool autoTemperatureOn() const { return false; }
};

// The multiple measurement: configures the instrument for a triggered series, waits for
// its end without blocking the window, then fetches the stored readings in one reply and
// passes each through reading processing, the buffer and the chart history.
class SeriesRunner : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultCount = 400;
    static constexpr int kProgressEvery = 50;

    SeriesRunner(Settings &settings, ScpiLink &link, ReadingEngine &engine, BigAry &buffer,
                 MeasurementCycle &cycle, QObject *parent = nullptr);

    void setHost(SeriesHost *host) { m_host = host ? host : &m_nullHost; }
    SeriesHost &host() const { return *m_host; }
    Settings &settings() const { return m_s; }
    // Processing and showing one reading; the window's controller in the program, the
    // bare engine in tests.
    void setProcessReading(std::function<void()> process) { m_process = std::move(process); }

    // "&Start": configure, start and wait for the end of the series.
    void fetchinitbClick();
    // "&GET data": fetch the readings and distribute them.
    void fetchgetbClick();
    // Each returns the edit's new text.
    QString fetcheChange(const QString &text);
    QString dtrigdelayeChange(const QString &text);

    int count() const { return m_count; }
    // True while Start or GET data runs.
    bool running() const { return m_running; }
    quint32 seriesStartTick() const { return m_startTick; }
    // How long the last series took, for the heads of data files.
    quint32 seriesDuration() const { return m_duration; }

    // "trig:del 0.8000" for 800 ms.
    static QString triggerDelayCommand(int delayMs);
    // "Waiting for Instrument...   01:05 "
    static QString waitingText(int elapsedMs);
    // " 800.00 ms / sample, total: 320.00 s " as FormatPrefixed gives it.
    static QString rateText(quint32 durationMs, int count, const QString &decSep);
    // "delay  00:01:500 min:sec:ms"
    static QString delayText(int delayMs);

signals:
    // The end of Start (true when the instrument answered) and of GET data (the number
    // of readings taken).
    void seriesEnded(bool answered);
    void fetchEnded(qsizetype readings);

private:
    long double takeReading(qsizetype n);
    void showError();

    Settings &m_s;
    ScpiLink &m_link;
    ReadingEngine &m_engine;
    BigAry &m_buffer;
    MeasurementCycle &m_cycle;
    SeriesHost m_nullHost;
    SeriesHost *m_host = &m_nullHost;
    std::function<void()> m_process;
    int m_count = kDefaultCount;
    bool m_running = false;
    qsizetype m_taken = 0;
    quint32 m_startTick = 0;
    quint32 m_duration = 0;
};
