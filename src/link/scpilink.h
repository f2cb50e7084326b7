// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/linkhost.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QTcpSocket;
class QTimer;
struct Settings;

// The one connection to the instrument: SCPI lines out, terminated replies in, and the
// supervision that notices a dropped link. Waits pump the event loop, never block it.
class ScpiLink : public QObject
{
    Q_OBJECT
public:
    // A line longer than this is dropped: a triggered series of two million readings is
    // about 32 MiB, so 48 MiB leaves room without letting a runaway instrument eat memory.
    static constexpr qsizetype kMaxLineBytes = 48 * 1024 * 1024;
    void setMaxLineBytes(qsizetype bytes) { m_maxLine = bytes; }
    static constexpr int kIdnDelay = 2; // IDNdelay, ms
    // What the socket layer may hold unread: beyond it the instrument waits (TCP flow
    // control), so a runaway reply cannot grow the process.
    static constexpr qint64 kSocketBufferBytes = 256 * 1024;
    // How long a disconnect lets the close list leave the machine.
    static constexpr int kCloseDrainMs = 3000;

    explicit ScpiLink(Settings &settings, QObject *parent = nullptr);
    ~ScpiLink() override;

    void setHost(LinkHost *host) { m_host = host ? host : &m_nullHost; }
    LinkHost &host() const { return *m_host; }

    // Connect steps 1..11 against host:port; false when no connection came up. The caller
    // (the console) adds the ping and the button states.
    // A connect while a connect or disconnect sequence runs is refused (false).
    bool Connect(const QString &host, int port);
    void Disconnect();
    // True while a connect or disconnect sequence runs: nothing else may talk to the
    // instrument then (cycles, series, supervision reads).
    bool sequenceRunning() const { return m_connecting || m_disconnecting; }
    // Pauses `ms` like DelayMs, ending early when the connection changes; true when the
    // connection of `serial` is still the current one.
    bool pauseOnConnection(int ms, quint32 serial);
    // Changes whenever a connection is opened or closed, so a caller that waited across a
    // reconnect knows its conversation belongs to the old one.
    quint32 connectionSerial() const { return m_serial; }
    // Bytes received and held for the link (its own buffer and the socket layer's).
    qint64 heldInputBytes() const;

    // `pause` false skips the 1 ms pause, for a command that no read follows.
    void SendCmd(const QString &cmd, bool pause = true);
    QString ReadReply(bool quick = false);
    QString ReadValue();
    QString NextField(bool parse = false);
    void ParseSystErr();
    // The reply to "fetch?": one long line of comma-separated readings. Each field becomes
    // the current reading and goes to `onReading` with its 1-based number and the number
    // of fields; the callback processes it and returns the value to log. Returns the
    // line's length as text, empty when nothing was read (busy, no link, time-out, error).
    using FetchCallback =
        std::function<long double(long double value, qsizetype n, qsizetype total)>;
    QString FetchList(const FetchCallback &onReading = {});
    // The bare receive steps, for callers that read their own way (the series fetch).
    bool waitingBytes() const;

    // Pumps events and sleeps 1 ms per pass until `ms` have passed.
    static void DelayMs(int ms);

    // One tick of `tcpcontimer`.
    void supervise();
    void startSupervision();

    bool connected() const { return m_connected; }
    bool readbusy() const { return m_readbusy; }
    QByteArray EOL() const { return m_eol; }
    QString eolLogText() const;    // "  EOL = 0D0A [CRLF]" or empty
    QString eolStatusText() const; // "EOL 0D0A CRLF  " or empty
    QString LastRaw;
    QString LastData;
    QString LastCMD;
    QString maker, model, serial, caldate;
    int readelapsed = 0;
    int timeoutcount = 0;
    int errcode = 0;
    QString errtext;
    QString peerAddress() const;
    // Where the last successful connect went.
    QString connectedHost() const { return m_connHost; }
    int connectedPort() const { return m_connPort.toInt(); }
    // An instrument text with its control characters (CR, LF, ...) removed, fit for a
    // label, a log line or a file's head line.
    static QString printable(const QString &text);
    QString lastSocketErrorText() const { return m_lastErrorText; }
    int lastSocketError() const { return m_lastError; }

signals:
    void logLine(const QString &line);
    // Socket error number and text of the last receive, for the console's status line.
    void socketStatus(const QString &text);
    void connectedChanged(bool connected);
    void connectionLost();
    // A connect or disconnect sequence is over (whatever its outcome).
    void sequenceEnded();
    // Supervision: whether the connect commands may be used now.
    void connectAllowed(bool allowed);
    // The value of a ReadValue reply in display form (the console's `lastvall`).
    void valueRead(const QString &text);

private:
    // Instrument text in a line never breaks the log.
    void AddLog(const QString &line) { emit logLine(printable(line)); }

public:
    // "hh:mm:ss:zzz" of the log's event lines.
    static QString timeStamp();

private:
    bool connectSequence(const QString &host, int port);
    void disconnectSequence();
    void DetectEOL();
    QByteArray receiveRaw(int maxBytes, int timeoutMs);
    enum class LineResult { Ok, Timeout, Closed, TooLong };
    LineResult receiveLine(QByteArray &line, quint32 serial);
    // A reply line came off the wire (taken, dropped or skipped): it answers the oldest
    // query still waiting for one. True when that answer is owed to a read that gave up.
    bool lineArrived();
    // The query of a read that gave up: its answer, should it still come, is nobody's.
    void abandonAnswer();
    // Answers owed to reads that gave up are forgotten when they do not come for long:
    // the instrument did not answer those queries at all.
    void expireOwed();
    enum class Await { Ready, Gone, TimedOut, Nothing };
    void pullSocket();
    // Before a new query: what is still waiting belongs to an abandoned reply.
    void discardStale();
    void declareLost();
    // Waits up to `ms` for any byte from the peer; false when none came.
    bool awaitLife(int ms);
    void waitSendDrained(int maxMs);
    QString readCommon(bool quick, bool value);
    // Waits for the first bytes of a reply, pumping events; false when the link went away
    // or the budget ran out (logged with the read's mark and "TIMEOUT ").
    Await awaitReply(int pauseMs, bool quick, quint32 serial);
    // Receives one line and reports the socket state of the receive.
    LineResult takeLine(QByteArray &raw, quint32 serial);
    // The answer to the last query: waits, drops the answers owed to reads that gave up,
    // and takes the next line; a failure is logged with the read's marks. Silent: a quick
    // drain found nothing.
    enum class ReadKind { Reply, Value, Fetch };
    enum class Answer { Ok, Failed, Silent };
    Answer readAnswer(QByteArray &raw, ReadKind kind, bool quick);
    void startSkip();
    void setConnected(bool c);
    void dropSocket();

    Settings &m_s;
    LinkHost m_nullHost;
    LinkHost *m_host = &m_nullHost;
    QPointer<QTcpSocket> m_socket;
    QTimer *m_tcpcontimer = nullptr;
    QByteArray m_rx;
    QByteArray m_eol = QByteArray("\r\n");
    bool m_connected = false;
    bool m_readbusy = false;
    bool m_peerClosed = false;
    bool m_skipLongLine = false;
    QByteArray m_skipTail; // a terminator may straddle two chunks
    qint64 m_skipped = 0;
    quint32 m_lastInputTick = 0;
    bool m_connecting = false;
    bool m_disconnecting = false;
    quint32 m_serial = 0;
    // Queries sent whose answer line has not come, and how many of those belong to reads
    // that gave up (their answers are dropped when they come).
    int m_unanswered = 0;
    qint64 m_received = 0; // bytes taken from the socket, ever
    int m_owed = 0;
    quint32 m_owedSince = 0;
    qsizetype m_maxLine = kMaxLineBytes;
    int m_lastError = 0;
    QString m_lastErrorText;
    int m_spinner = 0;
    QString m_connHost;
    QString m_connPort;
};
