// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/autosaver.h"
#include "data/datafile.h"
#include "data/numtext.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace datafile;

namespace {

constexpr int64_t kRecords = 1000000;

// Readings as an instrument sends them: 8 significant digits over many decades.
const std::vector<measpol> &records()
{
    static const std::vector<measpol> recs = [] {
        std::vector<measpol> v(kRecords);
        QRandomGenerator rng(1234);
        char buf[64];
        auto instrumentValue = [&] {
            const int e = static_cast<int>(rng.bounded(16)) - 9;
            const double m = (rng.generateDouble() * 2 - 1) * 9.9999999;
            std::snprintf(buf, sizeof buf, "%.7fE%d", m, e);
            return *numtext::parseLongDouble(buf, buf + std::strlen(buf));
        };
        for (int64_t i = 0; i < kRecords; ++i) {
            measpol &r = v[static_cast<size_t>(i)];
            r.value1 = instrumentValue();
            r.value2 = i % 10 ? instrumentValue() : sentinel::kEmptyReading;
            r.range = i % 3 == 0 ? 1000 : (i % 3 == 1 ? 10 : 0.1L);
            r.resol = i % 2 ? 1e-6L : 3e-6L;
            r.dateTime = 45000.5 + static_cast<double>(i) * 0.25 / 86400.0;
            r.Lunits1.set(i % 4 ? QStringView(u"V") : QStringView(u"k\u03A9"));
            r.Lunits2.set(u"mV");
        }
        return v;
    }();
    return recs;
}

QTemporaryDir &tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString bufferPath()
{
    return tempDir().filePath(QStringLiteral("bench-s.csv"));
}

const InstrumentIds kIds{QStringLiteral("ACME"), QStringLiteral("8846X"), QStringLiteral("1"),
                         QStringLiteral("2024-01-01")};

bool writeBench(const QString &path)
{
    const auto &recs = records();
    return writeBufferFile(
        path, FileKind::Semicolon, '.', kIds, StartInfo{}, 0, kRecords - 1,
        [&](int64_t i) -> const measpol & { return recs[static_cast<size_t>(i)]; }, [](int64_t) {},
        nullptr);
}

void BM_WriteBufferFile(benchmark::State &state)
{
    records();
    for (auto _ : state) {
        if (!writeBench(bufferPath()))
            state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetLabel("items = lines");
}
BENCHMARK(BM_WriteBufferFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ParseBufferFile(benchmark::State &state)
{
    if (!QFile::exists(bufferPath()))
        writeBench(bufferPath());
    const QByteArray name = QFile::encodeName(bufferPath());
    int64_t stored = 0;
    measpol rec;
    for (auto _ : state) {
        const int fd = ::open(name.constData(), O_RDONLY);
        LineReader reader(fd);
        const char *b = nullptr;
        const char *e = nullptr;
        stored = 0;
        while (reader.next(b, e)) {
            if (parseDataLine(b, e, ';', rec).kind == LineKind::Stored)
                ++stored;
        }
        ::close(fd);
        benchmark::DoNotOptimize(rec);
    }
    if (stored != kRecords)
        state.SkipWithError("not every line read back");
    state.SetItemsProcessed(state.iterations() * (kRecords + 3));
    state.SetLabel("items = lines");
}
BENCHMARK(BM_ParseBufferFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// One automatic batch: 51 readings staged, the 51st appends and syncs them.
void BM_AutoSaveBatch51(benchmark::State &state)
{
    const auto &recs = records();
    AutoSaver saver;
    saver.switchOnFile(tempDir().filePath(QStringLiteral("auto-s.csv")), ';');
    for (int i = 0; i < 50; ++i)
        saver.recordAndWrite(false, true, recs[static_cast<size_t>(i)]);
    size_t next = 50;
    for (auto _ : state) {
        saver.recordAndWrite(false, true, recs[next++ % recs.size()]); // the 51st: the write
        state.PauseTiming();
        if (saver.stagedCount() != 0)
            state.SkipWithError("batch not written");
        for (int i = 0; i < 50; ++i)
            saver.recordAndWrite(false, true, recs[next++ % recs.size()]);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AutoSaveBatch51)->Unit(benchmark::kMillisecond)->UseRealTime();

// One reading handed to the automatic saving, averaged over its batches: with the disk
// fine (arg 0), and with the disk full (arg 1: every write fails, retried once a second
// while the list keeps growing). Measuring keeps its rate when the two are alike.
void BM_AutoSaveReading(benchmark::State &state)
{
    const auto &recs = records();
    const bool full = state.range(0) != 0;
    AutoSaver saver;
    if (full)
        saver.setWriteFunction([](int, const char *, size_t) -> long {
            errno = ENOSPC;
            return -1;
        });
    saver.switchOnFile(
        tempDir().filePath(full ? QStringLiteral("full-s.csv") : QStringLiteral("fine-s.csv")),
        ';');
    size_t next = 0;
    for (auto _ : state)
        saver.recordAndWrite(false, true, recs[next++ % recs.size()]);
    state.counters["staged"] = saver.stagedCount();
}
BENCHMARK(BM_AutoSaveReading)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The written file must be exactly what the line composer gives, and every number must
// read back as the 15-digit text that was written.
bool verify()
{
    const auto &recs = records();
    const QString path = tempDir().filePath(QStringLiteral("verify-s.csv"));
    if (!writeBench(path))
        return false;
    QByteArray expected =
        instrumentLine(kIds) + startLine(';', StartInfo{}) + columnLine(';', ColumnVariant::Buffer);
    for (const measpol &r : recs)
        appendDataLine(expected, r, ';', '.', true);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.readAll() != expected) {
        std::fprintf(stderr, "check: written file differs from the composed lines\n");
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    LineReader reader(fd);
    const char *b = nullptr;
    const char *e = nullptr;
    size_t n = 0;
    bool ok = true;
    auto same = [](long double a, long double b) { return formatNumber(a) == formatNumber(b); };
    while (ok && reader.next(b, e)) {
        measpol got;
        if (parseDataLine(b, e, ';', got).kind != LineKind::Stored)
            continue;
        const measpol &want = recs[n++];
        // The empty-reading marker is no valid secondary value: the slot keeps its own.
        const bool v2 = !sentinel::isValid(want.value2) || same(got.value2, want.value2);
        ok = same(got.value1, want.value1) && same(got.range, want.range) &&
             same(got.resol, want.resol) && v2;
    }
    ::close(fd);
    if (!ok || n != recs.size()) {
        std::fprintf(stderr, "check: a value did not read back as written (line %zu)\n", n);
        return false;
    }
    std::fprintf(stderr, "check: %zu lines byte-identical, every value read back\n", n);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!verify())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
