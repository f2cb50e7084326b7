// SPDX-License-Identifier: GPL-3.0-or-later
#include "datetime.h"

#include <QElapsedTimer>

#include <cmath>

namespace dtime {

namespace {
const QDate kEpoch(1899, 12, 30);

QString pad(int v, int width)
{
    return QString::number(v).rightJustified(width, QLatin1Char('0'));
}
} // namespace

double fromQDateTime(const QDateTime &dt)
{
    const QDateTime local = dt.toLocalTime();
    const qint64 days = kEpoch.daysTo(local.date());
    const double frac = local.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the fraction counts away from zero, as the stored form has it.
    return days >= 0 ? days + frac : days - frac;
}

QDateTime toQDateTime(double days)
{
    if (!std::isfinite(days))
        return QDateTime();
    const double whole = std::trunc(days);
    const double frac = std::fabs(days - whole);
    qint64 ms = std::llround(frac * 86400000.0);
    QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    if (ms >= 86400000) {
        ms -= 86400000;
        date = date.addDays(1);
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double now()
{
    return fromQDateTime(QDateTime::currentDateTime());
}

QString format(const QString &pattern, const QDateTime &dt)
{
    static const char *const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString out;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    auto run = [&](QChar c) {
        qsizetype k = i;
        while (k < n && pattern[k].toLower() == c)
            ++k;
        return k - i;
    };
    while (i < n) {
        const QChar c = pattern[i].toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype close = pattern.indexOf(pattern[i], i + 1);
            const qsizetype stop = close < 0 ? n : close;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        qsizetype len = run(c);
        if (c == QLatin1Char('y')) {
            out += len >= 3 ? pad(d.year(), 4) : pad(d.year() % 100, 2);
        } else if (c == QLatin1Char('m')) {
            len = std::min<qsizetype>(len, 2);
            out += len == 2 ? pad(d.month(), 2) : QString::number(d.month());
        } else if (c == QLatin1Char('d')) {
            len = std::min<qsizetype>(len, 3);
            if (len == 3)
                out += QLatin1String(kDays[d.dayOfWeek() - 1]);
            else
                out += len == 2 ? pad(d.day(), 2) : QString::number(d.day());
        } else if (c == QLatin1Char('h')) {
            len = std::min<qsizetype>(len, 2);
            out += len == 2 ? pad(t.hour(), 2) : QString::number(t.hour());
        } else if (c == QLatin1Char('n')) {
            len = std::min<qsizetype>(len, 2);
            out += len == 2 ? pad(t.minute(), 2) : QString::number(t.minute());
        } else if (c == QLatin1Char('s')) {
            len = std::min<qsizetype>(len, 2);
            out += len == 2 ? pad(t.second(), 2) : QString::number(t.second());
        } else if (c == QLatin1Char('z')) {
            len = std::min<qsizetype>(len, 3);
            out += len == 3 ? pad(t.msec(), 3) : QString::number(t.msec());
        } else {
            len = 1;
            out += pattern[i];
        }
        i += len;
    }
    return out;
}

QString format(const QString &pattern, double days)
{
    return format(pattern, toQDateTime(days));
}

uint32_t ticks()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Start away from zero so a tick of 0 never means "unset" by accident.
    return static_cast<uint32_t>(timer.elapsed() + 1000);
}

} // namespace dtime
