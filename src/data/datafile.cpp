// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafile.h"

#include "data/datetime.h"
#include "data/numtext.h"
#include "data/textcodec.h"

#include <QFile>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace datafile {

namespace {

// Longest data line: four numbers, two units of up to 15 UTF-8 bytes, date, separators.
constexpr int kMaxLine = 4 * kNumberBufSize + 2 * 16 + 32 + 16;
constexpr qsizetype kChunk = 1 << 20;
// Records formatted by one thread at a time when a buffer file is written.
constexpr int64_t kWriteBlock = 16384;
constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kEpochShift = 25569; // 1899-12-30 is 25569 days before 1970-01-01

// 10^0 .. 10^27 are exact in the 64-bit mantissa of long double.
constexpr long double kPow10[28] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                    1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                    1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L,
                                    1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
}

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    if (m <= 2)
        --y;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

unsigned daysInMonth(int64_t y, unsigned m)
{
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

inline char *put2(char *p, unsigned v)
{
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    return p + 2;
}

// "yyyy-mm-dd hh:nn:ss", then (withMs) sep + "zzz". Rounds to the millisecond the way the
// rest of the program turns a day count into a date-time.
char *putDateTime(char *p, double days, bool withMs, char sep)
{
    int64_t y = 1899;
    unsigned mo = 12, d = 30;
    int64_t ms = 0;
    // Beyond years 1..9999 the value is no date at all; it is written as the zero date.
    if (std::isfinite(days) && days > -693594.0 && days < 2958466.0) {
        const double whole = std::trunc(days);
        ms = std::llround(std::fabs(days - whole) * static_cast<double>(kMsPerDay));
        int64_t wd = static_cast<int64_t>(whole);
        if (ms >= kMsPerDay) {
            ms -= kMsPerDay;
            ++wd;
        }
        civilFromDays(wd - kEpochShift, y, mo, d);
        if (y < 1 || y > 9999) {
            y = 1899, mo = 12, d = 30;
            ms = 0;
        }
    }
    const unsigned yy = static_cast<unsigned>(y);
    p = put2(p, yy / 100);
    p = put2(p, yy % 100);
    *p++ = '-';
    p = put2(p, mo);
    *p++ = '-';
    p = put2(p, d);
    *p++ = ' ';
    const auto t = static_cast<unsigned>(ms);
    p = put2(p, t / 3600000);
    *p++ = ':';
    p = put2(p, t / 60000 % 60);
    *p++ = ':';
    p = put2(p, t / 1000 % 60);
    if (withMs) {
        *p++ = sep;
        const unsigned z = t % 1000;
        *p++ = static_cast<char>('0' + z / 100);
        p = put2(p, z % 100);
    }
    return p;
}

// Rounds a (> 0) to 15 significant digits: mant in [1e14, 1e15) and its decimal exponent.
// False when the quick way cannot be sure (near a tie, or far out of the usual range);
// the exact routine decides those.
bool round15(long double a, uint64_t &mant, int &e10)
{
    static_assert(std::numeric_limits<long double>::digits == 64, "x87 extended format expected");
    // Binary exponent straight from the bits (frexp is a library call).
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &a, sizeof bytes);
    const int e2 = ((bytes[9] & 0x7F) << 8 | bytes[8]) - 16383; // a in [2^e2, 2^(e2+1))
    e10 = static_cast<int>(std::floor(e2 * 0.30102999566398120));
    for (int pass = 0; pass < 2; ++pass) {
        const int n = 14 - e10;
        if (n < -27 || n > 27)
            return false;
        // One rounding of an exact product or quotient: off by at most 2^-64 relative.
        const long double s = n >= 0 ? a * kPow10[n] : a / kPow10[-n];
        if (s >= 1e15L) {
            ++e10;
            continue;
        }
        // Adding 2^63 leaves no fraction bits: the sum is s rounded to an integer, and
        // taking 2^63 off again is exact. Cheaper than an x87 conversion to integer.
        const long double t = s + 0x1p63L;
        uint64_t bits = 0;
        std::memcpy(&bits, &t, sizeof bits);
        uint64_t r = bits - (uint64_t(1) << 63);
        const long double frac = s - (t - 0x1p63L); // within [-0.5, 0.5]
        if (std::fabs(std::fabs(frac) - 0.5L) < 1e-3L)
            return false;
        if (r >= 1000000000000000ULL) {
            r /= 10;
            ++e10;
        }
        mant = r;
        return r >= 100000000000000ULL;
    }
    return false;
}

// The general 15-digit form, the same bytes as numtext::formatGeneral(buf, v), faster.
int formatGeneral15(char *buf, long double v)
{
    if (v == 0 || !std::isfinite(v))
        return numtext::formatGeneral(buf, v);
    uint64_t mant = 0;
    int exponent = 0;
    if (!round15(std::fabs(v), mant, exponent))
        return numtext::formatGeneral(buf, v);
    char digits[16];
    for (int i = 14; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + mant % 10);
        mant /= 10;
    }
    int nd = 15;
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    return numtext::placeDigits(buf, v < 0, digits, nd, exponent);
}

// Unit text as UTF-8; a lone surrogate becomes U+FFFD.
char *putUnit(char *p, const ShortUnit &u)
{
    for (int i = 0; i < 5 && u.c[i] != u'\0'; ++i) {
        uint32_t c = u.c[i];
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c < 0xDC00 && i + 1 < 5 && u.c[i + 1] >= 0xDC00 && u.c[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (u.c[i + 1] - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        }
        if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return p;
}

inline char *putNumber(char *p, long double v, char decSep)
{
    return p + formatNumber(p, v, decSep);
}

// Makes room for one more line without a reallocation per line.
char *lineSpace(QByteArray &out)
{
    const qsizetype old = out.size();
    if (out.capacity() - old < kMaxLine)
        out.reserve(std::max<qsizetype>(2 * out.capacity(), old + kMaxLine));
    out.resize(old + kMaxLine);
    return out.data() + old;
}

inline void endLine(QByteArray &out, char *p)
{
    *p++ = '\r';
    *p++ = '\n';
    out.resize(p - out.constData());
}

QByteArray utf8Cut(const QString &text, qsizetype maxChars)
{
    return text.left(maxChars).toUtf8();
}

// ---- reading ----

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Clinger's fast path for long double: up to 19 digits and a power of ten that is exact
// give the correctly rounded value with one multiplication or division.
bool quickParse(const char *p, const char *end, long double &out)
{
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    uint64_t m = 0;
    int nd = 0;
    int dexp = 0;
    bool any = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        any = true;
        if (m == 0 && *p == '0')
            continue;
        if (nd == 19)
            return false;
        m = m * 10 + static_cast<unsigned>(*p - '0');
        ++nd;
    }
    if (p < end && *p == '.') {
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
            any = true;
            if (m == 0 && *p == '0') {
                --dexp;
                continue;
            }
            if (nd == 19)
                return false;
            m = m * 10 + static_cast<unsigned>(*p - '0');
            ++nd;
            --dexp;
        }
    }
    if (!any)
        return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool eneg = false;
        if (p < end && (*p == '+' || *p == '-')) {
            eneg = *p == '-';
            ++p;
        }
        int e = 0;
        int ed = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p, ++ed) {
            if (ed == 4)
                return false;
            e = e * 10 + (*p - '0');
        }
        if (ed == 0)
            return false;
        dexp += eneg ? -e : e;
    }
    if (p != end)
        return false;
    long double v = 0;
    if (m != 0) {
        if (dexp < -27 || dexp > 27)
            return false;
        v = static_cast<long double>(m);
        v = dexp >= 0 ? v * kPow10[dexp] : v / kPow10[-dexp];
    }
    out = negative ? -v : v;
    return true;
}

// A number field: optionally without its first blank, its first "," read as ".".
long double numberField(const char *begin, const char *end, bool dropFirstSpace, long double def)
{
    char buf[128];
    const qsizetype len = end - begin;
    if (len <= 0 || len >= static_cast<qsizetype>(sizeof buf))
        return def;
    // Most fields hold neither a space to drop nor a comma to turn: read them in place.
    const char *q = begin;
    while (q < end && *q != ',' && *q != ' ' && *q != '\t')
        ++q;
    if (q == end) {
        long double v = 0;
        if (quickParse(begin, end, v))
            return v;
        const auto slow = numtext::parseLongDouble(begin, end);
        return slow ? *slow : def;
    }
    std::memcpy(buf, begin, static_cast<size_t>(len));
    char *e = buf + len;
    if (dropFirstSpace) {
        if (char *s = static_cast<char *>(std::memchr(buf, ' ', static_cast<size_t>(len)))) {
            std::memmove(s, s + 1, static_cast<size_t>(e - s - 1));
            --e;
        }
    }
    if (char *c = static_cast<char *>(std::memchr(buf, ',', static_cast<size_t>(e - buf))))
        *c = '.';
    const char *b = buf;
    while (b < e && isBlank(*b))
        ++b;
    while (e > b && isBlank(e[-1]))
        --e;
    long double v = 0;
    if (quickParse(b, e, v))
        return v;
    const auto slow = numtext::parseLongDouble(b, e);
    return slow ? *slow : def;
}

int intField(const char *begin, const char *end, int def)
{
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    if (begin < end && *begin == '+')
        ++begin;
    int v = 0;
    auto r = std::from_chars(begin, end, v);
    if (r.ec != std::errc() || r.ptr != end || begin == end)
        return def;
    return v;
}

// Unit text of a file: UTF-8, or the Greek code page of older files when it is not UTF-8.
void unitField(const char *begin, const char *end, ShortUnit &unit)
{
    ShortUnit u;
    int n = 0;
    const auto *p = reinterpret_cast<const unsigned char *>(begin);
    const auto *e = reinterpret_cast<const unsigned char *>(end);
    while (p < e) {
        uint32_t c = *p;
        int extra = 0;
        if (c >= 0x80) {
            if (c >= 0xC2 && c <= 0xDF)
                extra = 1, c &= 0x1F;
            else if (c >= 0xE0 && c <= 0xEF)
                extra = 2, c &= 0x0F;
            else if (c >= 0xF0 && c <= 0xF4)
                extra = 3, c &= 0x07;
            else
                break;
            if (e - p <= extra)
                break;
            int k = 1;
            for (; k <= extra && (p[k] & 0xC0) == 0x80; ++k)
                c = (c << 6) | (p[k] & 0x3F);
            if (k <= extra || (extra == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
                (extra == 3 && (c < 0x10000 || c > 0x10FFFF)))
                break;
        }
        p += extra + 1;
        if (c >= 0x10000) {
            if (n < 5)
                u.c[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            if (n < 5)
                u.c[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else if (n < 5) {
            u.c[n++] = static_cast<char16_t>(c);
        }
    }
    if (p < e) // not UTF-8: rare, so the copy does not matter
        u.set(decodeLegacyText(QByteArray(begin, end - begin), LegacyCodepage::Windows1253));
    unit = u;
}

// Cuts the next field off the front of [p, end).
inline void nextField(const char *&p, const char *end, char sep, const char *&fb, const char *&fe)
{
    fb = p;
    const auto *q = static_cast<const char *>(std::memchr(p, sep, static_cast<size_t>(end - p)));
    if (q) {
        fe = q;
        p = q + 1;
    } else {
        fe = end;
        p = end;
    }
}

bool digitsField(const char *&p, const char *end, int minDigits, int maxDigits, int &v)
{
    int n = 0;
    v = 0;
    while (p < end && *p >= '0' && *p <= '9' && n < maxDigits) {
        v = v * 10 + (*p - '0');
        ++p;
        ++n;
    }
    return n >= minDigits && !(p < end && *p >= '0' && *p <= '9');
}

bool writeAll(int fd, const char *data, qsizetype len)
{
    while (len > 0) {
        const ssize_t w = ::write(fd, data, static_cast<size_t>(len));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        len -= w;
    }
    return true;
}

// Writes a whole file through one descriptor, a chunk at a time.
class FileSink
{
public:
    bool open(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            m_errno = errno;
        m_buf.reserve(kChunk + kMaxLine + 4096);
        return m_fd >= 0;
    }
    QByteArray &buffer() { return m_buf; }
    bool maybeFlush() { return m_buf.size() < kChunk || flush(); }
    bool write(const QByteArray &bytes)
    {
        if (m_errno != 0)
            return false;
        if (!writeAll(m_fd, bytes.constData(), bytes.size())) {
            m_errno = errno;
            return false;
        }
        return true;
    }
    bool flush()
    {
        if (m_errno != 0)
            return false;
        if (!writeAll(m_fd, m_buf.constData(), m_buf.size())) {
            m_errno = errno;
            return false;
        }
        m_buf.resize(0);
        return true;
    }
    bool close()
    {
        const bool ok = flush();
        if (m_fd >= 0 && ::close(m_fd) != 0 && m_errno == 0)
            m_errno = errno;
        m_fd = -1;
        return ok && m_errno == 0;
    }
    QString errorText() const { return QString::fromLocal8Bit(std::strerror(m_errno)); }
    ~FileSink()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    int m_fd = -1;
    int m_errno = 0;
    QByteArray m_buf;
};

} // namespace

char separatorOf(FileKind kind)
{
    switch (kind) {
    case FileKind::Comma:
        return ',';
    case FileKind::Tab:
        return '\t';
    case FileKind::Semicolon:
    case FileKind::Any:
        break;
    }
    return ';';
}

QString suffixOf(FileKind kind)
{
    switch (kind) {
    case FileKind::Comma:
        return QStringLiteral("-c.txt");
    case FileKind::Tab:
        return QStringLiteral("-t.txt");
    case FileKind::Semicolon:
        return QStringLiteral("-s.csv");
    case FileKind::Any:
        break;
    }
    return QString();
}

FileKind kindFromFilterIndex(int filterIndex)
{
    switch (filterIndex) {
    case 1:
        return FileKind::Comma;
    case 2:
        return FileKind::Tab;
    case 3:
        return FileKind::Semicolon;
    default:
        return FileKind::Any;
    }
}

FileKind kindFromDefaultFileType(int type)
{
    if (type == 0)
        return FileKind::Comma;
    if (type == 1)
        return FileKind::Tab;
    return FileKind::Semicolon;
}

char decimalSeparatorOf(const QString &setting)
{
    return setting == QLatin1String(",") ? ',' : '.';
}

QString proposedFileName(double readingStamp)
{
    return QStringLiteral("Data_") + dtime::format(QStringLiteral("yyyymmdd-hhnnss"), readingStamp);
}

QByteArray instrumentLine(const InstrumentIds &ids)
{
    QByteArray out = "# TYPE:";
    out += utf8Cut(ids.model, 50);
    out += "  SN:";
    out += utf8Cut(ids.serial, 50);
    out += "  CAL.date:";
    out += utf8Cut(ids.calDate, 50);
    out += "  PROD:";
    out += utf8Cut(ids.manufacturer, 50);
    out += kCrLf;
    return out;
}

QByteArray startLine(char sep, const StartInfo &info)
{
    QByteArray out = "# Start time: ";
    out += dtime::format(QStringLiteral("yyyymmdd-hhnnss"), info.readingStamp).toLatin1();
    out += sep;
    out += " Multiple measurement lasted ";
    out += QByteArray::number(info.seriesMs);
    out += "ms";
    out += sep;
    out += " Multiple delay time ";
    out += QByteArray::number(static_cast<qlonglong>(info.delayMs));
    out += "ms";
    out += sep;
    out += " Measurement repeat time ";
    out += QByteArray::number(static_cast<qlonglong>(info.repeatMs));
    out += "ms";
    out += kCrLf;
    return out;
}

QByteArray columnLine(char sep, ColumnVariant variant)
{
    static const char *const kShared[] = {"# Result ", "units ",      "DateTime ", nullptr,
                                          "Range ",    "Resolution ", "Note "};
    static const char *const kChart[] = {"# Measurement1 ", "units1 ",       "DateTime ", "Range ",
                                         "Resolution ",     "Measurement2 ", "units2 ",   "Flag "};
    QByteArray out;
    auto add = [&](const char *const *names, int n) {
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                out += sep;
            out +=
                names[i] ? names[i] : (variant == ColumnVariant::Automatic ? "miliSecond " : "ms ");
        }
    };
    if (variant == ColumnVariant::Chart)
        add(kChart, 8);
    else
        add(kShared, 7);
    out += kCrLf;
    return out;
}

int formatNumber(char *buf, long double v, char decSep)
{
    const int n = formatGeneral15(buf, v);
    if (decSep != '.') {
        if (char *dot = static_cast<char *>(std::memchr(buf, '.', static_cast<size_t>(n))))
            *dot = decSep;
    }
    return n;
}

QByteArray formatNumber(long double v, char decSep)
{
    char buf[kNumberBufSize];
    return QByteArray(buf, formatNumber(buf, v, decSep));
}

namespace {

// The number texts of the lines before: in a long file the range and the resolution, often
// more, take a few values over and over, and their text is copied instead of formatted.
class NumberMemo
{
public:
    char *put(char *p, int field, long double v, char decSep)
    {
        unsigned char key[10]; // the 80 bits of the value, padding left out
        std::memcpy(key, &v, sizeof key);
        Field &f = m_fields[field];
        Slot *s = nullptr;
        for (Slot &c : f.entries) {
            if (c.len >= 0 && std::memcmp(c.key, key, sizeof key) == 0) {
                s = &c;
                break;
            }
        }
        if (!s) {
            s = &f.entries[f.next];
            f.next = (f.next + 1) % kSlots;
            std::memcpy(s->key, key, sizeof key);
            s->len = formatNumber(s->text, v, decSep);
        }
        std::memcpy(p, s->text, static_cast<size_t>(s->len));
        return p + s->len;
    }

private:
    static constexpr int kSlots = 4;
    struct Slot
    {
        unsigned char key[10];
        int len = -1;
        char text[kNumberBufSize];
    };
    struct Field
    {
        Slot entries[kSlots];
        int next = 0;
    };
    Field m_fields[4];
};

// The fields both data line layouts share; only the milliseconds column differs.
char *putRecord(char *p, const measpol &rec, bool millis, char sep, char decSep,
                NumberMemo *memo = nullptr)
{
    auto number = [&](int field, long double v) {
        p = memo ? memo->put(p, field, v, decSep) : putNumber(p, v, decSep);
    };
    number(0, rec.value1);
    *p++ = sep;
    p = putUnit(p, rec.Lunits1);
    *p++ = sep;
    p = putDateTime(p, rec.dateTime, millis, sep);
    *p++ = sep;
    number(1, rec.range);
    *p++ = sep;
    number(2, rec.resol);
    *p++ = sep;
    number(3, rec.value2);
    *p++ = sep;
    return putUnit(p, rec.Lunits2);
}

} // namespace

void appendDataLine(QByteArray &out, const measpol &rec, char sep, char decSep, bool trailingSep)
{
    char *p = putRecord(lineSpace(out), rec, true, sep, decSep);
    if (trailingSep)
        *p++ = sep;
    endLine(out, p);
}

void appendChartLine(QByteArray &out, const measpol &rec, uint32_t flag, char sep, char decSep)
{
    char *p = putRecord(lineSpace(out), rec, false, sep, decSep);
    *p++ = sep;
    p = std::to_chars(p, p + 12, flag).ptr;
    endLine(out, p);
}

void appendPlainLine(QByteArray &out, const measpol &rec, char sep, char decSep)
{
    endLine(out, putRecord(lineSpace(out), rec, false, sep, decSep));
}

void appendNumberLine(QByteArray &out, long double v, char decSep)
{
    endLine(out, putNumber(lineSpace(out), v, decSep));
}

bool isCommentLine(const char *begin, const char *end)
{
    int chars = 0;
    for (const char *p = begin; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if ((c & 0xC0) == 0x80)
            continue; // inside one UTF-8 character
        if (++chars > 3)
            return false;
        if (c == '#')
            return true;
    }
    return false;
}

bool parseDateTime(const char *begin, const char *end, double &days)
{
    const char *p = begin;
    while (p < end && isBlank(*p))
        ++p;
    while (end > p && isBlank(end[-1]))
        --end;
    int y = 0, mo = 0, d = 0;
    if (!digitsField(p, end, 1, 4, y) || p == end || *p++ != '-')
        return false;
    if (!digitsField(p, end, 1, 2, mo) || p == end || *p++ != '-')
        return false;
    if (!digitsField(p, end, 1, 2, d))
        return false;
    if (y < 1 || mo < 1 || mo > 12 || d < 1 ||
        static_cast<unsigned>(d) > daysInMonth(y, static_cast<unsigned>(mo)))
        return false;
    int h = 0, n = 0, s = 0, z = 0;
    if (p < end) {
        if (!isBlank(*p))
            return false;
        while (p < end && isBlank(*p))
            ++p;
        if (!digitsField(p, end, 1, 2, h) || p == end || *p++ != ':')
            return false;
        if (!digitsField(p, end, 1, 2, n))
            return false;
        if (p < end) {
            if (*p++ != ':' || !digitsField(p, end, 1, 2, s))
                return false;
            if (p < end && (*p++ != '.' || !digitsField(p, end, 1, 3, z)))
                return false;
        }
        if (p != end || h > 23 || n > 59 || s > 59)
            return false;
    }
    const int64_t whole =
        daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) + kEpochShift;
    const double frac = ((h * 60 + n) * 60 + s) * 1000.0 + z;
    const double f = frac / static_cast<double>(kMsPerDay);
    days = whole >= 0 ? static_cast<double>(whole) + f : static_cast<double>(whole) - f;
    return true;
}

LineResult parseDataLine(const char *begin, const char *end, char sep, measpol &rec)
{
    while (end > begin && (end[-1] == '\n' || end[-1] == '\r'))
        --end;
    LineResult res;
    if (isCommentLine(begin, end))
        return res;
    const char *p = begin;
    const char *fb = nullptr;
    const char *fe = nullptr;
    nextField(p, end, sep, fb, fe);
    res.first = numberField(fb, fe, true, -1e39L);
    if (!sentinel::isValid(res.first)) {
        res.kind = LineKind::Rejected;
        return res;
    }
    res.kind = LineKind::Stored;
    rec.value1 = res.first;
    nextField(p, end, sep, fb, fe);
    unitField(fb, fe, rec.Lunits1);
    nextField(p, end, sep, fb, fe);
    double dt = 3.25;
    if (!parseDateTime(fb, fe, dt))
        dt = 3.25;
    nextField(p, end, sep, fb, fe);
    const int ms = intField(fb, fe, 0);
    rec.dateTime = (dt * static_cast<double>(kMsPerDay) + ms) / static_cast<double>(kMsPerDay);
    nextField(p, end, sep, fb, fe);
    rec.range = numberField(fb, fe, false, -1);
    nextField(p, end, sep, fb, fe);
    rec.resol = numberField(fb, fe, false, -1);
    nextField(p, end, sep, fb, fe);
    const long double v2 = numberField(fb, fe, false, -1e39L);
    if (sentinel::isValid(v2))
        rec.value2 = v2;
    // The secondary unit is what follows the first separator of the rest, or the whole
    // rest when none is left: a buffer file line (trailing separator) reads as empty.
    if (const auto *q =
            static_cast<const char *>(std::memchr(p, sep, static_cast<size_t>(end - p))))
        p = q + 1;
    unitField(p, end, rec.Lunits2);
    return res;
}

bool LineSplitter::next(const char *&begin, const char *&end)
{
    if (m_p >= m_end)
        return false;
    if (!m_lfKnown || m_lf < m_p) {
        const auto *lf =
            static_cast<const char *>(std::memchr(m_p, '\n', static_cast<size_t>(m_end - m_p)));
        m_lf = lf ? lf : m_end;
        m_lfKnown = true;
    }
    begin = m_p;
    // A CR before the next LF ends the line, alone or as the first half of CR LF. The LF
    // found once serves all the CR-only lines before it.
    const auto *cr =
        static_cast<const char *>(std::memchr(m_p, '\r', static_cast<size_t>(m_lf - m_p)));
    if (cr) {
        end = cr;
        m_p = cr + 1;
        if (m_p < m_end && *m_p == '\n')
            ++m_p;
    } else {
        end = m_lf;
        m_p = m_lf < m_end ? m_lf + 1 : m_end;
    }
    return true;
}

bool ChunkReader::next(TextBlock &out)
{
    if (m_eof && m_carry.empty())
        return false;
    qsizetype size = static_cast<qsizetype>(m_carry.size());
    qsizetype want = std::max(m_blockBytes, size + 1);
    for (;;) {
        if (static_cast<qsizetype>(out.bytes.size()) < want)
            out.bytes.resize(static_cast<size_t>(want));
        if (!m_carry.empty()) {
            std::memcpy(out.bytes.data(), m_carry.data(), m_carry.size());
            m_carry.clear();
        }
        while (!m_eof && size < want) {
            const ssize_t r =
                ::read(m_fd, out.bytes.data() + size, static_cast<size_t>(want - size));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                m_errno = errno;
                m_eof = true;
                out.size = 0;
                return false;
            }
            if (r == 0)
                m_eof = true;
            size += r;
        }
        if (m_eof) {
            out.size = size;
            return size > 0;
        }
        // Cut after the last line end; a CR as the very last byte may be the first half
        // of a CR LF, so it waits for the next block.
        const char *data = out.bytes.data();
        qsizetype cut = size - 1;
        while (cut >= 0 && data[cut] != '\n' && !(data[cut] == '\r' && cut + 1 < size))
            --cut;
        if (cut >= 0) {
            ++cut;
            m_carry.assign(data + cut, data + size);
            out.size = cut;
            return true;
        }
        // One line fills the whole block: read on behind it.
        want = 2 * want;
    }
}

bool LineReader::next(const char *&begin, const char *&end)
{
    while (!m_lines.next(begin, end)) {
        if (!m_chunks.next(m_block))
            return false;
        m_lines = LineSplitter(m_block.begin(), m_block.end());
    }
    return true;
}

QByteArray bufferFileHead(FileKind kind, const InstrumentIds &ids, const StartInfo &info)
{
    const char sep = separatorOf(kind);
    return instrumentLine(ids) + startLine(sep, info) + columnLine(sep, ColumnVariant::Buffer);
}

bool writeBufferFile(const QString &path, FileKind kind, char decSep, const InstrumentIds &ids,
                     const StartInfo &info, int64_t from, int64_t to, const RecordSource &recordAt,
                     const ProgressFn &progress, QString *error, const std::atomic<bool> *cancel,
                     WriteSplit split)
{
    return writeBufferFile(path, kind, decSep, bufferFileHead(kind, ids, info), from, to, recordAt,
                           progress, error, cancel, split);
}

bool writeBufferFile(const QString &path, FileKind kind, char decSep, const QByteArray &head,
                     int64_t from, int64_t to, const RecordSource &recordAt,
                     const ProgressFn &progress, QString *error, const std::atomic<bool> *cancel,
                     WriteSplit split)
{
    const char sep = separatorOf(kind);
    FileSink sink;
    if (!sink.open(path)) {
        if (error)
            *error = sink.errorText();
        return false;
    }
    sink.buffer() += head;
    bool ok = sink.flush();

    const int64_t block = split.blockRecords > 0 ? split.blockRecords : kWriteBlock;
    const int64_t blocks = to >= from ? (to - from) / block + 1 : 0;
    std::atomic<int64_t> nextFormat{0};
    std::mutex writeLock;
    std::condition_variable turn;
    int64_t nextWrite = 0;
    std::atomic<bool> stop{!ok};
    auto cancelled = [&] { return cancel && cancel->load(std::memory_order_relaxed); };
    auto work = [&] {
        QByteArray text;
        for (;;) {
            const int64_t k = nextFormat++;
            if (k >= blocks)
                break;
            const int64_t first = from + k * block;
            const int64_t last = std::min(to, first + block - 1);
            text.resize(0);
            if (!stop && !cancelled()) {
                NumberMemo memo;
                for (int64_t i = first; i <= last; ++i) {
                    char *p = putRecord(lineSpace(text), recordAt(i), true, sep, decSep, &memo);
                    *p++ = sep;
                    endLine(text, p);
                }
            }
            std::unique_lock lock(writeLock);
            turn.wait(lock, [&] { return nextWrite == k; });
            if (!stop && cancelled())
                stop = true;
            if (!stop) {
                if (progress) {
                    for (int64_t i = (first + 9999) / 10000 * 10000; i <= last; i += 10000)
                        progress(i);
                }
                if (!sink.write(text))
                    stop = true;
            }
            ++nextWrite;
            turn.notify_all();
        }
    };
    if (ok && blocks > 0) {
        int threads = split.threads > 0 ? split.threads
                                        : static_cast<int>(std::thread::hardware_concurrency());
        threads = static_cast<int>(std::clamp<int64_t>(threads, 1, std::min<int64_t>(8, blocks)));
        std::vector<std::jthread> helpers;
        for (int i = 1; i < threads; ++i)
            helpers.emplace_back(work);
        work();
    }
    ok = !stop && sink.close();
    if (!ok && error && !cancelled())
        *error = sink.errorText();
    return ok;
}

bool writeChartFile(const QString &path, FileKind kind, char decSep, const StartInfo &info,
                    int rows, const std::function<ChartRow(int index)> &rowAt, QString *error)
{
    const char sep = separatorOf(kind);
    FileSink sink;
    bool ok = sink.open(path);
    if (ok) {
        QByteArray &buf = sink.buffer();
        buf += startLine(sep, info);
        buf += columnLine(sep, ColumnVariant::Chart);
        for (int i = 0; i < rows; ++i) {
            const ChartRow row = rowAt(i);
            appendChartLine(buf, row.rec, row.flag, sep, decSep);
        }
        ok = sink.close();
    }
    if (!ok && error)
        *error = sink.errorText();
    return ok;
}

} // namespace datafile
