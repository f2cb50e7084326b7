// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"
#include "data/datetime.h"
#include "engine/bigary.h"
#include "engine/cycle.h"
#include "engine/readinglinkhost.h"
#include "link/scpilink.h"
#include "simulator.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

class RecordingCycleHost : public CycleHost
{
public:
    QStringList calls;
    void geterrbClick() override { calls << QStringLiteral("20"); }
    void measchClick() override { calls << QStringLiteral("21"); }
    void selectThirdEntries() override { calls << QStringLiteral("22"); }
    void readBackState() override { calls << QStringLiteral("23"); }
    void closeMainWindow() override { calls << QStringLiteral("254"); }
    std::vector<measpol> chart;
    QStringList lastErrs;
    QStringList terms;
    int graphRefresh = 0;
    void addToChart(const measpol &r) override { chart.push_back(r); }
    void setLastErrs(const QString &t) override { lastErrs << t; }
    void setTermLabel(const QString &t) override { terms << t; }
    void requestGraphRefresh() override { ++graphRefresh; }
};

struct CycleFixture
{
    Settings settings;
    sim::Simulator sim;
    ScpiLink link{settings};
    BigAry buffer{100};
    ReadingEngine engine{settings};
    MeasurementCycle cycle{settings, link, engine, buffer};
    RecordingCycleHost host;
    ReadingLinkHost linkHost{settings};
    int shown = 0;
    std::vector<quint32> starts, ends;

    CycleFixture()
    {
        settings.DataTimeout = 1000;
        linkHost.attach(&engine, &cycle);
        link.setHost(&linkHost);
        cycle.setHost(&host);
        cycle.setProcessReading([this] {
            engine.ProcessReading();
            ++shown;
        });
        QObject::connect(&cycle, &MeasurementCycle::cycleStarted,
                         [this] { starts.push_back(dtime::ticks()); });
        QObject::connect(&cycle, &MeasurementCycle::cycleFinished,
                         [this] { ends.push_back(dtime::ticks()); });
    }
    bool start()
    {
        sim.setSeed(7);
        return sim.listen(0) && link.Connect(QStringLiteral("127.0.0.1"), sim.port());
    }
    void runAutomatic(int cycles, int timeoutMs = 20000)
    {
        cycle.automeas1cbClick(true);
        QTRY_VERIFY_WITH_TIMEOUT(int(ends.size()) >= cycles, timeoutMs);
        cycle.automeas1cbClick(false);
        QTRY_VERIFY(!cycle.busy());
    }
};

QStringList values(std::initializer_list<const char *> l)
{
    QStringList out;
    for (const char *v : l)
        out << QString::fromLatin1(v);
    return out;
}

} // namespace

class TestCycle : public QObject
{
    Q_OBJECT
private slots:
    void readingsArriveInOrder()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.sim.setReadingSequence(
            values({"+1.00000000E+00", "+2.00000000E+00", "+3.00000000E+00", "+4.00000000E+00"}));
        f.runAutomatic(4);
        QVERIFY(f.host.chart.size() >= 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(double(f.host.chart[i].value1), double(i + 1));
        QCOMPARE(f.buffer.bigarycnt(), qint64(f.host.chart.size()));
        const measpol &rec = f.buffer[f.buffer.Slot(1)];
        QCOMPARE(double(rec.value1), 2.0);
        QCOMPARE(rec.Lunits1.toString(), QStringLiteral("V="));
        QVERIFY(rec.dateTime > 0);
        // The configuration reply of the simulator's default DC voltage function.
        QCOMPARE(f.engine.state().type, int(DcVoltage));
        QVERIFY(f.engine.state().range > 0);
        QVERIFY(f.host.lastErrs.isEmpty());
        // Back to back at repeat delay 0: the timer never runs.
        QVERIFY(!f.cycle.casak()->isActive());
    }

    void repeatDelayCountsFromCycleStart()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.MeasRepeatTime = 1000;
        f.sim.setLatency(300);
        f.runAutomatic(3, 10000);
        QVERIFY(f.ends.size() >= 2 && f.starts.size() >= 3);
        // The next start is 1000 ms after this start, less one timer period; so about
        // 700 ms after this end for a 300 ms cycle.
        const int afterEnd = dtime::tickDiff(f.starts[1], f.ends[0]);
        const int afterStart = dtime::tickDiff(f.starts[1], f.starts[0]);
        QVERIFY2(afterStart >= 985 && afterStart <= 1150, qPrintable(QString::number(afterStart)));
        QVERIFY2(afterEnd >= 600 && afterEnd <= 850, qPrintable(QString::number(afterEnd)));
    }

    void chartDelayLetsOneReadingPerPeriod()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.GraphRepeatTime = 60000;
        f.runAutomatic(5);
        QVERIFY(f.shown >= 5);
        QCOMPARE(f.host.chart.size(), size_t(1));
        QCOMPARE(f.buffer.bigarycnt(), qint64(1));
    }

    void filterAndOverload()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.Filter = true;
        f.settings.LowFilter = 0;
        f.settings.HighFilter = 10;
        f.sim.setReadingSequence(values({"+5.00000000E+00", "+5.00000000E+01", "+6.00000000E+00"}));
        f.runAutomatic(3);
        QCOMPARE(double(f.host.chart[0].value1), 5.0);
        QCOMPARE(double(f.host.chart[1].value1), 6.0);
        QVERIFY(f.shown >= 3);

        // With the filter off an overload still moves the chart on, but stays out of the
        // buffer.
        CycleFixture g;
        QVERIFY(g.start());
        g.sim.setReadingSequence(values({"+1.00000000E+00", "+9.90000000E+37"}));
        g.runAutomatic(2);
        QVERIFY(g.host.chart.size() >= 2);
        QCOMPARE(double(g.host.chart[1].value1), 9.9e37);
        QCOMPARE(g.buffer.bigarycnt(), qint64(1));
    }

    void instrumentErrorIsShown()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.sim.queueError(-222, QStringLiteral("Data out of range"));
        f.cycle.measbClick();
        QCOMPARE(f.host.lastErrs, QStringList{QStringLiteral("Data out of range -222")});
        QCOMPARE(f.host.terms.last(), QStringLiteral("Front"));
    }

    void silentInstrumentIsPolledOncePerTimeout_data()
    {
        QTest::addColumn<int>("repeat");
        QTest::newRow("repeat delay 200") << 200;
        QTest::newRow("back to back") << 0;
    }
    void silentInstrumentIsPolledOncePerTimeout()
    {
        QFETCH(int, repeat);
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 300;
        f.settings.MeasRepeatTime = repeat;
        f.sim.setSilentQueries({QStringLiteral("read?")});
        f.sim.clearCommands();
        f.runAutomatic(3, 15000);
        for (size_t i = 1; i < f.starts.size(); ++i) {
            const int gap = dtime::tickDiff(f.starts[i], f.starts[i - 1]);
            // A read budget, a full DataTimeout pause, then the repeat delay.
            QVERIFY2(gap >= 2 * 300 + repeat, qPrintable(QString::number(gap)));
        }
        QCOMPARE(f.shown, 0);
    }

    void lateReplyIsDrained()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 200;
        // The first reply comes after the read gave up, but before the pause ends.
        f.sim.setLatency(350);
        f.sim.setReadingSequence(values({"+1.00000000E+00", "+2.00000000E+00"}));
        f.cycle.RunCycle();
        QCOMPARE(f.shown, 0);
        f.sim.setLatency(0);
        f.cycle.RunCycle();
        QCOMPARE(f.shown, 1);
        // The second reading is the fresh answer, not the late first one.
        QCOMPARE(double(f.engine.state().current), 2.0);
    }

    void singleMeasurementDuringReadIsRefused()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.sim.setLatency(300);
        int refusedStarts = -1;
        QTimer::singleShot(100, [&] {
            const size_t before = f.starts.size();
            f.cycle.RunCycle();
            refusedStarts = int(f.starts.size() - before);
        });
        f.cycle.measbClick();
        QCOMPARE(refusedStarts, 0);
        QCOMPARE(f.shown, 1);
    }

    void measuringResumesAfterReconnect()
    {
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 200;
        f.link.startSupervision();
        f.cycle.automeas1cbClick(true);
        QTRY_VERIFY(f.ends.size() >= 3);
        f.sim.close();
        QTRY_VERIFY_WITH_TIMEOUT(!f.link.connected(), 5000);
        QTRY_VERIFY(!f.cycle.busy());
        QVERIFY(f.sim.listen(0));
        QVERIFY(f.link.Connect(QStringLiteral("127.0.0.1"), f.sim.port()));
        const size_t before = f.ends.size();
        QTRY_VERIFY_WITH_TIMEOUT(f.ends.size() >= before + 3, 5000);
        f.cycle.automeas1cbClick(false);
        QTRY_VERIFY(!f.cycle.busy());
    }

    void alternativeReadingCommand_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("query");
        QTest::newRow("init and fetch") << 1 << "init;fetch?;conf?;syst:err?";
        QTest::newRow("fetch3") << 2 << "fetch3?;conf?;syst:err?";
        QTest::newRow("other sends nothing") << 3 << "";
    }
    void alternativeReadingCommand()
    {
        QFETCH(int, variant);
        QFETCH(QString, query);
        CycleFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 100;
        f.settings.AlternativeCMD = variant;
        f.cycle.Alternatereading1Click(true);
        QTRY_VERIFY(f.sim.commands().contains(QStringLiteral("syst:loc")));
        f.sim.clearCommands();
        f.cycle.RunCycle();
        if (query.isEmpty()) {
            QVERIFY(f.sim.commands().isEmpty());
            QCOMPARE(f.shown, 0);
        } else {
            QCOMPARE(f.sim.commands().value(0), query);
            QCOMPARE(f.shown, 1);
        }
    }

    void requestsRunInArrivalOrder()
    {
        CycleFixture f;
        f.cycle.setBusy(true);
        for (int code : {23, 20, 99, 22, 21, 254, 31})
            f.cycle.postRequest(code);
        QVERIFY(f.host.calls.isEmpty());
        QTRY_COMPARE(f.host.calls, (QStringList{"23", "20", "22", "21", "254"}));
        QTRY_VERIFY(!f.cycle.busy());
        // A request 2 whose due tick lies ahead does nothing; one in the past runs a cycle
        // (which, without a link, returns at once).
        f.cycle.postRequest(2, static_cast<qint32>(dtime::ticks() + 100000));
        f.cycle.postRequest(1);
        QTRY_COMPARE(f.shown, 1);
        QVERIFY(f.starts.empty());
    }

    void delayTexts()
    {
        Settings s;
        ScpiLink link(s);
        ReadingEngine engine(s);
        BigAry buffer;
        MeasurementCycle cycle(s, link, engine, buffer);
        QString hint;
        QCOMPARE(cycle.measdeleChange(QStringLiteral("1500"), &hint), QStringLiteral("1500"));
        QCOMPARE(hint, QStringLiteral(" delay between two triggers \n00:01:500 min:sec:ms"));
        QCOMPARE(s.MeasRepeatTime, 1500);
        QCOMPARE(cycle.logtimeleChange(QStringLiteral("x"), &hint), QStringLiteral("0"));
        QCOMPARE(hint, QStringLiteral("delay between log measured value to graph \n00:00:00 "
                                      "min:sec:ms"));
        QCOMPARE(cycle.measdeleChange(QStringLiteral("3723004"), &hint), QStringLiteral("3723004"));
        QCOMPARE(hint, QStringLiteral(" delay between two triggers \n02:03:04 min:sec:ms"));
    }
};

QTEST_GUILESS_MAIN(TestCycle)
#include "test_cycle.moc"
