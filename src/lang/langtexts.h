// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// The messages and menu texts the language file set, for every window to read.
namespace lang {

// The loaded text of a held key, else its built-in default; empty for unknown keys.
QString text(QStringView key);
void hold(const QString &key, const QString &value);
// Back to the built-in defaults (at shutdown, and between tests).
void clearTexts();

} // namespace lang
