// SPDX-License-Identifier: GPL-3.0-or-later
// The noise analysis over a full ring of ten million readings. Run one at a time: the
// buffer is built once per process.
#include "app/settings.h"
#include "engine/bigary.h"
#include "graph/noiseanalysis.h"
#include "graph/noisewindow.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include "widgetsbenchmain.h"

#include <random>

using namespace noise;

namespace {

// A full ring of ten million readings every 100 ms: white noise on a slow drift.
const BigAry &fullBuffer()
{
    static BigAry *buf = [] {
        auto *b = new BigAry(kMaxBufferLimit);
        std::mt19937_64 gen(7);
        std::normal_distribution<double> noise(0, 1e-6);
        measpol r;
        r.range = 10;
        r.Lunits1.set(u"V=");
        for (qint64 i = 0; i <= kMaxBufferLimit; ++i) {
            r.value1 = 10 + 1e-12L * i + noise(gen);
            r.dateTime = 46000.25 + double(i) * 0.1 / 86400;
            b->Append(r);
        }
        return b;
    }();
    return *buf;
}

void run(benchmark::State &state, DeviationSet deviations, bool identify)
{
    const BigAry &buf = fullBuffer();
    for (auto _ : state) {
        const NoiseResult r =
            NoiseAnalysis::compute(buf, 0, buf.High(), TauSteps::Octave, deviations, identify);
        benchmark::DoNotOptimize(r.points.data());
        state.counters["points"] = double(r.points.size());
    }
    state.SetItemsProcessed(state.iterations() * (kMaxBufferLimit + 1));
}

// What the window computed before it had more than one deviation: the overlapping Allan
// deviation with white-noise bounds, drift and figures.
void BM_TodaysAnalysis10M(benchmark::State &state)
{
    run(state, bit(Deviation::Allan), false);
}
BENCHMARK(BM_TodaysAnalysis10M)->Unit(benchmark::kMillisecond)->Iterations(3);

// Everything the window shows now: all four deviations and the standard deviation of the
// averages, the noise identified at every tau, both kinds of bounds, drift and figures.
void BM_FullAnalysis10M(benchmark::State &state)
{
    run(state, kAllDeviations, true);
}
BENCHMARK(BM_FullAnalysis10M)->Unit(benchmark::kMillisecond)->Iterations(3);

// One deviation alone, with its noise identification and bounds.
void BM_OneDeviation10M(benchmark::State &state)
{
    const auto d = Deviation(state.range(0));
    state.SetLabel(shortName(d).toStdString());
    run(state, bit(d), true);
}
BENCHMARK(BM_OneDeviation10M)
    ->DenseRange(0, kDeviations - 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The full analysis in the window's slices of about a million records each.
void BM_FullAnalysis10MInPieces(benchmark::State &state)
{
    const BigAry &buf = fullBuffer();
    qint64 slices = 0;
    for (auto _ : state) {
        NoiseAnalysis job(buf, 0, buf.High());
        while (!job.step())
            ++slices;
        benchmark::DoNotOptimize(job.result().points.data());
    }
    state.counters["slices"] = double(slices) / double(state.iterations());
}
BENCHMARK(BM_FullAnalysis10MInPieces)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window from the command to the result, and the longest the event loop waited for it
// meanwhile: a 10 ms timer's longest gap.
void BM_NoiseWindow10M(benchmark::State &state)
{
    const BigAry &buf = fullBuffer();
    Settings settings;
    NoiseWindow w(
        buf, [&] { return std::pair<qint64, qint64>(0, buf.High()); }, settings);
    double longest = 0;
    for (auto _ : state) {
        QElapsedTimer since;
        QTimer tick;
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longest = std::max(longest, double(since.restart())); });
        QSignalSpy done(&w, &NoiseWindow::computed);
        since.start();
        tick.start();
        w.Noiseanalysis1Click();
        while (done.isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        tick.stop();
        w.hide();
    }
    state.counters["longest_gap_ms"] = longest;
}
BENCHMARK(BM_NoiseWindow10M)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

TERVAXIS_WIDGETS_BENCHMARK_MAIN()
