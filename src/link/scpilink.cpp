// SPDX-License-Identifier: GPL-3.0-or-later
#include "scpilink.h"

#include "app/settings.h"
#include "data/datetime.h"
#include "data/numtext.h"
#include "engine/measpol.h"
#include "lang/langtexts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <algorithm>

#include <sys/ioctl.h>
#include <sys/prctl.h>

namespace {

const QByteArray kNoEol(5, ' ');
constexpr int kConnectTimeoutMs = 5000;

QByteArray toWire(const QString &s)
{
    return s.toLatin1();
}

QString fromWire(const QByteArray &b)
{
    return QString::fromLatin1(b);
}

// A program message with a query in it gets one answer line; a "?" inside a quoted text
// (DISP:TEXT 'ok?') asks nothing.
bool asksForAnswer(const QString &cmd)
{
    QChar quote;
    for (const QChar c : cmd) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            return true;
        }
    }
    return false;
}

// How long a supervision probe waits for any sign of life after a read timed out.
constexpr int kProbeMs = 1500;

} // namespace

ScpiLink::ScpiLink(Settings &settings, QObject *parent) : QObject(parent), m_s(settings)
{
    m_tcpcontimer = new QTimer(this);
    m_tcpcontimer->setObjectName(QStringLiteral("tcpcontimer"));
    m_tcpcontimer->setInterval(200);
    connect(m_tcpcontimer, &QTimer::timeout, this, &ScpiLink::supervise);
}

ScpiLink::~ScpiLink()
{
    if (m_socket)
        m_socket->abort();
    delete m_socket.data();
}

void ScpiLink::startSupervision()
{
    m_tcpcontimer->start();
}

QString ScpiLink::timeStamp()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz"));
}

void ScpiLink::DelayMs(int ms)
{
    // The kernel's default slack of 50 us on every sleep would make each pause of 1 ms
    // about a tenth longer; measuring is paced by these pauses.
    static const bool precise = ::prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0) == 0;
    Q_UNUSED(precise);
    // Measured finer than the millisecond tick, so a 1 ms pause lasts about 1 ms and not
    // up to 2 as whole ticks would make it.
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    } while (t.nsecsElapsed() < qint64(ms) * 1000000);
}

void ScpiLink::setConnected(bool c)
{
    if (m_connected == c)
        return;
    m_connected = c;
    emit connectedChanged(c);
}

QString ScpiLink::peerAddress() const
{
    if (!m_socket)
        return QString();
    QHostAddress a = m_socket->peerAddress();
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : a.toString();
}

QString ScpiLink::eolLogText() const
{
    if (m_eol == "\r\n")
        return QStringLiteral("  EOL = 0D0A [CRLF]");
    if (m_eol == "\r")
        return QStringLiteral("  EOL = 0D [CR]");
    if (m_eol == "\n")
        return QStringLiteral("  EOL = 0A [LF]");
    return QString();
}

QString ScpiLink::eolStatusText() const
{
    if (m_eol == "\r\n")
        return QStringLiteral("EOL 0D0A CRLF  ");
    if (m_eol == "\r")
        return QStringLiteral("EOL 0D CR  ");
    if (m_eol == "\n")
        return QStringLiteral("EOL 0A LF  ");
    return QString();
}

void ScpiLink::startSkip()
{
    m_skipLongLine = true;
    m_skipTail.clear();
    m_lastInputTick = dtime::ticks();
}

void ScpiLink::pullSocket()
{
    if (!m_socket)
        return;
    const quint32 now = dtime::ticks();
    if (m_socket->bytesAvailable() <= 0) {
        // A dropped reply that has paused as long as a reply may take to begin is over;
        // the line time-out would be too short for a reply cut by long gaps.
        if (m_skipLongLine && dtime::tickDiff(now, m_lastInputTick) > m_s.DataTimeout) {
            m_skipLongLine = false;
            m_skipTail.clear();
        }
        return;
    }
    m_lastInputTick = now;
    // The socket layer holds at most kSocketBufferBytes, so one chunk stays small.
    QByteArray chunk = m_socket->readAll();
    m_received += chunk.size();
    if (!m_skipLongLine) {
        m_rx += chunk;
        return;
    }
    // Inside an abandoned or over-long reply: throw bytes away up to its terminator,
    // searching each byte once.
    const qsizetype tail = m_skipTail.size();
    m_skipTail += chunk;
    const qsizetype at = m_eol == kNoEol ? -1 : m_skipTail.indexOf(m_eol);
    if (at < 0) {
        m_skipped += chunk.size();
        m_skipTail = m_skipTail.right(m_eol.size() - 1);
        return;
    }
    m_skipped += at + m_eol.size() - tail;
    m_rx += m_skipTail.mid(at + m_eol.size());
    m_skipTail.clear();
    m_skipLongLine = false;
    lineArrived();
}

bool ScpiLink::lineArrived()
{
    if (m_unanswered > 0)
        --m_unanswered;
    if (m_owed == 0)
        return false;
    --m_owed;
    return true;
}

void ScpiLink::abandonAnswer()
{
    if (m_unanswered > m_owed) {
        ++m_owed;
        m_owedSince = dtime::ticks();
    }
}

void ScpiLink::expireOwed()
{
    if (m_owed > 0 && dtime::tickDiff(dtime::ticks(), m_owedSince) > 2 * m_s.DataTimeout) {
        m_unanswered = std::max(0, m_unanswered - m_owed);
        m_owed = 0;
    }
}

bool ScpiLink::waitingBytes() const
{
    // Bytes of a reply being thrown away do not count as an answer.
    return !m_rx.isEmpty() || (!m_skipLongLine && m_socket && m_socket->bytesAvailable() > 0);
}

qint64 ScpiLink::heldInputBytes() const
{
    return m_rx.size() + m_skipTail.size() + (m_socket ? m_socket->bytesAvailable() : 0);
}

QString ScpiLink::printable(const QString &text)
{
    const auto control = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7f && u <= 0x9f);
    };
    // Most lines are clean: hand them back shared, without a copy.
    if (std::none_of(text.cbegin(), text.cend(), control))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!control(c))
            out += c;
    }
    return out;
}

void ScpiLink::discardStale()
{
    if (!m_socket || m_readbusy)
        return;
    pullSocket();
    if (m_rx.isEmpty() && !m_skipLongLine)
        return;
    // The rest of a cut reply is still coming: let it arrive and drop it up to its
    // terminator (or until it pauses), keeping other readers out meanwhile.
    m_readbusy = true;
    const quint32 start = dtime::ticks();
    qint64 dropped = 0;
    QString head;
    for (;;) {
        pullSocket();
        if (!m_rx.isEmpty()) {
            if (head.isEmpty())
                head = fromWire(m_rx.left(40));
            dropped += m_rx.size();
            const bool whole = m_eol != kNoEol && m_rx.endsWith(m_eol);
            if (m_eol != kNoEol) {
                for (qsizetype n = m_rx.count(m_eol); n > 0; --n)
                    lineArrived();
            }
            m_rx.clear();
            if (!whole)
                startSkip();
        }
        if (!m_skipLongLine || !m_socket || !m_connected || m_peerClosed ||
            dtime::tickDiff(dtime::ticks(), start) > 2 * m_s.DataTimeout)
            break;
        DelayMs(1);
    }
    dropped += m_skipped;
    m_skipped = 0;
    m_readbusy = false;
    if (dropped > 0)
        AddLog(timeStamp() + QStringLiteral(" <R STALE %1 bytes dropped: ").arg(dropped) + head);
}

QByteArray ScpiLink::receiveRaw(int maxBytes, int timeoutMs)
{
    const quint32 start = dtime::ticks();
    for (;;) {
        pullSocket();
        if (m_rx.size() >= maxBytes || dtime::tickDiff(dtime::ticks(), start) > timeoutMs ||
            !m_socket)
            break;
        DelayMs(1);
    }
    QByteArray out = m_rx.left(maxBytes);
    m_rx.remove(0, out.size());
    return out;
}

ScpiLink::LineResult ScpiLink::receiveLine(QByteArray &line, quint32 serial)
{
    quint32 lastProgress = dtime::ticks();
    qsizetype searched = 0;
    for (;;) {
        const qsizetype before = m_rx.size();
        pullSocket();
        if (m_rx.size() != before)
            lastProgress = dtime::ticks();
        const qsizetype from = std::max<qsizetype>(0, searched - m_eol.size() + 1);
        const qsizetype at = m_eol == kNoEol ? -1 : m_rx.indexOf(m_eol, from);
        if (at >= 0) {
            if (at > m_maxLine) {
                m_rx.remove(0, at + m_eol.size());
                lineArrived();
                return LineResult::TooLong;
            }
            line = m_rx.left(at);
            m_rx.remove(0, at + m_eol.size());
            return LineResult::Ok;
        }
        searched = m_rx.size();
        if (m_rx.size() > m_maxLine) {
            // The rest is thrown away as it arrives, also while nobody reads.
            m_rx.clear();
            startSkip();
            return LineResult::TooLong;
        }
        if (!m_connected || !m_socket || serial != m_serial)
            return LineResult::Closed;
        if (dtime::tickDiff(dtime::ticks(), lastProgress) > m_s.LanTimeout) {
            // Without a known terminator a reply can only end by the line time-out.
            if (m_eol == kNoEol && !m_rx.isEmpty()) {
                line = m_rx;
                m_rx.clear();
                return LineResult::Ok;
            }
            if (m_peerClosed)
                return LineResult::Closed;
            return LineResult::Timeout;
        }
        if (m_peerClosed && (!m_socket || m_socket->bytesAvailable() == 0))
            return LineResult::Closed;
        DelayMs(1);
    }
}

void ScpiLink::SendCmd(const QString &cmd, bool pause)
{
    if (!m_connected || cmd.isEmpty())
        return;
    LastCMD = cmd;
    discardStale();
    if (!m_connected)
        return;
    expireOwed();
    if (asksForAnswer(cmd))
        ++m_unanswered;
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        // Command and terminator in one write: one segment, no delayed-ACK stall.
        m_socket->write(toWire(cmd) + "\r\n");
        m_socket->flush();
    }
    AddLog(QStringLiteral("> ") + cmd);
    if (pause)
        DelayMs(1);
}

QString ScpiLink::ReadReply(bool quick)
{
    return readCommon(quick, false);
}

QString ScpiLink::ReadValue()
{
    return readCommon(false, true);
}

ScpiLink::Await ScpiLink::awaitReply(int pauseMs, bool quick, quint32 serial)
{
    readelapsed = 0;
    quint32 passStart = dtime::ticks();
    for (;;) {
        // Each pass counts what it really took: a pause of 1 ms lasts 1 to 2 ms here, so a
        // fixed 10 ms per pass would cut the configured wait to a fifth of itself.
        const quint32 now = dtime::ticks();
        readelapsed += std::max(1, dtime::tickDiff(now, passStart));
        passStart = now;
        pullSocket();
        if (waitingBytes())
            readelapsed = 0;
        // A closed or reset peer ends the wait at once: nothing more will come.
        if (readelapsed > 0 && m_peerClosed)
            return Await::Ready;
        DelayMs(pauseMs);
        // Disconnected, or reconnected meanwhile: this read belongs to the old connection.
        if (!m_connected || serial != m_serial)
            return Await::Gone;
        if (readelapsed > m_s.DataTimeout)
            return Await::TimedOut;
        if (quick) {
            DelayMs(40);
            pullSocket();
            // A drain that finds nothing has nothing to report.
            return waitingBytes() || m_peerClosed ? Await::Ready : Await::Nothing;
        }
        if (readelapsed < 1)
            return Await::Ready;
    }
}

ScpiLink::Answer ScpiLink::readAnswer(QByteArray &raw, ReadKind kind, bool quick)
{
    static const QString kMarks[] = {QStringLiteral("<R "), QStringLiteral("<# "),
                                     QStringLiteral("<L ")};
    const QString &mark = kMarks[static_cast<int>(kind)];
    const int pauseMs = kind == ReadKind::Reply ? 1 : kind == ReadKind::Value ? 3 : 10;
    const quint32 serial = m_serial;
    expireOwed();
    // A line dropped as owed to an earlier read is kept: should nothing else come, the
    // earlier query was never answered and that line was this one's answer.
    QByteArray dropped;
    bool droppedOne = false;
    for (;;) {
        const Await a = awaitReply(pauseMs, quick, serial);
        if (a == Await::Gone)
            return Answer::Failed;
        if (a == Await::Nothing) {
            // Whatever the drained commands still answer comes too late for anybody.
            while (m_unanswered > m_owed)
                abandonAnswer();
            return Answer::Silent;
        }
        if (a == Await::TimedOut) {
            if (droppedOne) {
                m_unanswered = std::max(0, m_unanswered - 1);
                m_owed = 0;
                readelapsed = 0;
                raw = dropped;
                return Answer::Ok;
            }
            AddLog(timeStamp() + QLatin1Char(' ') + mark + QStringLiteral("TIMEOUT "));
            abandonAnswer();
            return Answer::Failed;
        }
        const LineResult r = takeLine(raw, serial);
        if (r == LineResult::Timeout)
            abandonAnswer(); // the rest of the line is skipped when it comes
        if (r != LineResult::Ok) {
            if (kind == ReadKind::Reply)
                AddLog(QStringLiteral("<R Error: ") + m_lastErrorText);
            else
                AddLog(
                    timeStamp() +
                    (kind == ReadKind::Value ? QStringLiteral(" <#! ") : QStringLiteral(" <L! ")) +
                    m_lastErrorText);
            return Answer::Failed;
        }
        if (!lineArrived() || m_eol == kNoEol)
            return Answer::Ok;
        AddLog(timeStamp() + QStringLiteral(" <R STALE %1 bytes dropped: ").arg(raw.size()) +
               fromWire(raw.left(40)));
        dropped = raw;
        droppedOne = true;
    }
}

ScpiLink::LineResult ScpiLink::takeLine(QByteArray &raw, quint32 serial)
{
    const LineResult r = receiveLine(raw, serial);
    switch (r) {
    case LineResult::Ok:
        // An answer: the link lives, whatever supervision counted before.
        timeoutcount = 0;
        m_lastError = 0;
        m_lastErrorText.clear();
        break;
    case LineResult::Timeout:
        m_lastError = 10060;
        m_lastErrorText = QStringLiteral("Connection timed out");
        break;
    case LineResult::Closed:
        m_lastError = 10054;
        m_lastErrorText = QStringLiteral("Connection reset by peer");
        break;
    case LineResult::TooLong:
        m_lastError = 10040;
        m_lastErrorText = QStringLiteral("Reply longer than %1 bytes dropped").arg(m_maxLine);
        break;
    }
    emit socketStatus(QString::number(m_lastError) + QLatin1Char(' ') + m_lastErrorText);
    return r;
}

QString ScpiLink::readCommon(bool quick, bool value)
{
    const QString mark = value ? QStringLiteral("<# ") : QStringLiteral("<R ");
    if (m_readbusy) {
        QCoreApplication::processEvents();
        AddLog(timeStamp() + QLatin1Char(' ') + mark + QStringLiteral("READ BUSY"));
        return QString();
    }
    if (!m_connected) {
        LastRaw.clear();
        if (value) {
            LastData.clear();
            AddLog(timeStamp() + QStringLiteral(" <# Not Connected"));
            m_host->setCurrentReading(1e-37L);
        }
        return QString();
    }

    m_readbusy = true;
    QByteArray raw;
    if (readAnswer(raw, value ? ReadKind::Value : ReadKind::Reply, quick) != Answer::Ok) {
        m_readbusy = false;
        return QString();
    }
    const QString line = fromWire(raw);
    LastRaw = line;
    LastData = line;
    if (!value) {
        AddLog(QStringLiteral("<R ") + line);
        m_readbusy = false;
        return line;
    }

    AddLog(QStringLiteral("<  ") + line);
    const long double v = m_host->cleanNumber(line, sentinel::kConversionFailed);
    m_host->setCurrentReading(v);
    emit valueRead(m_host->formatValue(v));
    m_host->requestProcessReading();
    AddLog(timeStamp() + QStringLiteral(" <# ") + m_host->valueLogText(v));
    m_readbusy = false;
    return line;
}

QString ScpiLink::NextField(bool parse)
{
    QString field;
    const qsizetype at = LastRaw.indexOf(QLatin1Char(';'));
    if (at >= 0) {
        field = LastRaw.left(at);
        LastRaw.remove(0, at + 1);
    } else {
        field = LastRaw;
        LastRaw.clear();
    }
    AddLog(QStringLiteral("<O ") + field);
    if (parse) {
        const LinkHost::FieldResult r = m_host->interpretField(field);
        for (const QString &l : r.log)
            AddLog(l);
        if (!r.lastValue.isEmpty())
            emit valueRead(r.lastValue);
        if (r.drain)
            ReadReply(true);
    }
    return field;
}

void ScpiLink::ParseSystErr()
{
    const qsizetype comma = LastRaw.indexOf(QLatin1Char(','));
    const QString head = comma < 0 ? QString() : LastRaw.left(comma);
    const long double code = m_host->cleanNumber(head, 65536.0L);
    errcode = (code == std::floor(code) && std::fabs(code) < 2147483647.0L) ? static_cast<int>(code)
                                                                            : 65536;
    const qsizetype quote = LastRaw.indexOf(QLatin1Char('"'));
    errtext = printable(LastRaw.mid(quote < 0 ? 0 : quote, 500));
    errtext.remove(QLatin1Char('"'));
}

void ScpiLink::DetectEOL()
{
    receiveRaw(250, 10);
    SendCmd(QStringLiteral("*ESE?"));
    // The reply may take longer than 10 ms on a real network, or longer than the line
    // time-out on a slow instrument: wait for its first bytes as for any reply, then up to
    // the line time-out for a CR or LF, and once one is there 10 ms more for the rest of
    // the terminator. A reply within the first 10 ms is judged on those 10 ms alone.
    constexpr int kWindowMs = 10;
    const quint32 start = dtime::ticks();
    QByteArray bytes;
    bool seen = false;
    quint32 deadline = start + kWindowMs;
    quint32 lastInput = start;
    for (;;) {
        pullSocket();
        const QByteArray part = m_rx.left(250 - bytes.size());
        m_rx.remove(0, part.size());
        bytes += part;
        const quint32 now = dtime::ticks();
        if (!part.isEmpty())
            lastInput = now;
        if (!seen && (part.contains('\r') || part.contains('\n'))) {
            seen = true;
            if (dtime::tickDiff(now, start) > kWindowMs)
                deadline = now + kWindowMs;
        }
        if (bytes.size() >= 250 || !m_socket || m_peerClosed)
            break;
        if (seen) {
            if (dtime::tickDiff(now, deadline) > 0)
                break;
        } else if (bytes.isEmpty() ? dtime::tickDiff(now, start) > m_s.DataTimeout
                                   : dtime::tickDiff(now, lastInput) > m_s.LanTimeout) {
            break;
        }
        DelayMs(1);
    }
    if (bytes.contains("\r\n")) {
        m_eol = "\r\n";
    } else {
        m_eol = kNoEol;
        if (bytes.contains('\r'))
            m_eol = "\r";
        if (bytes.contains('\n'))
            m_eol = "\n";
    }
    // The answer was taken here. Without one there is no terminator to count lines by.
    if (!bytes.isEmpty())
        lineArrived();
    else
        m_unanswered = 0;
    const QString log = eolLogText();
    if (!log.isEmpty())
        AddLog(log);
    m_host->setEolStatus(eolStatusText());
}

void ScpiLink::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *s = m_socket.data();
    m_socket.clear();
    s->disconnect(this);
    s->abort();
    s->deleteLater();
    m_rx.clear();
    m_skipLongLine = false;
    m_skipTail.clear();
    m_skipped = 0;
    m_unanswered = 0;
    m_owed = 0;
}

namespace {
// Marks a connect or disconnect sequence for as long as it runs.
class SequenceFlag
{
public:
    explicit SequenceFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~SequenceFlag() { m_flag = false; }
    SequenceFlag(const SequenceFlag &) = delete;
    SequenceFlag &operator=(const SequenceFlag &) = delete;

private:
    bool &m_flag;
};
} // namespace

bool ScpiLink::pauseOnConnection(int ms, quint32 serial)
{
    QElapsedTimer t;
    t.start();
    while (serial == m_serial && t.elapsed() < ms)
        DelayMs(1);
    return serial == m_serial;
}

bool ScpiLink::Connect(const QString &host, int port)
{
    // A second connect, or one inside a disconnect, would leave two sequences talking
    // over one socket.
    if (sequenceRunning())
        return false;
    bool ok;
    {
        const SequenceFlag flag(m_connecting);
        m_host->setConnectButtonEnabled(false);
        ok = connectSequence(host, port);
    }
    emit sequenceEnded();
    return ok;
}

bool ScpiLink::connectSequence(const QString &host, int port)
{
    m_host->setMeasText(QStringLiteral("Connecting..."));
    setConnected(false);
    ++m_serial;
    // A read still waiting belongs to the old connection; it ends when it sees the serial.
    m_readbusy = false;
    dropSocket();
    m_peerClosed = false;
    timeoutcount = 0;
    readelapsed = 0;

    auto *sock = new QTcpSocket(this);
    m_socket = sock;
    sock->setReadBufferSize(kSocketBufferBytes);
    bool failed = false;
    connect(sock, &QAbstractSocket::errorOccurred, this,
            [this, sock](QAbstractSocket::SocketError e) {
                if (sock != m_socket)
                    return;
                if (e == QAbstractSocket::RemoteHostClosedError || m_connected)
                    m_peerClosed = true;
            });
    connect(sock, &QAbstractSocket::disconnected, this, [this, sock] {
        if (sock == m_socket)
            m_peerClosed = true;
    });
    // The rest of a dropped reply is thrown away as it comes, also while nobody reads.
    connect(sock, &QIODevice::readyRead, this, [this, sock] {
        if (sock == m_socket && m_skipLongLine)
            pullSocket();
    });
    // A port outside 1..65535 would be cut to another, existing one: never try it.
    const bool portValid = port > 0 && port <= 65535;
    if (portValid)
        sock->connectToHost(host, static_cast<quint16>(port));
    failed = !portValid;
    const quint32 start = dtime::ticks();
    while (!failed && sock == m_socket && sock->state() != QAbstractSocket::ConnectedState) {
        if (sock->state() == QAbstractSocket::UnconnectedState ||
            dtime::tickDiff(dtime::ticks(), start) > kConnectTimeoutMs) {
            failed = true;
            break;
        }
        DelayMs(1);
    }
    if (failed || sock != m_socket) {
        dropSocket();
        m_peerClosed = false;
        AddLog(QStringLiteral("*** connection failure ***"));
        m_host->setMeasText(QStringLiteral("not connected"));
        return false;
    }
    sock->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    setConnected(true);
    AddLog(peerAddress());
    DetectEOL();

    SendCmd(QStringLiteral("IDN 0"));
    DelayMs(kIdnDelay);
    SendCmd(QStringLiteral("*IDN?"));
    // Only what this answer holds: without one, a reply left from before must not become
    // the identification.
    QString idn = ReadReply(false);
    auto takeField = [&idn] {
        const qsizetype comma = idn.indexOf(QLatin1Char(','));
        const QString f = comma < 0 ? QString() : idn.left(comma).left(50);
        idn.remove(0, comma + 1);
        return f;
    };
    maker = printable(takeField());
    model = printable(takeField());
    serial = printable(takeField());
    LastRaw = idn;

    SendCmd(QStringLiteral("CAL:DATE?"));
    caldate = printable(ReadReply(false)).left(50);

    for (const QString &line : std::as_const(m_s.initList)) {
        if (line.startsWith(QLatin1Char('/')))
            continue;
        SendCmd(line);
    }
    ReadReply(true);

    if (!m_connected)
        return false;
    m_host->afterConnect();
    m_host->setConnectCaption(lang::text(u"Disconnect"));
    m_connHost = host;
    m_connPort = QString::number(port);
    return true;
}

void ScpiLink::waitSendDrained(int maxMs)
{
    // Instead of a lingering close, which would hold the thread: wait, pumping events,
    // until the kernel has sent everything (or the time is up), then close.
    QElapsedTimer t;
    t.start();
    while (m_socket && m_socket->state() == QAbstractSocket::ConnectedState &&
           t.elapsed() < maxMs) {
        m_socket->flush();
        int queued = 0;
        ::ioctl(static_cast<int>(m_socket->socketDescriptor()), TIOCOUTQ, &queued);
        if (m_socket->bytesToWrite() == 0 && queued == 0)
            return;
        DelayMs(1);
    }
}

void ScpiLink::Disconnect()
{
    if (m_disconnecting)
        return;
    {
        const SequenceFlag flag(m_disconnecting);
        disconnectSequence();
    }
    emit sequenceEnded();
}

void ScpiLink::disconnectSequence()
{
    m_host->setMeasText(QStringLiteral("Disconnect..."));
    for (const QString &line : std::as_const(m_s.closeList)) {
        if (line.startsWith(QLatin1Char('/')))
            continue;
        SendCmd(line);
    }
    ReadReply(true);
    if (!m_connected)
        return;
    DelayMs(100);
    setConnected(false);
    ++m_serial;
    waitSendDrained(kCloseDrainMs);
    if (m_socket)
        m_socket->disconnectFromHost();
    DelayMs(20);
    dropSocket();
    m_peerClosed = false;
    DelayMs(20);
    m_host->setStatusPanel(0, QStringLiteral("Press [Shift + F2] for connection to ") + m_connHost +
                                  QLatin1Char(':') + m_connPort);
    m_host->setConnectCaption(lang::text(u"Connect"));
}

bool ScpiLink::awaitLife(int ms)
{
    const quint32 serial = m_serial;
    const quint32 start = dtime::ticks();
    m_readbusy = true;
    pullSocket();
    const qint64 before = m_received;
    bool alive = waitingBytes();
    while (!alive && m_connected && serial == m_serial && !m_peerClosed &&
           dtime::tickDiff(dtime::ticks(), start) <= ms) {
        DelayMs(1);
        pullSocket();
        alive = m_received != before;
    }
    if (serial == m_serial)
        m_readbusy = false;
    return alive;
}

void ScpiLink::declareLost()
{
    timeoutcount = 0;
    AddLog(timeStamp() + QStringLiteral("<> Connection LOST ***"));
    Disconnect();
    m_host->setDatalas(QStringLiteral("Connection Lost"));
    m_host->setAppTitle(QStringLiteral("Connection Lost!"));
    emit connectionLost();
}

void ScpiLink::supervise()
{
    static const char kSpinner[] = {'~', '/', '|', '\\'};
    // A connect or disconnect owns the link, and its buttons stay as it left them.
    if (sequenceRunning())
        return;
    if (!m_connected) {
        m_host->setDatalas(QStringLiteral("Not Connected!"));
        m_host->setAppTitle(QStringLiteral("Not Connected!"));
        m_host->setInstrumentIds(
            QStringLiteral("No Connection! - click DEVICE > COMMUNICATION, set ADDRESS"));
        m_host->setConnectButtonEnabled(true);
        emit connectAllowed(true);
        return;
    }
    int osBytes = 0;
    if (m_socket && m_socket->socketDescriptor() >= 0)
        ::ioctl(static_cast<int>(m_socket->socketDescriptor()), FIONREAD, &osBytes);
    const qint64 layerBytes = (m_socket ? m_socket->bytesAvailable() : 0) + m_rx.size();
    m_host->setDatalas(peerAddress() + QStringLiteral(" %1 %2 %3 %4")
                                           .arg(std::min(osBytes, 65536))
                                           .arg(layerBytes)
                                           .arg(readelapsed)
                                           .arg(timeoutcount));
    m_host->setConnectButtonEnabled(false);

    if (readelapsed != 0) {
        const QChar spin = QLatin1Char(kSpinner[m_spinner]);
        m_spinner = (m_spinner + 1) % 4;
        if (readelapsed > m_s.DataTimeout && !m_readbusy) {
            // The probe after the first failed read went unanswered as well: the peer is
            // gone or no longer answers (a half-open link), and waiting longer shows
            // nothing but a frozen reading.
            if (timeoutcount >= 1) {
                declareLost();
                return;
            }
            const int secs = dtime::tickDiff(dtime::ticks(), m_host->measurementStartTick()) / 1000;
            m_host->setStatusPanel(0, QStringLiteral(" Data read timeout: %1:%2")
                                          .arg(secs / 60, 2, 10, QLatin1Char('0'))
                                          .arg(secs % 60, 2, 10, QLatin1Char('0')));
            // The probe's answer only shows the link lives; it is no reading. A half-open
            // peer gives nothing at all, not even the answer the failed read waited for.
            SendCmd(QStringLiteral("*IDN?"));
            ++timeoutcount;
            const quint32 serial = m_serial;
            if (!awaitLife(kProbeMs)) {
                if (m_connected && serial == m_serial)
                    declareLost();
                return;
            }
            abandonAnswer();
            readelapsed = 0;
            timeoutcount = 0;
        } else if (readelapsed <= m_s.DataTimeout) {
            m_host->setStatusPanel(1, spin + QStringLiteral("  ") +
                                          QString::number(m_host->lastMeasurementPeriod()) +
                                          QStringLiteral(" ms "));
        }
    }
    if (!m_connected)
        return;
    // A closed peer is lost even when part of a reply is still waiting: no more will come.
    if (m_peerClosed && !m_readbusy) {
        declareLost();
        return;
    }
    if (waitingBytes())
        timeoutcount = 0;
}

QString ScpiLink::FetchList(const FetchCallback &onReading)
{
    if (m_readbusy) {
        QCoreApplication::processEvents();
        AddLog(timeStamp() + QStringLiteral(" <L READ BUSY"));
        return QString();
    }
    if (!m_connected) {
        AddLog(timeStamp() + QStringLiteral(" <L Not Connected"));
        m_host->setCurrentReading(sentinel::kEmptyReading);
        return QString();
    }

    m_readbusy = true;
    QByteArray raw;
    if (readAnswer(raw, ReadKind::Fetch, false) != Answer::Ok) {
        m_readbusy = false;
        return QString();
    }
    AddLog(QStringLiteral("<L ") + QString::number(raw.size()));

    // Fields are taken by position, never by cutting the front off a copy of the rest:
    // two million readings make a line of some 32 MiB.
    const qsizetype len = raw.size();
    qsizetype total = raw.count(',');
    if (len > 0 && raw.back() != ',')
        ++total;
    constexpr qsizetype kFieldChars = 40;
    QString stamp;
    quint32 stampTick = dtime::ticks() - 1;
    qsizetype pos = 0;
    qsizetype n = 0;
    while (pos < len) {
        qsizetype comma = raw.indexOf(',', pos);
        if (comma < 0)
            comma = len;
        // The last field is cleaned too: a stray control character or "+" exponent there
        // must not turn the series' final reading into a failure.
        const QString field = QString::fromLatin1(raw.constData() + pos,
                                                  std::min<qsizetype>(comma - pos, kFieldChars));
        pos = comma + 1;
        const long double v = m_host->cleanNumber(field, sentinel::kConversionFailed);
        ++n;
        m_host->setCurrentReading(v);
        emit valueRead(m_host->formatValue(v));
        const long double shown = onReading ? onReading(v, n, total) : v;
        const quint32 now = dtime::ticks();
        if (now != stampTick) {
            stamp = timeStamp() + QStringLiteral(" <L ");
            stampTick = now;
        }
        AddLog(stamp + m_host->valueLogText(shown));
    }
    readelapsed = 0;
    m_readbusy = false;
    return QString::number(len);
}
