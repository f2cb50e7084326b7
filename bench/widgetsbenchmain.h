// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "qtbenchmain.h"

#include <QApplication>

// Benchmarks that open windows.
#define TERVAXIS_WIDGETS_BENCHMARK_MAIN() TERVAXIS_BENCHMARK_MAIN_OF(QApplication, true)
