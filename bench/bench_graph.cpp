// SPDX-License-Identifier: GPL-3.0-or-later
// The large graph over a full buffer (10 000 001 records, about 960 MB) on a 1500-pixel
// image. Run one at a time: the full buffer is built once per process.
#include "data/datafile.h"
#include "graph/graphloader.h"
#include "graph/graphmodel.h"
#include "graph/graphpainter.h"
#include "graph/testsignals.h"
#include "qtbenchmain.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <sys/resource.h>

namespace {

constexpr qint64 kFull = 10000000; // maxbuffer: 10 000 001 records
constexpr int kWidth = 1500;
constexpr int kHeight = 600;

measpol sample(qint64 i)
{
    measpol r;
    r.value1 = std::sin(i / 10000.0L) + (i % 7) * 1e-4L;
    r.value2 = r.value1 * 0.5L;
    r.dateTime = 46000.5 + static_cast<double>(i) / 86400000.0;
    r.range = 10;
    r.resol = 1e-6L;
    r.Lunits1.set(u"V");
    return r;
}

BigAry &fullBuffer()
{
    static BigAry *buf = [] {
        auto *b = new BigAry(kFull);
        for (qint64 i = 0; i <= kFull; ++i)
            b->Append(sample(i));
        return b;
    }();
    return *buf;
}

struct View
{
    GraphModel model{fullBuffer()};
    QImage image{kWidth, kHeight, QImage::Format_RGB32};
    View() { model.setImageSize(kWidth, kHeight); }
    void show(GraphModel::Range r)
    {
        model.rescale(r.from, r.to);
        model.buildColumns();
        graphpaint::paintGraph(image, model, false, false);
    }
};

double residentMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// "Refresh F5": rescale over the whole buffer, columns, drawing.
void BM_RefreshFull(benchmark::State &state)
{
    View v;
    v.show({0, fullBuffer().High()});
    for (auto _ : state)
        v.show({0, fullBuffer().High()});
    state.counters["maxRSS_MiB"] = residentMiB();
}
BENCHMARK(BM_RefreshFull)->Unit(benchmark::kMillisecond);

// Zoom out from the middle half to the whole buffer.
void BM_ZoomStepFull(benchmark::State &state)
{
    View v;
    const qint64 high = fullBuffer().High();
    for (auto _ : state) {
        state.PauseTiming();
        v.model.rescale(high / 4, high / 4 * 3);
        state.ResumeTiming();
        v.show(v.model.zoomOutMenuRange());
    }
}
BENCHMARK(BM_ZoomStepFull)->Unit(benchmark::kMillisecond);

// One scroll-bar step over a range of 100 000 records.
void BM_ScrollStep100k(benchmark::State &state)
{
    View v;
    v.show({5000000, 5100000});
    qint64 pos = 5100000;
    for (auto _ : state) {
        pos += v.model.scrollSetup().singleStep;
        v.show(v.model.scrollRange(pos));
    }
}
BENCHMARK(BM_ScrollStep100k)->Unit(benchmark::kMicrosecond);

void BM_DrawFrame(benchmark::State &state)
{
    View v;
    v.show({0, fullBuffer().High()});
    for (auto _ : state)
        graphpaint::paintGraph(v.image, v.model, false, true);
}
BENCHMARK(BM_DrawFrame)->Unit(benchmark::kMillisecond);

// Deleting a 1 000 000-record selection from the full buffer (refilled between rounds).
void BM_Delete1M(benchmark::State &state)
{
    GraphModel m(fullBuffer());
    for (auto _ : state) {
        m.deleteRange(4000000, 4999999);
        state.PauseTiming();
        for (qint64 i = 0; i < 1000000; ++i)
            fullBuffer().Append(sample(i));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Delete1M)->Unit(benchmark::kMillisecond);

void BM_GeneratePureSine(benchmark::State &state)
{
    BigAry buf(2000000);
    for (auto _ : state) {
        buf.Clear();
        testsignals::generate(buf, testsignals::Signal::PureSine, measpol{});
    }
}
BENCHMARK(BM_GeneratePureSine)->Unit(benchmark::kMillisecond);

// A buffer data file of `lines` sample records.
void writeSampleFile(const QString &path, qint64 lines)
{
    QString error;
    datafile::writeBufferFile(
        path, datafile::FileKind::Semicolon, '.', {}, {}, 0, lines - 1,
        [](int64_t i) -> const measpol & {
            static thread_local measpol r;
            r = sample(i);
            return r;
        },
        {}, &error);
}

// The longest time between two handled events: a 1 ms timer in the event loop notes
// every gap until the job's end quits the loop.
struct GapWatch
{
    QEventLoop loop;
    QElapsedTimer clock;
    QTimer tick;
    qint64 last = 0;
    qint64 worst = 0;
    GapWatch()
    {
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            worst = std::max(worst, clock.elapsed() - last);
            last = clock.elapsed();
        });
    }
    void quitSoon() { QTimer::singleShot(5, &loop, &QEventLoop::quit); }
    void run()
    {
        clock.start();
        tick.start();
        loop.exec();
    }
};

// Loading a buffer data file of `lines` lines, replacing the buffer.
void BM_LoadFile(benchmark::State &state)
{
    const qint64 lines = state.range(0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("buffer-s.csv"));
    writeSampleFile(path, lines);
    BigAry buf(kFull);
    for (auto _ : state)
        graphload::loadFile(buf, path, graphload::Format::DataFile, ';', graphload::Mode::Replace,
                            {});
    state.counters["records"] = static_cast<double>(buf.High() + 1);
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_LoadFile)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// "Save..." of the whole full buffer, records found through the chronological index.
void BM_SaveFile(benchmark::State &state)
{
    BigAry &buf = fullBuffer();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("save-s.csv"));
    for (auto _ : state) {
        QString error;
        datafile::writeBufferFile(
            path, datafile::FileKind::Semicolon, '.', {}, {}, 0, buf.High(),
            [&](int64_t i) -> const measpol & { return buf[buf.Slot(i)]; }, [](int64_t) {}, &error);
    }
    state.SetItemsProcessed(state.iterations() * (buf.High() + 1));
    state.SetLabel("items = lines");
    state.counters["maxRSS_MiB"] = residentMiB();
}
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The longest time between two handled events while 10 M lines load over a full buffer, as
// "Load..." does it: the job on its threads, the hand-over and the rescale of the whole
// buffer on the GUI thread. A 1 ms timer in the event loop notes every gap.
void BM_LoadEventGap(benchmark::State &state)
{
    const qint64 lines = state.range(0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gap-s.csv"));
    writeSampleFile(path, lines);
    BigAry &buf = fullBuffer();
    View v;
    v.show({0, buf.High()});
    qint64 worst = 0;
    for (auto _ : state) {
        GapWatch watch;
        graphload::LoadJob::Params p;
        p.path = path;
        p.width = kWidth;
        p.height = kHeight;
        graphload::LoadJob job(buf, p);
        v.model.releaseShadow();
        QObject::connect(&job, &graphload::LoadJob::finished, [&] {
            job.handOver(v.model);
            v.show({0, buf.High()});
            watch.quitSoon();
        });
        job.start();
        watch.run();
        worst = std::max(worst, watch.worst);
    }
    state.counters["longestGap_ms"] = static_cast<double>(worst);
    state.counters["maxRSS_MiB"] = residentMiB();
}
BENCHMARK(BM_LoadEventGap)->Arg(10000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Saving 10 M records as "Save..." does it: the job writes beside the name and renames.
void BM_SaveEventGap(benchmark::State &state)
{
    BigAry &buf = fullBuffer();
    QTemporaryDir dir;
    qint64 worst = 0;
    for (auto _ : state) {
        GapWatch watch;
        graphload::SaveJob::Params p;
        p.path = dir.filePath(QStringLiteral("gap-s.csv"));
        p.to = buf.High();
        graphload::SaveJob job(buf, p);
        QObject::connect(&job, &graphload::SaveJob::finished, [&] { watch.quitSoon(); });
        job.start();
        watch.run();
        worst = std::max(worst, watch.worst);
    }
    state.counters["longestGap_ms"] = static_cast<double>(worst);
}
BENCHMARK(BM_SaveEventGap)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

TERVAXIS_QT_BENCHMARK_MAIN()
