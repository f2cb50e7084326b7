// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

// A benchmark program around an application object of class `App`; `offscreen` for those
// that draw, which need no screen.
#define TERVAXIS_BENCHMARK_MAIN_OF(App, offscreen)                                                 \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        if ((offscreen) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        App app(argc, argv);                                                                       \
        benchmark::Initialize(&argc, argv);                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }

// Benchmarks that pump Qt events.
#define TERVAXIS_QT_BENCHMARK_MAIN() TERVAXIS_BENCHMARK_MAIN_OF(QCoreApplication, false)
// Benchmarks that draw or use the clipboard.
#define TERVAXIS_GUI_BENCHMARK_MAIN() TERVAXIS_BENCHMARK_MAIN_OF(QGuiApplication, true)
