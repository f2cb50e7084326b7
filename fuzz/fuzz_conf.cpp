// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration reply ("conf?") as the reading engine takes it apart.
#include "app/settings.h"
#include "engine/readingengine.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Settings settings;
    ReadingEngine engine(settings);
    engine.ParseConf(fuzzWireText(data, size));
    return 0;
}
