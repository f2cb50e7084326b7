// SPDX-License-Identifier: GPL-3.0-or-later
#include "unixsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};

void onSignal(int signo)
{
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(signo);
    // A full pipe already holds a wake-up; nothing else may be done here.
    [[maybe_unused]] const ssize_t w = ::write(g_pipe[1], &b, 1);
    errno = saved;
}

} // namespace

UnixSignals::UnixSignals(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignals::readPipe);
    m_retry.setInterval(5);
    connect(&m_retry, &QTimer::timeout, this, &UnixSignals::tryEnding);
}

void UnixSignals::setEnding(std::function<bool()> busy, std::function<void()> end, int maxWaitMs)
{
    m_busy = std::move(busy);
    m_end = std::move(end);
    m_maxWaitMs = maxWaitMs;
}

void UnixSignals::endNow()
{
    if (!m_received || m_ended || !m_end)
        return;
    m_ended = true;
    m_retry.stop();
    m_end();
}

void UnixSignals::tryEnding()
{
    if (!m_received || m_ended || !m_end)
        return;
    if (m_busy && m_busy() && !m_since.hasExpired(m_maxWaitMs)) {
        m_retry.start();
        return;
    }
    endNow();
}

UnixSignals::~UnixSignals()
{
    if (!m_notifier)
        return;
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void UnixSignals::readPipe()
{
    unsigned char buf[64];
    ssize_t n;
    while ((n = ::read(g_pipe[0], buf, sizeof buf)) > 0) {
        if (m_received)
            continue; // the program is ending already
        m_received = buf[0];
        m_since.start();
        emit terminationRequested(m_received);
        tryEnding();
    }
}
