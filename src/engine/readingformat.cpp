// SPDX-License-Identifier: GPL-3.0-or-later
#include "readingformat.h"

#include "data/numtext.h"
#include "measpol.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace {

using Buf = QVarLengthArray<char16_t, 64>;

char16_t upperAscii(char16_t c)
{
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

bool matchesAt(const Buf &s, qsizetype i, std::u16string_view pat)
{
    if (i + static_cast<qsizetype>(pat.size()) > s.size())
        return false;
    for (size_t k = 0; k < pat.size(); ++k) {
        if (upperAscii(s[i + static_cast<qsizetype>(k)]) != pat[k])
            return false;
    }
    return true;
}

// Case-insensitive replacement that, like a classic string replace, resumes searching
// after the replaced text: "X00" with "X0" -> "X" gives "X0".
void replace(Buf &s, std::u16string_view pat, std::u16string_view rep, bool all)
{
    Buf out;
    qsizetype i = 0;
    bool done = false;
    while (i < s.size()) {
        if (!done && matchesAt(s, i, pat)) {
            out.append(rep.data(), static_cast<qsizetype>(rep.size()));
            i += static_cast<qsizetype>(pat.size());
            done = !all;
        } else {
            out.append(s[i++]);
        }
    }
    s = std::move(out);
}

struct Scaled
{
    long double value;
    QChar prefix;
};

Scaled choosePrefix(long double x)
{
    const long double a = std::fabs(x);
    if (a > 999999999999999999.0L)
        return {x / 1e18L, QLatin1Char('E')};
    if (a > 999999999999999.0L)
        return {x / 1e15L, QLatin1Char('P')};
    if (a > 999999999999.0L)
        return {x / 1e12L, QLatin1Char('T')};
    if (a > 999999999.0L)
        return {x / 1e9L, QLatin1Char('G')};
    if (a > 999999.0L)
        return {x / 1e6L, QLatin1Char('M')};
    if (a > 999.0L)
        return {x / 1e3L, QLatin1Char('K')};
    // Zero has no scale: "0" with no prefix, never "0a".
    if (a == 0)
        return {x, QLatin1Char(' ')};
    if (a < 1e-15L)
        return {x * 1e18L, QLatin1Char('a')};
    if (a < 1e-12L)
        return {x * 1e15L, QLatin1Char('f')};
    if (a < 1e-9L)
        return {x * 1e12L, QLatin1Char('p')};
    if (a < 1e-6L)
        return {x * 1e9L, QLatin1Char('n')};
    if (a < 0.001L)
        return {x * 1e6L, QChar(0x00B5)};
    if (a < 1.0L)
        return {x * 1e3L, QLatin1Char('m')};
    return {x, QLatin1Char(' ')};
}

const QString kPlusMinusZero = QStringLiteral(u"\u00B10");

QString nonFinite(long double v, bool plus)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (v < 0)
        return QStringLiteral("-INF");
    return plus ? QStringLiteral("+INF") : QStringLiteral("INF");
}

// Large enough for the fixed form of the largest long double.
constexpr int kFixedBuf = 5120;

// Fixed or scientific text of v; `plus` puts "+" before values of zero or more.
int formatNumber(char *buf, int size, long double v, std::chars_format fmt, int decimals, bool plus)
{
    int n = 0;
    if (plus && v >= 0)
        buf[n++] = '+';
    auto res = std::to_chars(buf + n, buf + size, v, fmt, decimals);
    if (res.ec != std::errc())
        return n;
    return static_cast<int>(res.ptr - buf);
}

// Latin-1 text with "." replaced by the separator, cut to `keep` characters (no cut when
// keep < 0), then the prefix (none when null).
QString finish(const char *buf, int n, QStringView decSep, int keep, QChar prefix)
{
    QString s;
    s.reserve(n + 2);
    for (int i = 0; i < n; ++i) {
        if (buf[i] == '.')
            s.append(decSep);
        else if (buf[i] != ' ')
            s.append(QLatin1Char(buf[i]));
    }
    if (keep >= 0 && s.size() > keep)
        s.truncate(keep);
    if (!prefix.isNull())
        s.append(prefix);
    return s;
}

} // namespace

QString CleanNumber(QStringView text)
{
    Buf s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() >= 32)
            s.append(c.unicode());
    }
    replace(s, u"E+", u"EX", false);
    replace(s, u"E-", u"EY", false);
    replace(s, u"+0", u"0", true);
    replace(s, u"X0", u"X", true);
    replace(s, u"Y0", u"Y", true);
    replace(s, u"EX", u"E+0", false);
    replace(s, u"EY", u"E-0", false);
    replace(s, u",", u"", true);
    qsizetype start = !s.isEmpty() && s[0] == u'+' ? 1 : 0;
    return QString(reinterpret_cast<const QChar *>(s.constData() + start), s.size() - start);
}

long double convertNumber(QStringView cleaned, long double failure)
{
    const auto v = numtext::parseLongDouble(cleaned);
    return v ? *v : failure;
}

QString FormatValue(long double x, QStringView decSep)
{
    const Scaled sc = choosePrefix(x);
    if (!std::isfinite(sc.value))
        return nonFinite(sc.value, true);
    if (sc.value == 0)
        return kPlusMinusZero;
    const long double a = std::fabs(sc.value);
    const int decimals = a < 1.2L ? 7 : a < 12 ? 6 : 5;
    char buf[kFixedBuf];
    const int n = formatNumber(buf, kFixedBuf, sc.value, std::chars_format::fixed, decimals, true);
    return finish(buf, n, decSep, 10, sc.prefix);
}

QString FormatPrefixed(QStringView format, long double x, QStringView decSep)
{
    bool plus = format.startsWith(QLatin1Char('+'));
    if (plus)
        format = format.mid(1);
    const qsizetype pct = format.indexOf(QLatin1Char('%'));
    QStringView before = pct < 0 ? format : format.left(pct);
    QStringView after;
    bool zeroPad = false;
    int width = 0;
    int precision = 6;
    char conv = 'f';
    if (pct >= 0) {
        qsizetype i = pct + 1;
        for (; i < format.size(); ++i) {
            const QChar c = format[i];
            if (c == QLatin1Char('0'))
                zeroPad = true;
            else if (c == QLatin1Char('+'))
                plus = true;
            else if (c != QLatin1Char('-') && c != QLatin1Char(' '))
                break;
        }
        for (; i < format.size() && format[i].isDigit(); ++i)
            width = std::min(width * 10 + format[i].digitValue(), 64);
        if (i < format.size() && format[i] == QLatin1Char('.')) {
            precision = 0;
            for (++i; i < format.size() && format[i].isDigit(); ++i)
                precision = std::min(precision * 10 + format[i].digitValue(), 64);
        }
        if (i < format.size()) {
            const char16_t c = format[i].unicode();
            if (c == u'e' || c == u'E' || c == u'g' || c == u'G' || c == u'f' || c == u'F')
                conv = static_cast<char>(c);
            ++i;
        }
        after = format.mid(i);
    }

    const Scaled sc = choosePrefix(x);
    QString number;
    if (!std::isfinite(sc.value)) {
        number = nonFinite(sc.value, plus);
    } else {
        const auto fmt = conv == 'e' || conv == 'E'   ? std::chars_format::scientific
                         : conv == 'g' || conv == 'G' ? std::chars_format::general
                                                      : std::chars_format::fixed;
        char buf[kFixedBuf];
        int n = formatNumber(buf, kFixedBuf, sc.value, fmt,
                             fmt == std::chars_format::general ? std::max(precision, 1) : precision,
                             plus);
        if (conv == 'E' || conv == 'G')
            std::transform(buf, buf + n, buf, [](char c) { return c == 'e' ? 'E' : c; });
        if (zeroPad && n < width) {
            const int sign = (buf[0] == '+' || buf[0] == '-') ? 1 : 0;
            const int pad = width - n;
            std::move_backward(buf + sign, buf + n, buf + n + pad);
            std::fill(buf + sign, buf + sign + pad, '0');
            n = width;
        }
        number = finish(buf, n, decSep, -1, QChar());
    }
    QString out;
    for (QChar c : before) {
        if (c != QLatin1Char(' '))
            out.append(c);
    }
    out.append(number);
    for (QChar c : after) {
        if (c != QLatin1Char(' '))
            out.append(c);
    }
    out.append(sc.prefix);
    return out;
}

QString FormatLong(long double x, QStringView decSep)
{
    const Scaled sc = choosePrefix(x);
    if (!std::isfinite(sc.value))
        return QStringLiteral("??");
    if (sc.value == 0)
        return kPlusMinusZero;
    const long double a = std::fabs(sc.value);
    const int decimals = a < 1.1L ? 11 : a < 11 ? 10 : a < 110 ? 9 : 8;
    char buf[kFixedBuf];
    const int n = formatNumber(buf, kFixedBuf, sc.value, std::chars_format::fixed, decimals, true);
    return finish(buf, n, decSep, 12, sc.prefix);
}

QString FormatLongAligned(long double x, QStringView decSep)
{
    const QString s = FormatLong(x, decSep);
    if (s.size() >= 14)
        return s.right(14);
    return QString(14 - s.size(), QLatin1Char(' ')) + s;
}

QString emptyBar()
{
    return QString(kBarLength, kBarFiller);
}

QString fullBar()
{
    return QString(kBarLength, kBarBlock);
}

QString barText(long double v, long double range)
{
    long double n = 0;
    if (v != 0 && range != 0)
        n = std::round(50 * std::fabs(v) / (1.2L * range));
    // Negative or NaN counts draw nothing; huge ones are cut to the bar anyway.
    const int count = n > 0 ? static_cast<int>(std::min<long double>(n, kBarLength)) : 0;
    const long double direction = range * 1.2L / v;
    QString s(kBarLength, QChar());
    const QChar first = direction >= 0 ? kBarBlock : kBarFiller;
    const QChar rest = direction >= 0 ? kBarFiller : kBarBlock;
    for (int i = 0; i < kBarLength; ++i)
        s[i] = i < count ? first : rest;
    return s;
}

bool FilterPass(long double value, bool enabled, long double low, long double high)
{
    return !enabled || (low < value && value < high);
}

QString valueLogText(long double x, QStringView decSep)
{
    if (sentinel::isUnreadable(x))
        return QStringLiteral("VALUE UNKNOWN");
    if (std::fabs(x) <= 1e37L)
        return FormatValue(x, decSep);
    return QStringLiteral("OVERLOAD!");
}

ValueField interpretValueField(QStringView field, const QString &stamp, QStringView decSep)
{
    ValueField r;
    r.cleaned = CleanNumber(field);
    r.value = convertNumber(r.cleaned, sentinel::kConversionFailedAlt);
    r.log << QStringLiteral("<C ") + r.cleaned;
    r.showLastValue = sentinel::isValid(r.value);
    const long double a = std::fabs(r.value);
    if (sentinel::isUnreadable(r.value)) {
        r.log << stamp + QStringLiteral(" ALL<# VALUE UNKNOWN");
        r.drainRead = true;
    } else if (a <= 1e37L) {
        r.log << stamp + QStringLiteral(" All<# ") + FormatValue(r.value, decSep);
    } else {
        r.log << stamp + QStringLiteral(" All<# ") + QStringLiteral("OVERLOAD!");
    }
    return r;
}

QString binaryPrefixed(qint64 bytes)
{
    static const char *const kPrefixes[] = {"", "Ki", "Mi", "Gi", "Ti"};
    long double v = static_cast<long double>(bytes);
    int k = 0;
    while (std::fabs(v) >= 1024 && k < 4) {
        v /= 1024;
        ++k;
    }
    const QString number = k == 0 ? QString::number(bytes) : numtext::formatFixed(v, 2);
    return number + QLatin1Char(' ') + QLatin1String(kPrefixes[k]) + QLatin1Char('B');
}

QString internalInfoText(const InternalInfo &i)
{
    QString s;
    s += QStringLiteral("LastRaw:\t") + i.LastRaw;
    s += QStringLiteral("\nLastData:\t") + i.LastData;
    s += QStringLiteral("\nLastCMD:\t") + i.LastCMD;
    s += QStringLiteral("\nLunits1:\t") + i.Lunits1;
    s += QStringLiteral("\nLunits2:\t") + i.Lunits2;
    s += QStringLiteral("\nUnits1:\t") + i.Units1;
    s += QStringLiteral("\nUnits2:\t") + i.Units2;
    s += QStringLiteral("\n\nhigh bigary\t") + QString::number(i.high);
    s += QStringLiteral("\nbigarypos \t") + QString::number(i.bigarypos);
    s += QStringLiteral("\nbigarycnt \t") + QString::number(i.bigarycnt);
    s += QStringLiteral("\nmaxbuffer \t") + QString::number(i.maxbuffer);
    s += QStringLiteral("\nSize BigAry of measpol\t") + binaryPrefixed(i.high * i.recordSize);
    s += QStringLiteral("\n\n") + i.languageFile;
    s += QLatin1Char('\n') + i.autoDataFile;
    s += QLatin1Char('\n') + i.configDir;
    s += QLatin1Char('\n') + i.dataDir;
    s += QLatin1Char('\n') + i.languageName;
    if (i.terminator == QLatin1String("\r\n"))
        s += QStringLiteral("\nEOL = 0D0A [CRLF]");
    else if (i.terminator == QLatin1String("\r"))
        s += QStringLiteral("\nEOL = 0D [CR]");
    else if (i.terminator == QLatin1String("\n"))
        s += QStringLiteral("\nEOL = 0A [LF]");
    return s;
}
