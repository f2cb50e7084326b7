// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measpol.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

struct Settings;

// Measurement function types as the configuration reply names them.
enum MeasType {
    DcVoltage = 0,
    AcVoltage,
    DcCurrent,
    AcCurrent,
    Resistance2W,
    Resistance4W,
    Continuity,
    Diode,
    Frequency,
    Period,
    Capacitance,
    RtdTemperature,
    Rtd4WTemperature,
    VoltageRatio
};

enum class DisplayColour { Green, Red, Magenta, Grey };

enum class ReadingClass { Underload, Value, Open, Overload };

// The reading being shown and what it depends on besides the settings (the settings hold
// the zero reference, the filter and limit switches and bounds, and the math unit text).
struct ReadingState
{
    long double current = 0;   // as converted; after processing, the processed value
    long double processed = 0; // the value shown
    long double secondary = 0; // before math or temperature conversion
    long double previous = 0;  // the processed value before this one
    long double range = 0;
    long double resol = 0;
    int type = DcVoltage;
    QString Units1, Units2, Lunits1, Lunits2;
    double timeStamp = 0; // when the current reading was started

    bool mathEnabled = false;
    long double m = 1;
    long double b = 0;
    bool reciprocal = false;

    // Limit test memory.
    QString limitText;
    bool inLimit = true;
    long double lastLimitValue = 0;
    bool passArmed = false;
    DisplayColour valueColour = DisplayColour::Green;
    DisplayColour chartTextColour = DisplayColour::Grey;
};

// Everything one processing pass shows; the reading area renders it.
struct ReadingView
{
    ReadingClass cls = ReadingClass::Value;
    QString meastext1;
    QString measlab1;
    DisplayColour valueColour = DisplayColour::Green; // value text and up/down arrow
    DisplayColour barColour = DisplayColour::Green;
    std::optional<QString> secreadl; // unset: keep the text
    std::optional<QString> title;    // unset: keep the title
    QString mathala;
    QString measprop1;
    QString updownl1; // "t" up, "u" down, "" equal
    int beepHz = 0;   // 0: no beep
    int beepMs = 0;
};

inline constexpr int kOutOfLimitHz = 900;
inline constexpr int kBackInLimitHz = 450;
inline constexpr int kBeepMs = 100;
inline constexpr long double kMathFailure = -123;

// Turns the current value into what the main window shows: zero, math, temperature,
// classification, bar, limit test, and the hooks of statistics and saving.
class ReadingEngine
{
public:
    explicit ReadingEngine(Settings &settings) : m_s(settings) {}

    ReadingState &state() { return m_st; }
    const ReadingState &state() const { return m_st; }
    Settings &settings() { return m_s; }

    ReadingView ProcessReading();
    void ParseConf(QStringView reply);
    // The unit texts of the next reading: its configuration's, the temperature's in place
    // of the resistance's while it is converted, the math unit in place of the measured
    // one. Every reading gets them the same way, from the cycle or from a series.
    void labelUnits(bool autoTemperature);
    bool FilterPass(long double value) const;

    // The current reading as a buffer record.
    measpol currentRecord() const;

    // "zero=…  x=…  b=…" and its math part alone.
    QString mathLine() const;
    QString mathPart() const;
    QString rangeText() const;

    // Zero button: clears a set reference, else takes the processed value. Returns it.
    long double toggleZero();
    // Math switched on: m and b from the edits' texts, unit texts swapped.
    void enableMath(QStringView mText, QStringView bText);
    void disableMath();
    static long double mathNumber(QStringView text);

    // Hooks of later features; empty means switched off.
    // Resistance -> temperature while automatic conversion is on; nullopt when off.
    std::function<std::optional<long double>(long double)> autoTemperature;
    std::function<void(long double)> updateMean10;
    // Called only for valid values that pass the filter.
    std::function<void(long double)> updateStatistics;
    std::function<void()> shiftMean10;
    std::function<void(const measpol &)> autoSave;

private:
    void limitTest(long double v, ReadingView &view);

    Settings &m_s;
    ReadingState m_st;
    // Unit texts as the last configuration reply gave them, before any relabelling.
    QString m_confUnits1;
    QString m_confLunits1;
};

// Type, Units1 and Lunits1 of a configuration reply; false when no key matched.
struct ConfMatch
{
    int type;
    QString Units1;
    QString Lunits1;
};
std::optional<ConfMatch> matchConfType(QStringView upperReply);
