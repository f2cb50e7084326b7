// SPDX-License-Identifier: GPL-3.0-or-later
// Readings per second at repeat delay 0 against the simulator as a process of its own: the
// logger process, the main window (drawing every reading, offscreen), and the floor the
// cycle's own pauses set, all measured in the same run.
#include "app/mainwindow.h"
#include "app/settings.h"
#include "engine/bigary.h"
#include "engine/cycle.h"
#include "engine/tone.h"
#include "link/commwindow.h"
#include "link/scpilink.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "widgetsbenchmain.h"

namespace {

constexpr int kSeconds = 10;

class NoTone : public ToneOutput
{
public:
    void beep(int, int) override {}
};

// One simulator process for every benchmark of the run. Its output goes nowhere: a pipe
// nobody reads would stop it once full.
QString simulatorPort()
{
    static QProcess sim;
    static QString port;
    if (port.isEmpty()) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = QString::number(probe.serverPort());
        probe.close();
        sim.setStandardOutputFile(QProcess::nullDevice());
        sim.start(QStringLiteral(SIM_EXE), {QStringLiteral("--port"), port});
        QTcpSocket s;
        for (int i = 0; i < 100 && s.state() != QAbstractSocket::ConnectedState; ++i) {
            s.connectToHost(QHostAddress::LocalHost, quint16(port.toInt()));
            s.waitForConnected(100);
        }
    }
    return port;
}

// The data lines of the one data file below `dir`.
qint64 dataLines(const QString &dir)
{
    const QFileInfoList files =
        QDir(dir + QStringLiteral("/Log")).entryInfoList({QStringLiteral("Data_*")});
    QFile f(files.isEmpty() ? QString() : files.first().absoluteFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    qint64 n = 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        n += !line.isEmpty() && !line.startsWith('#');
    return n;
}

void BM_LoggerProcess(benchmark::State &state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral(LOGGER_EXE),
                {QStringLiteral("--config"), dir.filePath(QStringLiteral("cfg")),
                 QStringLiteral("--datadir"), dir.filePath(QStringLiteral("data")),
                 QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                 simulatorPort(), QStringLiteral("--delay"), QStringLiteral("0"),
                 QStringLiteral("--duration"), QStringLiteral("%1s").arg(kSeconds),
                 QStringLiteral("--quiet")});
        if (!p.waitForFinished(kSeconds * 1000 + 20000) || p.exitCode() != 0) {
            state.SkipWithError("the logger failed");
            return;
        }
        const qint64 lines = dataLines(dir.filePath(QStringLiteral("data")));
        state.SetIterationTime(kSeconds);
        state.counters["readings_per_s"] = double(lines) / kSeconds;
    }
}
BENCHMARK(BM_LoggerProcess)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_MainWindow(benchmark::State &state)
{
    QTemporaryDir dir;
    Settings s;
    s.configDir = dir.filePath(QStringLiteral("cfg/"));
    s.DataDir = dir.filePath(QStringLiteral("data/"));
    s.host1 = QStringLiteral("127.0.0.1");
    s.port1 = simulatorPort();
    ScpiLink link(s);
    BigAry buffer;
    NoTone tone;
    MainForm main(s, link, buffer, tone);
    link.setHost(&main);
    TCommFrm comm(s, link);
    main.setCommWindow(&comm);
    link.startSupervision();
    main.show();
    comm.INITbClick();
    if (!link.connected()) {
        state.SkipWithError("no connection");
        return;
    }
    qint64 readings = 0;
    QObject::connect(&main.cycle(), &MeasurementCycle::cycleFinished,
                     [&](bool got) { readings += got; });
    for (auto _ : state) {
        readings = 0;
        QElapsedTimer t;
        t.start();
        main.findChild<QCheckBox *>(QStringLiteral("automeas1cb"))->setChecked(true);
        while (t.elapsed() < kSeconds * 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        main.findChild<QCheckBox *>(QStringLiteral("automeas1cb"))->setChecked(false);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["readings_per_s"] = double(readings) / seconds;
    }
    main.cycle().automeas1cbClick(false);
    while (main.cycle().busy())
        QCoreApplication::processEvents();
    link.setHost(nullptr);
}
BENCHMARK(BM_MainWindow)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// The cycle's own pauses, and nothing else: five of 1 ms per reading as bench_cycle counts
// them (the read's wait passes twice when the answer is not there at its first look), and
// four, the least a cycle can pause (the answer already there).
void BM_PauseFloor(benchmark::State &state)
{
    const int pauses = int(state.range(0));
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        qint64 cycles = 0;
        while (t.elapsed() < 2000) {
            for (int i = 0; i < pauses; ++i)
                ScpiLink::DelayMs(1);
            ++cycles;
        }
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        state.counters["readings_per_s"] = double(cycles) / seconds;
    }
}
BENCHMARK(BM_PauseFloor)->Arg(5)->Arg(4)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

TERVAXIS_WIDGETS_BENCHMARK_MAIN()
