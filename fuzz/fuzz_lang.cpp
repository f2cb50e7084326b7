// SPDX-License-Identifier: GPL-3.0-or-later
// A language file of any content and charset, read and asked for keys as the windows ask.
#include "fuzzinput.h"
#include "lang/langfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const LangFile file = LangFile::fromBytes(fuzzBytes(data, size));
    const QString def = QStringLiteral("Erase Graph!");
    for (const char *key : {"ClearGraph1", "sAplClose", "Intr1R", "Font"}) {
        const QString k = QLatin1String(key);
        const QString text = lang::expandEscapes(file.text(QStringLiteral("Menu"), k, def));
        // A key the file lacks gives its default.
        if (!file.has(QStringLiteral("Menu"), k) && text != def)
            std::abort();
    }
    (void)file.number(QStringLiteral("LANG"), QStringLiteral("SetFont"), 0);
    (void)lang::decodeForCharset(fuzzBytes(data, size), file.charset());
    return 0;
}
