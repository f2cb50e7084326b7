// SPDX-License-Identifier: GPL-3.0-or-later
// GET data of a stored series against the simulator: the one long reply read and every
// reading processed, buffered and entered into the chart history.
#include "app/settings.h"
#include "engine/bigary.h"
#include "engine/chartstats.h"
#include "engine/cycle.h"
#include "engine/readinglinkhost.h"
#include "engine/series.h"
#include "link/scpilink.h"
#include "simulator.h"

#include "qtbenchmain.h"

namespace {

class ChartHost : public SeriesHost
{
public:
    explicit ChartHost(ReadingEngine &engine) : m_engine(engine) {}
    void addSeriesReading(int n) override
    {
        m_chart.shiftHistory();
        const measpol rec = m_engine.currentRecord();
        if (sentinel::isValid(rec.value1))
            m_chart.storeNewest(rec, n);
    }
    void redrawChart() override { m_chart.UpdateChart(false, false, ChartInput{}); }

private:
    ReadingEngine &m_engine;
    ChartStats m_chart;
};

void BM_SeriesFetch(benchmark::State &state)
{
    const qsizetype count = state.range(0);
    Settings s;
    s.DataTimeout = 30000;
    s.LanTimeout = 5000;
    sim::Simulator sim;
    sim.listen(0);
    ScpiLink link(s);
    BigAry buffer(kMaxBufferLimit);
    ReadingEngine engine(s);
    MeasurementCycle cycle(s, link, engine, buffer);
    ReadingLinkHost linkHost(s);
    linkHost.attach(&engine, &cycle);
    link.setHost(&linkHost);
    SeriesRunner runner(s, link, engine, buffer, cycle);
    ChartHost host(engine);
    runner.setHost(&host);
    qsizetype taken = 0;
    QObject::connect(&runner, &SeriesRunner::fetchEnded, [&](qsizetype n) { taken = n; });

    QByteArray reply;
    reply.reserve(count * 16);
    for (qsizetype i = 0; i < count; ++i)
        reply += (i % 2 ? "+1.23456789E+00," : "-9.87654321E-03,");
    reply.chop(1);
    sim.setCannedReply(QStringLiteral("fetch?"), QString::fromLatin1(reply));
    if (!link.Connect(QStringLiteral("127.0.0.1"), sim.port())) {
        state.SkipWithError("no connection");
        return;
    }
    for (auto _ : state) {
        buffer.Clear();
        runner.fetchgetbClick();
        if (taken != count) {
            state.SkipWithError("readings lost");
            return;
        }
    }
    state.counters["readings_per_s"] =
        benchmark::Counter(double(count * state.iterations()), benchmark::Counter::kIsRate);
    state.counters["reply_MiB"] = double(reply.size()) / (1024 * 1024);
}
BENCHMARK(BM_SeriesFetch)
    ->Arg(400)
    ->Arg(100000)
    ->Arg(2000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

TERVAXIS_QT_BENCHMARK_MAIN()
