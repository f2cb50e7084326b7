// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/clipboardexport.h"
#include "data/numtext.h"
#include "engine/bigary.h"
#include "qtbenchmain.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr qint64 kCapacity = 100000;
constexpr qint64 kRecords = 32001; // the most that is copied without asking

// A ring that has wrapped, so the copied range crosses its end, with readings as an
// instrument sends them: 8 significant digits over many decades.
const BigAry &buffer()
{
    static const BigAry ring = [] {
        BigAry b(kCapacity);
        QRandomGenerator rng(4711);
        char text[64];
        auto value = [&] {
            const int e = static_cast<int>(rng.bounded(16)) - 9;
            std::snprintf(text, sizeof text, "%.7fE%d", (rng.generateDouble() * 2 - 1) * 9.9999999,
                          e);
            return *numtext::parseLongDouble(text, text + std::strlen(text));
        };
        for (qint64 i = 0; i < kCapacity + kCapacity / 2; ++i) {
            measpol r;
            r.value1 = value();
            r.value2 = i % 10 ? value() : sentinel::kEmptyReading;
            r.range = 10;
            r.resol = 1e-6L;
            r.dateTime = 45000.5 + static_cast<double>(i) * 0.25 / 86400.0;
            r.Lunits1.set(u"V=");
            r.Lunits2.set(u"mV");
            b.Append(r);
        }
        return b;
    }();
    return ring;
}

clipexport::Range copiedRange()
{
    const qint64 from = kCapacity / 2 - kRecords / 2;
    return clipexport::bufferRange(buffer(), from, from + kRecords - 1);
}

void composeRange(benchmark::State &state, clipexport::Form form)
{
    const clipexport::Range range = copiedRange();
    for (auto _ : state)
        benchmark::DoNotOptimize(clipexport::rangeText(buffer(), range, form, ','));
    state.SetItemsProcessed(state.iterations() * range.count());
}

// What "copy chart as values" costs from the click to the clipboard holding the text.
void BM_CopyCompleteToClipboard(benchmark::State &state)
{
    const clipexport::Range range = copiedRange();
    for (auto _ : state)
        QGuiApplication::clipboard()->setText(
            clipexport::rangeText(buffer(), range, clipexport::Form::Complete, ','));
    state.SetItemsProcessed(state.iterations() * range.count());
}

void BM_ComposeComplete(benchmark::State &state)
{
    composeRange(state, clipexport::Form::Complete);
}

void BM_ComposeNumbersOnly(benchmark::State &state)
{
    composeRange(state, clipexport::Form::NumbersOnly);
}

} // namespace

BENCHMARK(BM_CopyCompleteToClipboard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeComplete)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeNumbersOnly)->Unit(benchmark::kMillisecond);

TERVAXIS_GUI_BENCHMARK_MAIN()
