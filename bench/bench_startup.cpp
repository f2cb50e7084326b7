// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program started as a process without an instrument, its language file applied:
// milliseconds from the start of the process to the splash and to the main window on
// screen, and the close that follows.
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "qtbenchmain.h"

namespace {

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/tervaxis");
}

void BM_StartupToWindows(benchmark::State &state)
{
    if (!QFile::exists(programPath())) {
        state.SkipWithError("build the tervaxis target first");
        return;
    }
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TERVAXIS_STARTUP_PROBE"), QStringLiteral("1"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    env.remove(QStringLiteral("LC_ALL"));
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    double entry = 0, splash = 0, shown = 0, closing = 0;
    for (auto _ : state) {
        QProcess p;
        p.setProcessEnvironment(env);
        const qint64 start = QDateTime::currentMSecsSinceEpoch();
        p.start(programPath(),
                {QStringLiteral("/NOCONNECT"), QStringLiteral("/CONFIGDIR:") + dir.path(),
                 QStringLiteral("/DATADIR:") + dir.path() + QStringLiteral("/d")});
        if (!p.waitForFinished(20000)) {
            p.kill();
            state.SkipWithError("the program did not end");
            return;
        }
        QMap<QString, qint64> at;
        for (const QByteArray &line : p.readAllStandardError().split('\n'))
            if (line.startsWith("tervaxis-probe ")) {
                const QList<QByteArray> f = line.split(' ');
                at[QString::fromLatin1(f.value(1))] = f.value(2).toLongLong();
            }
        if (!at.contains(QStringLiteral("main"))) {
            state.SkipWithError("no time stamps from the program");
            return;
        }
        entry += double(at[QStringLiteral("start")] - start);
        splash += double(at[QStringLiteral("splash")] - start);
        shown += double(at[QStringLiteral("main")] - start);
        closing += double(at[QStringLiteral("close-ms")]);
        state.SetIterationTime(double(at[QStringLiteral("main")] - start) / 1000.0);
    }
    const double n = double(state.iterations());
    // Loading the libraries and creating the application object, before any of our work.
    state.counters["app_ready_ms"] = entry / n;
    state.counters["splash_ms"] = splash / n;
    state.counters["main_shown_ms"] = shown / n;
    state.counters["close_offline_ms"] = closing / n;
}
BENCHMARK(BM_StartupToWindows)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

TERVAXIS_QT_BENCHMARK_MAIN();
