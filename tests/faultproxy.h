// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;

// A TCP relay on 127.0.0.1 between the program and an instrument, injecting the link faults
// the instrument itself does not make. Runs in-process on the caller's thread, served by the
// event loop like the simulator. Faults apply to every connection, the ones open now and
// the ones to come.
class FaultProxy : public QObject
{
    Q_OBJECT
public:
    explicit FaultProxy(quint16 targetPort, QObject *parent = nullptr);
    ~FaultProxy() override;

    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    int connections() const;

    // After `bytes` more reply bytes have gone to the program, its connection is reset (RST),
    // the instrument's side closed. Negative: never.
    void resetAfter(qint64 bytes)
    {
        m_resetBudget = bytes;
        m_hardCut = true;
    }
    // The same, but the instrument closes its side in order (FIN) instead of a reset.
    void closeAfter(qint64 bytes)
    {
        m_resetBudget = bytes;
        m_hardCut = false;
    }
    // The peer goes silent without closing: nothing is forwarded either way and the program's
    // bytes are no longer read (its send queue fills), but both sockets stay open.
    void setHalfOpen(bool on);
    // The program receives digits without any terminator as fast as it takes them; the
    // instrument's replies are dropped meanwhile. Stopping ends the stream.
    void setEndlessStream(bool on);
    qint64 streamedBytes() const { return m_streamed; }
    // The next reply the instrument sends reaches the program `ms` later.
    void delayNextReply(int ms) { m_delayNext = ms; }
    // Every reply reaches the program `ms` after the instrument sent it (a slow instrument).
    void setReplyLatency(int ms) { m_latency = ms; }
    // The next reply is held back until the program sends its next command, and goes to
    // the program right after that command went to the instrument.
    void holdNextReplyUntilNextCommand() { m_holdForCommand = true; }
    // Every reply line (up to and with its LF) passes through `rewrite` before it goes on.
    void setReplyRewriter(std::function<QByteArray(const QByteArray &)> rewrite)
    {
        m_rewrite = std::move(rewrite);
    }

private:
    struct Pair
    {
        QPointer<QTcpSocket> program;
        QPointer<QTcpSocket> instrument;
        QByteArray partialLine; // for the rewriter
        QByteArray held;        // a delayed reply
        bool holding = false;
        bool heldForCommand = false;
    };

    void onNewConnection();
    void fromProgram(Pair *p);
    void fromInstrument(Pair *p);
    void toProgram(Pair *p, QByteArray bytes);
    void release(Pair *p);
    void feedStream(Pair *p);
    void reset(Pair *p);
    void cut(Pair *p);

    QTcpServer m_server;
    quint16 m_target;
    std::vector<std::unique_ptr<Pair>> m_pairs;
    qint64 m_resetBudget = -1;
    bool m_halfOpen = false;
    bool m_stream = false;
    qint64 m_streamed = 0;
    int m_delayNext = 0;
    int m_latency = 0;
    bool m_holdForCommand = false;
    bool m_hardCut = true;
    std::function<QByteArray(const QByteArray &)> m_rewrite;
};
