// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// Date-times are doubles of days since 1899-12-30, local time, with the time of day as
// fraction; intervals are wrap-safe 32-bit millisecond ticks.
namespace dtime {

double fromQDateTime(const QDateTime &dt);
QDateTime toQDateTime(double days);
double now();

// Patterns use the tokens yyyy yy mm m dd d ddd hh h nn n ss s zzz; text in double or
// single quotes is copied, so is every other character. "ddd" is the English day name.
QString format(const QString &pattern, double days);
QString format(const QString &pattern, const QDateTime &dt);

// Millisecond tick counter; wraps after about 49 days.
uint32_t ticks();
// Signed difference a - b that stays right across the wrap.
inline int32_t tickDiff(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(a - b);
}

} // namespace dtime
