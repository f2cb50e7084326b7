// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class QSocketNotifier;

// Brings SIGTERM, SIGINT and SIGHUP onto the GUI thread, so that they end the program
// the way the end of the session does. The handler only writes the signal's number into
// a pipe (async-signal-safe); a socket notifier reads it in the event loop. One instance
// at a time; it puts the default handlers back when it goes.
class UnixSignals : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

    // False when the pipe or a handler could not be set up (the signals then kill).
    bool isInstalled() const { return m_notifier != nullptr; }
    // A termination signal has come in (later ones are not reported again).
    bool received() const { return m_received != 0; }
    int receivedSignal() const { return m_received; }

    // After the first signal, calls `end` once at a moment `busy` is false, or after
    // maxWaitMs anyway: the reading in progress is taken first, so none is lost.
    void setEnding(std::function<bool()> busy, std::function<void()> end, int maxWaitMs = 5000);
    // Ends at once when a signal came and the ending has not run yet (before the loop runs).
    void endNow();
    // Ends now if a signal came and nothing is busy; for the end of every measuring cycle,
    // since at full rate the event loop is hardly ever reached between two cycles.
    void tryEnding();

signals:
    // Once, for the first of the three signals.
    void terminationRequested(int signo);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    int m_received = 0;
    std::function<bool()> m_busy;
    std::function<void()> m_end;
    int m_maxWaitMs = 5000;
    bool m_ended = false;
    QTimer m_retry;
    QElapsedTimer m_since;
};
