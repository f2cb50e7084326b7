// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where limit beeps go: a sound device, nothing, or a test's recorder.
class ToneOutput
{
public:
    virtual ~ToneOutput() = default;
    virtual void beep(int frequencyHz, int durationMs) = 0;
};
