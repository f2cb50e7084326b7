// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace sim {

namespace scpi {

QString formatSci(double v, int decimals)
{
    if (!std::isfinite(v))
        v = 9.9e37;
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, decimals);
    QString s = QString::fromLatin1(buf, int(res.ptr - buf));
    s.replace(QLatin1Char('e'), QLatin1Char('E'));
    if (!s.startsWith(QLatin1Char('-')))
        s.prepend(QLatin1Char('+'));
    return s;
}

std::optional<double> parseNumber(QStringView text)
{
    const QByteArray bytes = text.trimmed().toLatin1();
    const char *b = bytes.constData();
    const char *e = b + bytes.size();
    if (b != e && *b == '+')
        ++b;
    // from_chars would take "inf" and "nan"; an instrument does not.
    for (const char *p = b; p != e; ++p) {
        const char c = *p;
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    double v = 0;
    const auto res = std::from_chars(b, e, v);
    if (b == e || res.ec != std::errc() || res.ptr != e)
        return std::nullopt;
    return v;
}

} // namespace scpi

namespace {

constexpr double overloadValue = 9.9e37;
constexpr double pi = 3.14159265358979323846;

// SCPI mnemonic match on an upper-case node: "VOLTage" takes VOLT and VOLTAGE.
bool is(const QString &node, const char *mnemonic)
{
    const QString full = QString::fromLatin1(mnemonic);
    int shortLen = 0;
    while (shortLen < full.size() && !full.at(shortLen).isLower())
        ++shortLen;
    return node == QStringView(full).left(shortLen) || node == full.toUpper();
}

// Matches nodes[from..] against a whole mnemonic sequence.
template <typename Seq>
bool isPathOf(const QStringList &nodes, qsizetype from, const Seq &seq)
{
    if (nodes.size() - from != qsizetype(seq.size()))
        return false;
    qsizetype i = from;
    for (const char *m : seq) {
        if (!is(nodes.at(i++), m))
            return false;
    }
    return true;
}

bool isPath(const QStringList &nodes, qsizetype from, std::initializer_list<const char *> seq)
{
    return isPathOf(nodes, from, seq);
}

std::optional<bool> parseBool(const QString &arg)
{
    const QString a = arg.trimmed().toUpper();
    if (a == QLatin1String("ON") || a == QLatin1String("1"))
        return true;
    if (a == QLatin1String("OFF") || a == QLatin1String("0"))
        return false;
    return std::nullopt;
}

QString boolText(bool b)
{
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList splitArgs(const QString &args)
{
    if (args.trimmed().isEmpty())
        return {};
    QStringList list = args.split(QLatin1Char(','));
    for (QString &a : list)
        a = a.trimmed().toUpper();
    return list;
}

// Callendar-Van Dusen resistance of a 100 ohm platinum sensor.
double pt100(double t, bool alpha392)
{
    const double a = alpha392 ? 3.9848e-3 : 3.9083e-3;
    const double b = alpha392 ? -5.870e-7 : -5.775e-7;
    const double c = alpha392 ? -4.0e-12 : -4.183e-12;
    double r = 100.0 * (1 + a * t + b * t * t);
    if (t < 0)
        r += 100.0 * c * (t - 100) * t * t * t;
    return r;
}

// The slow temperature sweep behind the resistance and temperature readings:
// -10 to 50 degrees over twenty minutes.
double sweepTemperature(qint64 atMs)
{
    return 20.0 + 30.0 * std::sin(2 * pi * double(atMs) / 1.2e6);
}

const char *confKey(Function f)
{
    switch (f) {
    case Function::VoltDc:
        return "VOLT";
    case Function::VoltAc:
        return "VOLT:AC";
    case Function::CurrDc:
        return "CURR";
    case Function::CurrAc:
        return "CURR:AC";
    case Function::Res:
        return "RES";
    case Function::FRes:
        return "FRES";
    case Function::Cont:
        return "CONT";
    case Function::Diode:
        return "DIOD";
    case Function::Freq:
        return "FREQ";
    case Function::Period:
        return "PER";
    case Function::Cap:
        return "CAP";
    case Function::TempRtd:
        return "TEMP:RTD";
    case Function::TempFrtd:
        return "TEMP:FRTD";
    case Function::Ratio:
        return "VOLT:RAT";
    }
    return "VOLT";
}

// Options are kept per function; the ratio function shares the DC voltage settings.
QString optionGroup(Function f)
{
    switch (f) {
    case Function::VoltDc:
    case Function::Ratio:
        return QStringLiteral("VOLT:DC");
    case Function::CurrDc:
        return QStringLiteral("CURR:DC");
    default:
        return QString::fromLatin1(confKey(f));
    }
}

// The RTD functions measure through the resistance input, and share its filter.
QString filterGroup(Function f)
{
    switch (f) {
    case Function::TempRtd:
        return QStringLiteral("RES");
    case Function::TempFrtd:
        return QStringLiteral("FRES");
    default:
        return optionGroup(f);
    }
}

// Consumes the function nodes of a header ("VOLT:DC:RATIO", "FRES", "TEMP:RTD").
std::optional<Function> parseFunction(const QStringList &n, qsizetype &i)
{
    if (i >= n.size())
        return std::nullopt;
    const QString &h = n.at(i);
    auto next = [&](const char *m) {
        if (i + 1 < n.size() && is(n.at(i + 1), m)) {
            ++i;
            return true;
        }
        return false;
    };
    std::optional<Function> f;
    if (is(h, "VOLTage")) {
        f = Function::VoltDc;
        if (next("AC"))
            f = Function::VoltAc;
        else
            next("DC");
        if (f == Function::VoltDc && next("RATio"))
            f = Function::Ratio;
    } else if (is(h, "CURRent")) {
        f = next("AC") ? Function::CurrAc : Function::CurrDc;
        if (f == Function::CurrDc)
            next("DC");
    } else if (is(h, "RESistance")) {
        f = Function::Res;
    } else if (is(h, "FRESistance")) {
        f = Function::FRes;
    } else if (is(h, "CONTinuity")) {
        f = Function::Cont;
    } else if (is(h, "DIODe")) {
        f = Function::Diode;
    } else if (is(h, "FREQuency")) {
        f = Function::Freq;
    } else if (is(h, "PERiod")) {
        f = Function::Period;
    } else if (is(h, "CAPacitance")) {
        f = Function::Cap;
    } else if (is(h, "TEMPerature")) {
        f = next("FRTD") ? Function::TempFrtd : Function::TempRtd;
        if (f == Function::TempRtd)
            next("RTD");
    }
    if (f)
        ++i;
    return f;
}

// A value from a fixed list, or MIN / MAX of it.
std::optional<double> pickFrom(const QString &arg, const std::vector<double> &allowed)
{
    const QString a = arg.trimmed().toUpper();
    if (a == QLatin1String("MIN") || a == QLatin1String("MINIMUM"))
        return allowed.front();
    if (a == QLatin1String("MAX") || a == QLatin1String("MAXIMUM"))
        return allowed.back();
    const auto v = scpi::parseNumber(a);
    if (!v)
        return std::nullopt;
    for (double x : allowed) {
        if (std::fabs(*v - x) <= 1e-9 * x)
            return x;
    }
    return std::nullopt;
}

} // namespace

Instrument::Instrument() : m_rng(884)
{
    m_clock.start();
    setIdentification(QStringLiteral("ORVA"), QStringLiteral("8846S"), QStringLiteral("SIM00001"),
                      QStringLiteral("1.0-SIM"));
    m_calDate = QStringLiteral("2025-11-03");
    reset();
}

QStringList Instrument::splitLine(const QString &line)
{
    QStringList pieces;
    QString cur;
    QChar quote;
    for (QChar c : line) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char(';')) {
            pieces << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    pieces << cur;
    return pieces;
}

void Instrument::reset()
{
    m_function = Function::VoltDc;
    m_autoRange = true;
    m_resMode = ResMode::Default;
    m_resolution = 0;
    m_probe = QStringLiteral("PT100_385");
    m_diodeVolts = 5;
    m_options.clear();
    m_trigCount = 1;
    m_sampCount = 1;
    m_trigDelay = 0;
    m_trigSource = QStringLiteral("IMM");
    m_autoZero = true;
    m_series.clear();
    m_seriesTaken = false;
    m_displayOn = true;
    m_displayText.clear();
    m_ese = 0;
    setFunction(Function::VoltDc);
}

void Instrument::setIdentification(const QString &maker, const QString &model,
                                   const QString &serial, const QString &firmware)
{
    m_maker = maker;
    m_model = model;
    m_serial = serial;
    m_firmware = firmware;
}

Instrument::RangeTable Instrument::rangeTable(Function f) const
{
    switch (f) {
    case Function::VoltDc:
    case Function::Ratio:
        return {{0.1, 1, 10, 100, 1000}, true};
    case Function::VoltAc:
        return {{0.1, 1, 10, 100, 750}, true};
    case Function::CurrDc:
    case Function::CurrAc:
        return {{1e-4, 1e-3, 1e-2, 0.1, 0.4, 1, 3, 10}, true};
    case Function::Res:
    case Function::FRes:
        return {{10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9}, true};
    case Function::Cap:
        return {{1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1}, true};
    // The range of these is the input voltage range; it never limits the reading.
    case Function::Freq:
    case Function::Period:
        return {{0.1, 1, 10, 100, 750}, false};
    case Function::Cont:
        return {{1000}, true};
    case Function::Diode:
        return {{double(m_diodeVolts)}, true};
    case Function::TempRtd:
    case Function::TempFrtd:
        return {{100}, false};
    }
    return {};
}

double Instrument::rangeFor(double value) const
{
    const RangeTable table = rangeTable(m_function);
    if (table.ranges.empty())
        return 1;
    // Frequency and period report their input voltage range; automatic settles on 10 V
    // for the simulated 5 V signal.
    if (!table.overload)
        return m_autoRange ? std::min(10.0, table.ranges.back()) : m_range;
    for (double r : table.ranges) {
        if (std::fabs(value) <= r)
            return r;
    }
    return table.ranges.back();
}

void Instrument::setFunction(Function f)
{
    m_function = f;
    m_autoRange = true;
    m_resMode = ResMode::Default;
    m_range = rangeFor(modelValue(f, -1));
}

void Instrument::setRange(double range)
{
    if (range <= 0) {
        m_autoRange = true;
        m_range = rangeFor(modelValue(m_function, -1));
        return;
    }
    m_autoRange = false;
    const RangeTable table = rangeTable(m_function);
    m_range = range;
    for (double r : table.ranges) {
        if (r >= range * (1 - 1e-9)) {
            m_range = r;
            break;
        }
    }
}

double Instrument::range() const
{
    return m_range;
}

void Instrument::setResolution(double resolution)
{
    if (resolution <= 0) {
        m_resMode = ResMode::Default;
    } else {
        m_resMode = ResMode::Value;
        m_resolution = resolution;
    }
}

// Resolution scales with the range, except where the range is the input voltage range
// of a counter: there it scales with the expected reading.
double Instrument::resolutionBase() const
{
    switch (m_function) {
    case Function::Freq:
        return 1000;
    case Function::Period:
        return 1e-3;
    default:
        return m_range;
    }
}

double Instrument::resolution() const
{
    switch (m_resMode) {
    case ResMode::Min:
        return resolutionBase() * 1e-7;
    case ResMode::Max:
        return resolutionBase() * 1e-4;
    case ResMode::Value:
        return m_resolution;
    case ResMode::Default:
        break;
    }
    return resolutionBase() * 3e-7;
}

QString Instrument::confText() const
{
    return QLatin1Char('"') + QString::fromLatin1(confKey(m_function)) + QLatin1Char(' ') +
           scpi::formatSci(range(), 6) + QLatin1Char(',') + scpi::formatSci(resolution(), 6) +
           QLatin1Char('"');
}

void Instrument::setReadingSequence(const QStringList &values)
{
    m_sequence = values;
    m_sequencePos = 0;
}

void Instrument::setSeed(quint32 seed)
{
    m_rng.seed(seed);
}

void Instrument::queueError(int code, const QString &message)
{
    // The queue holds 20 entries; the last one then reports the overflow.
    constexpr std::size_t capacity = 20;
    if (m_errors.size() >= capacity) {
        m_errors.back() = {-350, QStringLiteral("Queue overflow")};
        return;
    }
    m_errors.emplace_back(code, message);
}

void Instrument::setFilterState(Function f, bool analog, bool digital)
{
    m_options.insert(filterGroup(f) + QLatin1String(":FILT"), boolText(analog));
    m_options.insert(filterGroup(f) + QLatin1String(":FILT:DIG"), boolText(digital));
}

bool Instrument::filterAnalog(Function f) const
{
    return m_options.value(filterGroup(f) + QLatin1String(":FILT")) == QLatin1String("1");
}

bool Instrument::filterDigital(Function f) const
{
    return m_options.value(filterGroup(f) + QLatin1String(":FILT:DIG")) == QLatin1String("1");
}

// atMs < 0 asks for the noiseless nominal value (used to pick an automatic range).
double Instrument::modelValue(Function f, qint64 atMs)
{
    const bool nominal = atMs < 0;
    const qint64 t = nominal ? 0 : atMs;
    double v = 0;
    double sigma = 0;
    switch (f) {
    case Function::VoltDc:
        v = 1.2345;
        sigma = 2e-5;
        break;
    case Function::VoltAc:
        v = 0.2301;
        sigma = 5e-5;
        break;
    case Function::CurrDc:
        v = 0.012345;
        sigma = 2e-7;
        break;
    case Function::CurrAc:
        v = 0.00456;
        sigma = 1e-7;
        break;
    // Two-wire resistance includes the test leads.
    case Function::Res:
        v = pt100(sweepTemperature(t), false) + 0.35;
        sigma = 2e-3;
        break;
    case Function::FRes:
        v = pt100(sweepTemperature(t), false);
        sigma = 1e-3;
        break;
    case Function::Cont:
        v = 0.42;
        sigma = 0.01;
        break;
    case Function::Diode:
        v = 0.6123;
        sigma = 1e-4;
        break;
    case Function::Freq:
        v = 1000.0;
        sigma = 0.01;
        break;
    case Function::Period:
        v = 1e-3;
        sigma = 1e-8;
        break;
    case Function::Cap:
        v = 4.7e-8;
        sigma = 5e-11;
        break;
    case Function::TempRtd:
        v = sweepTemperature(t);
        sigma = 3e-3;
        break;
    case Function::TempFrtd:
        v = sweepTemperature(t);
        sigma = 1e-3;
        break;
    case Function::Ratio:
        v = 0.98765;
        sigma = 5e-6;
        break;
    }
    if (nominal)
        return v;
    std::normal_distribution<double> noise(0.0, sigma);
    return v + noise(m_rng);
}

QString Instrument::takeReading(qint64 atMs)
{
    if (m_garbage)
        return QStringLiteral("+1.2#4?6X8E+0!");
    if (!m_sequence.isEmpty()) {
        const QString text =
            m_sequence.at(std::min<qsizetype>(m_sequencePos, m_sequence.size() - 1));
        if (m_sequencePos < m_sequence.size())
            ++m_sequencePos;
        return text;
    }
    double v = modelValue(m_function, atMs);
    const RangeTable table = rangeTable(m_function);
    if (m_autoRange)
        m_range = rangeFor(v);
    if (table.overload && std::fabs(v) > 1.2 * m_range)
        return scpi::formatSci(v < 0 ? -overloadValue : overloadValue, 8);
    const double res = resolution();
    if (res > 0 && std::fabs(v) / res < 1e15)
        v = std::round(v / res) * res;
    return scpi::formatSci(v, 8);
}

Instrument::Step Instrument::takeSeries(bool answer)
{
    // Triggers are immediate whatever the source: the simulator has no trigger input.
    const qint64 now = m_clock.elapsed();
    const double delayMs = m_trigDelay * 1000.0 * m_timeScale;
    m_series.clear();
    for (int trig = 0; trig < m_trigCount; ++trig) {
        const qint64 at = now + qint64(std::llround(delayMs * (trig + 1)));
        for (int s = 0; s < m_sampCount; ++s)
            m_series << takeReading(at);
    }
    m_seriesTaken = true;
    Step step;
    step.busyMs = std::llround(delayMs * m_trigCount);
    if (answer)
        step.answer = m_series.join(QLatin1Char(','));
    return step;
}

void Instrument::configure(Function f, const QStringList &params)
{
    if (params.size() > 2) {
        queueError(-108, QStringLiteral("Parameter not allowed"));
        return;
    }
    const QString p0 = params.value(0);
    const QString p1 = params.value(1);
    const auto isDefault = [](const QString &p) {
        return p.isEmpty() || p == QLatin1String("DEF") || p == QLatin1String("DEFAULT") ||
               p == QLatin1String("AUTO");
    };

    if (f == Function::TempRtd || f == Function::TempFrtd) {
        static const QStringList probes = {QStringLiteral("PT100_385"), QStringLiteral("PT100_392"),
                                           QStringLiteral("CUST1")};
        if (!isDefault(p0) && !probes.contains(p0)) {
            queueError(-224, QStringLiteral("Illegal parameter value"));
            return;
        }
        setFunction(f);
        m_probe = isDefault(p0) ? probes.first() : p0;
        m_autoRange = false;
        m_range = 100;
    } else if (f == Function::Diode) {
        // "CONF:DIOD current,voltage": 0 = 1 mA / 5 V, 1 = 0.1 mA / 10 V.
        const bool ok0 = isDefault(p0) || p0 == QLatin1String("0") || p0 == QLatin1String("1");
        const bool ok1 = isDefault(p1) || p1 == QLatin1String("0") || p1 == QLatin1String("1");
        if (!ok0 || !ok1) {
            queueError(-224, QStringLiteral("Illegal parameter value"));
            return;
        }
        m_diodeVolts = p1 == QLatin1String("1") ? 10 : 5;
        setFunction(f);
        m_autoRange = false;
        m_range = m_diodeVolts;
    } else if (f == Function::Cont) {
        setFunction(f);
        m_autoRange = false;
        m_range = 1000;
    } else {
        const RangeTable table = rangeTable(f);
        std::optional<double> range; // empty: automatic
        if (p0 == QLatin1String("MIN") || p0 == QLatin1String("MINIMUM")) {
            range = table.ranges.front();
        } else if (p0 == QLatin1String("MAX") || p0 == QLatin1String("MAXIMUM")) {
            range = table.ranges.back();
        } else if (!isDefault(p0)) {
            const auto v = scpi::parseNumber(p0);
            if (!v) {
                queueError(-224, QStringLiteral("Illegal parameter value"));
                return;
            }
            if (std::fabs(*v) > table.ranges.back() * (1 + 1e-9)) {
                queueError(-222, QStringLiteral("Data out of range"));
                return;
            }
            range = std::fabs(*v);
        }
        ResMode mode = ResMode::Default;
        double resValue = 0;
        if (p1 == QLatin1String("MIN") || p1 == QLatin1String("MINIMUM")) {
            mode = ResMode::Min;
        } else if (p1 == QLatin1String("MAX") || p1 == QLatin1String("MAXIMUM")) {
            mode = ResMode::Max;
        } else if (!isDefault(p1)) {
            const auto v = scpi::parseNumber(p1);
            if (!v || *v <= 0) {
                queueError(-224, QStringLiteral("Illegal parameter value"));
                return;
            }
            mode = ResMode::Value;
            resValue = *v;
        }
        setFunction(f);
        if (range)
            setRange(*range);
        m_resMode = mode;
        m_resolution = resValue;
    }
    // Configuring resets the trigger system, as on the real instrument.
    m_trigCount = 1;
    m_sampCount = 1;
    m_trigDelay = 0;
    m_trigSource = QStringLiteral("IMM");
}

Instrument::Step Instrument::execute(const QString &command, Path &path)
{
    Step step;
    const QString cmd = command.trimmed();
    if (cmd.isEmpty())
        return step;
    qsizetype sp = 0;
    while (sp < cmd.size() && !cmd.at(sp).isSpace())
        ++sp;
    QString header = cmd.left(sp).toUpper();
    const QString args = cmd.mid(sp).trimmed();

    if (header.startsWith(QLatin1Char('*'))) {
        const bool query = header.endsWith(QLatin1Char('?'));
        if (query)
            header.chop(1);
        if (!dispatchCommon(header, query, args, step))
            queueError(-113, QStringLiteral("Undefined header"));
        return step;
    }

    const bool absolute = header.startsWith(QLatin1Char(':'));
    if (absolute)
        header.remove(0, 1);
    const bool query = header.endsWith(QLatin1Char('?'));
    if (query)
        header.chop(1);
    const QStringList nodes = header.split(QLatin1Char(':'));
    if (std::any_of(nodes.begin(), nodes.end(), [](const QString &n) { return n.isEmpty(); })) {
        queueError(-113, QStringLiteral("Undefined header"));
        return step;
    }
    // A header without a leading colon continues the previous one's path; where that
    // gives nothing known, the root is tried too (the lenient reading instruments use).
    if (!absolute && !path.isEmpty()) {
        const QStringList full = path + nodes;
        if (dispatch(full, query, args, step)) {
            path = full.mid(0, full.size() - 1);
            return step;
        }
    }
    if (dispatch(nodes, query, args, step)) {
        path = nodes.mid(0, nodes.size() - 1);
        return step;
    }
    queueError(-113, QStringLiteral("Undefined header"));
    return step;
}

bool Instrument::dispatchCommon(const QString &header, bool query, const QString &args, Step &step)
{
    if (header == QLatin1String("*IDN") && query) {
        step.answer = QStringList{m_maker, m_model, m_serial, m_firmware}.join(QLatin1Char(','));
    } else if (header == QLatin1String("*RST") && !query) {
        reset();
    } else if (header == QLatin1String("*CLS") && !query) {
        m_errors.clear();
    } else if (header == QLatin1String("*ESE")) {
        if (query) {
            step.answer = QLatin1Char('+') + QString::number(m_ese);
        } else {
            const auto v = scpi::parseNumber(args);
            if (!v || *v < 0 || *v > 255 || *v != std::floor(*v))
                queueError(-224, QStringLiteral("Illegal parameter value"));
            else
                m_ese = int(*v);
        }
    } else if ((header == QLatin1String("*ESR") || header == QLatin1String("*STB")) && query) {
        // Bit 2 of the status byte: the error queue is not empty.
        const int stb = header == QLatin1String("*STB") && !m_errors.empty() ? 4 : 0;
        step.answer = QLatin1Char('+') + QString::number(stb);
    } else if (header == QLatin1String("*OPC")) {
        if (query)
            step.answer = QStringLiteral("1");
    } else if ((header == QLatin1String("*WAI") || header == QLatin1String("*TRG") ||
                header == QLatin1String("*SRE")) &&
               !query) {
    } else {
        return false;
    }
    return true;
}

bool Instrument::dispatch(const QStringList &nodesIn, bool query, const QString &args, Step &step)
{
    QStringList n = nodesIn;
    bool sense = false;
    if (is(n.first(), "SENSe")) {
        n.removeFirst();
        sense = true;
        if (n.isEmpty())
            return false;
    }
    const QString &h = n.first();
    const QStringList params = splitArgs(args);
    const auto missing = [&] { queueError(-109, QStringLiteral("Missing parameter")); };
    const auto illegal = [&] { queueError(-224, QStringLiteral("Illegal parameter value")); };

    if (!sense) {
        if (is(h, "CONFigure")) {
            if (n.size() == 1) {
                if (!query)
                    return false;
                step.answer = confText();
                return true;
            }
            qsizetype i = 1;
            const auto f = parseFunction(n, i);
            if (!f || i != n.size() || query)
                return false;
            configure(*f, params);
            return true;
        }
        if (n.size() == 1 && is(h, "READ") && query) {
            step = takeSeries(true);
            return true;
        }
        if (n.size() == 1 && is(h, "FETCh") && query) {
            if (!m_seriesTaken) {
                queueError(-230, QStringLiteral("Data stale"));
                step.answer = QString();
            } else {
                step.answer = m_series.join(QLatin1Char(','));
            }
            return true;
        }
        // A single fresh reading without a series.
        if (n.size() == 1 && (h == QLatin1String("FETC3") || h == QLatin1String("FETCH3")) &&
            query) {
            step.answer = takeReading(m_clock.elapsed());
            return true;
        }
        if ((isPath(n, 0, {"INITiate"}) || isPath(n, 0, {"INITiate", "IMMediate"})) && !query) {
            step = takeSeries(false);
            return true;
        }
        if (isPath(n, 0, {"ABORt"}) && !query)
            return true;
        if (n.size() == 1 && h == QLatin1String("IDN") && !query)
            return true; // sent by the program at connect; the instrument ignores it
        if (is(h, "SYSTem") && n.size() >= 2) {
            if ((isPath(n, 1, {"ERRor"}) || isPath(n, 1, {"ERRor", "NEXT"})) && query) {
                if (m_errors.empty()) {
                    step.answer = QStringLiteral("+0,\"No error\"");
                } else {
                    const auto [code, text] = m_errors.front();
                    m_errors.erase(m_errors.begin());
                    step.answer = (code >= 0 ? QStringLiteral("+") : QString()) +
                                  QString::number(code) + QStringLiteral(",\"") + text +
                                  QLatin1Char('"');
                }
                return true;
            }
            if (query && isPath(n, 1, {"VERSion"})) {
                step.answer = QStringLiteral("1994.0");
                return true;
            }
            if (!query && isPath(n, 1, {"REMote"})) {
                m_remote = RemoteState::Remote;
                return true;
            }
            if (!query && isPath(n, 1, {"LOCal"})) {
                m_remote = RemoteState::Local;
                return true;
            }
            if (!query && isPath(n, 1, {"RWLock"})) {
                m_remote = RemoteState::RemoteLocked;
                return true;
            }
            const bool time = isPath(n, 1, {"TIME"});
            if (time || isPath(n, 1, {"DATE"})) {
                QString &stored = time ? m_sysTime : m_sysDate;
                if (query) {
                    step.answer = stored;
                    return true;
                }
                // "hh:nn:ss" / "mm-dd-yyyy" as the program sends them, or SCPI's commas.
                QString a = args;
                a.replace(QLatin1Char(time ? ':' : '-'), QLatin1Char(','));
                const QStringList parts = a.split(QLatin1Char(','));
                const bool ok = parts.size() == 3 &&
                                std::all_of(parts.begin(), parts.end(), [](const QString &p) {
                                    const auto v = scpi::parseNumber(p);
                                    return v && *v >= 0 && *v == std::floor(*v);
                                });
                if (!ok)
                    illegal();
                else
                    stored = args;
                return true;
            }
            return false;
        }
        if (isPath(n, 0, {"ROUTe", "TERMinals"}) && query) {
            step.answer = m_rear ? QStringLiteral("REAR") : QStringLiteral("FRON");
            return true;
        }
        if (is(h, "TRIGger") && n.size() == 2) {
            if (is(n.at(1), "DELay")) {
                if (query) {
                    step.answer = scpi::formatSci(m_trigDelay, 8);
                } else if (params.isEmpty()) {
                    missing();
                } else {
                    const QString &a = params.first();
                    std::optional<double> v;
                    if (a == QLatin1String("MIN") || a == QLatin1String("AUTO"))
                        v = 0;
                    else if (a == QLatin1String("MAX"))
                        v = 3600;
                    else
                        v = scpi::parseNumber(a);
                    if (!v || *v < 0 || *v > 3600)
                        queueError(-222, QStringLiteral("Data out of range"));
                    else
                        m_trigDelay = *v;
                }
                return true;
            }
            if (is(n.at(1), "SOURce")) {
                if (query) {
                    step.answer = m_trigSource;
                    return true;
                }
                const QString a = params.value(0);
                if (is(a, "IMMediate"))
                    m_trigSource = QStringLiteral("IMM");
                else if (is(a, "BUS"))
                    m_trigSource = QStringLiteral("BUS");
                else if (is(a, "EXTernal"))
                    m_trigSource = QStringLiteral("EXT");
                else
                    illegal();
                return true;
            }
        }
        const bool trigCount = isPath(n, 0, {"TRIGger", "COUNt"});
        if (trigCount || isPath(n, 0, {"SAMPle", "COUNt"})) {
            int &count = trigCount ? m_trigCount : m_sampCount;
            const int other = trigCount ? m_sampCount : m_trigCount;
            if (query) {
                step.answer = scpi::formatSci(count, 8);
                return true;
            }
            if (params.isEmpty()) {
                missing();
                return true;
            }
            const QString &a = params.first();
            std::optional<double> v;
            if (a == QLatin1String("MIN"))
                v = 1;
            else if (a == QLatin1String("MAX"))
                v = maxSeriesReadings / other;
            else
                v = scpi::parseNumber(a);
            if (!v || *v != std::floor(*v) || *v < 1 || *v * other > maxSeriesReadings)
                queueError(-222, QStringLiteral("Data out of range"));
            else
                count = int(*v);
            return true;
        }
        if (is(h, "DISPlay")) {
            if (n.size() == 1 || isPath(n, 0, {"DISPlay", "STATe"})) {
                if (query) {
                    step.answer = boolText(m_displayOn);
                } else if (const auto b = parseBool(args)) {
                    m_displayOn = *b;
                } else {
                    illegal();
                }
                return true;
            }
            if (isPath(n, 0, {"DISPlay", "TEXT"})) {
                if (query) {
                    step.answer = QLatin1Char('"') + m_displayText + QLatin1Char('"');
                    return true;
                }
                QString text = args;
                if (!text.isEmpty() &&
                    (text.front() == QLatin1Char('\'') || text.front() == QLatin1Char('"'))) {
                    const QChar q = text.front();
                    text.remove(0, 1);
                    if (text.endsWith(q))
                        text.chop(1);
                }
                // The display shows twelve characters.
                if (text.size() > 12)
                    queueError(-223, QStringLiteral("Too much data"));
                else
                    m_displayText = text;
                return true;
            }
            if (isPath(n, 0, {"DISPlay", "TEXT", "CLEar"}) && !query) {
                m_displayText.clear();
                return true;
            }
            return false;
        }
        if (isPath(n, 0, {"CALibration", "DATE"}) && query) {
            step.answer = m_calDate;
            return true;
        }
    }

    if (isPath(n, 0, {"ZERO", "AUTO"})) {
        if (query) {
            step.answer = boolText(m_autoZero);
        } else if (params.value(0) == QLatin1String("ONCE")) {
            m_autoZero = false;
        } else if (const auto b = parseBool(args)) {
            m_autoZero = *b;
        } else {
            illegal();
        }
        return true;
    }
    if (isPath(n, 0, {"FUNCtion"})) {
        if (query) {
            step.answer =
                QLatin1Char('"') + QString::fromLatin1(confKey(m_function)) + QLatin1Char('"');
            return true;
        }
        QString name = args;
        name.remove(QLatin1Char('"')).remove(QLatin1Char('\''));
        const QStringList fn = name.trimmed().toUpper().split(QLatin1Char(':'));
        qsizetype i = 0;
        const auto f = parseFunction(fn, i);
        if (!f || i != fn.size())
            illegal();
        else
            setFunction(*f);
        return true;
    }
    // The filter of the present function: "FILTer[:STATe]", "FILTer:DIGital[:STATe]".
    if (is(h, "FILTer"))
        return dispatchFunctionOption(m_function, n, query, args, step);
    qsizetype i = 0;
    const auto f = parseFunction(n, i);
    if (!f)
        return false;
    return dispatchFunctionOption(*f, n.mid(i), query, args, step);
}

QString Instrument::optionKey(Function f, const QString &key) const
{
    return (key.startsWith(QLatin1String("FILT")) ? filterGroup(f) : optionGroup(f)) +
           QLatin1Char(':') + key;
}

QString Instrument::optionValue(const QString &fullKey) const
{
    if (const auto it = m_options.constFind(fullKey); it != m_options.constEnd())
        return *it;
    if (fullKey.endsWith(QLatin1String(":NPLC")))
        return scpi::formatSci(10, 8);
    if (fullKey.endsWith(QLatin1String(":BAND")))
        return scpi::formatSci(20, 8);
    if (fullKey.endsWith(QLatin1String(":APER")))
        return scpi::formatSci(0.1, 8);
    if (fullKey.endsWith(QLatin1String(":VOLT:RANG")))
        return scpi::formatSci(10, 8);
    if (fullKey.endsWith(QLatin1String(":VOLT:RANG:AUTO")))
        return boolText(true);
    return boolText(false);
}

bool Instrument::dispatchFunctionOption(Function f, const QStringList &rest, bool query,
                                        const QString &args, Step &step)
{
    if (rest.isEmpty())
        return false;
    const auto illegal = [&] { queueError(-224, QStringLiteral("Illegal parameter value")); };

    // Range and resolution of the present function.
    if (isPath(rest, 0, {"RANGe"}) || isPath(rest, 0, {"RANGe", "AUTO"}) ||
        isPath(rest, 0, {"RESolution"})) {
        const bool sameFunction = f == m_function;
        if (query) {
            if (rest.size() == 2)
                step.answer = boolText(sameFunction ? m_autoRange : true);
            else if (is(rest.first(), "RANGe"))
                step.answer = scpi::formatSci(range(), 8);
            else
                step.answer = scpi::formatSci(resolution(), 8);
            return true;
        }
        const QString a = args.trimmed().toUpper();
        if (rest.size() == 2) {
            const auto b = parseBool(a);
            if (!b)
                illegal();
            else if (sameFunction && *b)
                setRange(0);
            else if (sameFunction)
                m_autoRange = false;
            return true;
        }
        std::optional<double> v;
        if (a == QLatin1String("MIN"))
            v = is(rest.first(), "RANGe") ? rangeTable(f).ranges.front() : 0;
        else if (a == QLatin1String("MAX"))
            v = is(rest.first(), "RANGe") ? rangeTable(f).ranges.back() : 0;
        else
            v = scpi::parseNumber(a);
        if (!v || *v < 0) {
            illegal();
        } else if (sameFunction && is(rest.first(), "RANGe")) {
            setRange(*v);
        } else if (sameFunction) {
            if (a == QLatin1String("MIN"))
                m_resMode = ResMode::Min;
            else if (a == QLatin1String("MAX"))
                m_resMode = ResMode::Max;
            else
                setResolution(*v);
        }
        return true;
    }

    enum class Kind { Bool, Number };
    struct Option
    {
        std::vector<const char *> path;
        const char *key;
        Kind kind;
        std::vector<double> allowed;
    };
    static const Option options[] = {
        {{"FILTer"}, "FILT", Kind::Bool, {}},
        {{"FILTer", "STATe"}, "FILT", Kind::Bool, {}},
        {{"FILTer", "DIGital"}, "FILT:DIG", Kind::Bool, {}},
        {{"FILTer", "DIGital", "STATe"}, "FILT:DIG", Kind::Bool, {}},
        {{"IMPedance", "AUTO"}, "IMP:AUTO", Kind::Bool, {}},
        {{"NPLCycles"}, "NPLC", Kind::Number, {0.02, 0.2, 1, 10, 100}},
        {{"BANDwidth"}, "BAND", Kind::Number, {3, 20, 200}},
        {{"APERture"}, "APER", Kind::Number, {0.01, 0.1, 1}},
        {{"VOLTage", "RANGe"}, "VOLT:RANG", Kind::Number, {0.1, 1, 10, 100, 1000}},
        {{"VOLTage", "RANGe", "AUTO"}, "VOLT:RANG:AUTO", Kind::Bool, {}},
    };
    for (const Option &o : options) {
        if (!isPathOf(rest, 0, o.path))
            continue;
        const QString key = optionKey(f, QString::fromLatin1(o.key));
        if (query) {
            step.answer = optionValue(key);
        } else if (o.kind == Kind::Bool) {
            if (const auto b = parseBool(args))
                m_options.insert(key, boolText(*b));
            else
                illegal();
        } else if (const auto v = pickFrom(args, o.allowed)) {
            m_options.insert(key, scpi::formatSci(*v, 8));
        } else {
            illegal();
        }
        return true;
    }
    return false;
}

} // namespace sim
