// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/measpol.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// The text layouts of the data files: composing head, column and data lines, and reading a
// data line back. Everything works on bytes (UTF-8) with "." as the decimal point before
// the configured separator is put in; no locale is ever consulted.
namespace datafile {

inline constexpr const char *kCrLf = "\r\n";
// Number text needs at most this many bytes ("-1.23456789012345E-4931").
inline constexpr int kNumberBufSize = 40;

// The file kinds. `Any` is the "any file" dialog filter: it appends no suffix and writes
// with the semicolon, the separator of the dialogs' initial filter, so such a file reads
// back with the semicolon filter.
enum class FileKind { Comma, Tab, Semicolon, Any };

char separatorOf(FileKind kind);
// "-c.txt", "-t.txt", "-s.csv", or empty for `Any`.
QString suffixOf(FileKind kind);
// 1-based filter index of the save dialogs: 1 comma, 2 tab, 3 semicolon, anything else any.
FileKind kindFromFilterIndex(int filterIndex);
// Default file type of the configuration: 0 comma, 1 tab, anything else semicolon.
FileKind kindFromDefaultFileType(int type);
// The `DecSeparator` setting as one byte: "," gives ',', anything else '.'.
char decimalSeparatorOf(const QString &setting);

// Identification texts taken when the link connects; each is cut to 50 characters.
struct InstrumentIds
{
    QString manufacturer;
    QString model;
    QString serial;
    QString calDate;
};

// What the start line of every file says.
struct StartInfo
{
    double readingStamp = 0; // days since 1899-12-30 of the most recent reading
    uint32_t seriesMs = 0;   // duration of the last multiple measurement
    int64_t delayMs = 0;     // MeasDelayTime
    int64_t repeatMs = 0;    // MeasRepeatTime
};

enum class ColumnVariant { Automatic, Buffer, Chart };

// "Data_" + reading stamp as "yyyymmdd-hhnnss".
QString proposedFileName(double readingStamp);

// Head lines, each with its CR LF.
QByteArray instrumentLine(const InstrumentIds &ids);
QByteArray startLine(char sep, const StartInfo &info);
QByteArray columnLine(char sep, ColumnVariant variant);

// General number form (15 significant digits, "1.5E-7" style exponents) with "." replaced
// by decSep. Writes at most kNumberBufSize bytes and returns the length.
int formatNumber(char *buf, long double v, char decSep = '.');
QByteArray formatNumber(long double v, char decSep = '.');

// Appends one data line with CR LF. The buffer file ends its lines with one more
// separator (trailingSep), the automatic file does not.
void appendDataLine(QByteArray &out, const measpol &rec, char sep, char decSep, bool trailingSep);
// A line of the chart data file: no milliseconds, the flag as the last field.
void appendChartLine(QByteArray &out, const measpol &rec, uint32_t flag, char sep, char decSep);
// The seven fields of a record without milliseconds and without a trailing separator, with
// CR LF: the "complete" line of the clipboard.
void appendPlainLine(QByteArray &out, const measpol &rec, char sep, char decSep);
// One number and CR LF.
void appendNumberLine(QByteArray &out, long double v, char decSep);

// True when the line's first "#" stands in one of its first three characters.
bool isCommentLine(const char *begin, const char *end);

enum class LineKind {
    Comment,  // skipped before counting
    Rejected, // the first field is not a valid reading; nothing stored
    Stored,   // the record was filled in
};

struct LineResult
{
    LineKind kind = LineKind::Comment;
    long double first = 0; // field 1 as converted (also for rejected lines)
};

// Reads one line of the shared layout into rec. Line ends (CR, LF) are ignored. On a
// rejected line rec is left untouched; on a stored line the secondary value is only
// replaced when the file holds a valid one, so rec should be the slot that receives it.
LineResult parseDataLine(const char *begin, const char *end, char sep, measpol &rec);
inline LineResult parseDataLine(const QByteArray &line, char sep, measpol &rec)
{
    return parseDataLine(line.constData(), line.constData() + line.size(), sep, rec);
}

// Reads "yyyy-mm-dd hh:nn:ss[.zzz]" (time optional); false when it is not such a date.
bool parseDateTime(const char *begin, const char *end, double &days);

// Splits text into lines. Files from other programs end their lines in CR LF, LF or CR
// alone; a last line without an end is a line too, an empty rest is none. Lines never
// hold a CR or LF.
class LineSplitter
{
public:
    LineSplitter(const char *begin, const char *end) : m_p(begin), m_end(end), m_lf(begin) {}
    bool next(const char *&begin, const char *&end);

private:
    const char *m_p;
    const char *m_end;
    const char *m_lf; // the first LF at or after m_p (or m_end), once looked for
    bool m_lfKnown = false;
};

// A block of a file that ends at a line end (or at the end of the file).
struct TextBlock
{
    std::vector<char> bytes; // capacity kept from block to block
    qsizetype size = 0;
    const char *begin() const { return bytes.data(); }
    const char *end() const { return bytes.data() + size; }
};

// Reads a file in blocks of whole lines, so each block can be parsed on its own. A line
// longer than a block makes that block longer.
class ChunkReader
{
public:
    static constexpr qsizetype kDefaultBlock = 4 << 20;
    explicit ChunkReader(int fd, qsizetype blockBytes = kDefaultBlock)
        : m_fd(fd), m_blockBytes(std::max<qsizetype>(blockBytes, 1))
    {
    }
    // False at the end of the file or on a read error (see error()).
    bool next(TextBlock &out);
    int error() const { return m_errno; }

private:
    int m_fd;
    qsizetype m_blockBytes;
    std::vector<char> m_carry;
    bool m_eof = false;
    int m_errno = 0;
};

// The lines of a file one after the other; the view stays valid until the next call.
class LineReader
{
public:
    explicit LineReader(int fd) : m_chunks(fd) {}
    // False at the end of the file or on a read error (see error()).
    bool next(const char *&begin, const char *&end);
    int error() const { return m_chunks.error(); }

private:
    ChunkReader m_chunks;
    TextBlock m_block;
    LineSplitter m_lines{nullptr, nullptr};
};

// The buffer data file: head lines and the records [from, to] in chronological order.
// recordAt maps a chronological index to its record and is called from several threads
// at once (it must only read); progress (may be empty) is called with every index that is
// a multiple of 10000, in order, one call after the other. The lines are formatted in
// blocks on every core and written in order. The file is replaced. False with the system's
// error text in *error when the file could not be written; false without one when
// `cancel` was set.
using RecordSource = std::function<const measpol &(int64_t chronologicalIndex)>;
using ProgressFn = std::function<void(int64_t chronologicalIndex)>;
struct WriteSplit
{
    int threads = 0;          // 0: the machine's cores
    int64_t blockRecords = 0; // 0: the default
};
bool writeBufferFile(const QString &path, FileKind kind, char decSep, const InstrumentIds &ids,
                     const StartInfo &info, int64_t from, int64_t to, const RecordSource &recordAt,
                     const ProgressFn &progress, QString *error,
                     const std::atomic<bool> *cancel = nullptr, WriteSplit split = {});
// The three head lines, composed beforehand (the start line's local time is best read on
// the GUI thread), and the same file written behind them.
QByteArray bufferFileHead(FileKind kind, const InstrumentIds &ids, const StartInfo &info);
bool writeBufferFile(const QString &path, FileKind kind, char decSep, const QByteArray &head,
                     int64_t from, int64_t to, const RecordSource &recordAt,
                     const ProgressFn &progress, QString *error,
                     const std::atomic<bool> *cancel = nullptr, WriteSplit split = {});

// One entry of the main window's chart history as the chart data file needs it.
struct ChartRow
{
    measpol rec;
    uint32_t flag = 0;
};
// The chart data file: start line, chart column line and `rows` lines (400 for the chart).
bool writeChartFile(const QString &path, FileKind kind, char decSep, const StartInfo &info,
                    int rows, const std::function<ChartRow(int index)> &rowAt, QString *error);

} // namespace datafile
