// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/bigary.h"
#include "engine/readingformat.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <cstdio>
#include <unistd.h>

namespace {

measpol sample(long double v)
{
    measpol r;
    r.value1 = v;
    r.value2 = v * 2;
    r.dateTime = 45000.25;
    r.range = 10;
    r.resol = 1e-6L;
    r.Lunits1.set(u"V=");
    r.Lunits2.set(u"V=");
    return r;
}

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Ten million appends into a cleared buffer whose memory the process already holds: the
// cost of Append itself.
void BM_Append10M(benchmark::State &state)
{
    const measpol r = sample(1.5L);
    BigAry a(kMaxBufferLimit);
    for (int i = 0; i < 10000000; ++i)
        a.Append(r);
    for (auto _ : state) {
        a.Clear();
        for (int i = 0; i < 10000000; ++i)
            a.Append(r);
        benchmark::DoNotOptimize(a.bigarycnt());
    }
    state.SetItemsProcessed(state.iterations() * 10000000LL);
}
BENCHMARK(BM_Append10M)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same into memory fresh from the system: the first fill after start-up also pays
// for the kernel handing out and zeroing some 960 MB.
void BM_Append10MFreshMemory(benchmark::State &state)
{
    const measpol r = sample(1.5L);
    for (auto _ : state) {
        BigAry a(kMaxBufferLimit);
        for (int i = 0; i < 10000000; ++i)
            a.Append(r);
        benchmark::DoNotOptimize(a.bigarycnt());
    }
    state.SetItemsProcessed(state.iterations() * 10000000LL);
}
BENCHMARK(BM_Append10MFreshMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// Resident memory of the process holding a full 10 000 001-record ring.
void BM_FullBufferResident(benchmark::State &state)
{
    for (auto _ : state) {
        const long before = residentBytes();
        BigAry a(kMaxBufferLimit);
        const measpol r = sample(2.5L);
        for (qint64 i = 0; i <= kMaxBufferLimit; ++i)
            a.Append(r);
        state.counters["records"] = double(a.High() + 1);
        state.counters["resident_MiB"] = double(residentBytes()) / (1024 * 1024);
        state.counters["buffer_MiB"] = double(residentBytes() - before) / (1024 * 1024);
    }
}
BENCHMARK(BM_FullBufferResident)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FormatValue(benchmark::State &state)
{
    const long double values[] = {1.2345678L, -0.00123L, 1234567.0L, 9.9e37L, 0.0L, 12.3456L};
    size_t i = 0;
    for (auto _ : state) {
        QString s = FormatValue(values[i++ % 6]);
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatValue);

void BM_CleanNumber(benchmark::State &state)
{
    const QString fields[] = {QStringLiteral("+1.23456789E+00"), QStringLiteral("-1.0E-05"),
                              QStringLiteral("+9.90000000E+37"), QStringLiteral("1,234.5")};
    size_t i = 0;
    for (auto _ : state) {
        QString s = CleanNumber(fields[i++ % 4]);
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CleanNumber);

// The whole value-field step: clean and convert.
void BM_CleanAndConvert(benchmark::State &state)
{
    const QString field = QStringLiteral("+1.23456789E+00");
    for (auto _ : state) {
        long double v = convertNumber(CleanNumber(field), -1.1e-39L);
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CleanAndConvert);

} // namespace

BENCHMARK_MAIN();
