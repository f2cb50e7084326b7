// SPDX-License-Identifier: GPL-3.0-or-later
// Readings per second with automatic measuring at repeat delay 0 against the zero-latency
// simulator, and how long a posted event waits meanwhile.
#include "cyclerig.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "qtbenchmain.h"

namespace {

class LatencyProbe : public QObject
{
public:
    qint64 worstNs = 0;
    QElapsedTimer sent;
    void post()
    {
        sent.start();
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        worstNs = std::max(worstNs, sent.nsecsElapsed());
        return true;
    }
};

void BM_AutomaticReadings(benchmark::State &state)
{
    sim::Simulator sim;
    sim.listen(0);
    CycleRig rig;
    ScpiLink &link = rig.link;
    MeasurementCycle &cycle = rig.cycle;
    if (!link.Connect(QStringLiteral("127.0.0.1"), sim.port())) {
        state.SkipWithError("no connection");
        return;
    }
    LatencyProbe probe;
    QTimer probeTimer;
    QObject::connect(&probeTimer, &QTimer::timeout, [&] { probe.post(); });
    probeTimer.start(7);

    qint64 readings = 0;
    QObject::connect(&cycle, &MeasurementCycle::cycleFinished, [&](bool ok) { readings += ok; });
    double seconds = 0;
    for (auto _ : state) {
        readings = 0;
        seconds = rig.measureFor(2000);
        state.SetIterationTime(seconds);
    }
    state.counters["readings_per_s"] = double(readings) / seconds;
    state.counters["worst_event_wait_ms"] = double(probe.worstNs) / 1e6;
}
BENCHMARK(BM_AutomaticReadings)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The bound set by the cycle's own pauses: five 1 ms pauses per reading.
void BM_FixedPauses(benchmark::State &state)
{
    for (auto _ : state) {
        for (int i = 0; i < 5; ++i)
            ScpiLink::DelayMs(1);
    }
    state.counters["cycles_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FixedPauses)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

TERVAXIS_QT_BENCHMARK_MAIN()
