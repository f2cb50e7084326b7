// SPDX-License-Identifier: GPL-3.0-or-later
// The trend chart is redrawn on every reading; with a full history this must stay well
// below the fastest repeat delay (target: under 2 ms per redraw).
#include "engine/chartstats.h"
#include "qtbenchmain.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

ChartInput noisyInput(int i)
{
    ChartInput in;
    // A sine with a little noise crossing zero: zero, mean and limit lines all drawn.
    in.reading.value1 = std::sin(i * 0.05) + 0.01 * ((i * 7919) % 13 - 6);
    in.reading.value2 = in.reading.value1 * 2;
    in.reading.dateTime = 45000 + i / 86400.0;
    in.reading.Lunits1.set(u"V=");
    in.Units1 = QStringLiteral("V=");
    in.limitText = QStringLiteral("PASS");
    in.limitColour = QColor(0, 255, 0);
    in.limitsOn = true;
    in.lowLimit = -0.8;
    in.highLimit = 0.8;
    return in;
}

void fill(ChartStats &cs)
{
    for (int i = 0; i < chart::kShown; ++i)
        cs.UpdateChart(true, false, noisyInput(i));
}

// The measurement cycle's call: history moves on, the reading is stored, both redrawn.
void BM_UpdateChartAdd(benchmark::State &state)
{
    ChartStats cs;
    fill(cs);
    int i = chart::kShown;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cs.UpdateChart(true, false, noisyInput(i++)));
        benchmark::DoNotOptimize(cs.chartImage().constBits());
    }
}
BENCHMARK(BM_UpdateChartAdd)->Unit(benchmark::kMicrosecond);

// The redraw of a limit change or a triggered series.
void BM_UpdateChartRedraw(benchmark::State &state)
{
    ChartStats cs;
    fill(cs);
    const ChartInput in = noisyInput(chart::kShown - 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(cs.UpdateChart(false, false, in));
}
BENCHMARK(BM_UpdateChartRedraw)->Unit(benchmark::kMicrosecond);

// Per reading besides the chart: mean of ten and statistics with their label texts.
void BM_MeanAndStatistics(benchmark::State &state)
{
    ChartStats cs;
    int i = 0;
    for (auto _ : state) {
        const long double v = noisyInput(i++).reading.value1;
        cs.UpdateMean10(v);
        cs.UpdateStatistics(v);
        cs.ShiftMean10();
        benchmark::DoNotOptimize(cs.texts().mathal.constData());
    }
}
BENCHMARK(BM_MeanAndStatistics)->Unit(benchmark::kMicrosecond);

} // namespace

// Text is drawn into the chart.
TERVAXIS_GUI_BENCHMARK_MAIN()
