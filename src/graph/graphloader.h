// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/bigary.h"

#include <QString>

#include <functional>

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

// Called with the progress panel's text every 10000 counted lines.
using Progress = std::function<void(const QString &text)>;

struct Result
{
    bool ok = true;
    QString error; // the system's reason when the file could not be opened or read
};

// Loads `path` into the buffer. A file that cannot be opened leaves the buffer as it was;
// a read error keeps what was stored up to there. `decSep` is the shown separator.
Result loadFile(BigAry &buf, const QString &path, Format format, char sep, Mode mode,
                const Progress &progress, const QString &decSep = QStringLiteral("."));

} // namespace graphload
