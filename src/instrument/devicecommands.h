// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Texts of the instrument-level commands of the Device menu and the display text field.
namespace devcmd {

inline constexpr QLatin1StringView kLocal{"syst:loc"};
inline constexpr QLatin1StringView kRemote{"syst:rem"};
inline constexpr QLatin1StringView kRemoteWithLock{"syst:rwl"};
inline constexpr QLatin1StringView kReset{"*RST"};
inline constexpr QLatin1StringView kErrorQuery{"syst:err?"};
inline constexpr int kDisplayTextLength = 12;

// "syst:time hh:nn:ss" and "syst:date mm-dd-yyyy" for the given local time.
QString timeCommand(const QDateTime &localTime);
QString dateCommand(const QDateTime &localTime);

// The lines that put `text` on the instrument display: "0" turns it off, an empty text
// clears it. Apostrophes are doubled inside the quoted string and control characters
// dropped, so the text can neither end the string early nor start a second command.
QStringList displayTextCommands(const QString &text);

// "Set alternative reading" toggled to `checked`.
QString alternateReadingCommand(bool checked);

// lasterrs: message, a blank, the decimal number.
QString errorLine(const QString &errtext, int errcode);

// Which Device menu items are enabled while the menus are browsed.
struct DeviceMenuState
{
    bool alternateReading = false;
    bool localMode = false;
    bool remoteMode = false;
    bool remoteWithLock = false;
    bool timeAndDate = false;
    bool reset = false;
    bool operator==(const DeviceMenuState &) const = default;
};
DeviceMenuState deviceMenuState(bool measbEnabled, bool connected);

} // namespace devcmd
