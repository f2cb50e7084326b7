// SPDX-License-Identifier: GPL-3.0-or-later
// A probe file of any content, read as the temperature window reads it, and its constants
// used for a conversion both ways. The first 8 bytes are the resistance to convert.
#include "app/inifile.h"
#include "fuzzinput.h"
#include "tempcalc/probe.h"
#include "tempcalc/tempformula.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    double rt = 100;
    if (size >= sizeof rt) {
        std::memcpy(&rt, data, sizeof rt);
        data += sizeof rt;
        size -= sizeof rt;
    }
    IniFile ini;
    ini.loadFromBytes(fuzzBytes(data, size));
    ProbeParams p = ProbeParams::initial();
    const int type = probes::readProbe(ini, p);
    for (long double v : {p.R0, p.A, p.B, p.C, p.A0, p.A3, p.B0, p.B3})
        if (!std::isfinite(v))
            std::abort(); // a value read is a number or 0
    if (type == 1) {
        if (p.alpha != 0 && p.beta != 0 && p.delta != 0 && p.R0 != 0)
            p.deriveAbc();
        const CvdResult r = CvdTemperature(rt, p.R0, p.A, p.B, p.C);
        (void)CvdResistance(r.Temperature, p.R0, p.A, p.B, p.C);
    } else if (type == 2) {
        const ThermistorResult r = ThermistorTemperature(rt, p.A0, p.A1, p.A2, p.A3);
        (void)ThermistorResistance(r.TKelvin, p.B0, p.B1, p.B2, p.B3);
    }
    return 0;
}
