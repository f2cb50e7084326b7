// SPDX-License-Identifier: GPL-3.0-or-later
// The link against an instrument behind a misbehaving network: what a user would see.
#include "faultproxy.h"
#include "linkfixture.h"

#include "data/datetime.h"

#include <QSignalSpy>
#include <QTimer>

#include <memory>

namespace {

// A link that reaches the simulator through the fault relay.
struct ProxyFixture : LinkFixture
{
    std::unique_ptr<FaultProxy> proxy;

    bool start()
    {
        if (!sim.listen(0))
            return false;
        proxy = std::make_unique<FaultProxy>(sim.port());
        return proxy->listen() && reconnect();
    }
    bool reconnect() { return link.Connect(QStringLiteral("127.0.0.1"), proxy->port()); }
};

// Samples, while it lives, how long the event loop went without serving a timer.
struct LoopWatch
{
    QTimer timer;
    quint32 last = dtime::ticks();
    int maxGap = 0;
    explicit LoopWatch(std::function<void()> sample = {})
    {
        QObject::connect(&timer, &QTimer::timeout, [this, sample] {
            const quint32 now = dtime::ticks();
            maxGap = std::max(maxGap, dtime::tickDiff(now, last));
            last = now;
            if (sample)
                sample();
        });
        timer.start(20);
    }
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private slots:
    void deadLinkIsNoticed_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("reset after part of a reply") << true;
        QTest::newRow("half-open: the peer stops answering") << false;
    }
    void deadLinkIsNoticed()
    {
        QFETCH(bool, reset);
        ProxyFixture f;
        f.settings.DataTimeout = 500;
        f.settings.LanTimeout = 150;
        QVERIFY(f.start());
        f.link.startSupervision();
        QSignalSpy lost(&f.link, &ScpiLink::connectionLost);
        if (reset)
            f.proxy->resetAfter(12);
        else
            f.proxy->setHalfOpen(true);
        f.link.SendCmd(QStringLiteral("read?;conf?;syst:err?"));
        QCOMPARE(f.link.ReadReply(), QString());
        // Noticed within a couple of read time-outs of the first failed read.
        QVERIFY(lost.wait(3 * f.settings.DataTimeout + 1000));
        QVERIFY(!f.link.connected());
        QVERIFY(f.host.datalas.contains(QStringLiteral("Connection Lost")));
        QTRY_COMPARE(f.host.appTitle, QStringLiteral("Not Connected!"));

        // A reconnect works at once.
        f.proxy->setHalfOpen(false);
        QVERIFY(f.reconnect());
        f.link.SendCmd(QStringLiteral("syst:err?"));
        QCOMPARE(f.link.ReadReply(), QStringLiteral("+0,\"No error\""));
    }

    void disconnectFromAPeerThatStoppedReadingKeepsTheWindowAnswering()
    {
        ProxyFixture f;
        f.settings.closeList = {QStringLiteral("SYST:LOC")};
        QVERIFY(f.start());
        f.proxy->setHalfOpen(true);
        // More than the peer's and our kernel buffers take: the rest stays queued.
        const QString big(1 << 20, QLatin1Char('x'));
        for (int i = 0; i < 16; ++i)
            f.link.SendCmd(big);
        f.log.clear();
        LoopWatch watch;
        f.link.Disconnect();
        QVERIFY(!f.link.connected());
        QVERIFY2(watch.maxGap < 500, qPrintable(QString::number(watch.maxGap)));
        // Connecting again right away works.
        f.proxy->setHalfOpen(false);
        QVERIFY(f.reconnect());
    }

    void runawayReplyIsBounded()
    {
        ProxyFixture f;
        constexpr qsizetype kLine = 1 << 20;
        f.link.setMaxLineBytes(kLine);
        f.settings.DataTimeout = 500;
        QVERIFY(f.start());
        qint64 maxHeld = 0;
        LoopWatch watch([&] { maxHeld = std::max(maxHeld, f.link.heldInputBytes()); });

        f.proxy->setEndlessStream(true);
        f.link.SendCmd(QStringLiteral("read?"));
        QCOMPARE(f.link.ReadReply(), QString());
        QVERIFY(f.logHas(QStringLiteral("Reply longer than 1048576 bytes dropped")));
        // The pause after a failed read: nobody reads, the stream goes on.
        const qint64 before = f.proxy->streamedBytes();
        QTRY_VERIFY(f.proxy->streamedBytes() > before + 8 * kLine);
        f.proxy->setEndlessStream(false);

        // Usable again without a reconnect.
        f.link.SendCmd(QStringLiteral("syst:err?"));
        QCOMPARE(f.link.ReadReply(), QStringLiteral("+0,\"No error\""));
        QVERIFY(f.link.connected());
        QVERIFY2(maxHeld <= kLine + ScpiLink::kSocketBufferBytes + 65536,
                 qPrintable(QString::number(maxHeld)));
        QVERIFY2(watch.maxGap < 500, qPrintable(QString::number(watch.maxGap)));
    }

    void lateReplyIsNotTakenForTheNext_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::newRow("whole reply after the read gave up") << false;
        QTest::newRow("reply cut by gaps longer than the line time-out") << true;
    }
    void lateReplyIsNotTakenForTheNext()
    {
        QFETCH(bool, cut);
        ProxyFixture f;
        f.settings.DataTimeout = 400;
        f.settings.LanTimeout = 150;
        QVERIFY(f.start());
        f.sim.setReadingSequence({QStringLiteral("+1.23400000E+00")});
        if (cut)
            f.sim.setSplit(3, 300);
        else
            f.proxy->delayNextReply(700);
        f.link.SendCmd(QStringLiteral("read?;conf?;syst:err?"));
        QCOMPARE(f.link.ReadReply(), QString());
        f.sim.setSplit(1, 0);
        if (!cut)
            QTRY_VERIFY(f.link.waitingBytes());
        // Each later query gets its own answer at once.
        for (const char *query : {"syst:err?", "read?", "syst:err?"}) {
            f.link.SendCmd(QLatin1String(query));
            const QString reply = f.link.ReadReply();
            QCOMPARE(reply, QLatin1String(query) == QLatin1String("read?")
                                ? QStringLiteral("+1.23400000E+00")
                                : QStringLiteral("+0,\"No error\""));
        }
        QVERIFY(f.logHas(QStringLiteral(" <R STALE ")));
    }

    void slowFirstReplyStillFindsTheTerminator()
    {
        ProxyFixture f;
        f.settings.LanTimeout = 400;
        QVERIFY(f.sim.listen(0));
        f.proxy = std::make_unique<FaultProxy>(f.sim.port());
        QVERIFY(f.proxy->listen());
        // The reply to the terminator query comes 40 ms late.
        f.proxy->delayNextReply(40);
        QVERIFY(f.reconnect());
        QCOMPARE(f.link.EOL(), QByteArray("\r\n"));
        QVERIFY(!f.link.maker.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
