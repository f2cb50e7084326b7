// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/datafile.h"
#include "engine/measpol.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

// Automatic saving of every processed reading into the automatic data file, 51 readings
// per disk write. The main window owns one, wires `Savealldata1`, `autosavel`, the status
// bar and the hint of `instumentids` to it, and calls recordAndWrite after each processed
// reading while "Save all data" is checked, and with force at switch-off and at close.
//
// Every batch is written with one append, then fdatasync'ed before it leaves the staging
// list: a crash loses at most the readings still staged, never a written line. A batch
// that fails is cut off the file again (so it is never written twice) and stays staged;
// the next reading retries as long as 51 or more are staged.
class AutoSaver : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBatch = 51;
    // Slot 0 of the list takes the incoming reading; the others hold staged readings.
    static constexpr int kStagingSlots = 2051;
    static constexpr int kMaxStaged = kStagingSlots - 1;

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

    // DataDir + "Log/Data_yyyymmdd-hhnnss" + suffix of the default file type.
    static QString autoFileName(const QString &dataDir, double readingStamp, int defaultFileType);

    // Switching on: creates DataDir + "Log" (directoryProblem on failure, saving stays on)
    // and names the file after the reading time stamp.
    void switchOn(const QString &dataDir, double readingStamp, int defaultFileType);
    // Switching on with a file of one's own choosing.
    void switchOnFile(const QString &fullName, char sep);
    // Forced write (staging the current reading once more when connected), then off.
    void switchOff(bool connected, const measpol &current);

    // Stages the current reading when the link is connected and writes a batch when 51
    // or more are staged, or always with force. current carries the reading state: both
    // values, the reading time stamp, range, resolution and the two unit texts.
    void recordAndWrite(bool force, bool connected, const measpol &current);

    // One comment line written before the next batch's data lines; a later one replaces it.
    void setPendingComment(const QString &line) { m_comment = line; }
    QString pendingComment() const { return m_comment; }

    bool isOn() const { return !m_fileName.isEmpty(); }
    QString fileName() const { return m_fileName; }
    char separator() const { return m_sep; }
    int stagedCount() const { return m_count; }
    // Readings that fell out of a full staging list (only while writes keep failing).
    qint64 droppedCount() const { return m_dropped; }
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
    void stage(const measpol &rec);
    void dropOldest(int n);
    bool writeBatch();

    std::function<Environment()> m_env;
    QString m_fileName;
    char m_sep = ';';
    QString m_comment;
    std::vector<measpol> m_ring;
    int m_newest = -1;
    int m_count = 0;
    qint64 m_dropped = 0;
    bool m_failing = false;
    bool m_brokenTail = false; // the file ends inside a line after a failure
};
