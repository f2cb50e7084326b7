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

    explicit ScpiLink(Settings &settings, QObject *parent = nullptr);
    ~ScpiLink() override;

    void setHost(LinkHost *host) { m_host = host ? host : &m_nullHost; }
    LinkHost &host() const { return *m_host; }

    // Connect steps 1..11 against host:port; false when no connection came up. The caller
    // (the console) adds the ping and the button states.
    bool Connect(const QString &host, int port);
    void Disconnect();

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
    QString lastSocketErrorText() const { return m_lastErrorText; }
    int lastSocketError() const { return m_lastError; }

signals:
    void logLine(const QString &line);
    // Socket error number and text of the last receive, for the console's status line.
    void socketStatus(const QString &text);
    void connectedChanged(bool connected);
    void connectionLost();
    // The value of a ReadValue reply in display form (the console's `lastvall`).
    void valueRead(const QString &text);

private:
    void AddLog(const QString &line) { emit logLine(line); }

public:
    // "hh:mm:ss:zzz" of the log's event lines.
    static QString timeStamp();

private:
    void DetectEOL();
    QByteArray receiveRaw(int maxBytes, int timeoutMs);
    enum class LineResult { Ok, Timeout, Closed, TooLong };
    LineResult receiveLine(QByteArray &line);
    void pullSocket();
    void discardRunawayReply();
    QString readCommon(bool quick, bool value);
    // Waits for the first bytes of a reply, pumping events; false when the link went away
    // or the budget ran out (logged with the read's mark and "TIMEOUT ").
    bool awaitReply(const QString &mark, int pauseMs, bool quick);
    // Receives one line and reports the socket state of the receive.
    LineResult takeLine(QByteArray &raw);
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
    qsizetype m_maxLine = kMaxLineBytes;
    int m_lastError = 0;
    QString m_lastErrorText;
    int m_spinner = 0;
    QString m_connHost;
    QString m_connPort;
};
