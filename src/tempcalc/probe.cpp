// SPDX-License-Identifier: GPL-3.0-or-later
#include "probe.h"

#include "app/inifile.h"
#include "tempformula.h"

#include <QFileInfo>

#include <array>
#include <cmath>
#include <limits>

void ProbeParams::deriveAbc()
{
    const AbcConstants abc = AbcFromAlphaBetaDelta(alpha, beta, delta);
    A = abc.A;
    B = abc.B;
    C = abc.C;
}

ProbeParams ProbeParams::initial()
{
    ProbeParams p;
    p.deriveAbc();
    return p;
}

namespace probes {

namespace {

using K = EntryKind;

const CatalogueEntry kCatalogue[] = {
    {"hermistor1", K::Heading, u"Thermistor", {}, nullptr},
    {"N3k3thermistor1",
     K::Thermistor,
     u"3k3 thermistor",
     {1.405066e-3L, 2.279989e-4L, 1.121519e-6L, 5.252617e-8L, -6.487879L, 4777.517L, -120146.8L,
      -2168775.0L},
     nullptr},
    {"N10kthermistor1",
     K::Thermistor,
     u"10k thermistor - 2",
     {1.153805e-3L, 2.257075e-4L, 9.469611e-7L, 5.252617e-8L, -5.380125L, 4777.517L, -120146.8L,
      -2168775.0L},
     nullptr},
    {"N10kthermistor31",
     K::Thermistor,
     u"10k thermistor - 3",
     {1.061244e-3L, 2.275747e-4L, 1.371993e-6L, 1.029782e-7L, -5.121667L, 5001.281L, -228759.3L,
      3462198.0L},
     nullptr},
    {"N10kthermistor41",
     K::Thermistor,
     u"10k thermistor - 4",
     {8.345089e-4L, 2.696376e-4L, -2.069132e-6L, 2.707289e-7L, -3.858074L, 4380.393L, -119221.5L,
      -7491021.0L},
     nullptr},
    {"N11kthermistor1",
     K::Thermistor,
     u"11k thermistor",
     {-5.685951e-2L, 2.239259e-2L, -2.831535e-3L, 1.211816e-4L, -11.32408L, 8544.361L, -354952.5L,
      -126639500.0L},
     nullptr},
    {"N20kthermistor1",
     K::Thermistor,
     u"20k thermistor",
     {1.13223e-3L, 2.191526e-4L, -6.081209e-7L, 1.143152e-7L, -5.63773L, 4924.457L, -30385.23L,
      -16792670.0L},
     nullptr},
    {"N30kthermistor1",
     K::Thermistor,
     u"30k thermistor",
     {1.092058e-3L, 2.058109e-4L, 5.485526e-7L, 7.474987e-8L, -5.795494L, 5419.606L, -174279.7L,
      -2972593.0L},
     nullptr},
    {"N50kthermistor1",
     K::Thermistor,
     u"50k thermistor",
     {9.308236e-4L, 2.205549e-4L, -9.223586e-7L, 1.143152e-7L, -4.72144L, 4924.457L, -30385.23L,
      -16792670.0L},
     nullptr},
    {"N100kthermistor1",
     K::Thermistor,
     u"100k thermistor",
     {7.774654e-4L, 2.219984e-4L, -1.16007e-6L, 1.143152e-7L, -4.028292L, 4924.457L, -30385.23L,
      -16792670.0L},
     nullptr},
    {"N4", K::Separator, u"-", {}, nullptr},
    {"RTDPTxxx1", K::Heading, u"RTDs - Alpha/Beta/Delta constants", {}, nullptr},
    {"ITS901",
     K::AlphaBetaDelta,
     u"PT100 - ITS-90 / IEC 60751 - alpha 3850",
     {3.85e-3L, 0.10863L, 1.4999L},
     u"\n\nITS-90, IEC 60751, alpha 3850"},
    {"PT385ITS68alpha38501",
     K::AlphaBetaDelta,
     u"PT385 - ITS-68 - alpha 3850",
     {3.85e-3L, 0.111L, 1.507L},
     u"\nalpha 3850?"},
    {"D1001",
     K::AlphaBetaDelta,
     u"D100 - ITS-90 - alpha 3920",
     {3.92e-3L, 0.1063L, 1.4971L},
     u"\nalpha 3920?"},
    {"PT3916ITS68alpha39161",
     K::AlphaBetaDelta,
     u"PT3916 - ITS-68 - alpha 3916",
     {3.916e-3L, 0.116L, 1.50594L},
     u"\nalpha 3916?"},
    {"F100ITS90alpha39001",
     K::AlphaBetaDelta,
     u"F100 - ITS-90 - alpha 3900",
     {3.9e-3L, 0.11L, 1.49589L},
     u"\nalpha 3900?"},
    {"N1", K::Separator, u"-", {}, nullptr},
    {"IndustrialABCvalues1", K::Heading, u"Industrial RTD - A/B/C constants", {}, nullptr},
    {"DIN437601",
     K::Abc,
     u"DIN 43760 - alpha 3850",
     {3.85e-3L, 3.908e-3L, -5.8019e-7L, -4.2735e-12L},
     u"\n\nindustrial ABC - DIN 43760, alpha 3850"},
    {"USAlpha39111",
     K::Abc,
     u"US - Alpha 3911",
     {3.911e-3L, 3.9692e-3L, -5.8495e-7L, -4.2325e-12L},
     u"\n\nindustrial ABC - US, alpha 3911"},
    {"ITS90alpha39261",
     K::Abc,
     u"ITS-90 - alpha 3926",
     {3.926e-3L, 3.9848e-3L, -5.87e-7L, -4e-12L},
     u"\n\nindustrial ABC - ITS-90, alpha 3926"},
    {"Euroalpha38501",
     K::Abc,
     u"Euro - alpha 3850055 - IEC751",
     {3.85055e-3L, 3.9083e-3L, -5.775e-7L, -4.183e-12L},
     u"\n\nindustrial ABC - Euro IEC751, alpha 385055"},
};

// Key names of the two formula types, in file order.
const char *const kCvdKeys[] = {"Res-0", "Con-A", "Con-B", "Con-C", "Alpha", "Beta", "Delta"};
const char *const kThermistorKeys[] = {"consA0", "consA1", "consA2", "consA3",
                                       "consB0", "consB1", "consB2", "consB3"};

std::array<long double *, 7> cvdFields(ProbeParams &p)
{
    return {&p.R0, &p.A, &p.B, &p.C, &p.alpha, &p.beta, &p.delta};
}

std::array<long double *, 8> thermistorFields(ProbeParams &p)
{
    return {&p.A0, &p.A1, &p.A2, &p.A3, &p.B0, &p.B1, &p.B2, &p.B3};
}

} // namespace

std::span<const CatalogueEntry> catalogue()
{
    return kCatalogue;
}

void applyEntry(const CatalogueEntry &e, ProbeParams &p)
{
    switch (e.kind) {
    case K::Thermistor: {
        const auto fields = thermistorFields(p);
        for (size_t i = 0; i < fields.size(); ++i)
            *fields[i] = e.v[i];
        break;
    }
    case K::AlphaBetaDelta:
        p.R0 = 100;
        p.alpha = e.v[0];
        p.beta = e.v[1];
        p.delta = e.v[2];
        break;
    case K::Abc:
        p.R0 = 100;
        p.alpha = e.v[0];
        p.A = e.v[1];
        p.B = e.v[2];
        p.C = e.v[3];
        break;
    case K::Heading:
    case K::Separator:
        break;
    }
}

QString questionSuffix(const CatalogueEntry &e)
{
    if (e.kind == K::Thermistor)
        return QLatin1Char('\n') + QString::fromUtf16(e.caption);
    return e.questionSuffix ? QString::fromUtf16(e.questionSuffix) : QString();
}

int readProbeFile(const QString &path, ProbeParams &p, QString *badKey)
{
    IniFile ini;
    if (!ini.load(path))
        return 0;
    return readProbe(ini, p, badKey);
}

int readProbe(const IniFile &ini, ProbeParams &p, QString *badKey)
{
    const int type = ini.readInt(kSection, kFormulaType, 0);
    auto read = [&](const auto &keys, const auto &fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            // Beyond double's range a value could not be saved again; it counts as unreadable.
            const long double v = ini.readFloat(kSection, QLatin1String(keys[i]), 0);
            const bool usable = std::fabs(v) <= std::numeric_limits<double>::max();
            *fields[i] = usable ? v : 0;
            if (!usable && badKey && badKey->isEmpty())
                *badKey = QLatin1String(keys[i]);
        }
    };
    if (type == 1)
        read(kCvdKeys, cvdFields(p));
    else if (type == 2)
        read(kThermistorKeys, thermistorFields(p));
    return type;
}

QString unusableKey(const ProbeParams &p, int formulaType)
{
    ProbeParams copy = p;
    const auto check = [](const auto &keys, const auto &fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (!(std::fabs(*fields[i]) <= std::numeric_limits<double>::max()))
                return QString::fromLatin1(keys[i]);
        }
        return QString();
    };
    if (formulaType == 2)
        return check(kThermistorKeys, thermistorFields(copy));
    if (formulaType != 1)
        return QString();
    if (!(copy.R0 > 0))
        return QString::fromLatin1(kCvdKeys[0]);
    return check(kCvdKeys, cvdFields(copy));
}

bool writeProbeFile(const QString &path, const ProbeParams &p, int formulaType, QString *error)
{
    IniFile ini;
    if (QFileInfo::exists(path) && !ini.load(path)) {
        if (error)
            *error = QStringLiteral("cannot read ") + path;
        return false;
    }
    ProbeParams copy = p;
    ini.writeInt(kSection, kFormulaType, formulaType);
    auto write = [&](const auto &keys, const auto &fields) {
        for (size_t i = 0; i < fields.size(); ++i)
            ini.writeFloat(kSection, QLatin1String(keys[i]), static_cast<double>(*fields[i]));
    };
    if (formulaType == 1)
        write(kCvdKeys, cvdFields(copy));
    else if (formulaType == 2)
        write(kThermistorKeys, thermistorFields(copy));
    return ini.save(path, error);
}

} // namespace probes
