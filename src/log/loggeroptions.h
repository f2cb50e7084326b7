// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line of tervaxis-log.
struct LoggerOptions
{
    QString configDir; // empty: the window's default folder
    QString host;
    int port = -1; // -1: from the settings
    int device = 0; // 1..128: an entry of the device list
    QStringList commands;
    int delayMs = -1; // -1: the settings' repeat delay
    qint64 durationMs = 0; // 0: until stopped
    qint64 count = 0;      // 0: no limit
    QString dataDir;
    int defaultFileType = 2; // the save dialog's types: 0 comma, 1 tab, 2 semicolon
    bool toStdout = false;
    bool quiet = false;
    int retryS = 5;
    int giveUpS = 0; // 0: never
    qint64 buffer = 0;

    // Empty with the options in `out`, else the reason for the usage message.
    static QString parse(const QStringList &arguments, LoggerOptions &out);
    static QString usage();
    // "90s", "15m", "12h", "3d", "500ms" or plain seconds; nullopt when it is none.
    static std::optional<qint64> parseDuration(const QString &text);
};
