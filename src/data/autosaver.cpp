// SPDX-License-Identifier: GPL-3.0-or-later
#include "autosaver.h"

#include "data/datetime.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString clockNow()
{
    return dtime::format(QStringLiteral("hh:nn:ss"), dtime::now());
}

// mkdir -p that reports the failing errno (0 on success).
int makePath(const QString &dir)
{
    const QByteArray path = QFile::encodeName(dir);
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const QByteArray part = path.left(i);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// Bytes that reached the file; stops at the first error (errno tells).
qsizetype writeSome(const AutoSaver::WriteFn &fn, int fd, const char *data, qsizetype len)
{
    qsizetype done = 0;
    while (done < len) {
        const size_t n = static_cast<size_t>(len - done);
        const long w = fn ? fn(fd, data + done, n) : ::write(fd, data + done, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        done += w;
    }
    return done;
}

// A new directory entry only survives a power cut once its directory is synced.
void syncParentDir(const QString &file)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AutoSaver::AutoSaver(QObject *parent) : QObject(parent) {}

void AutoSaver::setEnvironmentSource(std::function<Environment()> source)
{
    m_env = std::move(source);
}

QString AutoSaver::autoFileName(const QString &dataDir, double readingStamp, int defaultFileType)
{
    QString dir = dataDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("Log/") + datafile::proposedFileName(readingStamp) +
           datafile::suffixOf(datafile::kindFromDefaultFileType(defaultFileType));
}

void AutoSaver::switchOn(const QString &dataDir, double readingStamp, int defaultFileType)
{
    QString dir = dataDir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    if (const int err = makePath(dir + QStringLiteral("Log")))
        emit directoryProblem(dir + QStringLiteral("Log") +
                              QStringLiteral("\nError - create directories: ") +
                              QString::number(err));
    switchOnFile(autoFileName(dataDir, readingStamp, defaultFileType),
                 datafile::separatorOf(datafile::kindFromDefaultFileType(defaultFileType)));
}

void AutoSaver::switchOnFile(const QString &fullName, char sep)
{
    // Readings left staged by a failed write of the previous file are kept: they go into
    // the new file rather than being thrown away, after the mark of any gap before them.
    m_fileName = fullName;
    m_sep = sep;
    m_failing = false;
    m_brokenTail = false;
    m_hasLast = false; // a new file gets the current reading at its forced write
    m_dropped = m_gap.count;
    emit statusText(QStringLiteral("File: ") + fullName);
    emit stateChanged(true);
}

void AutoSaver::switchOff(bool connected, const measpol &current)
{
    recordAndWrite(true, connected, current);
    m_fileName.clear();
    m_lostAt = 0;
    emit stateChanged(false);
}

const measpol &AutoSaver::staged(int i) const
{
    return m_staged[static_cast<size_t>(i)];
}

QByteArray AutoSaver::gapLine(qint64 n, double first, double last)
{
    const QString pattern = QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz");
    return QStringLiteral("# %1 readings lost between %2 and %3 (data file not writable)")
        .arg(n)
        .arg(dtime::format(pattern, first), dtime::format(pattern, last))
        .toUtf8();
}

QByteArray AutoSaver::connectionGapLine(double lost, double restored)
{
    const QString pattern = QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz");
    return QStringLiteral("# connection lost %1, restored %2")
        .arg(dtime::format(pattern, lost), dtime::format(pattern, restored))
        .toUtf8();
}

void AutoSaver::connectionLost(double when)
{
    if (isOn() && m_lostAt == 0)
        m_lostAt = when;
}

void AutoSaver::connectionRestored(double when)
{
    if (m_lostAt != 0 && isOn())
        m_marks.push_back({m_frontPos + stagedCount(), connectionGapLine(m_lostAt, when)});
    m_lostAt = 0;
}

void AutoSaver::stage(const measpol &rec)
{
    if (stagedCount() >= m_capacity) {
        const measpol &lost = m_staged.front();
        if (m_gap.count == 0)
            m_gap.first = lost.dateTime;
        m_gap.last = lost.dateTime;
        ++m_gap.count;
        ++m_dropped;
        m_staged.pop_front();
        ++m_frontPos;
    }
    m_staged.push_back(rec);
    m_last = rec;
    m_hasLast = true;
}

void AutoSaver::dropOldest(int n)
{
    n = std::min(n, stagedCount());
    m_frontPos += n;
    m_staged.erase(m_staged.begin(), m_staged.begin() + n);
    if (m_staged.empty())
        m_staged.shrink_to_fit(); // a long failure's 100 MB go back once it is over
}

qint64 AutoSaver::nowMs() const
{
    if (m_clock)
        return m_clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool AutoSaver::retryDue() const
{
    return !m_failing || nowMs() - m_lastFailure >= kRetryMs;
}

QString AutoSaver::lostText() const
{
    return m_dropped > 0 ? QStringLiteral("  %1 readings lost").arg(m_dropped) : QString();
}

void AutoSaver::failed()
{
    m_failing = true;
    m_lastFailure = nowMs();
    emit statusText(kWriteError + lostText());
}

void AutoSaver::recordAndWrite(bool force, bool connected, const measpol &current)
{
    if (m_fileName.isEmpty()) {
        emit statusText(kNoFile);
        return;
    }
    // The forced write stages the current reading, but not a second time: the last
    // reading would otherwise end every file twice.
    const bool again = force && m_hasLast && current.dateTime == m_last.dateTime &&
                       current.value1 == m_last.value1 && current.value2 == m_last.value2;
    if (connected && !again) {
        // A full list writes first: the oldest reading is dropped only if that fails.
        if (!force && stagedCount() >= m_capacity && retryDue())
            writeBatch(kMaxLinesPerWrite);
        stage(current);
    }
    emit waitHint(QString::number(stagedCount()) + QStringLiteral(" save wait "));
    if (force) {
        writeBatches(m_capacity, true);
        return;
    }
    // At least, not exactly, 51: after a failed write the list is retried.
    if (stagedCount() < kBatch)
        return;
    if (retryDue())
        writeBatches(kMaxLinesPerWrite, false);
}

bool AutoSaver::writeBatches(int maxLines, bool all)
{
    for (;;) {
        if (!writeBatch(maxLines))
            return false;
        const bool markNext = !m_marks.empty() && m_marks.front().pos <= m_frontPos;
        if (!markNext || (stagedCount() == 0 && !all))
            return true;
    }
}

bool AutoSaver::writeBatch(int maxLines)
{
    emit statusText(QStringLiteral("Begin save... ") + clockNow());
    const Environment env = m_env ? m_env() : Environment{};

    const QByteArray name = QFile::encodeName(m_fileName);
    int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    bool created = false;
    if (fd < 0 && errno == ENOENT) {
        // Never truncate: an existing file that cannot be opened is reported, not replaced.
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        created = fd >= 0;
    }
    if (fd < 0) {
        failed();
        return false;
    }
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const off_t oldSize = regular ? st.st_size : 0;
    const bool fresh = created || (regular && oldSize == 0);

    // Head lines and comments go out with the first chunk; it has to reach the file
    // before any data line does.
    QByteArray out;
    if (fresh) {
        out += datafile::instrumentLine(env.ids);
        out += datafile::startLine(m_sep, env.start);
        out += datafile::columnLine(m_sep, datafile::ColumnVariant::Automatic);
    } else if (m_brokenTail) {
        out += datafile::kCrLf; // end the fragment a failed write left behind
    }
    if (m_gap.count > 0) {
        out += gapLine(m_gap.count, m_gap.first, m_gap.last);
        out += datafile::kCrLf;
    }
    if (!m_comment.isEmpty()) {
        out += m_comment.toUtf8();
        out += datafile::kCrLf;
    }
    size_t marks = 0;
    for (; marks < m_marks.size() && m_marks[marks].pos <= m_frontPos; ++marks) {
        out += m_marks[marks].line;
        out += datafile::kCrLf;
    }
    qsizetype prefixEnd = out.size();

    constexpr int kChunk = 2048;
    int total = std::min(stagedCount(), maxLines);
    // A batch ends before the next mark; the following batch begins with it.
    if (marks < m_marks.size())
        total = static_cast<int>(std::min<qint64>(total, m_marks[marks].pos - m_frontPos));
    off_t committed = oldSize; // end of the last whole chunk
    int linesDone = 0;
    bool prefixDone = false;
    bool ok = true;
    std::vector<qsizetype> lineEnds;
    lineEnds.reserve(kChunk);
    do {
        const int n = std::min(kChunk, total - linesDone);
        out.reserve(out.size() + 128 * n);
        lineEnds.clear();
        for (int i = 0; i < n; ++i) {
            datafile::appendDataLine(out, staged(linesDone + i), m_sep, env.decSep, false);
            lineEnds.push_back(out.size());
        }
        const qsizetype written = writeSome(m_write, fd, out.constData(), out.size());
        if (written == out.size()) {
            committed += written;
            linesDone += n;
            prefixDone = true;
            out.truncate(0); // keeps its room for the next chunk
            prefixEnd = 0;
            continue;
        }
        ok = false;
        if (written > 0 && regular) {
            if (::ftruncate(fd, committed) != 0)
                committed = -1; // unknown tail: undo everything below
        } else if (written > 0) {
            // A device or pipe keeps what it took: count the whole lines that went out.
            int done = 0;
            while (done < n && lineEnds[static_cast<size_t>(done)] <= written)
                ++done;
            linesDone += done;
            prefixDone = prefixDone || written >= prefixEnd;
            m_brokenTail = out[written - 1] != '\n';
        }
        break;
    } while (linesDone < total);

    // A character device or pipe cannot be synced; everything else must be.
    const bool wroteSome = committed != oldSize || linesDone > 0 || prefixDone;
    if (wroteSome && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS)
        committed = -1;
    if (committed < 0 && regular) {
        // Nothing of this batch is known to be on disk: cut back, keep all staged.
        ok = false;
        linesDone = 0;
        prefixDone = false;
        if (::ftruncate(fd, oldSize) == 0)
            ::fdatasync(fd);
    }
    ::close(fd);
    if (created && prefixDone)
        syncParentDir(m_fileName);

    if (prefixDone) {
        m_gap = Gap{};
        m_comment.clear();
        m_marks.erase(m_marks.begin(), m_marks.begin() + static_cast<qsizetype>(marks));
    }
    dropOldest(linesDone);
    if (!ok) {
        failed();
        return false;
    }
    m_failing = false;
    m_brokenTail = false;
    emit statusText(QStringLiteral("End save ") + clockNow() + lostText());
    return true;
}
