// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"
#include "data/datetime.h"
#include "engine/bigary.h"
#include "engine/chartstats.h"
#include "engine/cycle.h"
#include "engine/multipage.h"
#include "engine/readinglinkhost.h"
#include "engine/series.h"
#include "link/scpilink.h"
#include "simulator.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// Records what a series shows; keeps a real chart history the way the window does.
class RecordingSeriesHost : public SeriesHost
{
public:
    ReadingEngine *engine = nullptr;
    ChartStats chart;
    QList<bool> enabled;
    QStringList captions;
    QStringList lastErrs;
    QStringList panel[3];
    bool beep = true;
    bool beepSeenOn = false;
    bool toBuffer = true;
    QList<int> redrawnNewest; // the newest history entry at each redraw
    int refreshes = 0;

    void setSeriesControlsEnabled(bool on) override { enabled << on; }
    void setGetCaption(const QString &c) override { captions << c; }
    void setStatusPanel(int i, const QString &t) override { panel[i] << t; }
    void setLastErrs(const QString &t) override { lastErrs << t; }
    bool limitBeepChecked() const override { return beep; }
    void setLimitBeepChecked(bool on) override { beep = on; }
    void addSeriesReading(int n) override
    {
        beepSeenOn = beepSeenOn || beep || engine->settings().Limit_beep;
        chart.shiftHistory();
        const measpol rec = engine->currentRecord();
        if (sentinel::isValid(rec.value1))
            chart.storeNewest(rec, n);
    }
    void redrawChart() override { redrawnNewest << chart.entry(chart::kShown - 1).sampleNumber; }
    bool addToBigChart() const override { return toBuffer; }
    void requestGraphRefresh() override { ++refreshes; }
};

class ErrorQueryHost : public CycleHost
{
public:
    int errorQueries = 0;
    void geterrbClick() override { ++errorQueries; }
};

struct SeriesFixture
{
    Settings settings;
    sim::Simulator sim;
    ScpiLink link{settings};
    BigAry buffer{100000};
    ReadingEngine engine{settings};
    MeasurementCycle cycle{settings, link, engine, buffer};
    ReadingLinkHost linkHost{settings};
    ErrorQueryHost cycleHost;
    SeriesRunner runner{settings, link, engine, buffer, cycle};
    RecordingSeriesHost host;
    QStringList log;

    SeriesFixture()
    {
        settings.DataTimeout = 1000;
        linkHost.attach(&engine, &cycle);
        link.setHost(&linkHost);
        cycle.setHost(&cycleHost);
        host.engine = &engine;
        runner.setHost(&host);
        engine.updateStatistics = [this](long double x) { host.chart.UpdateStatistics(x); };
        QObject::connect(&link, &ScpiLink::logLine, [this](const QString &l) { log << l; });
    }
    bool start()
    {
        sim.setTimeScale(0);
        if (!sim.listen(0) || !link.Connect(QStringLiteral("127.0.0.1"), sim.port()))
            return false;
        sim.clearCommands();
        log.clear();
        return true;
    }
    // Start with `count` readings and no trigger delay to wait for, then GET data.
    void runSeries(int count)
    {
        runner.fetcheChange(QString::number(count));
        runner.fetchinitbClick();
        runner.fetchgetbClick();
    }
    int logCount(const QString &part) const
    {
        int n = 0;
        for (const QString &l : log)
            n += l.contains(part) ? 1 : 0;
        return n;
    }
};

QStringList numbered(int count)
{
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out << QString::number(i) + QStringLiteral("E-03");
    return out;
}

} // namespace

class TestSeries : public QObject
{
    Q_OBJECT
private slots:
    void startConfiguresAndWaits_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<QString>("delayCmd");
        QTest::newRow("400 x 800 ms") << 400 << 800 << "trig:del 0.8000";
        QTest::newRow("no delay") << 1 << 0 << "trig:del 0.0000";
        QTest::newRow("1 ms") << 5 << 1 << "trig:del 0.0010";
        QTest::newRow("long delay") << 3 << 123456 << "trig:del 123.4560";
    }
    void startConfiguresAndWaits()
    {
        QFETCH(int, count);
        QFETCH(int, delayMs);
        QFETCH(QString, delayCmd);
        SeriesFixture f;
        QVERIFY(f.start());
        f.runner.dtrigdelayeChange(QString::number(delayMs));
        f.runner.fetcheChange(QString::number(count));
        QSignalSpy ended(&f.runner, &SeriesRunner::seriesEnded);
        const double before = dtime::now();
        f.runner.fetchinitbClick();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0][0].toBool(), true);
        const QStringList expected{delayCmd,
                                   QStringLiteral("trig:sour imm"),
                                   QStringLiteral("zero:auto 0"),
                                   QStringLiteral("samp:count 1"),
                                   QStringLiteral("trig:count ") + QString::number(count),
                                   QStringLiteral("syst:err?"),
                                   QStringLiteral("init"),
                                   QStringLiteral("syst:err?"),
                                   QStringLiteral("TRIG:COUNT 1")};
        QCOMPARE(f.sim.commands(), expected);
        // The instrument took the whole series, then went back to single triggers.
        QCOMPARE(int(f.sim.instrument().seriesReadings().size()), count);
        QCOMPARE(f.sim.instrument().triggerCount(), 1);
        QCOMPARE(f.host.enabled, (QList<bool>{false, true}));
        QVERIFY(f.host.lastErrs.isEmpty());
        QVERIFY(f.host.panel[2].last().contains(QStringLiteral("ms / sample, total: ")));
        QVERIFY(!f.cycle.busy());
        const double stamp = f.engine.state().timeStamp;
        QVERIFY(stamp >= before && stamp <= dtime::now());
    }

    void fetchDistributesReadings_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("400") << 400;
        QTest::newRow("fewer than the history") << 120;
        QTest::newRow("below one progress step") << 49;
        QTest::newRow("more than the history") << 1000;
        QTest::newRow("longer than the history's store") << 5000;
    }
    void fetchDistributesReadings()
    {
        QFETCH(int, count);
        SeriesFixture f;
        QVERIFY(f.start());
        f.sim.setReadingSequence(numbered(count));
        f.host.beep = true;
        f.settings.Limit_beep = true;
        QSignalSpy fetched(&f.runner, &SeriesRunner::fetchEnded);
        f.runSeries(count);
        QCOMPARE(fetched.size(), 1);
        QCOMPARE(fetched[0][0].value<qsizetype>(), qsizetype(count));

        QStringList captions;
        QList<int> redrawn; // every 50 readings the chart shows the series so far
        for (int n = 50; n <= count; n += 50) {
            captions << QStringLiteral("Value: %1").arg(n);
            redrawn << n;
        }
        captions << QStringLiteral("Value: %1").arg(count) << QStringLiteral("&GET data");
        redrawn << count;
        QCOMPARE(f.host.captions, captions);
        QCOMPARE(f.host.redrawnNewest, redrawn);

        // The newest min(count, 400) places hold the series, numbered by position.
        const double stamp = f.engine.state().timeStamp;
        const int kept = qMin(count, chart::kShown);
        for (int i = 0; i < chart::kShown; ++i) {
            const ChartEntry &e = f.host.chart.entry(i);
            const int n = count - (chart::kShown - 1 - i);
            if (i < chart::kShown - kept) {
                QCOMPARE(e.sampleNumber, 0);
                QVERIFY(!sentinel::isValid(e.rec.value1));
                continue;
            }
            QCOMPARE(e.sampleNumber, n);
            QCOMPARE(double(e.rec.value1), n * 1e-3);
            QCOMPARE(e.rec.dateTime, stamp);
        }
        QCOMPARE(f.buffer.bigarycnt(), qint64(count));
        QCOMPARE(double(f.buffer[f.buffer.Slot(0)].value1), 1e-3);
        QCOMPARE(f.buffer[f.buffer.Slot(count - 1)].dateTime, stamp);
        // No beeps while the series is processed; the box comes back afterwards.
        QVERIFY(!f.host.beepSeenOn);
        QVERIFY(f.host.beep && f.settings.Limit_beep);
        QCOMPARE(f.host.refreshes, 1);
        QCOMPARE(f.host.lastErrs, QStringList{QStringLiteral("Fetch data....")});
        QCOMPARE(f.logCount(QStringLiteral(" <L ")), count);
        QVERIFY(
            f.log.contains(QStringLiteral("<L ") +
                           QString::number(f.sim.instrument().seriesReadings().join(',').size())));
        QCOMPARE(f.host.chart.stats().count, count);
        QVERIFY(!f.cycle.busy() && !f.link.readbusy());
    }

    void fetchFields_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QStringList>("logTails");
        const double failed = double(sentinel::kConversionFailed);
        QTest::newRow("instrument form") << "+1.23456789E+00,-5.00000000E-01,+0.00000000E+00"
                                         << QList<double>{1.23456789, -0.5, 0}
                                         << QStringList{"+1.234568 ", "-500.00000m", "\u00b10"};
        QTest::newRow("trailing comma ends the list")
            << "1,2," << QList<double>{1, 2} << QStringList{"+1.0000000 ", "+2.000000 "};
        QTest::newRow("empty and garbage fields")
            << "1,,abc" << QList<double>{1, failed, failed}
            << QStringList{"+1.0000000 ", "VALUE UNKNOWN", "VALUE UNKNOWN"};
        QTest::newRow("overload") << "+9.90000000E+37" << QList<double>{9.9e37}
                                  << QStringList{"OVERLOAD!"};
        QTest::newRow("last field is cleaned") << "1,+2.5E+00\x01" << QList<double>{1, 2.5}
                                               << QStringList{"+1.0000000 ", "+2.500000 "};
        QTest::newRow("field cut to 40 characters")
            << "12345678901234567890123456789012345678901234"
            << QList<double>{1.234567890123456789e39} << QStringList{"OVERLOAD!"};
        QTest::newRow("empty reply") << "" << QList<double>{} << QStringList{};
    }
    void fetchFields()
    {
        QFETCH(QString, reply);
        QFETCH(QList<double>, values);
        QFETCH(QStringList, logTails);
        SeriesFixture f;
        QVERIFY(f.start());
        f.sim.setCannedReply(QStringLiteral("fetch?"), reply);
        f.link.SendCmd(QStringLiteral("fetch?"));
        QList<double> got;
        QList<qsizetype> totals;
        const QString length = f.link.FetchList([&](long double v, qsizetype n, qsizetype total) {
            got << double(v);
            totals << total;
            if (n != got.size())
                return 0.0L;
            return v;
        });
        QCOMPARE(length, QString::number(reply.size()));
        QCOMPARE(got.size(), values.size());
        for (int i = 0; i < values.size(); ++i) {
            QVERIFY2(qFuzzyCompare(got[i], values[i]),
                     qPrintable(QStringLiteral("%1: %2").arg(i).arg(got[i])));
            QCOMPARE(totals[i], qsizetype(values.size()));
        }
        QStringList tails;
        for (const QString &l : f.log) {
            const qsizetype at = l.indexOf(QStringLiteral(" <L "));
            if (at > 0)
                tails << l.mid(at + 4);
        }
        QCOMPARE(tails, logTails);
        QVERIFY(!f.link.readbusy());
    }

    void fetchFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<int>("errorQueries");
        QTest::newRow("no answer") << "silent"
                                   << " <L TIMEOUT " << 1;
        QTest::newRow("no link") << "disconnected"
                                 << " <L Not Connected" << 0;
        QTest::newRow("beyond the line bound") << "long"
                                               << " <L! Reply longer than 1000" << 0;
    }
    void fetchFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, logLine);
        QFETCH(int, errorQueries);
        SeriesFixture f;
        f.settings.DataTimeout = 300;
        QVERIFY(f.start());
        if (fault == QLatin1String("silent"))
            f.sim.setSilentQueries({QStringLiteral("fetch?")});
        if (fault == QLatin1String("disconnected"))
            f.link.Disconnect();
        if (fault == QLatin1String("long")) {
            // The line's first half alone passes the bound before its terminator comes.
            f.link.setMaxLineBytes(1000);
            f.sim.setSplit(2, 50);
            f.sim.setCannedReply(QStringLiteral("fetch?"), numbered(300).join(','));
        }
        f.host.beep = true;
        f.runner.fetchgetbClick();
        QVERIFY2(f.logCount(logLine) == 1, qPrintable(f.log.join('\n')));
        QCOMPARE(f.host.captions, QStringList{QStringLiteral("&GET data")});
        QCOMPARE(f.buffer.bigarycnt(), qint64(0));
        QCOMPARE(f.host.chart.entry(chart::kShown - 1).sampleNumber, 0);
        QCOMPARE(f.host.enabled, (QList<bool>{false, true}));
        QVERIFY(f.host.beep);
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QCOMPARE(f.cycleHost.errorQueries, errorQueries);
        if (fault == QLatin1String("disconnected"))
            QCOMPARE(double(f.engine.state().current), double(sentinel::kEmptyReading));
    }

    void linkLostWhileWaiting()
    {
        SeriesFixture f;
        QVERIFY(f.start());
        f.sim.setTimeScale(1);
        f.link.startSupervision();
        f.runner.fetcheChange(QStringLiteral("20"));
        f.runner.dtrigdelayeChange(QStringLiteral("1000"));
        QTimer::singleShot(300, &f.sim, &sim::Simulator::close);
        QSignalSpy ended(&f.runner, &SeriesRunner::seriesEnded);
        f.runner.fetchinitbClick();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0][0].toBool(), false);
        QVERIFY(!f.link.connected());
        QCOMPARE(f.host.enabled, (QList<bool>{false, true}));
        QVERIFY(!f.sim.commands().contains(QStringLiteral("TRIG:COUNT 1")));
        QVERIFY(f.host.panel[2].contains(QStringLiteral("Waiting for Instrument...   00:00 ")));
        QVERIFY(!f.cycle.busy());
    }

    void instrumentErrorStillStartsTheSeries()
    {
        SeriesFixture f;
        QVERIFY(f.start());
        f.sim.setErrorAfter(QStringLiteral("trig:count"), -222,
                            QStringLiteral("Data out of range"));
        f.runner.fetcheChange(QStringLiteral("10"));
        f.runner.fetchinitbClick();
        QCOMPARE(f.host.lastErrs, QStringList{QStringLiteral("Data out of range -222")});
        QVERIFY(f.sim.commands().contains(QStringLiteral("init")));
        QCOMPARE(int(f.sim.instrument().seriesReadings().size()), 10);
    }

    void filterKeepsOnlyStatisticsClean()
    {
        SeriesFixture f;
        QVERIFY(f.start());
        f.settings.Filter = true;
        f.settings.LowFilter = 0;
        f.settings.HighFilter = 2;
        QStringList readings;
        for (int i = 0; i < 10; ++i)
            readings << (i % 2 ? QStringLiteral("5") : QStringLiteral("1"));
        f.sim.setReadingSequence(readings);
        f.runSeries(10);
        QCOMPARE(f.buffer.bigarycnt(), qint64(10));
        QCOMPARE(double(f.host.chart.entry(chart::kShown - 1).rec.value1), 5.0);
        QCOMPARE(f.host.chart.entry(chart::kShown - 1).sampleNumber, 10);
        QCOMPARE(f.host.chart.stats().count, 5);
    }

    void bufferSwitchAndBusyCycle()
    {
        SeriesFixture f;
        QVERIFY(f.start());
        f.sim.setReadingSequence(numbered(60));
        f.host.toBuffer = false;
        f.runSeries(60);
        QCOMPARE(f.buffer.bigarycnt(), qint64(0));
        QCOMPARE(f.host.refreshes, 0);
        QCOMPARE(f.host.chart.entry(chart::kShown - 1).sampleNumber, 60);

        // A cycle in progress owns the socket: neither operation starts.
        f.sim.clearCommands();
        f.cycle.setBusy(true);
        f.runner.fetchinitbClick();
        f.runner.fetchgetbClick();
        QVERIFY(f.sim.commands().isEmpty());
        f.cycle.setBusy(false);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("expected");
        QTest::newRow("delay 1500") << "delay" << 1500 << 0 << "delay  00:01:500 min:sec:ms";
        QTest::newRow("delay 0") << "delay" << 0 << 0 << "delay  00:00:00 min:sec:ms";
        QTest::newRow("delay 1:01:001") << "delay" << 61001 << 0 << "delay  01:01:01 min:sec:ms";
        QTest::newRow("wait 0") << "wait" << 0 << 0 << "Waiting for Instrument...   00:00 ";
        QTest::newRow("wait rounds down")
            << "wait" << 1499 << 0 << "Waiting for Instrument...   00:01 ";
        QTest::newRow("wait rounds up")
            << "wait" << 1500 << 0 << "Waiting for Instrument...   00:02 ";
        QTest::newRow("wait 1:05") << "wait" << 65200 << 0 << "Waiting for Instrument...   01:05 ";
        QTest::newRow("wait 100 min")
            << "wait" << 6000000 << 0 << "Waiting for Instrument...  100:00 ";
        QTest::newRow("rate") << "rate" << 320000 << 400 << "800.00 ms / sample, total: 320.00 s ";
        QTest::newRow("rate below a ms")
            << "rate" << 3 << 10 << "300.00mms / sample, total: 3.00ms ";
        QTest::newRow("rate of no readings")
            << "rate" << 50 << 0 << "50.00 ms / sample, total: 50.00ms ";
    }
    void texts()
    {
        QFETCH(QString, kind);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, expected);
        QString got;
        if (kind == QLatin1String("delay"))
            got = SeriesRunner::delayText(a);
        else if (kind == QLatin1String("wait"))
            got = SeriesRunner::waitingText(a);
        else
            got = SeriesRunner::rateText(quint32(a), b, QStringLiteral("."));
        QCOMPARE(got, expected);
    }

    void editsNormalise_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("integer") << "1500"
                                 << "1500";
        QTest::newRow("not an integer") << "12.5"
                                        << "0";
        QTest::newRow("empty") << ""
                               << "0";
        QTest::newRow("negative") << "-3"
                                  << "-3";
        QTest::newRow("exponent") << "1e3"
                                  << "0";
    }
    void editsNormalise()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        SeriesFixture f;
        MultiPage page(f.runner);
        page.setHost(&f.host);
        page.fetche()->setText(typed);
        QCOMPARE(page.fetche()->text(), shown);
        QCOMPARE(QString::number(f.runner.count()), shown);
        page.dtrigdelaye()->setText(typed);
        QCOMPARE(page.dtrigdelaye()->text(), shown);
        QCOMPARE(QString::number(f.settings.MeasDelayTime), shown);
        QCOMPARE(f.host.panel[1].last(), SeriesRunner::delayText(shown.toInt()));
    }

    void pageRunsASeries()
    {
        SeriesFixture f;
        QVERIFY(f.start());
        f.sim.setReadingSequence(numbered(100));
        MultiPage page(f.runner);
        page.setHost(&f.host);
        QCOMPARE(page.fetchgb()->objectName(), QStringLiteral("fetchgb"));
        QCOMPARE(page.fetchgb()->title(), QStringLiteral(" Multi&ple measurement "));
        QCOMPARE(page.fetche()->text(), QStringLiteral("400"));
        QCOMPARE(page.findChild<QPushButton *>(QStringLiteral("fetchinitb"))->text(),
                 QStringLiteral("&Start"));
        QLineEdit *count = page.findChild<QLineEdit *>(QStringLiteral("fetche"));
        count->selectAll();
        QTest::keyClicks(count, QStringLiteral("1x00"));
        QCOMPARE(count->text(), QStringLiteral("100"));

        QPushButton *get = page.findChild<QPushButton *>(QStringLiteral("fetchgetb"));
        page.fetchinitb()->click();
        QVERIFY(page.fetchinitb()->isEnabled() && get->isEnabled());
        get->click();
        QCOMPARE(get->text(), QStringLiteral("&GET data"));
        QVERIFY(page.fetchinitb()->isEnabled() && get->isEnabled());
        QCOMPARE(f.host.chart.entry(chart::kShown - 1).sampleNumber, 100);
        QCOMPARE(f.host.enabled, (QList<bool>{false, true, false, true}));
    }
};

QTEST_MAIN(TestSeries)
#include "test_series.moc"
