// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Text read from files: UTF-8 when it is valid, else the legacy single-byte code page
// the older Windows files were written in.
enum class LegacyCodepage { Windows1252, Windows1253 };

QString decodeLegacyText(const QByteArray &bytes, LegacyCodepage cp = LegacyCodepage::Windows1252);
bool isValidUtf8(const QByteArray &bytes);
