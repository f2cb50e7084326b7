// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/settings.h"

#include <QTemporaryDir>

// Built-in settings whose configuration folder lies inside a test's temporary folder.
inline Settings settingsIn(const QTemporaryDir &dir)
{
    Settings s;
    s.configDir = dir.path() + QStringLiteral("/cfg/");
    return s;
}
