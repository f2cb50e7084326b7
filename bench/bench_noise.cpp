// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/bigary.h"
#include "graph/noiseanalysis.h"

#include <benchmark/benchmark.h>

#include <random>

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

// Everything the window shows: tau0, all octave points with intervals, drift, figures.
void BM_NoiseAnalysis10M(benchmark::State &state)
{
    const BigAry &buf = fullBuffer();
    for (auto _ : state) {
        const noise::NoiseResult r = noise::NoiseAnalysis::compute(buf, 0, buf.High());
        benchmark::DoNotOptimize(r.points.data());
        state.counters["points"] = double(r.points.size());
    }
    state.SetItemsProcessed(state.iterations() * (kMaxBufferLimit + 1));
}
BENCHMARK(BM_NoiseAnalysis10M)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same in the window's slices of about a million records each.
void BM_NoiseAnalysis10MInPieces(benchmark::State &state)
{
    const BigAry &buf = fullBuffer();
    qint64 slices = 0;
    for (auto _ : state) {
        noise::NoiseAnalysis job(buf, 0, buf.High());
        while (!job.step())
            ++slices;
        benchmark::DoNotOptimize(job.result().points.data());
    }
    state.counters["slices"] = double(slices) / double(state.iterations());
}
BENCHMARK(BM_NoiseAnalysis10MInPieces)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
