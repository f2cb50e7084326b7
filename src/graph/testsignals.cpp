// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsignals.h"

#include <QDateTime>

#include <cmath>
#include <random>

namespace testsignals {

void generate(BigAry &buf, Signal signal, const measpol &current,
              const std::function<void(qint64 n)> &progress)
{
    std::mt19937 rng(static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch()));
    measpol rec = current;
    if (signal == Signal::SixValues) {
        for (long double v : {-1.0L, 6.0L, 7.0L, 8.0L, 9.0L, 10.0L}) {
            rec.value1 = v;
            buf.Append(rec);
        }
        return;
    }
    buf.setBookkeeping(buf.bigarypos(), 0);
    if (signal == Signal::BothSines) {
        for (int n = 0; n < 10000; ++n) {
            rec.value1 = std::sin(n / 1591.549430918952L);
            rec.value2 = std::sin(n / 795.7747154595L);
            buf.Append(rec);
        }
        return;
    }
    const bool noise = signal == Signal::NoiseSine;
    const qint64 last = noise ? 157080 : 1000000;
    std::uniform_int_distribution<int> r(0, 24);
    for (qint64 n = 0; n <= last; ++n) {
        if (progress && n % 10000 == 0)
            progress(n);
        const long double s = std::sin(n / 10000.0L);
        rec.value1 = noise ? s * (25 + r(rng)) : s;
        buf.Append(rec);
    }
}

} // namespace testsignals
