// SPDX-License-Identifier: GPL-3.0-or-later
#include "pinger.h"

#include "data/numtext.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

qint64 nowNs()
{
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t.nsecsElapsed();
}

constexpr int kPayload = 32;

} // namespace

Pinger::Pinger(QObject *parent) : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { finish(-1); });
}

Pinger::~Pinger()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_process)
        m_process->kill();
}

void Pinger::finish(int ms)
{
    ++m_generation;
    m_timer->stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->deleteLater();
        m_process = nullptr;
    }
    Callback done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(ms);
}

void Pinger::ping(const QString &host, int timeoutMs, Callback done)
{
    if (m_done)
        finish(-1);
    m_done = std::move(done);
    const quint64 gen = ++m_generation;
    m_timer->start(timeoutMs);
    QHostAddress direct;
    if (direct.setAddress(host)) {
        bool ok = false;
        const quint32 v4 = direct.toIPv4Address(&ok);
        if (ok)
            pingAddress(v4, timeoutMs);
        else
            pingWithProgram(host, timeoutMs);
        return;
    }
    QHostInfo::lookupHost(host, this, [this, gen, host, timeoutMs](const QHostInfo &info) {
        if (gen != m_generation)
            return;
        for (const QHostAddress &a : info.addresses()) {
            bool ok = false;
            const quint32 v4 = a.toIPv4Address(&ok);
            if (ok) {
                pingAddress(v4, timeoutMs);
                return;
            }
        }
        if (info.error() != QHostInfo::NoError)
            finish(-1);
        else
            pingWithProgram(host, timeoutMs);
    });
}

void Pinger::pingAddress(quint32 ipv4, int timeoutMs)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (m_fd < 0) {
        // Ping sockets are not allowed for this group: the setuid program still is.
        pingWithProgram(QHostAddress(ipv4).toString(), timeoutMs);
        return;
    }
    unsigned char packet[sizeof(icmphdr) + kPayload] = {};
    auto *hdr = reinterpret_cast<icmphdr *>(packet);
    hdr->type = ICMP_ECHO;
    hdr->un.echo.sequence = htons(++m_seq);
    for (int i = 0; i < kPayload; ++i)
        packet[sizeof(icmphdr) + i] = static_cast<unsigned char>('a' + i % 23);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(ipv4);
    m_sentAt = nowNs();
    if (::sendto(m_fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) <
        0) {
        finish(-1);
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char buf[1500];
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n < static_cast<ssize_t>(sizeof(icmphdr)))
            return;
        const auto *reply = reinterpret_cast<const icmphdr *>(buf);
        if (reply->type != ICMP_ECHOREPLY) {
            finish(-1);
            return;
        }
        if (ntohs(reply->un.echo.sequence) != m_seq)
            return;
        finish(static_cast<int>(std::lround((nowNs() - m_sentAt) / 1e6)));
    });
}

void Pinger::pingWithProgram(const QString &host, int timeoutMs)
{
    m_process = new QProcess(this);
    const quint64 gen = m_generation;
    connect(m_process, &QProcess::finished, this, [this, gen](int code, QProcess::ExitStatus) {
        if (gen != m_generation || !m_process)
            return;
        const QString out = QString::fromLocal8Bit(m_process->readAllStandardOutput());
        static const QRegularExpression re(QStringLiteral("time[=<]([0-9.]+) *ms"));
        const auto m = re.match(out);
        if (code != 0 || !m.hasMatch()) {
            finish(-1);
            return;
        }
        const auto ms = numtext::parseDouble(m.captured(1));
        finish(ms ? static_cast<int>(std::lround(*ms)) : -1);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this, gen](QProcess::ProcessError e) {
        if (gen == m_generation && e == QProcess::FailedToStart)
            QTimer::singleShot(0, this, [this, gen] {
                if (gen == m_generation)
                    finish(-1);
            });
    });
    const int secs = std::max(1, (timeoutMs + 999) / 1000);
    m_process->start(QStringLiteral("ping"),
                     {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("1"),
                      QStringLiteral("-s"), QString::number(kPayload), QStringLiteral("-W"),
                      QString::number(secs), host});
}
