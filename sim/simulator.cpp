// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <QTcpSocket>

#include <algorithm>
#include <deque>
#include <limits>

namespace sim {

namespace {
// A peer that sends queries without reading the answers must not make us hold more
// than this; beyond it we stop reading its commands until it catches up.
constexpr qint64 maxBacklogBytes = 8 * 1024 * 1024;
} // namespace

// One connection: its input, the line being handled and its pending output.
struct Simulator::Client
{
    struct Chunk
    {
        QByteArray data;
        qint64 notBefore = 0; // clock time before which it must not go out
        int gapMs = 0;        // pause after the previous chunk
    };

    QTcpSocket *socket = nullptr; // deleted later by removeClient
    QTimer *outTimer = nullptr;   // both timers are children of the socket
    QTimer *streamTimer = nullptr;

    QByteArray inbuf;
    bool discarding = false; // inside an over-long line, up to its LF

    QStringList pendingLines;
    QString line; // the active one
    bool lineActive = false;
    QStringList pieces; // commands of the active line not yet handled
    QStringList answers;
    bool lineSilent = false;
    Instrument::Path path;

    int linesReceived = 0;
    int linesDone = 0;
    bool closing = false;
    bool stalled = false; // waiting for the peer to read its replies

    std::deque<Chunk> out;
    qint64 outBytes = 0;
    qint64 lastWrite = std::numeric_limits<qint64>::min() / 2;
    qint64 streamLeft = 0;
};

Simulator::Simulator(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_busyTimer.setSingleShot(true);
    m_busyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_busyTimer, &QTimer::timeout, this, &Simulator::pumpAll);
    connect(&m_server, &QTcpServer::newConnection, this, &Simulator::onNewConnection);
}

Simulator::~Simulator()
{
    close();
}

bool Simulator::listen(quint16 port)
{
    if (m_server.isListening())
        m_server.close();
    return m_server.listen(QHostAddress::LocalHost, port);
}

quint16 Simulator::port() const
{
    return m_server.serverPort();
}

bool Simulator::isListening() const
{
    return m_server.isListening();
}

QString Simulator::errorString() const
{
    return m_server.errorString();
}

void Simulator::close()
{
    m_server.close();
    m_busyTimer.stop();
    std::vector<std::unique_ptr<Client>> clients;
    clients.swap(m_clients);
    for (auto &c : clients) {
        c->socket->disconnect(this);
        c->outTimer->stop();
        c->streamTimer->stop();
        c->socket->abort();
        c->socket->deleteLater();
        emit clientDisconnected();
    }
}

void Simulator::setSplit(int pieces, int gapMs)
{
    m_splitPieces = qMax(1, pieces);
    m_splitGapMs = qMax(0, gapMs);
}

void Simulator::setCannedReply(const QString &line, const QString &reply)
{
    m_canned.insert(line.trimmed().toUpper(), reply);
}

void Simulator::setErrorAfter(const QString &command, int code, const QString &message)
{
    m_errorAfter = command.trimmed();
    m_errorAfterCode = code;
    m_errorAfterText = message;
}

Simulator::Client *Simulator::find(const Client *c) const
{
    for (const auto &p : m_clients) {
        if (p.get() == c)
            return p.get();
    }
    return nullptr;
}

void Simulator::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto client = std::make_unique<Client>();
        Client *c = client.get();
        c->socket = socket;
        // Replies are small and split on purpose: do not let Nagle merge them.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        c->outTimer = new QTimer(socket);
        c->outTimer->setSingleShot(true);
        c->outTimer->setTimerType(Qt::PreciseTimer);
        c->streamTimer = new QTimer(socket);
        c->streamTimer->setInterval(1);
        m_clients.push_back(std::move(client));

        connect(c->outTimer, &QTimer::timeout, this, [this, c] { flush(c); });
        connect(c->streamTimer, &QTimer::timeout, this, [this, c] { streamTick(c); });
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { removeClient(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c] {
            if (!c->stalled || backlog(c) > maxBacklogBytes / 2)
                return;
            c->stalled = false;
            onReadyRead(c); // takes what waited in the socket, then goes on with the lines
        });
        emit clientConnected();
        // The signal's receiver may have closed everything.
        if (!find(c))
            return;
        if (socket->bytesAvailable() > 0)
            onReadyRead(c);
    }
}

void Simulator::removeClient(Client *c)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [c](const auto &p) { return p.get() == c; });
    if (it == m_clients.end())
        return;
    const std::unique_ptr<Client> gone = std::move(*it);
    m_clients.erase(it);
    gone->socket->disconnect(this);
    gone->outTimer->stop();
    gone->streamTimer->stop();
    gone->socket->deleteLater();
    emit clientDisconnected();
}

qint64 Simulator::backlog(const Client *c) const
{
    return c->socket->bytesToWrite() + c->outBytes;
}

void Simulator::onReadyRead(Client *c)
{
    if (c->stalled)
        return; // resumed from bytesWritten
    const QByteArray data = c->socket->readAll();
    if (c->closing)
        return;
    c->inbuf += data;
    for (;;) {
        const qsizetype lf = c->inbuf.indexOf('\n');
        if (lf < 0) {
            // Keep memory bounded against a peer that never ends its line.
            if (c->inbuf.size() > maxLineBytes) {
                if (!c->discarding)
                    m_instrument.queueError(-363, QStringLiteral("Input buffer overrun"));
                c->discarding = true;
                c->inbuf.clear();
            }
            break;
        }
        QByteArray raw = c->inbuf.left(lf);
        c->inbuf.remove(0, lf + 1);
        if (c->discarding) {
            c->discarding = false; // this was the tail of the over-long line
            continue;
        }
        if (raw.size() > maxLineBytes) {
            m_instrument.queueError(-363, QStringLiteral("Input buffer overrun"));
            continue;
        }
        while (raw.endsWith('\r'))
            raw.chop(1);
        const QString line = QString::fromLatin1(raw);
        if (line.trimmed().isEmpty())
            continue;
        if (m_dropAfter > 0 && c->linesReceived >= m_dropAfter)
            continue; // the connection is about to go
        ++c->linesReceived;
        m_commands << line;
        emit commandReceived(line);
        if (!find(c))
            return;
        if (!m_hung)
            c->pendingLines << line;
    }
    pump(c);
}

void Simulator::pumpAll()
{
    std::vector<Client *> clients;
    for (const auto &p : m_clients)
        clients.push_back(p.get());
    for (Client *c : clients) {
        if (find(c))
            pump(c);
    }
}

void Simulator::pump(Client *c)
{
    for (;;) {
        if (m_busyTimer.isActive())
            return;
        if (!c->lineActive) {
            if (c->pendingLines.isEmpty() || c->closing)
                return;
            if (backlog(c) > maxBacklogBytes) {
                c->stalled = true;
                return;
            }
            const QString line = c->pendingLines.takeFirst();
            c->line = line;
            c->answers.clear();
            const auto canned = m_canned.constFind(line.trimmed().toUpper());
            if (canned != m_canned.constEnd()) {
                c->pieces.clear();
                c->answers << *canned;
            } else {
                c->pieces = Instrument::splitLine(line);
            }
            c->lineSilent = false;
            c->path.clear();
            c->lineActive = true;
        }
        while (!c->pieces.isEmpty() && !m_busyTimer.isActive()) {
            const QString piece = c->pieces.takeFirst();
            const QString text = piece.trimmed();
            for (const QString &s : std::as_const(m_silent)) {
                if (!s.trimmed().isEmpty() && text.startsWith(s.trimmed(), Qt::CaseInsensitive))
                    c->lineSilent = true;
            }
            const Instrument::Step step = m_instrument.execute(piece, c->path);
            if (step.answer)
                c->answers << *step.answer;
            if (!m_errorAfter.isEmpty() && text.startsWith(m_errorAfter, Qt::CaseInsensitive))
                m_instrument.queueError(m_errorAfterCode, m_errorAfterText);
            if (step.busyMs > 0)
                m_busyTimer.start(int(qMin<qint64>(step.busyMs, std::numeric_limits<int>::max())));
        }
        // A reply that follows a series goes out when the series is over.
        if (m_busyTimer.isActive())
            return;
        finishLine(c);
        if (!find(c))
            return;
    }
}

void Simulator::finishLine(Client *c)
{
    c->lineActive = false;
    ++c->linesDone;
    if (!c->answers.isEmpty() && !c->lineSilent) {
        const QString reply = c->answers.join(QLatin1Char(';'));
        sendReply(c, reply);
        emit replySent(c->line, reply);
    }
    c->answers.clear();
    if (m_dropAfter > 0 && c->linesDone >= m_dropAfter) {
        c->closing = true;
        c->pendingLines.clear();
    }
    flush(c);
}

void Simulator::sendReply(Client *c, const QString &text)
{
    QByteArray data = text.toLatin1();
    switch (m_terminator) {
    case Terminator::CrLf:
        data += "\r\n";
        break;
    case Terminator::Cr:
        data += '\r';
        break;
    case Terminator::Lf:
        data += '\n';
        break;
    case Terminator::None:
        break;
    }
    if (data.isEmpty())
        return;
    const qsizetype pieces = qMin<qsizetype>(m_splitPieces, data.size());
    const qsizetype size = (data.size() + pieces - 1) / pieces;
    const qint64 notBefore = m_clock.elapsed() + m_latencyMs;
    for (qsizetype pos = 0; pos < data.size(); pos += size) {
        const bool first = pos == 0;
        c->out.push_back({data.mid(pos, size), first ? notBefore : 0, first ? 0 : m_splitGapMs});
        c->outBytes += c->out.back().data.size();
    }
}

void Simulator::flush(Client *c)
{
    const qint64 now = m_clock.elapsed();
    while (!c->out.empty()) {
        const Client::Chunk &chunk = c->out.front();
        const qint64 due = qMax(chunk.notBefore, c->lastWrite + chunk.gapMs);
        if (due > now) {
            c->outTimer->start(int(due - now));
            return;
        }
        c->socket->write(chunk.data);
        c->outBytes -= chunk.data.size();
        c->lastWrite = now;
        c->out.pop_front();
    }
    if (c->closing)
        c->socket->disconnectFromHost(); // may remove c at once
}

int Simulator::streamWithoutTerminator(qint64 totalBytes)
{
    if (totalBytes <= 0)
        return 0;
    for (const auto &c : m_clients) {
        c->streamLeft += totalBytes;
        c->streamTimer->start();
    }
    return int(m_clients.size());
}

void Simulator::streamTick(Client *c)
{
    constexpr qsizetype chunkBytes = 64 * 1024;
    static const QByteArray digits = [] {
        QByteArray b(chunkBytes, '0');
        for (qsizetype i = 0; i < b.size(); ++i)
            b[i] = char('0' + i % 10);
        return b;
    }();
    // Only top up the socket's buffer: a slow reader must not make us hold megabytes.
    if (c->socket->bytesToWrite() >= 4 * chunkBytes)
        return;
    const qsizetype n = qsizetype(qMin<qint64>(chunkBytes, c->streamLeft));
    c->socket->write(digits.constData(), n);
    c->streamLeft -= n;
    if (c->streamLeft <= 0)
        c->streamTimer->stop();
}

} // namespace sim
