// SPDX-License-Identifier: GPL-3.0-or-later
// Round trips of the SCPI link against the zero-latency simulator, next to a bare socket.
#include "app/settings.h"
#include "link/scpilink.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include "qtbenchmain.h"

namespace {

void BM_LinkRoundTrip(benchmark::State &state)
{
    Settings s;
    sim::Simulator sim;
    sim.listen(0);
    ScpiLink link(s);
    if (!link.Connect(QStringLiteral("127.0.0.1"), sim.port())) {
        state.SkipWithError("no connection");
        return;
    }
    for (auto _ : state) {
        link.SendCmd(QStringLiteral("syst:err?"));
        benchmark::DoNotOptimize(link.ReadReply());
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LinkRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same query loop on a bare socket, pumping events the same way but without pauses.
void BM_BareSocketRoundTrip(benchmark::State &state)
{
    sim::Simulator sim;
    sim.listen(0);
    QTcpSocket sock;
    sock.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
    while (sock.state() != QAbstractSocket::ConnectedState)
        QCoreApplication::processEvents();
    sock.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray rx;
    for (auto _ : state) {
        sock.write("syst:err?\r\n");
        sock.flush();
        qsizetype at = -1;
        while ((at = rx.indexOf("\r\n")) < 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            rx += sock.readAll();
        }
        rx.remove(0, at + 2);
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareSocketRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

TERVAXIS_QT_BENCHMARK_MAIN()
