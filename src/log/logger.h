// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/settings.h"
#include "app/unixsignals.h"
#include "engine/bigary.h"
#include "engine/cycle.h"
#include "engine/measuringsession.h"
#include "engine/readinglinkhost.h"
#include "link/scpilink.h"
#include "loggeroptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdio>

// tervaxis-log: the window's measuring and saving without the window. It attaches to the
// measuring session as the window does and prints what the window would show.
class Logger : public QObject, private CycleHost
{
    Q_OBJECT
public:
    enum Exit { Done = 0, Usage = 2, NoConnection = 3, NotWritable = 4, LinkLost = 5 };

    explicit Logger(const LoggerOptions &options, QObject *parent = nullptr);
    ~Logger() override;

    // Connects, opens the data file and starts measuring; an exit code when that failed,
    // -1 when the event loop is to run.
    int start();

private:
    // CycleHost: the buffer only when asked for.
    bool addToBigChart() const override { return m_options.buffer > 0; }

    void onReading(const measpol &rec);
    // No further reading is started; the end follows once the one under way is in.
    void requestEnd(int code);
    void endNow();
    void printStatus();
    void event(const QString &text);
    QString statusLine();

    LoggerOptions m_options;
    Settings m_s;
    ScpiLink m_link{m_s};
    BigAry m_buffer;
    ReadingLinkHost m_linkHost{m_s};
    MeasuringSession m_session{m_s, m_link, m_buffer};
    UnixSignals m_signals;
    QTimer m_status;
    QTimer m_duration;
    QElapsedTimer m_running;
    bool m_tty = false;
    bool m_ending = false;
    bool m_ended = false;
    int m_exitCode = Done;
    qint64 m_readings = 0;
    qint64 m_readingsAtLastStatus = 0;
    qint64 m_msAtLastStatus = 0;
    measpol m_last;
};
