// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <cmath>

// A unit name of at most 5 characters, stored inline so records stay flat.
struct ShortUnit
{
    char16_t c[5] = {};

    void set(QStringView text)
    {
        const qsizetype n = std::min<qsizetype>(text.size(), 5);
        for (qsizetype i = 0; i < 5; ++i)
            c[i] = i < n ? text[i].unicode() : u'\0';
    }
    qsizetype size() const
    {
        qsizetype n = 0;
        while (n < 5 && c[n] != u'\0')
            ++n;
        return n;
    }
    QString toString() const { return QString(reinterpret_cast<const QChar *>(c), size()); }
    bool operator==(const ShortUnit &) const = default;
};

// One kept reading. An all-zero record is the content of a new slot.
struct measpol
{
    // Wide fields first: the date-time between them would cost 16 bytes of padding.
    long double value1 = 0; // as displayed: after zero, math, temperature
    long double value2 = 0; // before math or temperature conversion
    long double range = 0;
    long double resol = 0;
    double dateTime = 0; // days since 1899-12-30, local time
    ShortUnit Lunits1;
    ShortUnit Lunits2;
};
static_assert(sizeof(measpol) <= 96, "ten million records must fit in under 1 GiB");

// Value sentinels shared by every part of the program.
namespace sentinel {

inline constexpr long double kEmptyReading = 1e-37L;
// What a failed number conversion yields (both are "unreadable").
inline constexpr long double kConversionFailed = -1e-39L;
inline constexpr long double kConversionFailedAlt = -1.1e-39L;

inline bool isValid(long double x)
{
    const long double a = std::fabs(x);
    return a <= 1e37L && !(a < 1e-36L && x != 0);
}
inline bool isUnreadable(long double x)
{
    return std::fabs(x) < 1e-38L && x != 0;
}
inline bool isOverRange(long double x)
{
    return std::fabs(x) > 1e37L;
}

} // namespace sentinel
