// SPDX-License-Identifier: GPL-3.0-or-later
// The reply to "syst:err?" as the link takes it apart into code and text.
#include "app/settings.h"
#include "fuzzinput.h"
#include "link/scpilink.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Settings settings;
    static ScpiLink link(settings);
    link.LastRaw = fuzzWireText(data, size);
    link.ParseSystErr();
    if (link.errtext.size() > 500)
        std::abort();
    return 0;
}
