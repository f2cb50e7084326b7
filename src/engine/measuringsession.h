// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/autosaver.h"
#include "engine/readingengine.h"

#include <QObject>
#include <QTimer>

class BigAry;
class MeasurementCycle;
class ScpiLink;
class SeriesRunner;
struct Settings;

// The data path of a measuring program: the reading engine, the measurement cycle, the
// triggered series and automatic saving over one link and one buffer, with the rules that
// tie them together (what a data file's head holds, when a reading is recorded, the mark
// of a connection gap, the last batch at the end, reconnecting by itself). The window and
// the headless logger each attach to one; they draw or print, nothing more.
class MeasuringSession : public QObject
{
    Q_OBJECT
public:
    MeasuringSession(Settings &settings, ScpiLink &link, BigAry &buffer, QObject *parent = nullptr);
    ~MeasuringSession() override;

    Settings &settings() { return m_s; }
    ScpiLink &link() { return m_link; }
    BigAry &buffer() { return m_buffer; }
    ReadingEngine &engine() { return m_engine; }
    MeasurementCycle &cycle() { return *m_cycle; }
    SeriesRunner &series() { return *m_series; }
    AutoSaver &saver() { return *m_saver; }

    // What the heads of data files take from the link and the reading state now.
    AutoSaver::Environment environment() const;

    // Every processed reading into the automatic data file, or no longer. On: a new file
    // named after the reading time stamp, of the configuration's default file type.
    void setSaving(bool on, int defaultFileType);
    bool saving() const;
    // The end of measuring: no further cycle, the pending batch written (the current
    // reading with it, unless it was recorded already). The link stays as it is.
    void stopAndFlush();

    // A lost link is connected again every `everyMs` (0: never, the operator does it);
    // after `giveUpMs` without a link, gaveUp() is emitted (0: never).
    void setReconnect(int everyMs, int giveUpMs);

signals:
    // A reading went to the automatic data file's staging, as it will be written.
    void readingRecorded(const measpol &record);
    // A reconnect attempt ended.
    void reconnectTried(bool connected);
    void gaveUp();

private:
    void onConnectionLost();
    void tryReconnect();

    Settings &m_s;
    ScpiLink &m_link;
    BigAry &m_buffer;
    ReadingEngine m_engine;
    MeasurementCycle *m_cycle = nullptr;
    SeriesRunner *m_series = nullptr;
    AutoSaver *m_saver = nullptr;
    QTimer m_reconnect;
    int m_giveUpMs = 0;
    quint32 m_lostTick = 0;
    QString m_host;
    int m_port = 0;
};
