// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The console's typed-command history, newest first, kept in a plain text file.
namespace cmdhistory {

inline constexpr int kAddLimit = 64;
inline constexpr int kPromoteLimit = 50;

// Adds `text` on top unless it already occurs anywhere in the history's text, ignoring case
// (so a command that is part of a longer entry is not added).
void AddHistory(QStringList &history, const QString &text);
// Puts `text` on top and removes its other copies, ignoring case.
void PromoteHistory(QStringList &history, const QString &text);

// A missing or unreadable file gives an empty history.
QStringList load(const QString &path);
bool save(const QString &path, const QStringList &history);

} // namespace cmdhistory
