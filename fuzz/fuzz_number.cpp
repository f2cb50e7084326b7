// SPDX-License-Identifier: GPL-3.0-or-later
// Number fields of replies and files: cleaning, conversion and the strict parsers.
#include "data/numtext.h"
#include "engine/readingformat.h"
#include "fuzzinput.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzWireText(data, size);
    const QString cleaned = CleanNumber(text);
    const long double v = convertNumber(cleaned, -1e39L);
    // Whatever came in, the display forms must cope with what came out.
    (void)FormatValue(v);
    (void)FormatLong(v, u",");

    const QByteArray bytes = fuzzBytes(data, size);
    if (const auto p = numtext::parseLongDouble(bytes.constData(), bytes.constData() + size)) {
        // A number that parses must come back from its own text.
        char buf[40];
        const int n = numtext::formatGeneral(buf, *p);
        const auto again = numtext::parseLongDouble(buf, buf + n);
        if (std::isfinite(*p) && std::fabs(*p) > 1e-4900L &&
            (!again || (*again != *p && std::fabs(*again - *p) > std::fabs(*p) * 1e-14L)))
            std::abort();
    }
    (void)numtext::parseInt(text);
    (void)numtext::parseDouble(text);
    return 0;
}
