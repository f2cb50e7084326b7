// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "instrument.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>

#include <memory>
#include <vector>

class QTcpSocket;

namespace sim {

// An 884x multimeter on 127.0.0.1 for the program's integration tests and for users
// without an instrument.
//
// It runs in-process on the caller's thread and never blocks: sockets and timers are
// served by the event loop, so a client under test that pumps events while it waits
// gets its answers. One instrument state is shared by all connections (a new connection
// finds the instrument as the last one left it).
//
// Protocol: a command line ends in LF (CR LF accepted); commands of one line are
// separated by ";". The answers of the queries of a line go out as ONE reply line,
// joined by ";", followed by the terminator; a line without queries gets no reply.
// Unknown headers queue -113,"Undefined header" for "syst:err?". Empty lines are
// ignored and not logged. A line longer than maxLineBytes is discarded with
// -363,"Input buffer overrun".
//
// Readings: "read?" takes a series of trig:count x samp:count readings (comma
// separated) and "init" takes one to memory; both keep the instrument busy for
// trig:count x trig:del (scaled by setTimeScale), during which later commands, from any
// connection, wait. "fetch?" answers the readings of the last series; "fetch3?" answers
// one fresh reading. "CONF:..." resets trig:count, samp:count and trig:del as the real
// instrument does. Overload answers +9.90000000E+37.
class Simulator : public QObject
{
    Q_OBJECT
public:
    enum class Terminator { CrLf, Cr, Lf, None };

    static constexpr quint16 defaultPort = 3490;
    static constexpr qsizetype maxLineBytes = 65536;

    explicit Simulator(QObject *parent = nullptr);
    ~Simulator() override;

    // Listens on 127.0.0.1; port 0 picks a free port (see port()).
    bool listen(quint16 port = 0);
    quint16 port() const;
    bool isListening() const;
    QString errorString() const;
    // Stops listening and drops every client at once (a lost instrument).
    void close();
    int clientCount() const { return int(m_clients.size()); }

    // Every non-empty command line received, in order, without its terminator.
    QStringList commands() const { return m_commands; }
    void clearCommands() { m_commands.clear(); }

    // The instrument behind the port: its state, read-back for tests, and the setters
    // not repeated here (identification, filter states, terminals, ...).
    Instrument &instrument() { return m_instrument; }
    const Instrument &instrument() const { return m_instrument; }

    // Deterministic readings: the exact value texts of successive readings. When the list
    // is used up the last entry repeats; an empty list returns to the signal model.
    void setReadingSequence(const QStringList &values) { m_instrument.setReadingSequence(values); }
    void setSeed(quint32 seed) { m_instrument.setSeed(seed); }
    // What "conf?" answers; the CONF: commands change the same state.
    void setFunction(Function f) { m_instrument.setFunction(f); }
    void setRange(double range) { m_instrument.setRange(range); }       // <= 0: automatic
    void setResolution(double res) { m_instrument.setResolution(res); } // <= 0: default
    // Scales trigger delays (0: series end at once).
    void setTimeScale(double factor) { m_instrument.setTimeScale(factor); }
    void queueError(int code, const QString &message) { m_instrument.queueError(code, message); }

    // A received line equal to `line` (blanks around it and letter case ignored) is not
    // executed but answered with exactly `reply` (an empty reply is a bare terminator):
    // for replies the instrument would never give, such as "1" to a filter query.
    void setCannedReply(const QString &line, const QString &reply);
    void clearCannedReplies() { m_canned.clear(); }

    // Faults. All take effect for the next reply or command line.
    void setTerminator(Terminator t) { m_terminator = t; }
    Terminator terminator() const { return m_terminator; }
    void setLatency(int ms) { m_latencyMs = qMax(0, ms); }
    // Each reply goes out in `pieces` parts with `gapMs` between them (pieces <= 1: whole).
    void setSplit(int pieces, int gapMs);
    // A line holding a command that starts with one of these texts (case-insensitive)
    // gets no reply at all; its commands still take effect.
    void setSilentQueries(const QStringList &queries) { m_silent = queries; }
    // Every reading's value field becomes text that is not a number.
    void setGarbage(bool on) { m_instrument.setGarbage(on); }
    // After `lines` command lines of a connection have been answered, that connection is
    // closed by the instrument; later lines are neither logged nor answered (0: never).
    // Counted per connection, so a reconnect works again.
    void setDropAfter(int lines) { m_dropAfter = qMax(0, lines); }
    // After each command starting with `command` (case-insensitive) the instrument queues
    // this error (empty command: off).
    void setErrorAfter(const QString &command, int code = -222,
                       const QString &message = QStringLiteral("Data out of range"));
    // A hung instrument: accepts connections and logs lines, but does and answers nothing.
    void setHung(bool on) { m_hung = on; }
    // Sends `totalBytes` of digits without any terminator to every connected client, in
    // chunks from a timer (pacing on the socket's write buffer). Returns the clients.
    int streamWithoutTerminator(qint64 totalBytes);

signals:
    void commandReceived(const QString &line);
    // A reply to a received line has been queued for its client.
    void replySent(const QString &line, const QString &reply);
    void clientConnected();
    void clientDisconnected();

private:
    struct Client;

    void onNewConnection();
    void onReadyRead(Client *c);
    void removeClient(Client *c);
    void pump(Client *c);
    void pumpAll();
    void finishLine(Client *c);
    void sendReply(Client *c, const QString &text);
    void flush(Client *c);
    void streamTick(Client *c);
    Client *find(const Client *c) const;
    qint64 backlog(const Client *c) const;

    QTcpServer m_server;
    Instrument m_instrument;
    std::vector<std::unique_ptr<Client>> m_clients;
    QStringList m_commands;
    QElapsedTimer m_clock;
    QTimer m_busyTimer; // the instrument is taking a series

    Terminator m_terminator = Terminator::CrLf;
    int m_latencyMs = 0;
    int m_splitPieces = 1;
    int m_splitGapMs = 0;
    QStringList m_silent;
    QHash<QString, QString> m_canned; // upper-case line -> reply
    int m_dropAfter = 0;
    QString m_errorAfter;
    int m_errorAfterCode = 0;
    QString m_errorAfterText;
    bool m_hung = false;
};

} // namespace sim
