// SPDX-License-Identifier: GPL-3.0-or-later
// One line of the shared data-file layout, with each of the separators; the first byte
// picks the separator, the rest is the line.
#include "data/datafile.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const char kSeps[] = {',', '\t', ';'};
    const char sep = kSeps[data[0] % 3];
    // A heap copy of exactly the line: reading past its end shows up under the sanitizer.
    const QByteArray line = fuzzBytes(data + 1, size - 1);
    measpol rec;
    datafile::parseDataLine(line.constData(), line.constData() + line.size(), sep, rec);
    double days = 0;
    datafile::parseDateTime(line.constData(), line.constData() + line.size(), days);
    return 0;
}
