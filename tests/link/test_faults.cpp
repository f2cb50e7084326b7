// SPDX-License-Identifier: GPL-3.0-or-later
// The link against an instrument behind a misbehaving network: what a user would see.
#include "faultproxy.h"
#include "linkfixture.h"

#include "data/datetime.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

namespace {

// A link that reaches the simulator through the fault relay.
struct ProxyFixture : LinkFixture
{
    std::unique_ptr<FaultProxy> proxy;

    // The relay and the simulator listening, not yet connected: faults of the connect
    // sequence itself are set up in between.
    bool listen()
    {
        if (!sim.listen(0))
            return false;
        proxy = std::make_unique<FaultProxy>(sim.port());
        return proxy->listen();
    }
    bool start() { return listen() && reconnect(); }
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
    // The link dies while a read waits for its answer: the read ends, and the loss is
    // told, long before the read's own time-out.
    void deadLinkIsNoticed_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("dataTimeout");
        QTest::addColumn<int>("within"); // ms after the query
        QTest::newRow("reset in mid-reply") << "rst" << 8000 << 2000;
        QTest::newRow("closed in mid-reply") << "fin" << 8000 << 2000;
        QTest::newRow("half-open: the peer stops answering") << "half" << 2000 << 4000;
    }
    void deadLinkIsNoticed()
    {
        QFETCH(QString, fault);
        QFETCH(int, dataTimeout);
        QFETCH(int, within);
        ProxyFixture f;
        f.settings.DataTimeout = dataTimeout;
        f.settings.LanTimeout = 150;
        QVERIFY(f.start());
        f.link.startSupervision();
        QSignalSpy lost(&f.link, &ScpiLink::connectionLost);
        if (fault == QLatin1String("rst"))
            f.proxy->resetAfter(12);
        else if (fault == QLatin1String("fin"))
            f.proxy->closeAfter(12);
        else
            f.proxy->setHalfOpen(true);
        QElapsedTimer t;
        t.start();
        f.link.SendCmd(QStringLiteral("read?;conf?;syst:err?"));
        QCOMPARE(f.link.ReadReply(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!lost.isEmpty(), within + 1000);
        QVERIFY2(t.elapsed() <= within, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!f.link.connected());
        QVERIFY(f.host.datalas.contains(QStringLiteral("Connection Lost")));
        QTRY_COMPARE(f.host.appTitle, QStringLiteral("Not Connected!"));

        // A reconnect works at once.
        f.proxy->setHalfOpen(false);
        QVERIFY(f.reconnect());
        f.link.SendCmd(QStringLiteral("syst:err?"));
        QCOMPARE(f.link.ReadReply(), QStringLiteral("+0,\"No error\""));
    }

    // Every reply later than the line time-out but within the data time-out: each head
    // field and each reading gets its own answer.
    void slowInstrumentGetsEveryAnswer_data()
    {
        QTest::addColumn<int>("latency");
        QTest::newRow("a little over the line time-out") << 250;
        QTest::newRow("half the data time-out") << 1000;
    }
    void slowInstrumentGetsEveryAnswer()
    {
        QFETCH(int, latency);
        ProxyFixture f;
        f.settings.DataTimeout = 2000;
        f.settings.LanTimeout = 150;
        QVERIFY(f.listen());
        f.proxy->setReplyLatency(latency);
        QVERIFY(f.reconnect());
        QCOMPARE(f.link.EOL(), QByteArray("\r\n"));
        QCOMPARE(f.link.maker, QStringLiteral("ORVA"));
        QCOMPARE(f.link.model, QStringLiteral("8846S"));
        QCOMPARE(f.link.serial, QStringLiteral("SIM00001"));
        QCOMPARE(f.link.caldate, QStringLiteral("2025-11-03"));
        f.sim.setReadingSequence({QStringLiteral("+1.00000000E+00"),
                                  QStringLiteral("+2.00000000E+00"),
                                  QStringLiteral("+3.00000000E+00")});
        for (const char *want : {"+1.00000000E+00", "+2.00000000E+00", "+3.00000000E+00"}) {
            f.link.SendCmd(QStringLiteral("read?"));
            QCOMPARE(f.link.ReadReply(), QLatin1String(want));
        }
    }

    // An answer that comes after its read gave up, right after the next query went out,
    // is dropped; and a query the instrument never answers costs no later answer.
    void lateAnswerIsNobodysAnswer_data()
    {
        QTest::addColumn<bool>("unanswered");
        QTest::newRow("held back past its read") << false;
        QTest::newRow("a query the instrument does not answer") << true;
    }
    void lateAnswerIsNobodysAnswer()
    {
        QFETCH(bool, unanswered);
        ProxyFixture f;
        f.settings.DataTimeout = 400;
        f.settings.LanTimeout = 150;
        QVERIFY(f.start());
        f.sim.setReadingSequence({QStringLiteral("+1.00000000E+00"),
                                  QStringLiteral("+2.00000000E+00"),
                                  QStringLiteral("+3.00000000E+00")});
        QStringList answers;
        if (unanswered) {
            f.link.SendCmd(QStringLiteral("FOO?"));
        } else {
            f.proxy->holdNextReplyUntilNextCommand();
            f.link.SendCmd(QStringLiteral("read?"));
        }
        QCOMPARE(f.link.ReadReply(), QString());
        for (int i = 0; i < 2; ++i) {
            f.link.SendCmd(QStringLiteral("read?"));
            answers << f.link.ReadReply();
        }
        const QStringList want =
            unanswered
                ? QStringList{QStringLiteral("+1.00000000E+00"), QStringLiteral("+2.00000000E+00")}
                : QStringList{QStringLiteral("+2.00000000E+00"), QStringLiteral("+3.00000000E+00")};
        QCOMPARE(answers, want);
        if (!unanswered)
            QVERIFY(f.logHas(QStringLiteral(" <R STALE ")));
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
        QVERIFY(f.listen());
        // The reply to the terminator query comes 40 ms late.
        f.proxy->delayNextReply(40);
        QVERIFY(f.reconnect());
        QCOMPARE(f.link.EOL(), QByteArray("\r\n"));
        QVERIFY(!f.link.maker.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
