// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class IniFile;

#include <span>

// The constants of one temperature sensor; starts as the PT100 (alpha 3850) RTD and the
// "10k thermistor - 2".
struct ProbeParams
{
    long double R0 = 100;
    long double alpha = 3.85e-3L;
    long double beta = 0.10863L;
    long double delta = 1.4999L;
    long double A = 0, B = 0, C = 0; // derived from alpha, beta, delta at creation
    long double A0 = 1.153805e-3L, A1 = 2.257075e-4L, A2 = 9.469611e-7L, A3 = 5.252617e-8L;
    long double B0 = -5.380125L, B1 = 4777.517L, B2 = -120146.8L, B3 = -2168775.0L;
    int FormulaType = 0; // 1 Callendar-Van Dusen, 2 thermistor, 0 none read

    // A, B, C from alpha, beta and delta.
    void deriveAbc();
    static ProbeParams initial();
};

namespace probes {

enum class EntryKind { Heading, Separator, Thermistor, AlphaBetaDelta, Abc };

// One entry of the "Standard probes" menu, in menu order.
struct CatalogueEntry
{
    const char *name; // objectName of the menu entry
    EntryKind kind;
    const char16_t *caption;
    // Thermistor: A0..A3, B0..B3. Alpha/beta/delta: alpha, beta, delta. A/B/C: alpha, A, B,
    // C. Every probe of the catalogue has R0 = 100.
    long double v[8];
    const char16_t *questionSuffix; // thermistors: "\n" + caption
};

std::span<const CatalogueEntry> catalogue();

// The constants of a probe entry put into `p` (R0 = 100 for the RTDs; A/B/C entries keep
// beta and delta, alpha/beta/delta entries and thermistors leave A, B, C to the caller).
void applyEntry(const CatalogueEntry &e, ProbeParams &p);
// The question text after the "set probe values?" message.
QString questionSuffix(const CatalogueEntry &e);

inline const QString kSection = QStringLiteral("Probe");
inline const QString kFormulaType = QStringLiteral("FormulaType");

// FormulaType of the file (0 when missing or not a number) and, for types 1 and 2, that
// type's values read into `p` (a missing or unreadable value as 0). Other values stay.
// A file that cannot be read counts as an empty one.
// `badKey`, when given, names the first key whose value is a number no probe can use
// (beyond double's range); it reads as 0 like an unreadable one.
int readProbeFile(const QString &path, ProbeParams &p, QString *badKey = nullptr);
// The same for a file already read.
int readProbe(const IniFile &ini, ProbeParams &p, QString *badKey = nullptr);
// The probe-file key of the first constant of that formula type that makes the probe
// unusable (R0 not above 0, a value that is not finite); empty when there is none.
QString unusableKey(const ProbeParams &p, int formulaType);

// Writes FormulaType and its keys into the file at path, keeping what else it holds.
bool writeProbeFile(const QString &path, const ProbeParams &p, int formulaType,
                    QString *error = nullptr);

} // namespace probes
