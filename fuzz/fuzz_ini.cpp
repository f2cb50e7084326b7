// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader: a settings or probe file of any content, read, changed and written back.
#include "app/inifile.h"
#include "fuzzinput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    IniFile ini;
    ini.loadFromBytes(fuzzBytes(data, size));
    const QString sec = QStringLiteral("Program");
    (void)ini.readString(sec, QStringLiteral("DataDir"), QString());
    (void)ini.readInt(sec, QStringLiteral("MeasRepeatTime"), 0);
    (void)ini.readBool(sec, QStringLiteral("AllwaysSaveData"), false);
    (void)ini.readFloat(QStringLiteral("Probe"), QStringLiteral("R0"), 100);
    ini.writeString(sec, QStringLiteral("host1"), QStringLiteral("127.0.0.1"));
    ini.writeInt(QStringLiteral("Device-list"), QStringLiteral("Count"), 3);
    // A key written must read back, whatever else the file held.
    IniFile again;
    again.loadFromBytes(ini.toBytes());
    if (again.readInt(QStringLiteral("Device-list"), QStringLiteral("Count"), -1) != 3)
        std::abort();
    ini.eraseSection(sec);
    ini.deleteKey(QStringLiteral("Probe"), QStringLiteral("R0"));
    return 0;
}
