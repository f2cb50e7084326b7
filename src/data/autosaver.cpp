// SPDX-License-Identifier: GPL-3.0-or-later
#include "autosaver.h"

#include "data/datetime.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
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
qsizetype writeSome(int fd, const char *data, qsizetype len)
{
    qsizetype done = 0;
    while (done < len) {
        const ssize_t w = ::write(fd, data + done, static_cast<size_t>(len - done));
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

AutoSaver::AutoSaver(QObject *parent) : QObject(parent), m_ring(kMaxStaged) {}

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
    // the new file rather than being thrown away.
    m_fileName = fullName;
    m_sep = sep;
    m_failing = false;
    m_brokenTail = false;
    emit statusText(QStringLiteral("File: ") + fullName);
    emit stateChanged(true);
}

void AutoSaver::switchOff(bool connected, const measpol &current)
{
    recordAndWrite(true, connected, current);
    m_fileName.clear();
    emit stateChanged(false);
}

const measpol &AutoSaver::staged(int i) const
{
    const int oldest = m_newest - m_count + 1;
    return m_ring[static_cast<size_t>((oldest + i + 2 * kMaxStaged) % kMaxStaged)];
}

void AutoSaver::stage(const measpol &rec)
{
    m_newest = (m_newest + 1) % kMaxStaged;
    m_ring[static_cast<size_t>(m_newest)] = rec;
    if (m_count < kMaxStaged)
        ++m_count;
    else
        ++m_dropped; // the oldest slot was just overwritten
}

void AutoSaver::dropOldest(int n)
{
    m_count -= std::min(n, m_count);
}

void AutoSaver::recordAndWrite(bool force, bool connected, const measpol &current)
{
    if (m_fileName.isEmpty()) {
        emit statusText(kNoFile);
        return;
    }
    if (connected)
        stage(current);
    emit waitHint(QString::number(m_count) + QStringLiteral(" save wait "));
    // At least, not exactly, 51: after a failed write every later reading tries again.
    if (!force && m_count < kBatch)
        return;
    writeBatch();
}

bool AutoSaver::writeBatch()
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
        m_failing = true;
        emit statusText(kWriteError);
        return false;
    }
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const off_t oldSize = regular ? st.st_size : 0;
    const bool fresh = created || (regular && oldSize == 0);

    QByteArray out;
    out.reserve(256 * (m_count + 8));
    if (fresh) {
        out += datafile::instrumentLine(env.ids);
        out += datafile::startLine(m_sep, env.start);
        out += datafile::columnLine(m_sep, datafile::ColumnVariant::Automatic);
    } else if (m_brokenTail) {
        out += datafile::kCrLf; // end the fragment a failed write left behind
    }
    if (!m_comment.isEmpty()) {
        out += m_comment.toUtf8();
        out += datafile::kCrLf;
    }
    const qsizetype commentEnd = out.size();
    std::vector<qsizetype> lineEnds;
    lineEnds.reserve(static_cast<size_t>(m_count));
    for (int i = 0; i < m_count; ++i) {
        datafile::appendDataLine(out, staged(i), m_sep, env.decSep, false);
        lineEnds.push_back(out.size());
    }

    const qsizetype written = writeSome(fd, out.constData(), out.size());
    bool ok = written == out.size();
    // A character device or pipe cannot be synced; everything else must be.
    if (ok && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS)
        ok = false;
    if (!ok && written > 0 && regular && ::ftruncate(fd, oldSize) == 0) {
        ::fdatasync(fd);
        // Cut back to where it was: the whole batch stays staged and is written once later.
    } else if (!ok && written > 0) {
        // The bytes stay in the file: take what was written completely off the list.
        int done = 0;
        while (done < m_count && lineEnds[static_cast<size_t>(done)] <= written)
            ++done;
        if (written >= commentEnd)
            m_comment.clear();
        dropOldest(done);
        m_brokenTail = out[written - 1] != '\n';
    }
    ::close(fd);
    if (created && ok)
        syncParentDir(m_fileName);

    if (!ok) {
        m_failing = true;
        emit statusText(kWriteError);
        return false;
    }
    m_comment.clear();
    m_count = 0;
    m_failing = false;
    m_brokenTail = false;
    emit statusText(QStringLiteral("End save ") + clockNow());
    return true;
}
