// SPDX-License-Identifier: GPL-3.0-or-later
#include "faultproxy.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {
constexpr qint64 kStreamChunk = 64 * 1024;
// What the relay keeps queued for the program: enough to run at loopback speed, little
// enough that the relay itself stays small.
constexpr qint64 kStreamQueued = 4 * kStreamChunk;
} // namespace

FaultProxy::FaultProxy(quint16 targetPort, QObject *parent) : QObject(parent), m_target(targetPort)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FaultProxy::onNewConnection);
}

FaultProxy::~FaultProxy()
{
    for (auto &p : m_pairs) {
        if (p->program)
            p->program->abort();
        if (p->instrument)
            p->instrument->abort();
    }
}

bool FaultProxy::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

int FaultProxy::connections() const
{
    int n = 0;
    for (const auto &p : m_pairs)
        n += p->program && p->program->state() == QAbstractSocket::ConnectedState;
    return n;
}

void FaultProxy::onNewConnection()
{
    while (QTcpSocket *program = m_server.nextPendingConnection()) {
        auto pair = std::make_unique<Pair>();
        Pair *p = pair.get();
        p->program = program;
        // Small, so a relay that stops reading makes the program's send queue fill.
        program->setReadBufferSize(4096);
        p->instrument = new QTcpSocket(this);
        connect(program, &QIODevice::readyRead, this, [this, p] { fromProgram(p); });
        connect(program, &QIODevice::bytesWritten, this, [this, p] { feedStream(p); });
        connect(program, &QAbstractSocket::disconnected, this, [p] {
            if (p->instrument)
                p->instrument->disconnectFromHost();
        });
        connect(p->instrument, &QIODevice::readyRead, this, [this, p] { fromInstrument(p); });
        connect(p->instrument, &QAbstractSocket::connected, this, [this, p] { fromProgram(p); });
        p->instrument->connectToHost(QHostAddress::LocalHost, m_target);
        m_pairs.push_back(std::move(pair));
        if (m_stream)
            feedStream(p);
    }
}

void FaultProxy::fromProgram(Pair *p)
{
    if (m_halfOpen || !p->program || !p->instrument ||
        p->instrument->state() != QAbstractSocket::ConnectedState)
        return;
    p->instrument->write(p->program->readAll());
    if (p->heldForCommand) {
        p->instrument->flush();
        p->heldForCommand = false;
        p->holding = false;
        toProgram(p, std::exchange(p->held, {}));
    }
}

void FaultProxy::fromInstrument(Pair *p)
{
    if (!p->instrument)
        return;
    QByteArray bytes = p->instrument->readAll();
    if (m_halfOpen || m_stream)
        return;
    if (m_rewrite) {
        p->partialLine += bytes;
        bytes.clear();
        qsizetype lf;
        while ((lf = p->partialLine.indexOf('\n')) >= 0) {
            bytes += m_rewrite(p->partialLine.left(lf + 1));
            p->partialLine.remove(0, lf + 1);
        }
        if (bytes.isEmpty())
            return;
    }
    if (m_holdForCommand && !p->holding) {
        m_holdForCommand = false;
        p->holding = true;
        p->heldForCommand = true;
    }
    if (m_delayNext > 0 && !p->holding) {
        p->holding = true;
        QTimer::singleShot(m_delayNext, this, [this, p] { release(p); });
        m_delayNext = 0;
    }
    if (p->holding) {
        p->held += bytes;
        return;
    }
    if (m_latency > 0) {
        QTimer::singleShot(m_latency, this, [this, p, bytes] { toProgram(p, bytes); });
        return;
    }
    toProgram(p, bytes);
}

void FaultProxy::release(Pair *p)
{
    p->holding = false;
    toProgram(p, std::exchange(p->held, {}));
}

void FaultProxy::toProgram(Pair *p, QByteArray bytes)
{
    if (!p->program || bytes.isEmpty())
        return;
    if (m_resetBudget >= 0) {
        if (bytes.size() >= m_resetBudget) {
            bytes.truncate(m_resetBudget);
            m_resetBudget = -1;
            p->program->write(bytes);
            p->program->flush();
            // The cut follows once the program had time to take the partial reply.
            QTimer::singleShot(100, this, [this, p] { cut(p); });
            return;
        }
        m_resetBudget -= bytes.size();
    }
    p->program->write(bytes);
}

void FaultProxy::cut(Pair *p)
{
    if (m_hardCut) {
        reset(p);
        return;
    }
    if (p->program)
        p->program->disconnectFromHost();
    if (p->instrument)
        p->instrument->disconnectFromHost();
}

void FaultProxy::reset(Pair *p)
{
    if (p->program) {
        // Linger 0: the close sends RST instead of FIN.
        const linger lg{1, 0};
        ::setsockopt(static_cast<int>(p->program->socketDescriptor()), SOL_SOCKET, SO_LINGER, &lg,
                     sizeof lg);
        p->program->abort();
    }
    if (p->instrument)
        p->instrument->abort();
}

void FaultProxy::setHalfOpen(bool on)
{
    m_halfOpen = on;
    if (!on) {
        for (auto &p : m_pairs)
            fromProgram(p.get());
    }
}

void FaultProxy::setEndlessStream(bool on)
{
    m_stream = on;
    for (auto &p : m_pairs)
        feedStream(p.get());
}

void FaultProxy::feedStream(Pair *p)
{
    if (!m_stream || !p->program || p->program->state() != QAbstractSocket::ConnectedState)
        return;
    static const QByteArray chunk(kStreamChunk, '7');
    while (p->program->bytesToWrite() < kStreamQueued) {
        p->program->write(chunk);
        m_streamed += chunk.size();
    }
}
