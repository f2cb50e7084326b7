// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

struct Settings;

// Switches that override the settings file for one run. The first pass only picks the
// configuration directory, so the file itself can be chosen; the second wins over it.
namespace commandline {

// `args` without the program name.
void ParseCommandLineFirst(const QStringList &args, Settings &s);
void ParseCommandLineSecond(const QStringList &args, Settings &s);

// The 13 lines of the help text, joined by line feeds.
QString helpText();

} // namespace commandline
