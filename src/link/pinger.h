// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

// ICMP echo with round-trip time, without ever blocking the event loop: an unprivileged
// ICMP datagram socket, else the system's ping program, else -1.
class Pinger : public QObject
{
    Q_OBJECT
public:
    using Callback = std::function<void(int roundTripMs)>;

    explicit Pinger(QObject *parent = nullptr);
    ~Pinger() override;

    // `done` gets the round trip in ms, or -1 when the echo fails or times out. A new ping
    // cancels the one in flight.
    void ping(const QString &host, int timeoutMs, Callback done);

private:
    void pingAddress(quint32 ipv4, int timeoutMs);
    void pingWithProgram(const QString &host, int timeoutMs);
    void finish(int ms);

    Callback m_done;
    quint64 m_generation = 0;
    int m_fd = -1;
    class QSocketNotifier *m_notifier = nullptr;
    class QTimer *m_timer = nullptr;
    class QProcess *m_process = nullptr;
    qint64 m_sentAt = 0;
    quint16 m_seq = 0;
};
