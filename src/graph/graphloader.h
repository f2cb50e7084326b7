// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/datafile.h"
#include "engine/bigary.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class GraphModel;

// Filling the buffer from files: the program's own data files, oscilloscope exports and
// the instrument's CSV files, replacing the buffer or appending to it.
namespace graphload {

enum class Format {
    DataFile,   // the shared data-line layout
    Scope,      // time, value[, secondary] of an oscilloscope export
    Instrument, // the 884x's own CSV files
};
enum class Mode { Replace, Append };

// Open-dialog filter (1-based) -> separator: 1 ",", 2 TAB, 3 ";", 4 TAB, else ";".
char separatorForFilter(int filterIndex);

// What "Load..." reads a file as. A name ending in one of the program's own suffixes
// ("-c.txt", "-t.txt", "-s.csv") is the program's own layout with that suffix's separator,
// whatever filter was chosen; otherwise the filter decides (4: oscilloscope export).
struct Reading
{
    Format format;
    char sep;
};
Reading readingFor(const QString &path, int filterIndex);

// Called with the progress panel's text every 10000 counted lines, in file order. With
// more than one thread the calls come from the worker threads, one after the other.
using Progress = std::function<void(const QString &text)>;

struct Result
{
    bool ok = true;
    QString error;       // the system's reason when the file could not be opened or read
    bool opened = false; // false: the buffer was not touched
    bool cancelled = false;
    qint64 lines = 0;      // lines counted (comments and skipped CSV lines aside)
    qint64 stored = 0;     // records stored
    qint64 unreadable = 0; // counted lines that stored nothing, blank lines aside
};

// How the file is cut up: `threads` 0 takes the machine's cores, `blockBytes` 0 the
// reader's default. The result never depends on either.
struct Split
{
    int threads = 0;
    qsizetype blockBytes = 0;
};

// Loads `path` into the buffer. A file that cannot be opened leaves the buffer as it was;
// a read error or a cancel keeps what was stored up to there. `decSep` is the shown
// separator. The file is parsed in blocks of whole lines on every core; the records,
// counters and progress texts are those of reading it line by line.
Result loadFile(BigAry &buf, const QString &path, Format format, char sep, Mode mode,
                const Progress &progress, const QString &decSep = QStringLiteral("."),
                const std::atomic<bool> *cancel = nullptr, Split split = {});

// " Loaded:" + write position; when nothing was stored although the file had data lines,
// how many could not be read.
QString loadedStatus(const BigAry &buf, const Result &r);

// Records a second buffer must hold to load a file of `fileBytes` (a line takes at least
// two bytes), and the bytes that takes.
qint64 recordsForLoad(const BigAry &live, Mode mode, qint64 fileBytes);
qint64 bytesForRecords(qint64 records);
// Memory the system can still give ("MemAvailable"). A test sets its own figure; a
// negative one asks the system again.
qint64 availableMemory();
void setAvailableMemoryForTests(qint64 bytes);

// One load on a thread of its own. It reads into a second buffer that nobody else touches
// and hands that over whole; in place (no memory for a second one) it takes the live
// buffer's records along and gives them back at the end. The worker never touches a
// widget; what it has to say comes as queued signals.
class LoadJob : public QObject
{
    Q_OBJECT
public:
    struct Params
    {
        QString path;
        Format format = Format::DataFile;
        char sep = ';';
        Mode mode = Mode::Replace;
        QString decSep = QStringLiteral(".");
        bool inPlace = false;
        // The graph's view after the load, computed on the job's thread.
        int width = 1;
        int height = 1;
        bool secondary = false;
        Split split;
    };

    LoadJob(BigAry &live, Params params, QObject *parent = nullptr);
    ~LoadJob() override;

    // False when the second buffer's memory could not be had; nothing has started then.
    bool start();
    void cancel() { m_cancel = true; }
    const Params &params() const { return m_p; }

    // On the GUI thread after finished(): the loaded records take the live buffer's place
    // and the model gets the view computed with them. A load into a second buffer that was
    // cancelled or could not open the file changes nothing.
    void handOver(GraphModel &model);

signals:
    void progress(const QString &text);
    void finished(const graphload::Result &result);

private:
    void run();

    BigAry &m_live;
    Params m_p;
    std::unique_ptr<BigAry> m_work;
    std::unique_ptr<GraphModel> m_view;
    Result m_result;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
    std::thread m_cleanup;
};

// "Save..." on a thread of its own: the buffer file is written beside its name and put in
// its place only when complete, so a cancel or a full disk leaves no cut file and an
// older file of that name intact. The live buffer is only read meanwhile.
class SaveJob : public QObject
{
    Q_OBJECT
public:
    struct Params
    {
        QString path;
        datafile::FileKind kind = datafile::FileKind::Semicolon;
        char decSep = '.';
        datafile::InstrumentIds ids;
        datafile::StartInfo start;
        qint64 from = 0;
        qint64 to = 0;
        datafile::WriteSplit split;
    };

    SaveJob(const BigAry &live, Params params, QObject *parent = nullptr);
    ~SaveJob() override;
    void start();
    void cancel() { m_cancel = true; }

signals:
    // "Saving: " + index, for every index that is a multiple of 10000.
    void progress(const QString &text);
    // `error` is empty when the save was cancelled.
    void finished(bool ok, const QString &error);

private:
    const BigAry &m_live;
    Params m_p;
    std::atomic<bool> m_cancel{false};
    bool m_ended = false;
    std::thread m_thread;
};

} // namespace graphload
