// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphloader.h"

#include "data/datafile.h"
#include "data/numtext.h"
#include "data/textcodec.h"
#include "engine/readingformat.h"
#include "graph/graphmodel.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace graphload {

namespace {

constexpr long double kNoNumber = -1e39L;
// A number field longer than this is no number at all.
constexpr qsizetype kMaxNumber = 64;

struct Field
{
    const char *begin;
    const char *end;
};

// Field up to the next separator; `rest` moves behind it. `found` says whether one was.
Field nextField(const char *&rest, const char *end, char sep, bool *found = nullptr)
{
    const char *b = rest;
    const auto *s = static_cast<const char *>(std::memchr(b, sep, static_cast<size_t>(end - b)));
    if (found)
        *found = s != nullptr;
    if (!s) {
        rest = end;
        return {b, end};
    }
    rest = s + 1;
    return {b, s};
}

// The number of a field with its first space dropped (when asked) and its first ","
// made "."; `fallback` when it is not a number.
long double number(Field f, long double fallback, bool dropSpace, bool comma)
{
    const qsizetype n = f.end - f.begin;
    if (n <= 0 || n > kMaxNumber)
        return fallback;
    char buf[kMaxNumber];
    qsizetype k = 0;
    bool spaceDone = !dropSpace, commaDone = !comma;
    for (const char *p = f.begin; p != f.end; ++p) {
        char c = *p;
        if (!spaceDone && c == ' ') {
            spaceDone = true;
            continue;
        }
        if (!commaDone && c == ',') {
            commaDone = true;
            c = '.';
        }
        buf[k++] = c;
    }
    return numtext::parseLongDouble(buf, buf + k).value_or(fallback);
}

void setUnit(ShortUnit &u, Field f)
{
    const qsizetype n = std::min<qsizetype>(f.end - f.begin, 40);
    u.set(decodeLegacyText(QByteArray(f.begin, n)));
}

// Where the next record goes and what the buffer looked like around it.
class Writer
{
public:
    Writer(BigAry &buf, Mode mode) : m_buf(buf), m_mode(mode)
    {
        if (mode == Mode::Replace) {
            buf.records().assign(1, measpol{});
            buf.setBookkeeping(0, 0);
            buf.setExtremes(-1e38L, 1e38L);
        }
        m_pos = buf.bigarypos();
        m_cnt = buf.bigarycnt();
        m_max = buf.maximum();
        m_min = buf.minimum();
    }

    // A copy of the slot the next record goes to; the file fills in what it carries.
    measpol target() const
    {
        qint64 s = m_pos;
        if (m_mode == Mode::Append && ++s > m_buf.maxbuffer())
            s = 0;
        return s <= m_buf.High() ? m_buf[s] : measpol{};
    }

    void store(const measpol &rec)
    {
        if (m_mode == Mode::Append) {
            m_buf.Append(rec);
            return;
        }
        MeasRecords &recs = m_buf.records();
        if (m_pos > m_buf.High()) {
            // The whole ring at once: untouched pages stay virtual, nothing is copied.
            if (recs.size() == recs.capacity())
                recs.reserve(std::max<size_t>(static_cast<size_t>(m_buf.maxbuffer()) + 1,
                                              recs.capacity() + 1));
            recs.push_back(rec);
        } else {
            recs[static_cast<size_t>(m_pos)] = rec;
        }
        m_last = m_pos;
        ++m_cnt;
        if (++m_pos >= m_buf.maxbuffer())
            m_pos = 0;
        if (rec.value1 > m_max)
            m_max = rec.value1;
        if (rec.value1 < m_min)
            m_min = rec.value1;
    }

    void finish()
    {
        if (m_mode == Mode::Append)
            return;
        qint64 pos = m_pos, cnt = m_cnt;
        if (pos > 0) {
            --pos;
            --cnt;
        } else if (m_last > 0) {
            // Wrapped exactly at the end: the newest record is the last one written.
            pos = m_last;
        }
        m_buf.setBookkeeping(pos, cnt);
        m_buf.setExtremes(m_max, m_min);
    }

private:
    BigAry &m_buf;
    Mode m_mode;
    qint64 m_pos, m_cnt;
    qint64 m_last = -1;
    long double m_max, m_min;
};

// Oscilloscope export: the sample time decides validity and goes to the range field.
bool parseScopeLine(const char *b, const char *e, char sep, measpol &rec, long double &first)
{
    const char *rest = b;
    first = number(nextField(rest, e, sep), kNoNumber, true, true);
    if (!sentinel::isValid(first))
        return false;
    bool more = false;
    const long double v = number(nextField(rest, e, sep, &more), -1.0L, false, true);
    long double w = kNoNumber;
    if (more) {
        bool sepAfter = false;
        const Field f3 = nextField(rest, e, sep, &sepAfter);
        w = number(f3, kNoNumber, false, !sepAfter);
    }
    rec.range = first;
    rec.value1 = v;
    if (sentinel::isValid(w))
        rec.value2 = w;
    return true;
}

// Only lines with an empty field at character 4 or later are data lines.
bool isInstrumentDataLine(const char *b, const char *e)
{
    const char *comma = static_cast<const char *>(std::memchr(b, ',', static_cast<size_t>(e - b)));
    if (!comma)
        return true;
    for (const char *p = comma; p + 1 < e; ++p) {
        if (p[0] == ',' && p[1] == ',')
            return p - b + 1 >= 4;
    }
    return false;
}

} // namespace

char separatorForFilter(int filterIndex)
{
    switch (filterIndex) {
    case 1:
        return ',';
    case 2:
    case 4:
        return '\t';
    default:
        return ';';
    }
}

Result loadFile(BigAry &buf, const QString &path, Format format, char sep, Mode mode,
                const Progress &progress, const QString &decSep)
{
    Result result;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.ok = false;
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    if (format == Format::Instrument) {
        sep = ',';
        mode = Mode::Replace;
    }
    Writer out(buf, mode);
    datafile::LineReader reader(fd);
    const char *b = nullptr;
    const char *e = nullptr;
    qint64 counter = 0;
    while (reader.next(b, e)) {
        while (e > b && (e[-1] == '\r' || e[-1] == '\n'))
            --e;
        measpol rec = out.target();
        long double first = 0;
        bool stored = false;
        if (format == Format::Instrument) {
            if (!isInstrumentDataLine(b, e))
                continue;
            const char *rest = b;
            nextField(rest, e, ',');
            first = number(nextField(rest, e, ','), kNoNumber, true, false);
            if (counter % 10000 == 0 && progress)
                progress(QStringLiteral("Loading: ") + QString::number(counter) + QLatin1Char(' ') +
                         FormatLongAligned(first, decSep));
            stored = sentinel::isValid(first);
            if (stored) {
                rec.value1 = first;
                setUnit(rec.Lunits1, nextField(rest, e, ','));
                rec.dateTime = 0;
                rec.range = 0;
                rec.resol = 0;
            }
        } else {
            if (datafile::isCommentLine(b, e))
                continue;
            if (format == Format::Scope) {
                stored = parseScopeLine(b, e, sep, rec, first);
            } else {
                const datafile::LineResult r = datafile::parseDataLine(b, e, sep, rec);
                first = r.first;
                stored = r.kind == datafile::LineKind::Stored;
            }
            if (counter % 10000 == 0 && progress)
                progress(QStringLiteral(" Loading: ") + compactCount(counter) +
                         QStringLiteral("  : ") + FormatLongAligned(first, decSep));
        }
        ++counter;
        if (stored)
            out.store(rec);
    }
    out.finish();
    ::close(fd);
    if (reader.error() != 0) {
        result.ok = false;
        result.error = QString::fromLocal8Bit(std::strerror(reader.error()));
    }
    return result;
}

} // namespace graphload
