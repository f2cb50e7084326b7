// SPDX-License-Identifier: GPL-3.0-or-later
#include "readingengine.h"

#include "app/settings.h"
#include "data/numtext.h"
#include "readingformat.h"

#include <cmath>

namespace {

const QString kContinuityUnit = QStringLiteral(u"\u03A9c");

struct ConfRow
{
    const char *key;
    int type;
    const char16_t *units1;
    const char16_t *lunits1;
};

// Later rows win, so "FRES" beats "RES" and "VOLT:AC" beats "VOLT".
const ConfRow kConfRows[] = {
    {"VOLT", DcVoltage, u"V=", u"V="},
    {"VOLT:AC", AcVoltage, u"V~", u"V~"},
    {"CURR", DcCurrent, u"A=", u"A="},
    {"CURR:AC", AcCurrent, u"A~", u"A~"},
    {"RES", Resistance2W, u"\u03A9 ", u"Ohm"},
    {"FRES", Resistance4W, u"\u03A94", u"Ohm4"},
    {"CONT", Continuity, u"\u03A9c", u"OhmC"},
    {"DIOD", Diode, u"Vd", u"Vd"},
    {"FREQ", Frequency, u"Hz", u"Hz"},
    {"PER", Period, u"s ", u"s "},
    {"CAP", Capacitance, u"F ", u"F "},
    {"TEMP:RTD", RtdTemperature, u"\u00B0c", u"deg."},
    {"TEMP:FRTD", Rtd4WTemperature, u"\u00B0C", u"Deg4"},
    {"VOLT:RAT", VoltageRatio, u"/", u"Rat."},
};

QString general(long double v)
{
    return numtext::formatGeneral(v);
}

} // namespace

std::optional<ConfMatch> matchConfType(QStringView upperReply)
{
    std::optional<ConfMatch> m;
    for (const ConfRow &row : kConfRows) {
        if (upperReply.contains(QLatin1String(row.key)))
            m = ConfMatch{row.type, QString::fromUtf16(row.units1),
                          QString::fromUtf16(row.lunits1)};
    }
    return m;
}

void ReadingEngine::ParseConf(QStringView reply)
{
    QString s = reply.toString();
    s.remove(QLatin1Char('+'));
    s.replace(QLatin1Char(','), QLatin1Char(' '));
    s.remove(QLatin1Char('"'));
    s = s.toUpper();

    m_st.Lunits1.clear();
    const auto m = matchConfType(s);
    if (m) {
        m_st.type = m->type;
        m_st.Units1 = m->Units1;
        m_st.Lunits1 = m->Lunits1;
    }
    if (m_st.Lunits1.isEmpty())
        m_st.Lunits1 = m_st.Units1;
    // The relabelling of a reading starts from the function's own unit, never from a
    // relabelled one that an unknown reply left standing.
    if (m) {
        m_confUnits1 = m_st.Units1;
        m_confLunits1 = m_st.Lunits1;
    } else {
        m_confLunits1 = m_confUnits1;
    }

    // Function name, range, resolution, separated by blanks.
    const qsizetype first = s.indexOf(QLatin1Char(' '));
    QStringView rest = first < 0 ? QStringView() : QStringView(s).mid(first + 1);
    const qsizetype second = rest.indexOf(QLatin1Char(' '));
    const QStringView rangeText = second < 0 ? rest : rest.left(second);
    const QStringView resolText = second < 0 ? QStringView() : rest.mid(second + 1);
    m_st.range = convertNumber(rangeText, 0);
    m_st.resol = convertNumber(resolText, 0);
}

void ReadingEngine::labelUnits(bool autoTemperature)
{
    m_st.Units1 = m_confUnits1;
    m_st.Lunits1 = m_confLunits1;
    if (autoTemperature) {
        m_st.Lunits2 = m_st.Lunits1;
        m_st.Units2 = m_st.Units1;
        m_st.Lunits1 = QStringLiteral("cDeg");
        m_st.Units1 = QStringLiteral("\u00b0C");
    }
    if (m_st.mathEnabled) {
        m_st.Lunits2 = m_st.Lunits1;
        m_st.Units2 = m_st.Units1;
        if (!m_s.Math_units.isEmpty())
            m_st.Units1 = m_s.Math_units;
        m_st.Lunits1 = m_st.Units1;
    }
}

bool ReadingEngine::FilterPass(long double value) const
{
    return ::FilterPass(value, m_s.Filter, m_s.LowFilter, m_s.HighFilter);
}

measpol ReadingEngine::currentRecord() const
{
    measpol r;
    r.value1 = m_st.current;
    r.value2 = m_st.secondary;
    r.dateTime = m_st.timeStamp;
    r.range = m_st.range;
    r.resol = m_st.resol;
    r.Lunits1.set(m_st.Lunits1);
    r.Lunits2.set(m_st.Lunits2);
    return r;
}

QString ReadingEngine::mathPart() const
{
    if (!m_st.mathEnabled)
        return {};
    const QString body =
        QStringLiteral("x=") + general(m_st.m) + QStringLiteral("  b=") + general(m_st.b);
    return m_st.reciprocal ? QStringLiteral(" 1 / ( ") + body + QStringLiteral(" )") : body;
}

QString ReadingEngine::mathLine() const
{
    QString s;
    if (m_s.zeroRef != 0)
        s = QStringLiteral("zero=") + general(m_s.zeroRef) + QStringLiteral("  ");
    return s + mathPart();
}

QString ReadingEngine::rangeText() const
{
    return FormatPrefixed(u"%0.0f", m_st.range, m_s.DecSeparator) + QStringLiteral("\n\n") +
           FormatPrefixed(u"%0.0f", m_st.resol, m_s.DecSeparator);
}

ReadingView ReadingEngine::ProcessReading()
{
    ReadingView view;
    const QStringView sep = m_s.DecSeparator;
    ReadingState &st = m_st;

    st.processed = st.current;
    if (m_s.zeroRef != 0) {
        st.processed -= m_s.zeroRef;
        view.secreadl = st.Units2 + QLatin1Char(' ') + FormatValue(st.current, sep);
        st.current = st.processed;
    }
    if (st.mathEnabled) {
        st.secondary = st.processed;
        st.processed = st.processed * st.m + st.b;
        if (st.reciprocal)
            st.processed = 1 / (st.processed + 1e-38L);
        view.secreadl = st.Units2 + QLatin1Char(' ') + FormatValue(st.current, sep);
        if (!m_s.Math_units.isEmpty())
            st.Units1 = m_s.Math_units;
        st.current = st.processed;
    }
    std::optional<long double> temperature;
    if (autoTemperature)
        temperature = autoTemperature(st.processed);
    if (temperature) {
        st.secondary = st.processed;
        st.processed = *temperature < -299 ? 1e-38L : *temperature;
        st.current = st.processed;
        view.secreadl = st.Units2 + QLatin1Char(' ') + FormatValue(st.secondary, sep);
        view.barColour = DisplayColour::Magenta;
    } else {
        view.barColour = DisplayColour::Green;
    }
    view.valueColour = view.barColour;

    const long double v = st.processed;
    const long double a = std::fabs(v);
    if (a < 1e-36L && v != 0) {
        view.cls = ReadingClass::Underload;
        view.meastext1 = st.Units1 + QStringLiteral("  UNDERLOAD");
        view.measlab1 = emptyBar();
    } else if (a <= 1e37L) {
        view.cls = ReadingClass::Value;
        view.meastext1 = st.Units1 + QLatin1Char(' ') + FormatValue(v, sep);
        view.title = QStringLiteral("ORVA ") + FormatPrefixed(u"%0.2f", v, sep) +
                     (st.mathEnabled ? st.Units1 : st.Lunits1);
        view.measlab1 = barText(v, st.range);
        if (m_s.Limit)
            limitTest(v, view);
    } else if (st.Units1 == kContinuityUnit) {
        view.cls = ReadingClass::Open;
        view.meastext1 = st.Units1 + QStringLiteral("  OPEN");
        view.title = QStringLiteral("ORVA <OPEN>");
        view.measlab1 = fullBar();
    } else {
        view.cls = ReadingClass::Overload;
        view.meastext1 = st.Units1 + QStringLiteral("  OVERLOAD");
        view.measlab1 = emptyBar();
    }
    st.valueColour = view.valueColour;

    view.mathala = mathLine();
    view.measprop1 = rangeText();

    if (updateMean10)
        updateMean10(v);

    if (v > st.previous)
        view.updownl1 = QStringLiteral("t");
    else if (v < st.previous)
        view.updownl1 = QStringLiteral("u");
    st.previous = v;

    if (updateStatistics && sentinel::isValid(v) && FilterPass(v))
        updateStatistics(v);
    if (shiftMean10 && sentinel::isValid(st.current))
        shiftMean10();
    if (autoSave)
        autoSave(currentRecord());
    return view;
}

void ReadingEngine::limitTest(long double v, ReadingView &view)
{
    ReadingState &st = m_st;
    // With a zero on either side the ratio means nothing: such a reading is no jump.
    long double change = 100;
    if (st.lastLimitValue != 0 && v != 0)
        change = std::round(st.lastLimitValue / v * 100);
    st.lastLimitValue = v;
    const bool jump = change < 90 || change > 110;

    if (m_s.LowLimit < v && v < m_s.HighLimit) {
        view.valueColour = DisplayColour::Green;
        st.chartTextColour = DisplayColour::Green;
        st.limitText = QStringLiteral("PASS");
        bool jumped = jump;
        if (!st.inLimit)
            jumped = true; // change := 0
        st.inLimit = true;
        if (m_s.Limit_beep && jumped && st.passArmed) {
            st.passArmed = false;
            view.beepHz = kBackInLimitHz;
            view.beepMs = kBeepMs;
        }
    } else {
        bool jumped = jump;
        if (st.inLimit)
            jumped = true;
        st.inLimit = false;
        view.valueColour = DisplayColour::Red;
        st.chartTextColour = DisplayColour::Red;
        // A reading exactly on the low limit is low, not high.
        st.limitText = v <= m_s.LowLimit ? QStringLiteral(" LOW") : QStringLiteral("HIGH");
        st.passArmed = true;
        if (jumped && m_s.Limit_beep) {
            view.beepHz = kOutOfLimitHz;
            view.beepMs = kBeepMs;
        }
    }
}

long double ReadingEngine::toggleZero()
{
    m_s.zeroRef = m_s.zeroRef != 0 ? 0 : m_st.processed;
    return m_s.zeroRef;
}

long double ReadingEngine::mathNumber(QStringView text)
{
    return convertNumber(text.trimmed(), kMathFailure);
}

void ReadingEngine::enableMath(QStringView mText, QStringView bText)
{
    m_st.m = mathNumber(mText);
    m_st.b = mathNumber(bText);
    m_st.mathEnabled = true;
    m_st.Units2 = m_st.Units1;
    if (!m_s.Math_units.isEmpty())
        m_st.Units1 = m_s.Math_units;
}

void ReadingEngine::disableMath()
{
    m_st.mathEnabled = false;
    // The value before math no longer exists: records after this carry none.
    m_st.secondary = sentinel::kEmptyReading;
}
