// SPDX-License-Identifier: GPL-3.0-or-later
// Inverse RTD conversions per second below 0 degrees, and automatic measuring against the
// zero-latency simulator with automatic temperature and display sending on and off.
#include "cyclerig.h"
#include "simulator.h"
#include "tempcalc/tempcalcf.h"
#include "tempcalc/tempformula.h"

#include <QAction>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

#include <memory>

#include "widgetsbenchmain.h"

namespace {

void BM_CvdTemperatureBelowZero(benchmark::State &state)
{
    const ProbeParams p = ProbeParams::initial();
    // Resistances from -200 to 0 degrees, so every one takes the grid search.
    long double rt = 18.6L;
    long double sum = 0;
    for (auto _ : state) {
        sum += CvdTemperature(rt, p.R0, p.A, p.B, p.C).Temperature;
        rt += 0.37L;
        if (rt >= 99.9L)
            rt = 18.6L;
    }
    benchmark::DoNotOptimize(sum);
    state.counters["conversions_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CvdTemperatureBelowZero);

// One automatic conversion with the window's field updates, without the link.
void BM_ConvertReading(benchmark::State &state)
{
    Settings s;
    ScpiLink link(s);
    Ttempcalcf window(s, link);
    long double rt = 95.0L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(window.ConvertReading(rt));
        rt = rt < 120 ? rt + 0.013L : 95.0L;
    }
    state.counters["conversions_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertReading);

class TemperatureHost : public CycleHost
{
public:
    bool on = false;
    bool autoTemperatureOn() const override { return on; }
};

void BM_AutomaticReadingsWithTemperature(benchmark::State &state)
{
    // The simulator answers from a thread of its own, as an instrument would from across the
    // wire: what is measured is the program's cost, not the simulator's parsing.
    QThread simThread;
    simThread.start();
    QObject simContext;
    simContext.moveToThread(&simThread);
    std::unique_ptr<sim::Simulator> sim;
    auto inSimThread = [&](auto f) {
        QMetaObject::invokeMethod(&simContext, f, Qt::BlockingQueuedConnection);
    };
    inSimThread([&] {
        sim = std::make_unique<sim::Simulator>();
        sim->listen(0);
        sim->setFunction(sim::Function::FRes);
    });
    CycleRig rig;
    ScpiLink &link = rig.link;
    MeasurementCycle &cycle = rig.cycle;
    TemperatureHost host;
    cycle.setHost(&host);
    Ttempcalcf window(rig.s, link);
    window.findChild<QAction *>(QStringLiteral("Sendtemperaturetoinstrumentdisplay1"))->trigger();
    // Time inside the window's conversion (fields, status, display command) per reading.
    qint64 conversionNs = 0;
    qint64 conversions = 0;
    rig.engine.autoTemperature = [&](long double ohm) -> std::optional<long double> {
        if (!host.on)
            return std::nullopt;
        QElapsedTimer t;
        t.start();
        const long double temperature = window.ConvertReading(ohm);
        conversionNs += t.nsecsElapsed();
        ++conversions;
        return temperature;
    };
    const auto stopSim = qScopeGuard([&] {
        link.Disconnect();
        inSimThread([&] { sim.reset(); });
        simThread.quit();
        simThread.wait();
    });
    if (!link.Connect(QStringLiteral("127.0.0.1"), sim->port())) {
        state.SkipWithError("no connection");
        return;
    }
    qint64 readings = 0;
    QObject::connect(&cycle, &MeasurementCycle::cycleFinished, [&](bool ok) { readings += ok; });
    // Rounds alternate, so that a neighbour's load on the machine hits both alike.
    double perSecond[2] = {0, 0};
    double seconds[2] = {0, 0};
    for (auto _ : state) {
        for (int round = 0; round < 8; ++round) {
            const int on = round % 2;
            host.on = on;
            readings = 0;
            const double taken = rig.measureFor(1000);
            perSecond[on] += double(readings);
            seconds[on] += taken;
        }
        state.SetIterationTime(seconds[0] + seconds[1]);
    }
    const double off = perSecond[0] / seconds[0];
    const double with = perSecond[1] / seconds[1];
    state.counters["readings_per_s_off"] = off;
    state.counters["readings_per_s_on"] = with;
    state.counters["conversion_us"] = conversions ? conversionNs / 1e3 / conversions : 0;
    state.counters["on_vs_off_pct"] = 100.0 * with / off;
    qsizetype shown = 0;
    inSimThread([&] { shown = sim->commands().filter(QStringLiteral("DISP:TEXT '")).size(); });
    state.counters["display_commands"] = double(shown);
}
BENCHMARK(BM_AutomaticReadingsWithTemperature)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

TERVAXIS_WIDGETS_BENCHMARK_MAIN()
