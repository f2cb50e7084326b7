// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphloader.h"

#include "data/datafile.h"
#include "data/numtext.h"
#include "data/textcodec.h"
#include "engine/readingformat.h"
#include "graph/graphmodel.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

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

// A value2 the file did not give: the slot keeps its own. No valid reading is NaN.
constexpr long double kKeep = std::numeric_limits<long double>::quiet_NaN();

// The fields a line sets in its slot; the others stay as the slot held them.
void merge(measpol &slot, const measpol &rec, Format format)
{
    switch (format) {
    case Format::DataFile: {
        const long double v2 = slot.value2;
        slot = rec;
        if (std::isnan(rec.value2))
            slot.value2 = v2;
        break;
    }
    case Format::Scope:
        slot.range = rec.range;
        slot.value1 = rec.value1;
        if (!std::isnan(rec.value2))
            slot.value2 = rec.value2;
        break;
    case Format::Instrument:
        slot.value1 = rec.value1;
        slot.Lunits1 = rec.Lunits1;
        slot.dateTime = 0;
        slot.range = 0;
        slot.resol = 0;
        break;
    }
}

// Where the next record goes and what the buffer looked like around it.
class Writer
{
public:
    Writer(BigAry &buf, Mode mode, Format format) : m_buf(buf), m_mode(mode), m_format(format)
    {
        if (mode == Mode::Replace) {
            buf.records().assign(1, measpol{});
            // The whole ring is reserved as the first record would; known beforehand, its
            // pages can be filled in while the blocks are parsed.
            if (buf.records().capacity() <= 1)
                buf.records().reserve(static_cast<size_t>(buf.maxbuffer()) + 1);
            buf.setBookkeeping(0, 0);
            buf.setExtremes(-1e38L, 1e38L);
        }
        m_pos = buf.bigarypos();
        m_cnt = buf.bigarycnt();
        m_max = buf.maximum();
        m_min = buf.minimum();
    }

    void store(const measpol &rec)
    {
        if (m_mode == Mode::Append) {
            qint64 s = m_buf.bigarypos() + 1;
            if (s > m_buf.maxbuffer())
                s = 0;
            measpol full = s <= m_buf.High() ? m_buf[s] : measpol{};
            merge(full, rec, m_format);
            m_buf.Append(full);
            return;
        }
        MeasRecords &recs = m_buf.records();
        if (m_pos > m_buf.High()) {
            // The whole ring at once: untouched pages stay virtual, nothing is copied.
            if (recs.size() == recs.capacity())
                recs.reserve(std::max<size_t>(static_cast<size_t>(m_buf.maxbuffer()) + 1,
                                              recs.capacity() + 1));
            recs.emplace_back();
        }
        measpol &slot = recs[static_cast<size_t>(m_pos)];
        merge(slot, rec, m_format);
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
    Format m_format;
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

bool isBlankLine(const char *b, const char *e)
{
    for (; b != e; ++b) {
        if (*b != ' ' && *b != '\t')
            return false;
    }
    return true;
}

// A counted line that stored nothing, with the first value its progress text would show.
struct Rejected
{
    qint64 line; // counted index inside the block
    long double first;
};

// One block of whole lines, parsed on its own.
struct Parsed
{
    datafile::TextBlock text;
    std::vector<measpol> recs;
    std::vector<Rejected> rejected;
    qint64 counted = 0;
    qint64 unreadable = 0;
    qint64 index = -1; // place of the block in the file
};

void parseBlock(Parsed &out, Format format, char sep)
{
    out.recs.clear();
    out.rejected.clear();
    out.counted = 0;
    out.unreadable = 0;
    datafile::LineSplitter lines(out.text.begin(), out.text.end());
    const char *b = nullptr;
    const char *e = nullptr;
    while (lines.next(b, e)) {
        measpol rec;
        rec.value2 = kKeep;
        long double first = 0;
        bool stored = false;
        if (format == Format::Instrument) {
            if (!isInstrumentDataLine(b, e))
                continue;
            const char *rest = b;
            nextField(rest, e, ',');
            first = number(nextField(rest, e, ','), kNoNumber, true, false);
            stored = sentinel::isValid(first);
            if (stored) {
                rec.value1 = first;
                setUnit(rec.Lunits1, nextField(rest, e, ','));
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
        }
        if (stored) {
            out.recs.push_back(rec);
        } else {
            out.rejected.push_back({out.counted, first});
            if (!isBlankLine(b, e))
                ++out.unreadable;
        }
        ++out.counted;
    }
}

// Puts the blocks into the buffer in file order, with the running values and progress
// texts of a single pass.
class Placer
{
public:
    Placer(Writer &out, Format format, const Progress &progress, const QString &decSep)
        : m_out(out), m_format(format), m_progress(progress), m_decSep(decSep)
    {
    }

    void place(const Parsed &p)
    {
        if (m_progress) {
            // Every counted line whose number is a multiple of 10000.
            size_t rej = 0;
            for (qint64 j = (10000 - m_lines % 10000) % 10000; j < p.counted; j += 10000) {
                while (rej < p.rejected.size() && p.rejected[rej].line < j)
                    ++rej;
                long double first;
                if (rej < p.rejected.size() && p.rejected[rej].line == j) {
                    first = p.rejected[rej].first;
                } else {
                    const measpol &r = p.recs[static_cast<size_t>(j) - rej];
                    first = m_format == Format::Scope ? r.range : r.value1;
                }
                m_progress(progressText(m_lines + j, first));
            }
        }
        for (const measpol &r : p.recs)
            m_out.store(r);
        m_lines += p.counted;
        m_stored += static_cast<qint64>(p.recs.size());
        m_unreadable += p.unreadable;
    }

    qint64 lines() const { return m_lines; }
    qint64 stored() const { return m_stored; }
    qint64 unreadable() const { return m_unreadable; }

private:
    QString progressText(qint64 i, long double first) const
    {
        if (m_format == Format::Instrument)
            return QStringLiteral("Loading: ") + QString::number(i) + QLatin1Char(' ') +
                   FormatLongAligned(first, m_decSep);
        return QStringLiteral(" Loading: ") + compactCount(i) + QStringLiteral("  : ") +
               FormatLongAligned(first, m_decSep);
    }

    Writer &m_out;
    Format m_format;
    const Progress &m_progress;
    const QString &m_decSep;
    qint64 m_lines = 0;
    qint64 m_stored = 0;
    qint64 m_unreadable = 0;
};

// The reading is shared, the parsing is not, the placing goes block by block in order.
struct Pipeline
{
    datafile::ChunkReader reader;
    Placer &placer;
    Format format;
    char sep;
    const std::atomic<bool> *cancel;

    std::mutex readLock;
    qint64 nextRead = 0;
    std::mutex placeLock;
    std::condition_variable turn;
    qint64 nextPlace = 0;
    std::atomic<bool> stop{false};
    bool readFailed = false;
    // The records' memory not yet used, and how many records the parsed blocks hold.
    char *fresh = nullptr;
    qint64 freshRecords = 0;
    std::atomic<qint64> parsedRecords{0};

    Pipeline(int fd, qsizetype block, Placer &p, Format f, char s, const std::atomic<bool> *c)
        : reader(fd, block), placer(p), format(f), sep(s), cancel(c)
    {
    }

    // Fresh memory is zeroed by the system on its first touch; done here, on the parsing
    // threads, and not one after the other where the records are placed in order. Each
    // block asks for as many records as it holds, so nothing is touched that stays unused.
    void prefault(qint64 records)
    {
#ifdef MADV_POPULATE_WRITE
        const qint64 end = parsedRecords.fetch_add(records) + records;
        const qint64 from = std::min(end - records, freshRecords);
        const qint64 to = std::min(end, freshRecords);
        if (to <= from)
            return;
        const uintptr_t page = 4096;
        const auto b = reinterpret_cast<uintptr_t>(fresh + from * qint64(sizeof(measpol)));
        const auto e = reinterpret_cast<uintptr_t>(fresh + to * qint64(sizeof(measpol)));
        const uintptr_t pb = b & ~(page - 1), pe = (e + page - 1) & ~(page - 1);
        // The kernel fills in the pages and leaves what is in them alone.
        madvise(reinterpret_cast<void *>(pb), pe - pb, MADV_POPULATE_WRITE);
#else
        Q_UNUSED(records);
#endif
    }

    bool cancelled() const
    {
        return cancel && cancel->load(std::memory_order_relaxed);
    }

    void work()
    {
        Parsed p;
        for (;;) {
            {
                const std::lock_guard lock(readLock);
                if (stop || cancelled() || !reader.next(p.text)) {
                    readFailed = readFailed || reader.error() != 0;
                    stop = true;
                    break;
                }
                p.index = nextRead++;
            }
            parseBlock(p, format, sep);
            prefault(static_cast<qint64>(p.recs.size()));
            std::unique_lock lock(placeLock);
            turn.wait(lock, [&] { return nextPlace == p.index; });
            if (!cancelled())
                placer.place(p);
            ++nextPlace;
            turn.notify_all();
        }
        // Blocks read before the stop are still placed by their threads; wake them.
        const std::lock_guard lock(placeLock);
        turn.notify_all();
    }
};

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

Reading readingFor(const QString &path, int filterIndex)
{
    static const std::pair<QLatin1StringView, char> kOwn[] = {
        {QLatin1StringView("-c.txt"), ','},
        {QLatin1StringView("-t.txt"), '\t'},
        {QLatin1StringView("-s.csv"), ';'},
    };
    for (const auto &[suffix, sep] : kOwn) {
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return {Format::DataFile, sep};
    }
    return {filterIndex == 4 ? Format::Scope : Format::DataFile, separatorForFilter(filterIndex)};
}

Result loadFile(BigAry &buf, const QString &path, Format format, char sep, Mode mode,
                const Progress &progress, const QString &decSep, const std::atomic<bool> *cancel,
                Split split)
{
    Result result;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.ok = false;
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    result.opened = true;
    if (format == Format::Instrument) {
        sep = ',';
        mode = Mode::Replace;
    }
    Writer out(buf, mode, format);
    Placer placer(out, format, progress, decSep);
    const qsizetype block =
        split.blockBytes > 0 ? split.blockBytes : datafile::ChunkReader::kDefaultBlock;
    Pipeline line(fd, block, placer, format, sep, cancel);
    MeasRecords &recs = buf.records();
    if (recs.capacity() > recs.size()) {
        line.fresh = reinterpret_cast<char *>(recs.data() + recs.size());
        line.freshRecords = static_cast<qint64>(recs.capacity() - recs.size());
    }
    int threads =
        split.threads > 0 ? split.threads : static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, 8);
    {
        std::vector<std::jthread> helpers;
        for (int i = 1; i < threads; ++i)
            helpers.emplace_back([&line] { line.work(); });
        line.work();
    }
    out.finish();
    ::close(fd);
    result.lines = placer.lines();
    result.stored = placer.stored();
    result.unreadable = placer.unreadable();
    result.cancelled = line.cancelled();
    if (line.readFailed) {
        result.ok = false;
        result.error = QString::fromLocal8Bit(std::strerror(line.reader.error()));
    }
    return result;
}

QString loadedStatus(const BigAry &buf, const Result &r)
{
    QString s = QStringLiteral(" Loaded:") + QString::number(buf.bigarypos());
    if (r.stored == 0 && r.unreadable > 0)
        s += QStringLiteral(" - ") + QString::number(r.unreadable) +
             (r.unreadable == 1 ? QStringLiteral(" line could not be read")
                                : QStringLiteral(" lines could not be read"));
    return s;
}

qint64 recordsForLoad(const BigAry &live, Mode mode, qint64 fileBytes)
{
    const qint64 ring = live.maxbuffer() + 1;
    const qint64 lines = fileBytes / 2 + 1;
    const qint64 kept = mode == Mode::Append ? live.High() + 1 : 1;
    return std::min(ring, kept + lines);
}

qint64 bytesForRecords(qint64 records)
{
    // The records and the graph's shadow copy of their values.
    return records * static_cast<qint64>(sizeof(measpol) + sizeof(double));
}

namespace {
std::atomic<qint64> g_memoryForTests{-1};
}

void setAvailableMemoryForTests(qint64 bytes)
{
    g_memoryForTests = bytes;
}

qint64 availableMemory()
{
    const qint64 forced = g_memoryForTests;
    if (forced >= 0)
        return forced;
    QFile f(QStringLiteral("/proc/meminfo"));
    if (!f.open(QIODevice::ReadOnly))
        return std::numeric_limits<qint64>::max();
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        if (!line.startsWith("MemAvailable:"))
            continue;
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool ok = false;
        const qint64 kb = parts.size() >= 2 ? parts[1].toLongLong(&ok) : 0;
        if (ok)
            return kb * 1024;
    }
    return std::numeric_limits<qint64>::max();
}

LoadJob::LoadJob(BigAry &live, Params params, QObject *parent)
    : QObject(parent), m_live(live), m_p(std::move(params))
{
}

LoadJob::~LoadJob()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_cleanup.joinable())
        m_cleanup.join();
}

bool LoadJob::start()
{
    m_work = std::make_unique<BigAry>(m_live.maxbuffer());
    if (m_p.inPlace) {
        m_work->swapContents(m_live);
    } else {
        const qint64 fileBytes = QFileInfo(m_p.path).size();
        try {
            m_work->records().reserve(
                static_cast<size_t>(recordsForLoad(m_live, m_p.mode, fileBytes)));
        } catch (const std::bad_alloc &) {
            m_work.reset();
            return false;
        }
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void LoadJob::run()
{
    if (!m_p.inPlace && m_p.mode == Mode::Append) {
        // Only read here; the live buffer takes no writes while the job runs.
        const MeasRecords &from = m_live.records();
        m_work->records().assign(from.begin(), from.end());
        m_work->setBookkeeping(m_live.bigarypos(), m_live.bigarycnt());
        m_work->setExtremes(m_live.maximum(), m_live.minimum());
    }
    m_result = loadFile(
        *m_work, m_p.path, m_p.format, m_p.sep, m_p.mode,
        [this](const QString &text) {
            QMetaObject::invokeMethod(
                this, [this, text] { emit progress(text); }, Qt::QueuedConnection);
        },
        m_p.decSep, &m_cancel, m_p.split);
    const bool keep = m_p.inPlace || (m_result.opened && !m_result.cancelled);
    if (keep) {
        m_view = std::make_unique<GraphModel>(*m_work);
        m_view->setImageSize(m_p.width, m_p.height);
        m_view->setSecondary(m_p.secondary);
        m_view->rescale(0, m_work->High());
        m_view->buildColumns();
    } else {
        m_work.reset(); // its memory goes back here, not on the GUI thread
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            // A cancel pressed before the result got here still counts: the records are
            // not handed over.
            if (m_cancel && !m_p.inPlace)
                m_result.cancelled = true;
            emit finished(m_result);
        },
        Qt::QueuedConnection);
}

void LoadJob::handOver(GraphModel &model)
{
    if (m_thread.joinable())
        m_thread.join();
    if (!m_work)
        return;
    if (m_result.cancelled && !m_p.inPlace) {
        m_cleanup = std::thread([work = std::move(m_work), view = std::move(m_view)]() mutable {
            view.reset();
            work.reset();
        });
        return;
    }
    // The view notes the buffer it was computed over, so it goes before the exchange.
    if (m_view)
        model.adoptView(std::move(*m_view));
    else
        model.invalidateShadow();
    m_live.swapContents(*m_work);
    // The records the live buffer held before go back to the system off the GUI thread.
    m_cleanup = std::thread([work = std::move(m_work), view = std::move(m_view)]() mutable {
        view.reset();
        work.reset();
    });
}

SaveJob::SaveJob(const BigAry &live, Params params, QObject *parent)
    : QObject(parent), m_live(live), m_p(std::move(params))
{
}

SaveJob::~SaveJob()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    // Ended before its end was handled (the program closing): no part file stays behind.
    if (!m_ended)
        ::unlink(QFile::encodeName(m_p.path + QStringLiteral(".part")).constData());
}

void SaveJob::start()
{
    const QByteArray head = datafile::bufferFileHead(m_p.kind, m_p.ids, m_p.start);
    m_thread = std::thread([this, head] {
        const QString part = m_p.path + QStringLiteral(".part");
        const BigAry &buf = m_live;
        QString error;
        bool ok = datafile::writeBufferFile(
            part, m_p.kind, m_p.decSep, head, m_p.from, m_p.to,
            [&buf](int64_t i) -> const measpol & {
                return buf[buf.Slot(std::clamp<qint64>(i, 0, buf.High()))];
            },
            [this](int64_t i) {
                const QString text = QStringLiteral("Saving: ") + QString::number(i);
                QMetaObject::invokeMethod(
                    this, [this, text] { emit progress(text); }, Qt::QueuedConnection);
            },
            &error, &m_cancel, m_p.split);
        QMetaObject::invokeMethod(
            this,
            [this, ok, error, part]() mutable {
                // Decided here, so a cancel pressed before the end still counts.
                const QByteArray partName = QFile::encodeName(part);
                if (m_cancel) {
                    ok = false;
                    error.clear();
                }
                if (ok && std::rename(partName.constData(),
                                      QFile::encodeName(m_p.path).constData()) != 0) {
                    ok = false;
                    error = QString::fromLocal8Bit(std::strerror(errno));
                }
                if (!ok)
                    ::unlink(partName.constData());
                m_ended = true;
                emit finished(ok, error);
            },
            Qt::QueuedConnection);
    });
}

} // namespace graphload
