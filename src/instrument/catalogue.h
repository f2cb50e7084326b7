// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <span>

// The fourteen measurement functions of the instrument with their lists and the SCPI texts
// their entries stand for. All of it is constant data; the functions below only look it up.
namespace meascat {

inline constexpr int kTypeCount = 14;
inline constexpr int kSensCount = 3;

enum MeasType : int {
    VoltDc = 0,
    VoltAc = 1,
    CurrDc = 2,
    CurrAc = 3,
    Res2w = 4,
    Res4w = 5,
    Continuity = 6,
    Diode = 7,
    Frequency = 8,
    Period = 9,
    Capacity = 10,
    Rtd = 11,
    Rtd4w = 12,
    RatioDc = 13,
};

// One option list of the page: entries joined by ";", the entry a type change selects, hint.
struct SensList
{
    QStringView entries;
    int initial;
    QStringView hint;
};

// How the selection of one option list becomes option text: texts[index], or `otherwise`
// for no selection and indexes beyond the table.
struct OptionRule
{
    int box; // 0..2: sens1cb..sens3cb
    std::span<const QStringView> texts;
    QStringView otherwise;
};

// One entry of the type list.
struct MeasFunction
{
    QStringView caption; // padded so the unit column lines up in a fixed-pitch font
    QStringView scpi;
    QStringView ranges;
    QStringView resolutions;
    std::array<const SensList *, kSensCount> sens; // nullptr: list hidden for this type
    std::span<const OptionRule> options;           // in the order they are appended
};

// nullptr outside 0..13.
const MeasFunction *function(int type);

// The entries of meastypecb, in type order.
QStringList captions();

// A list text split at ";" into its entries.
QStringList splitList(QStringView list);

// Parameter text of a range or resolution entry; empty for "Auto", "N/A" and unknown
// entries. The comparison is exact and case-sensitive ("1m" is not "1M").
QStringView rangeText(QStringView entry);
QStringView resolutionText(QStringView entry);

// The two command texts that configure the instrument.
struct ConfigCommands
{
    QString configuration;
    QString option;
    bool operator==(const ConfigCommands &) const = default;
};

using SensSelection = std::array<int, kSensCount>; // -1: no selection

// Composes both commands from the displayed range and resolution entries and the option
// list indexes. An unknown type gives two empty commands, so nothing is sent.
ConfigCommands BuildConfigCommand(int type, QStringView rangeEntry, QStringView resolEntry,
                                  const SensSelection &sens);
// The same with indexes into the type's own range and resolution lists.
ConfigCommands BuildConfigCommand(int type, int rangeIndex, int resolIndex,
                                  const SensSelection &sens);

// What a type change selects in the three option lists (-1 for hidden lists).
SensSelection initialSensSelection(int type);

// Read-back: the filter-state query for a reported type (empty: no filter query).
QStringView filterStateQuery(int type);
// The sens1cb entry a filter-state reply selects; -1 leaves the list without selection.
int filterSelection(QStringView reply);
// termlab for a "ROUT:TERM?" reply.
QString terminalText(QStringView reply);
// Whether automatic temperature conversion is offered after a read-back of this type.
bool offersAutoTemperature(int type);

} // namespace meascat
