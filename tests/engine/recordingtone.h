// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/tone.h"

#include <QList>
#include <QPair>

// Keeps every beep instead of sounding it.
class RecordingTone : public ToneOutput
{
public:
    void beep(int frequencyHz, int durationMs) override { beeps.append({frequencyHz, durationMs}); }
    QList<QPair<int, int>> beeps;
};
