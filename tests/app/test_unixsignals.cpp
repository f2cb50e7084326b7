// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unixsignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestUnixSignals : public QObject
{
    Q_OBJECT

private slots:
    // Each of the three arrives on the event loop once; a second one while the program
    // ends is swallowed, not reported again.
    void reportedOnce_data()
    {
        QTest::addColumn<int>("signo");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void reportedOnce()
    {
        QFETCH(int, signo);
        UnixSignals u;
        QVERIFY(u.isInstalled());
        QSignalSpy spy(&u, &UnixSignals::terminationRequested);
        QVERIFY(::raise(signo) == 0);
        QVERIFY(::raise(SIGTERM) == 0);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toInt(), signo);
        QVERIFY(u.received());
        QVERIFY(::raise(SIGINT) == 0);
        QCoreApplication::processEvents(); // the pipe is readable at once
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 1);
    }

    // The ending waits while a reading is in progress, but not for ever.
    void endingWaitsForIdle_data()
    {
        QTest::addColumn<int>("maxWaitMs");
        QTest::addColumn<bool>("staysBusy");
        QTest::newRow("idle again") << 60000 << false;
        QTest::newRow("busy for good") << 200 << true;
    }
    void endingWaitsForIdle()
    {
        QFETCH(int, maxWaitMs);
        QFETCH(bool, staysBusy);
        UnixSignals u;
        bool busy = true;
        int ended = 0;
        u.setEnding([&busy] { return busy; }, [&ended] { ++ended; }, maxWaitMs);
        QVERIFY(::raise(SIGTERM) == 0);
        QTRY_VERIFY(u.received());
        QCOMPARE(ended, 0);
        if (!staysBusy)
            busy = false;
        QTRY_COMPARE(ended, 1);
        u.endNow();
        QCOMPARE(ended, 1);
    }

    // Gone, it leaves the signals to kill again, and a new one can take them.
    void handlersGoBack()
    {
        {
            UnixSignals u;
            QVERIFY(u.isInstalled());
        }
        struct sigaction sa = {};
        QVERIFY(::sigaction(SIGTERM, nullptr, &sa) == 0);
        QVERIFY(sa.sa_handler == SIG_DFL);
        UnixSignals again;
        QVERIFY(again.isInstalled());
        QSignalSpy spy(&again, &UnixSignals::terminationRequested);
        QVERIFY(::raise(SIGHUP) == 0);
        QVERIFY(spy.wait(5000));
    }
};

QTEST_GUILESS_MAIN(TestUnixSignals)
#include "test_unixsignals.moc"
