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

#include <sys/ioctl.h>
#include <sys/socket.h>

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

void ScpiLink::pullSocket()
{
    if (!m_socket || m_socket->bytesAvailable() <= 0)
        return;
    QByteArray chunk = m_socket->readAll();
    if (m_skipLongLine) {
        // Still inside an over-long line: throw bytes away up to its terminator.
        const qsizetype at = chunk.indexOf(m_eol);
        if (at < 0 || m_eol == kNoEol)
            return;
        chunk.remove(0, at + m_eol.size());
        m_skipLongLine = false;
    }
    m_rx += chunk;
}

bool ScpiLink::waitingBytes() const
{
    return !m_rx.isEmpty() || (m_socket && m_socket->bytesAvailable() > 0);
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

ScpiLink::LineResult ScpiLink::receiveLine(QByteArray &line)
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
                return LineResult::TooLong;
            }
            line = m_rx.left(at);
            m_rx.remove(0, at + m_eol.size());
            return LineResult::Ok;
        }
        searched = m_rx.size();
        if (m_rx.size() > m_maxLine) {
            discardRunawayReply();
            return LineResult::TooLong;
        }
        if (!m_connected || !m_socket)
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

void ScpiLink::discardRunawayReply()
{
    // Throw the stream away until it pauses, so the next reply starts clean; one that
    // never pauses is cut after the data time-out and skipped up to its terminator.
    m_rx.clear();
    const quint32 start = dtime::ticks();
    quint32 lastData = start;
    while (m_socket && m_connected) {
        if (m_socket->bytesAvailable() > 0) {
            m_socket->readAll();
            lastData = dtime::ticks();
        }
        if (dtime::tickDiff(dtime::ticks(), lastData) > m_s.LanTimeout)
            return;
        if (dtime::tickDiff(dtime::ticks(), start) > m_s.DataTimeout) {
            m_skipLongLine = true;
            return;
        }
        DelayMs(1);
    }
}

void ScpiLink::SendCmd(const QString &cmd)
{
    if (!m_connected || cmd.isEmpty())
        return;
    LastCMD = cmd;
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        // Command and terminator in one write: one segment, no delayed-ACK stall.
        m_socket->write(toWire(cmd) + "\r\n");
        m_socket->flush();
    }
    AddLog(QStringLiteral("> ") + cmd);
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

bool ScpiLink::awaitReply(const QString &mark, int pauseMs, bool quick)
{
    readelapsed = 0;
    quint32 passStart = dtime::ticks();
    for (;;) {
        // Each pass counts what it really took: a pause of 1 ms lasts 1 to 2 ms here, so a
        // fixed 10 ms per pass would cut the configured wait to a fifth of itself.
        const quint32 now = dtime::ticks();
        readelapsed += std::max(1, dtime::tickDiff(now, passStart));
        passStart = now;
        if (waitingBytes())
            readelapsed = 0;
        DelayMs(pauseMs);
        if (!m_connected)
            return false;
        if (readelapsed > m_s.DataTimeout) {
            AddLog(timeStamp() + QLatin1Char(' ') + mark + QStringLiteral("TIMEOUT "));
            return false;
        }
        if (quick) {
            DelayMs(40);
            readelapsed = 0;
        }
        if (readelapsed < 1)
            return true;
    }
}

ScpiLink::LineResult ScpiLink::takeLine(QByteArray &raw)
{
    const LineResult r = receiveLine(raw);
    switch (r) {
    case LineResult::Ok:
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
    if (!awaitReply(mark, value ? 3 : 1, quick)) {
        m_readbusy = false;
        return QString();
    }
    QByteArray raw;
    const LineResult r = takeLine(raw);
    if (r != LineResult::Ok) {
        if (value)
            AddLog(timeStamp() + QStringLiteral(" <#! ") + m_lastErrorText);
        else
            AddLog(QStringLiteral("<R Error: ") + m_lastErrorText);
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
    errtext = LastRaw.mid(quote < 0 ? 0 : quote, 500);
    errtext.remove(QLatin1Char('"'));
}

void ScpiLink::DetectEOL()
{
    receiveRaw(250, 10);
    SendCmd(QStringLiteral("*ESE?"));
    const QByteArray bytes = receiveRaw(250, 10);
    if (bytes.contains("\r\n")) {
        m_eol = "\r\n";
    } else {
        m_eol = kNoEol;
        if (bytes.contains('\r'))
            m_eol = "\r";
        if (bytes.contains('\n'))
            m_eol = "\n";
    }
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
}

bool ScpiLink::Connect(const QString &host, int port)
{
    m_host->setMeasText(QStringLiteral("Connecting..."));
    setConnected(false);
    dropSocket();
    m_peerClosed = false;
    timeoutcount = 0;

    auto *sock = new QTcpSocket(this);
    m_socket = sock;
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
    const linger lg{1, 3};
    ::setsockopt(static_cast<int>(sock->socketDescriptor()), SOL_SOCKET, SO_LINGER, &lg, sizeof lg);

    setConnected(true);
    AddLog(peerAddress());
    DetectEOL();

    SendCmd(QStringLiteral("IDN 0"));
    DelayMs(kIdnDelay);
    SendCmd(QStringLiteral("*IDN?"));
    ReadReply(false);
    auto takeField = [this] {
        const qsizetype comma = LastRaw.indexOf(QLatin1Char(','));
        const QString f = comma < 0 ? QString() : LastRaw.left(comma).left(50);
        LastRaw.remove(0, comma + 1);
        return f;
    };
    maker = takeField();
    model = takeField();
    serial = takeField();

    SendCmd(QStringLiteral("CAL:DATE?"));
    caldate = ReadReply(false).left(50);

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

void ScpiLink::Disconnect()
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

void ScpiLink::supervise()
{
    static const char kSpinner[] = {'~', '/', '|', '\\'};
    if (!m_connected) {
        m_host->setDatalas(QStringLiteral("Not Connected!"));
        m_host->setAppTitle(QStringLiteral("Not Connected!"));
        m_host->setInstrumentIds(
            QStringLiteral("No Connection! - click DEVICE > COMMUNICATION, set ADDRESS"));
        m_host->setConnectButtonEnabled(true);
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
        if (readelapsed > m_s.DataTimeout) {
            const int secs = dtime::tickDiff(dtime::ticks(), m_host->measurementStartTick()) / 1000;
            m_host->setStatusPanel(0, QStringLiteral(" Data read timeout: %1:%2")
                                          .arg(secs / 60, 2, 10, QLatin1Char('0'))
                                          .arg(secs % 60, 2, 10, QLatin1Char('0')));
            if (timeoutcount < 1)
                SendCmd(QStringLiteral("*IDN?"));
            ReadValue();
            ++timeoutcount;
        } else {
            m_host->setStatusPanel(1, spin + QStringLiteral("  ") +
                                          QString::number(m_host->lastMeasurementPeriod()) +
                                          QStringLiteral(" ms "));
        }
    }
    if (!m_connected)
        return;
    // Readable without bytes means the peer closed its end.
    if (waitingBytes()) {
        timeoutcount = 0;
    } else if (m_peerClosed) {
        timeoutcount = 0;
        AddLog(timeStamp() + QStringLiteral(" <> Connection LOST ***"));
        Disconnect();
        m_host->setDatalas(QStringLiteral("Connection Lost"));
        m_host->setAppTitle(QStringLiteral("Connection Lost!"));
        emit connectionLost();
    }
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
    if (!awaitReply(QStringLiteral("<L "), 10, false)) {
        m_readbusy = false;
        return QString();
    }
    QByteArray raw;
    const LineResult r = takeLine(raw);
    if (r != LineResult::Ok) {
        AddLog(timeStamp() + QStringLiteral(" <L! ") + m_lastErrorText);
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
