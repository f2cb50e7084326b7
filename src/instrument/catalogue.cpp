// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/catalogue.h"

#include <utility>

namespace meascat {
namespace {

struct EntryText
{
    QStringView entry;
    QStringView text;
};

// Range parameters keep their trailing comma so a resolution can follow directly; the
// temperature probe names stand alone.
constexpr EntryText kRangeTexts[] = {
    {u"MIN", u"MIN,"},     {u"MAX", u"MAX,"},   {u"1n", u"1.0e-9,"},      {u"10n", u"1.0e-8,"},
    {u"100n", u"1.0e-7,"}, {u"1µ", u"1.0e-6,"}, {u"10µ", u"1.0e-5,"},     {u"100µ", u"1.0e-4,"},
    {u"1m", u"0.001,"},    {u"10m", u"0.01,"},  {u"100m", u"0.1,"},       {u"400m", u"0.4,"},
    {u"1", u"1,"},         {u"3", u"3,"},       {u"10", u"10,"},          {u"100", u"100,"},
    {u"1000", u"1000,"},   {u"1K", u"1000,"},   {u"10K", u"1.0E4,"},      {u"100K", u"1.0E5,"},
    {u"1M", u"1.0E6,"},    {u"10M", u"1.0E7,"}, {u"100M", u"1.0E8,"},     {u"1G", u"1.0E9,"},
    {u"1mA", u"0,"},       {u"0.1mA", u"1,"},   {u"PT385", u"PT100_385"}, {u"PT392", u"PT100_392"},
    {u"Cust", u"CUST1"},
};

constexpr EntryText kResolutionTexts[] = {
    {u"MIN", u"MIN"},      {u"MAX", u"MAX"},    {u"1p", u"1.0e-12"},  {u"10p", u"1.0e-11"},
    {u"100p", u"1.0e-10"}, {u"1n", u"1.0e-9"},  {u"10n", u"1.0e-8"},  {u"100n", u"1.0e-7"},
    {u"1µ", u"1.0e-6"},    {u"10µ", u"1.0e-5"}, {u"100µ", u"1.0e-4"}, {u"1m", u"0.001"},
    {u"10m", u"0.01"},     {u"100m", u"0.1"},   {u"1", u"1"},         {u"10", u"10"},
    {u"100", u"100"},      {u"1K", u"1000"},    {u"10K", u"1.0E4"},   {u"100K", u"1.0E5"},
    {u"5V", u"0"},         {u"10V", u"1"},
};

// ---- option lists of the page ----

constexpr SensList kFilterList{u"Filter Analog;Filter Digital;Filter Both;Filter OFF", 3,
                               u" turn filter ON or OFF"};
constexpr SensList kImpedanceList{u"High Impedance ON;High Impedance OFF", 1,
                                  u" use high input impedance "};
constexpr SensList kPlcList{u"Power Line Cycl. 0.02;Power Line Cycl. 0.2;Power Line Cycl. 1;"
                            u"Power Line Cycl. 10;Power Line Cycl. 100",
                            3, u" choose number of Power Line Cycles "};
constexpr SensList kBandwidthList{u"Filter Bandwith 3Hz;Filter Bandwith 20Hz;Filter Bandwith 200Hz",
                                  1, u" choose filter bandwith "};
constexpr SensList kApertureList{u"Aperture 0.01 sec;Aperture 0.1 sec;Aperture 1 sec", 1,
                                 u" choose aperture time "};
constexpr SensList kVoltRangeList{
    u"Voltage Range Auto;Voltage Range MIN;Voltage Range MAX;Voltage Range 100m;"
    u"Voltage Range 1;Voltage Range 10;Voltage Range 100;Voltage Range 1000",
    0, u" choose voltage range "};

// ---- option texts, indexed by the list entry ----

constexpr QStringView kFilterVoltDc[] = {
    u":VOLT:DC:FILTER ON; :VOLT:DC:FILTER:DIGITAL OFF; ",
    u":VOLT:DC:FILTER:DIGITAL ON; ",
    u":VOLT:DC:FILTER ON; :VOLT:DC:FILTER:DIGITAL ON; ",
    u":VOLT:DC:FILTER OFF; :VOLT:DC:FILTER:DIGITAL OFF; ",
};
constexpr QStringView kFilterCurrDc[] = {
    u":CURR:DC:FILTER ON; :CURR:DC:FILTER:DIGITAL OFF; ",
    u":CURR:DC:FILTER:DIGITAL ON; ",
    u":CURR:DC:FILTER ON; :CURR:DC:FILTER:DIGITAL ON; ",
    u":CURR:DC:FILTER OFF; :CURR:DC:FILTER:DIGITAL OFF; ",
};
constexpr QStringView kFilterRes[] = {
    u":RES:FILTER ON; :RES:FILTER:DIGITAL OFF; ",
    u":RES:FILTER:DIGITAL ON; ",
    u":RES:FILTER ON; :RES:FILTER:DIGITAL ON; ",
    u":RES:FILTER OFF; :RES:FILTER:DIGITAL OFF; ",
};
// 4-wire resistance relies on the instrument keeping the FRES subsystem after the first
// header, so its digital-filter headers are not rooted; kept exactly as the instrument
// has always been sent them.
constexpr QStringView kFilterFres[] = {
    u":FRES:FILTER ON; FILTER:DIGITAL OFF; ",
    u":FILTER:DIGITAL ON; ",
    u":FRES:FILTER ON; FILTER:DIGITAL ON; ",
    u":FRES:FILTER OFF; FILTER:DIGITAL OFF; ",
};
constexpr QStringView kFilterFrtd[] = {
    u":FRES:FILTER ON; :FRES:FILTER:DIGITAL OFF; ",
    u":FRES:FILTER:DIGITAL ON; ",
    u":FRES:FILTER ON; :FRES:FILTER:DIGITAL ON; ",
    u":FRES:FILTER OFF; :FRES:FILTER:DIGITAL OFF; ",
};

constexpr QStringView kImpedance[] = {u":VOLT:DC:IMPEDANCE:AUTO ON; "};
constexpr QStringView kImpedanceOff = u":VOLT:DC:IMPEDANCE:AUTO OFF; ";

constexpr QStringView kPlcVoltDc[] = {
    u":VOLT:DC:NPLCYCLES 0.02; ", u":VOLT:DC:NPLCYCLES 0.2; ", u":VOLT:DC:NPLCYCLES 1; ",
    u":VOLT:DC:NPLCYCLES 10; ",   u":VOLT:DC:NPLCYCLES 100; ",
};
constexpr QStringView kPlcCurrDc[] = {
    u":CURR:DC:NPLCYCLES 0.02; ", u":CURR:DC:NPLCYCLES 0.2; ", u":CURR:DC:NPLCYCLES 1; ",
    u":CURR:DC:NPLCYCLES 10; ",   u":CURR:DC:NPLCYCLES 100; ",
};
constexpr QStringView kPlcRes[] = {
    u":RES:NPLCYCLES 0.02; ", u":RES:NPLCYCLES 0.2; ", u":RES:NPLCYCLES 1; ",
    u":RES:NPLCYCLES 10; ",   u":RES:NPLCYCLES 100; ",
};
constexpr QStringView kPlcFres[] = {
    u":FRES:NPLCYCLES 0.02; ", u":FRES:NPLCYCLES 0.2; ", u":FRES:NPLCYCLES 1; ",
    u":FRES:NPLCYCLES 10; ",   u":FRES:NPLCYCLES 100; ",
};
constexpr QStringView kPlcRtd[] = {
    u":TEMP:RTD:NPLCYCLES 0.02; ", u":TEMP:RTD:NPLCYCLES 0.2; ", u":TEMP:RTD:NPLCYCLES 1; ",
    u":TEMP:RTD:NPLCYCLES 10; ",   u":TEMP:RTD:NPLCYCLES 100; ",
};
constexpr QStringView kPlcFrtd[] = {
    u":TEMP:FRTD:NPLCYCLES 0.02; ", u":TEMP:FRTD:NPLCYCLES 0.2; ", u":TEMP:FRTD:NPLCYCLES 1; ",
    u":TEMP:FRTD:NPLCYCLES 10; ",   u":TEMP:FRTD:NPLCYCLES 100; ",
};

constexpr QStringView kBandwidthVoltAc[] = {
    u":VOLT:AC:BANDWIDTH 3; ",
    u":VOLT:AC:BANDWIDTH 20; ",
    u":VOLT:AC:BANDWIDTH 200; ",
};
constexpr QStringView kBandwidthCurrAc[] = {
    u":CURR:AC:BANDWIDTH 3; ",
    u":CURR:AC:BANDWIDTH 20; ",
    u":CURR:AC:BANDWIDTH 200; ",
};

constexpr QStringView kApertureFreq[] = {
    u":FREQ:APERTURE 0.01; ",
    u":FREQ:APERTURE 0.1; ",
    u":FREQ:APERTURE 1; ",
};
constexpr QStringView kAperturePer[] = {
    u":PER:APERTURE 0.01; ",
    u":PER:APERTURE 0.1; ",
    u":PER:APERTURE 1; ",
};

constexpr QStringView kVoltRangeFreq[] = {
    u":FREQ:VOLT:RANGE:AUTO ON; ", u":FREQ:VOLT:RANGE MIN; ",  u":FREQ:VOLT:RANGE MAX; ",
    u":FREQ:VOLT:RANGE 0.1; ",     u":FREQ:VOLT:RANGE 1; ",    u":FREQ:VOLT:RANGE 10; ",
    u":FREQ:VOLT:RANGE 100; ",     u":FREQ:VOLT:RANGE 1000; ",
};
// The period variant of the automatic entry has always gone out without the blank.
constexpr QStringView kVoltRangePer[] = {
    u":PER:VOLT:RANGE:AUTO ON;", u":PER:VOLT:RANGE MIN; ",  u":PER:VOLT:RANGE MAX; ",
    u":PER:VOLT:RANGE 0.1; ",    u":PER:VOLT:RANGE 1; ",    u":PER:VOLT:RANGE 10; ",
    u":PER:VOLT:RANGE 100; ",    u":PER:VOLT:RANGE 1000; ",
};

// ---- option commands per type ----

constexpr OptionRule kOptVoltDc[] = {
    {0, kFilterVoltDc, {}}, {1, kImpedance, kImpedanceOff}, {2, kPlcVoltDc, {}}};
constexpr OptionRule kOptCurrDc[] = {{0, kFilterCurrDc, {}}, {1, kPlcCurrDc, {}}};
constexpr OptionRule kOptRes[] = {{0, kFilterRes, {}}, {1, kPlcRes, {}}};
constexpr OptionRule kOptFres[] = {{0, kFilterFres, {}}, {1, kPlcFres, {}}};
constexpr OptionRule kOptRtd[] = {{0, kFilterRes, {}}, {1, kPlcRtd, {}}};
constexpr OptionRule kOptFrtd[] = {{0, kFilterFrtd, {}}, {1, kPlcFrtd, {}}};
constexpr OptionRule kOptVoltAc[] = {{0, kBandwidthVoltAc, {}}};
constexpr OptionRule kOptCurrAc[] = {{0, kBandwidthCurrAc, {}}};
constexpr OptionRule kOptFreq[] = {{0, kApertureFreq, {}}, {1, kVoltRangeFreq, {}}};
constexpr OptionRule kOptPer[] = {{0, kAperturePer, {}}, {1, kVoltRangePer, {}}};

constexpr QStringView kVoltRanges = u"Auto;MIN;MAX;100m;1;10;100;1000";
constexpr QStringView kVoltResolutions = u"Auto;MIN;MAX;100n;1µ;10µ;100µ;1m;10m;100m";
constexpr QStringView kCurrRanges = u"Auto;MIN;MAX;100µ;1m;10m;100m;400m;1;3;10";
constexpr QStringView kCurrResolutions = u"Auto;MIN;MAX;100p;1n;10n;100n;1µ;10µ;100µ;1m";
constexpr QStringView kResRanges = u"Auto;MIN;MAX;10;100;1K;10K;100K;1M;10M;100M;1G";
constexpr QStringView kResResolutions = u"Auto;MIN;MAX;10µ;100µ;1m;10m;100m;1;10;100;1K;10K;100K";
constexpr QStringView kNotApplicable = u"N/A";
constexpr QStringView kAutoMinMax = u"Auto;MIN;MAX";

constexpr MeasFunction kFunctions[kTypeCount] = {
    {u"Voltage DC     DC V",
     u"VOLT:DC",
     kVoltRanges,
     kVoltResolutions,
     {&kFilterList, &kImpedanceList, &kPlcList},
     kOptVoltDc},
    {u"Voltage AC     AC V",
     u"VOLT:AC",
     kVoltRanges,
     kVoltResolutions,
     {&kBandwidthList, nullptr, nullptr},
     kOptVoltAc},
    {u"Current DC     DC A",
     u"CURR:DC",
     kCurrRanges,
     kCurrResolutions,
     {&kFilterList, &kPlcList, nullptr},
     kOptCurrDc},
    {u"Current AC     AC A",
     u"CURR:AC",
     kCurrRanges,
     kCurrResolutions,
     {&kBandwidthList, nullptr, nullptr},
     kOptCurrAc},
    {u"Resistance 2w  Ohm",
     u"RES",
     kResRanges,
     kResResolutions,
     {&kFilterList, &kPlcList, nullptr},
     kOptRes},
    {u"Resistance 4w  Ohm",
     u"FRES",
     kResRanges,
     kResResolutions,
     {&kFilterList, &kPlcList, nullptr},
     kOptFres},
    {u"Continuity     Ohm c",
     u"CONT",
     kNotApplicable,
     kNotApplicable,
     {nullptr, nullptr, nullptr},
     {}},
    {u"Diode          V", u"DIOD", u"1mA;0.1mA", u"5V;10V", {nullptr, nullptr, nullptr}, {}},
    {u"Frequency      Hz",
     u"FREQ",
     kAutoMinMax,
     kAutoMinMax,
     {&kApertureList, &kVoltRangeList, nullptr},
     kOptFreq},
    {u"Period         s",
     u"PER",
     kAutoMinMax,
     kAutoMinMax,
     {&kApertureList, &kVoltRangeList, nullptr},
     kOptPer},
    {u"Capacity       F",
     u"CAP",
     u"Auto;MIN;MAX;1n;10n;100n;1µ;10µ;100µ;1m;10m;100m",
     u"Auto;MIN;MAX;1p;10p;100p;1n;10n;100n;1µ;10µ;100µ",
     {nullptr, nullptr, nullptr},
     {}},
    {u"Temperature    °",
     u"TEMP:RTD",
     u"PT385;PT392;Cust",
     kNotApplicable,
     {&kFilterList, &kPlcList, nullptr},
     kOptRtd},
    {u"Temperature 4w °",
     u"TEMP:FRTD",
     u"PT385;PT392;Cust",
     kNotApplicable,
     {&kFilterList, &kPlcList, nullptr},
     kOptFrtd},
    {u"Ratio V DC     ÷",
     u"VOLT:DC:RATIO",
     kVoltRanges,
     kVoltResolutions,
     {&kFilterList, &kImpedanceList, &kPlcList},
     kOptVoltDc},
};

struct FilterReply
{
    QStringView reply;
    int index;
};
// The instrument answers the analogue state first, then the digital one.
constexpr FilterReply kFilterReplies[] = {{u"1;0", 0}, {u"0;1", 1}, {u"1;1", 2}, {u"0;0", 3}};

QStringView lookup(std::span<const EntryText> table, QStringView entry)
{
    for (const EntryText &e : table) {
        if (e.entry == entry)
            return e.text;
    }
    return {};
}

QStringView entryAt(QStringView list, int index)
{
    if (index < 0)
        return {};
    for (QStringView entry : list.tokenize(u';')) {
        if (index-- == 0)
            return entry;
    }
    return {};
}

} // namespace

const MeasFunction *function(int type)
{
    return type >= 0 && type < kTypeCount ? &kFunctions[type] : nullptr;
}

QStringList captions()
{
    QStringList list;
    list.reserve(kTypeCount);
    for (const MeasFunction &f : kFunctions)
        list.append(f.caption.toString());
    return list;
}

QStringList splitList(QStringView list)
{
    QStringList entries;
    for (QStringView entry : list.tokenize(u';'))
        entries.append(entry.toString());
    return entries;
}

QStringView rangeText(QStringView entry)
{
    return lookup(kRangeTexts, entry);
}

QStringView resolutionText(QStringView entry)
{
    return lookup(kResolutionTexts, entry);
}

ConfigCommands BuildConfigCommand(int type, QStringView rangeEntry, QStringView resolEntry,
                                  const SensSelection &sens)
{
    const MeasFunction *f = function(type);
    if (!f)
        return {};
    ConfigCommands c;
    c.configuration = QStringLiteral("CONF:");
    c.configuration.append(f->scpi).append(u' ');
    c.configuration.append(rangeText(rangeEntry)).append(resolutionText(resolEntry));
    QString options;
    for (const OptionRule &rule : f->options) {
        const int index = sens[rule.box];
        if (index >= 0 && std::cmp_less(index, rule.texts.size()))
            options.append(rule.texts[index]);
        else
            options.append(rule.otherwise);
    }
    // A bare "SENSE" would only earn an instrument error, so nothing goes out instead.
    if (!options.isEmpty())
        c.option = QLatin1String("SENSE") + options;
    return c;
}

ConfigCommands BuildConfigCommand(int type, int rangeIndex, int resolIndex,
                                  const SensSelection &sens)
{
    const MeasFunction *f = function(type);
    if (!f)
        return {};
    return BuildConfigCommand(type, entryAt(f->ranges, rangeIndex),
                              entryAt(f->resolutions, resolIndex), sens);
}

SensSelection initialSensSelection(int type)
{
    SensSelection s{-1, -1, -1};
    if (const MeasFunction *f = function(type)) {
        for (int i = 0; i < kSensCount; ++i) {
            if (f->sens[i])
                s[i] = f->sens[i]->initial;
        }
    }
    return s;
}

QStringView filterStateQuery(int type)
{
    switch (type) {
    case VoltDc:
    case CurrDc:
    case Rtd:
    case Rtd4w:
    case RatioDc:
        return u"Filter:state?; :filter:digital:state?";
    case Res2w:
        return u"Res:Filter:state?; :filter:digital:state?";
    case Res4w:
        return u"Filter?; filter:digital?";
    default:
        return {};
    }
}

int filterSelection(QStringView reply)
{
    for (const FilterReply &f : kFilterReplies) {
        if (f.reply == reply)
            return f.index;
    }
    return -1;
}

QString terminalText(QStringView reply)
{
    if (reply == u"FRON")
        return QStringLiteral("Front");
    if (reply == u"REAR")
        return QStringLiteral("Rear");
    return {};
}

bool offersAutoTemperature(int type)
{
    return type == Res2w || type == Res4w;
}

} // namespace meascat
