// SPDX-License-Identifier: GPL-3.0-or-later
// The reply to "fetch?" (a series' comma-separated readings) over a real loopback link to
// the in-process simulator, which answers with the fuzzer's bytes.
#include "app/settings.h"
#include "fuzzinput.h"
#include "link/scpilink.h"
#include "simulator.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdlib>

namespace {

struct Bench
{
    Settings settings;
    sim::Simulator sim;
    ScpiLink link{settings};
};
Bench *g_bench = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    g_bench = new Bench;
    g_bench->settings.LanTimeout = 400;
    g_bench->settings.DataTimeout = 3000;
    if (!g_bench->sim.listen(0) ||
        !g_bench->link.Connect(QStringLiteral("127.0.0.1"), g_bench->sim.port()))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Line ends would split the reply in two and leave the link a line behind.
    QString reply = fuzzWireText(data, size);
    reply.remove(QLatin1Char('\r'));
    reply.remove(QLatin1Char('\n'));
    g_bench->sim.setCannedReply(QStringLiteral("fetch?"), reply);
    g_bench->link.SendCmd(QStringLiteral("fetch?"));
    qsizetype last = 0;
    g_bench->link.FetchList([&last](long double v, qsizetype n, qsizetype total) {
        if (n != last + 1 || n > total)
            std::abort();
        last = n;
        return v;
    });
    return 0;
}
