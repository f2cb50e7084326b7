// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <random>
#include <vector>

namespace sim {

// Measurement functions, numbered as the program numbers its measurement types.
enum class Function {
    VoltDc = 0,
    VoltAc = 1,
    CurrDc = 2,
    CurrAc = 3,
    Res = 4,
    FRes = 5,
    Cont = 6,
    Diode = 7,
    Freq = 8,
    Period = 9,
    Cap = 10,
    TempRtd = 11,
    TempFrtd = 12,
    Ratio = 13,
};

enum class RemoteState { Local, Remote, RemoteLocked };

// One 884x multimeter without its network: the SCPI command set, its settings, error
// queue, triggered series and a signal model per function. The Simulator feeds it one
// command at a time; nothing here blocks or waits.
class Instrument
{
public:
    // What one command produced: an answer for queries, and for commands that take
    // readings the time the instrument stays busy before it handles the next command.
    struct Step
    {
        std::optional<QString> answer;
        qint64 busyMs = 0;
    };

    // Where relative headers ("; filter:digital?") are resolved from: the path of the
    // previous command of the same line. A new line starts at the root.
    using Path = QStringList;

    Instrument();

    // Splits a command line at the ";" that are not inside quotes.
    static QStringList splitLine(const QString &line);

    // Handles one command (one ";"-separated piece of a line, blanks allowed around it).
    Step execute(const QString &command, Path &path);

    // Back to power-on measurement, trigger, filter and display settings, as "*RST" does.
    // The error queue, identification, terminals, reading sequence, noise and garbage
    // switch are kept.
    void reset();

    // Identification, the four fields of "*IDN?", and the answer to "CAL:DATE?".
    void setIdentification(const QString &maker, const QString &model, const QString &serial,
                           const QString &firmware);
    void setCalibrationDate(const QString &date) { m_calDate = date; }

    // Measurement state, as CONF: sets it and "conf?" reports it. A range <= 0 means
    // automatic range; a resolution <= 0 means the default for the range.
    void setFunction(Function f);
    Function function() const { return m_function; }
    void setRange(double range);
    double range() const;
    bool autoRange() const { return m_autoRange; }
    void setResolution(double resolution);
    double resolution() const;
    // The exact "conf?" answer for the present state, quotes included.
    QString confText() const;

    // Exact value texts for the next readings, one per reading taken (read?, init,
    // fetch3?). When the list is used up the LAST entry repeats for every further
    // reading; an empty list hands readings back to the signal model.
    void setReadingSequence(const QStringList &values);
    void setSeed(quint32 seed);
    // Replace every reading by text that is not a number (a corrupted value field).
    void setGarbage(bool on) { m_garbage = on; }
    // Multiplies the trigger delay of series (0 runs any series at once): tests need
    // "trig:del 0.8000" with 400 triggers to end in milliseconds, not minutes.
    void setTimeScale(double factor) { m_timeScale = factor < 0 ? 0 : factor; }

    void queueError(int code, const QString &message);
    int errorCount() const { return int(m_errors.size()); }

    // Front or rear input terminals, as "ROUT:TERM?" answers.
    void setRearTerminals(bool rear) { m_rear = rear; }

    // Analogue and digital filter state of a function's filter group.
    void setFilterState(Function f, bool analog, bool digital);
    bool filterAnalog(Function f) const;
    bool filterDigital(Function f) const;

    // Read-back for tests of what the program sent.
    int triggerCount() const { return m_trigCount; }
    double triggerDelay() const { return m_trigDelay; }
    int sampleCount() const { return m_sampCount; }
    QString triggerSource() const { return m_trigSource; }
    bool autoZero() const { return m_autoZero; }
    QStringList seriesReadings() const { return m_series; }
    bool displayOn() const { return m_displayOn; }
    QString displayText() const { return m_displayText; }
    RemoteState remoteState() const { return m_remote; }
    QString systemTime() const { return m_sysTime; }
    QString systemDate() const { return m_sysDate; }

    // Readings kept from one series; more triggers than this are refused.
    static constexpr int maxSeriesReadings = 50000;

private:
    struct RangeTable
    {
        std::vector<double> ranges; // ascending; empty: the function has no ranges
        bool overload = true;       // readings beyond 1.2 x range answer the overload
    };

    bool dispatch(const QStringList &nodes, bool query, const QString &args, Step &step);
    bool dispatchCommon(const QString &header, bool query, const QString &args, Step &step);
    bool dispatchFunctionOption(Function f, const QStringList &rest, bool query,
                                const QString &args, Step &step);
    void configure(Function f, const QStringList &params);
    Step takeSeries(bool answer);
    QString takeReading(qint64 atMs);
    double modelValue(Function f, qint64 atMs);
    double rangeFor(double value) const;
    RangeTable rangeTable(Function f) const;
    double resolutionBase() const;
    QString optionKey(Function f, const QString &key) const;
    QString optionValue(const QString &fullKey) const;

    QString m_maker, m_model, m_serial, m_firmware, m_calDate;

    Function m_function = Function::VoltDc;
    bool m_autoRange = true;
    double m_range = 10;     // fixed range, or the last range chosen by autorange
    double m_resolution = 0; // <= 0: default for the range
    enum class ResMode { Default, Min, Max, Value } m_resMode = ResMode::Default;
    QString m_probe = "PT100_385";
    int m_diodeVolts = 5;
    QHash<QString, QString> m_options; // function-level settings such as "RES:NPLC"

    int m_trigCount = 1;
    int m_sampCount = 1;
    double m_trigDelay = 0;
    QString m_trigSource = "IMM";
    bool m_autoZero = true;
    QStringList m_series;
    bool m_seriesTaken = false;

    bool m_displayOn = true;
    QString m_displayText;
    RemoteState m_remote = RemoteState::Local;
    QString m_sysTime, m_sysDate;
    int m_ese = 0;
    bool m_rear = false;

    std::vector<std::pair<int, QString>> m_errors;

    QStringList m_sequence;
    int m_sequencePos = 0;
    bool m_garbage = false;
    double m_timeScale = 1;
    std::mt19937 m_rng;
    QElapsedTimer m_clock;
};

// Number texts in the instrument's own forms, never through a locale.
namespace scpi {
// "+1.23456789E+00" with `decimals` digits after the point.
QString formatSci(double v, int decimals);
// Decimal number with optional sign and exponent; the whole text must be the number.
std::optional<double> parseNumber(QStringView text);
} // namespace scpi

} // namespace sim
