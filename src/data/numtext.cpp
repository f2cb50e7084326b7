// SPDX-License-Identifier: GPL-3.0-or-later
#include "numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace numtext {

int placeDigits(char *buf, bool negative, const char *digits, int nd, int exponent, int precision)
{
    int n = 0;
    if (negative)
        buf[n++] = '-';
    if (exponent < -5 || exponent >= precision) {
        buf[n++] = digits[0];
        if (nd > 1) {
            buf[n++] = '.';
            for (int i = 1; i < nd; ++i)
                buf[n++] = digits[i];
        }
        buf[n++] = 'E';
        if (exponent < 0) {
            buf[n++] = '-';
            exponent = -exponent;
        }
        auto r = std::to_chars(buf + n, buf + n + 8, exponent);
        return static_cast<int>(r.ptr - buf);
    }
    if (exponent < 0) {
        buf[n++] = '0';
        buf[n++] = '.';
        for (int i = -1; i > exponent; --i)
            buf[n++] = '0';
        for (int i = 0; i < nd; ++i)
            buf[n++] = digits[i];
        return n;
    }
    for (int i = 0; i <= exponent; ++i)
        buf[n++] = i < nd ? digits[i] : '0';
    if (nd > exponent + 1) {
        buf[n++] = '.';
        for (int i = exponent + 1; i < nd; ++i)
            buf[n++] = digits[i];
    }
    return n;
}

int formatGeneral(char *buf, long double v, int precision)
{
    if (std::isnan(v)) {
        std::memcpy(buf, "NAN", 3);
        return 3;
    }
    if (std::isinf(v)) {
        if (v < 0) {
            std::memcpy(buf, "-INF", 4);
            return 4;
        }
        std::memcpy(buf, "INF", 3);
        return 3;
    }
    if (v == 0) {
        buf[0] = '0';
        return 1;
    }
    // Round to `precision` digits first; the exponent after rounding decides the notation.
    char sci[64];
    auto res =
        std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific, precision - 1);
    const char *p = sci;
    const char *end = res.ptr;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    char digits[64];
    int nd = 0;
    while (p < end && *p != 'e') {
        if (*p != '.')
            digits[nd++] = *p;
        ++p;
    }
    int exponent = 0;
    if (p < end && *p == 'e')
        std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;

    return placeDigits(buf, negative, digits, nd, exponent, precision);
}

QString formatGeneral(long double v, int precision)
{
    char buf[64];
    const int n = formatGeneral(buf, v, precision);
    return QString::fromLatin1(buf, n);
}

QString withDecSeparator(QString text, const QString &sep)
{
    if (sep != QLatin1String("."))
        text.replace(QLatin1Char('.'), sep);
    return text;
}

std::optional<long double> parseLongDouble(const char *begin, const char *end)
{
    while (begin < end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (begin == end)
        return std::nullopt;
    bool negative = false;
    if (*begin == '+' || *begin == '-') {
        negative = *begin == '-';
        ++begin;
    }
    // from_chars would also take "inf", "nan" and a second sign; only plain decimals pass.
    if (begin == end || !((*begin >= '0' && *begin <= '9') || *begin == '.'))
        return std::nullopt;
    long double v = 0;
    auto res = std::from_chars(begin, end, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Out of range: from_chars leaves v alone; give the saturated value as strtold would.
        const char *e = begin;
        while (e < end && *e != 'e' && *e != 'E')
            ++e;
        const bool tiny = e < end && e + 1 < end && e[1] == '-';
        v = tiny ? 0.0L : HUGE_VALL;
    } else if (res.ec != std::errc() || res.ptr != end) {
        return std::nullopt;
    }
    return negative ? -v : v;
}

std::optional<long double> parseLongDouble(QStringView text)
{
    char buf[128];
    if (text.size() >= static_cast<qsizetype>(sizeof buf))
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7f)
            return std::nullopt;
        buf[i] = static_cast<char>(c);
    }
    return parseLongDouble(buf, buf + text.size());
}

std::optional<double> parseDouble(QStringView text)
{
    auto v = parseLongDouble(text);
    if (!v)
        return std::nullopt;
    return static_cast<double>(*v);
}

std::optional<int> parseInt(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 20)
        return std::nullopt;
    char buf[24];
    qsizetype n = 0;
    qsizetype i = 0;
    if (text[0] == QLatin1Char('+'))
        ++i;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7f)
            return std::nullopt;
        buf[n++] = static_cast<char>(c);
    }
    int v = 0;
    auto res = std::from_chars(buf, buf + n, v);
    if (res.ec != std::errc() || res.ptr != buf + n || n == 0)
        return std::nullopt;
    return v;
}

QString formatFixed(long double v, int decimals)
{
    char buf[128];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (res.ec != std::errc())
        return formatGeneral(v);
    return QString::fromLatin1(buf, res.ptr - buf);
}

} // namespace numtext
