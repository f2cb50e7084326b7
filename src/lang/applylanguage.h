// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class LangFile;
class QWidget;
struct Settings;

// The windows a language file reaches; a window not given is skipped.
struct LanguageWindows
{
    QWidget *main = nullptr;
    QWidget *graph = nullptr;
    QWidget *temperature = nullptr;
    // Windows that take the main window's font (console, configuration, splash).
    QList<QWidget *> fontTakers;
};

// "kavlang/" + the user's language + ".lng" in the data folder; empty with "/nolang".
QString languageFilePath(const Settings &s);

// Reads the file once and applies it; a missing or damaged file gives the defaults.
void ApplyLanguage(const QString &path, const LanguageWindows &windows);
void ApplyLanguage(const LangFile &file, const LanguageWindows &windows);
