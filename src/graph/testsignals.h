// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/bigary.h"

#include <functional>

// Synthetic readings to try the graph on large, known data without an instrument.
namespace testsignals {

enum class Signal {
    NoiseSine, // 157081 samples of sin(n / 10000) x (25 + r), r random 0..24
    PureSine,  // 1000001 samples of sin(n / 10000)
    BothSines, // 10000 samples: one period primary, two periods secondary
    SixValues, // -1, 6, 7, 8, 9, 10
};

// Every sample is the current reading with the generated value(s), appended the ordinary
// way. The sines restart the record count first; `progress` gets every 10000th sample
// number of the long signals.
void generate(BigAry &buf, Signal signal, const measpol &current,
              const std::function<void(qint64 n)> &progress = {});

} // namespace testsignals
