// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/datafile.h"
#include "engine/measpol.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>

// Automatic saving of every processed reading into the automatic data file, 51 readings
// per disk write. The main window owns one, wires `Savealldata1`, `autosavel`, the status
// bar and the hint of `instumentids` to it, and calls recordAndWrite after each processed
// reading while "Save all data" is checked, and with force at switch-off and at close.
//
// Every batch is appended in chunks of whole lines, then fdatasync'ed before it leaves the
// staging list: a crash loses at most the readings still staged, never a written line. A
// chunk that fails is cut off the file again (so it is never written twice) and stays
// staged. While writes fail (a full disk) the list keeps up to a million readings and a
// batch is retried at most once a second, so measuring goes on at its rate; readings that
// must still be dropped are counted in the status text and marked by a comment line at
// the gap in the file.
class AutoSaver : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBatch = 51;
    // About 100 MB of readings: many minutes of a full disk at the highest rate.
    static constexpr int kMaxStaged = 1000000;
    static constexpr int kRetryMs = 1000;
    // A catch-up after a long failure goes out over several readings, not in one stall.
    static constexpr int kMaxLinesPerWrite = 20000;

    // Test seams: the write(2) used for data, and the millisecond clock of the retries.
    using WriteFn = std::function<long(int fd, const char *data, size_t len)>;
    using ClockFn = std::function<qint64()>;

    // What the head lines of a new file and the number text need from the rest of the
    // program; asked for at every batch so that later changes are taken.
    struct Environment
    {
        datafile::InstrumentIds ids;
        datafile::StartInfo start; // reading time stamp, series duration, delay, repeat
        char decSep = '.';         // the `DecSeparator` setting, see decimalSeparatorOf
    };

    explicit AutoSaver(QObject *parent = nullptr);

    void setEnvironmentSource(std::function<Environment()> source);
    void setWriteFunction(WriteFn fn) { m_write = std::move(fn); }
    void setClock(ClockFn fn) { m_clock = std::move(fn); }
    void setStagingCapacity(int readings) { m_capacity = std::max(kBatch, readings); }

    // DataDir + "Log/Data_yyyymmdd-hhnnss" + suffix of the default file type.
    static QString autoFileName(const QString &dataDir, double readingStamp, int defaultFileType);

    // Switching on: creates DataDir + "Log" (directoryProblem on failure, saving stays on)
    // and names the file after the reading time stamp.
    void switchOn(const QString &dataDir, double readingStamp, int defaultFileType);
    // Switching on with a file of one's own choosing.
    void switchOnFile(const QString &fullName, char sep);
    // Forced write (staging the current reading when connected and not staged already),
    // then off.
    void switchOff(bool connected, const measpol &current);

    // Stages the current reading when the link is connected and writes a batch when 51
    // or more are staged, or always with force (which does not stage the reading staged
    // last once more). current carries the reading state: both
    // values, the reading time stamp, range, resolution and the two unit texts.
    void recordAndWrite(bool force, bool connected, const measpol &current);

    // Writes the head lines now (creating the file) rather than with the first batch, so
    // that a data file that cannot be written is known before the first reading.
    bool writeHead() { return isOn() && writeBatches(0, false); }

    // One comment line written before the next batch's data lines; a later one replaces it.
    void setPendingComment(const QString &line) { m_comment = line; }

    // The link was lost, and is back: while saving, the file gets a comment line at the
    // gap, between the last reading before it and the first after.
    void connectionLost(double when);
    void connectionRestored(double when);
    static QByteArray connectionGapLine(double lost, double restored);
    QString pendingComment() const { return m_comment; }

    bool isOn() const { return !m_fileName.isEmpty(); }
    QString fileName() const { return m_fileName; }
    char separator() const { return m_sep; }
    int stagedCount() const { return static_cast<int>(m_staged.size()); }
    // Readings that fell out of a full staging list (only while writes keep failing),
    // since saving was switched on.
    qint64 droppedCount() const { return m_dropped; }
    // The comment line that marks n lost readings between two reading times.
    static QByteArray gapLine(qint64 n, double first, double last);
    // Staged readings, oldest first (i from 0 to stagedCount() - 1).
    const measpol &staged(int i) const;
    bool lastWriteFailed() const { return m_failing; }

    // Texts and colours of the indicators.
    QString menuHint() const { return QStringLiteral("Save to file:\n") + m_fileName; }
    QString indicatorHint() const { return m_fileName; }
    QColor indicatorColor() const { return isOn() ? QColor(0, 255, 0) : QColor(128, 128, 128); }

    static inline const QString kNoFile = QStringLiteral("Error: No file for save!");
    static inline const QString kWriteError = QStringLiteral(" Error: File write!");

signals:
    // Status bar panel 0; the receiver repaints at once (a batch blocks the cycle).
    void statusText(const QString &text);
    // Hint of the instrument label: count + " save wait ".
    void waitHint(const QString &text);
    // The log directory could not be made; shown in a message box.
    void directoryProblem(const QString &message);
    void stateChanged(bool on);

private:
    // Readings dropped since the last write that reached the file.
    struct Gap
    {
        qint64 count = 0;
        double first = 0;
        double last = 0;
    };

    // A comment line that goes into the file before the reading staged as number `pos`.
    struct Mark
    {
        qint64 pos;
        QByteArray line;
    };

    void stage(const measpol &rec);
    void dropOldest(int n);
    // Writes batches until no mark is left at the front of what is staged (a batch stops
    // before a mark, the next begins with it). `all`: everything staged and every mark.
    bool writeBatches(int maxLines, bool all);
    bool writeBatch(int maxLines);
    void failed();
    QString lostText() const;
    qint64 nowMs() const;
    bool retryDue() const;

    std::function<Environment()> m_env;
    WriteFn m_write;
    ClockFn m_clock;
    QString m_fileName;
    char m_sep = ';';
    QString m_comment;
    std::deque<measpol> m_staged; // oldest first
    int m_capacity = kMaxStaged;
    qint64 m_dropped = 0;
    Gap m_gap;
    qint64 m_lastFailure = 0;
    bool m_failing = false;
    bool m_brokenTail = false; // the file ends inside a line after a failure
    measpol m_last;            // the reading staged last
    bool m_hasLast = false;
    std::deque<Mark> m_marks;
    qint64 m_frontPos = 0; // number of staged(0) in the sequence of staged readings
    double m_lostAt = 0;   // when the link was lost; 0: it was not
};
