// SPDX-License-Identifier: GPL-3.0-or-later
#include "loggeroptions.h"

#include "app/settings.h"

#include <QCommandLineParser>

#include <limits>

namespace {

struct Option
{
    const char *name;
    const char *value; // nullptr: a switch
    const char *help;
};

const Option kOptions[] = {
    {"host", "HOST", "instrument address or host name (default: the settings' host1)"},
    {"port", "PORT", "instrument TCP port (default: the settings' port1, 3490)"},
    {"device", "N", "take address and port from entry N (1-128) of the device list"},
    {"command", "TEXT", "send TEXT after connecting, e.g. \"CONF:VOLT:DC 10,3E-6\" (repeatable)"},
    {"delay", "MS", "repeat delay between two readings in ms (default: the settings')"},
    {"duration", "TIME", "end after TIME: 90s, 15m, 12h, 3d (default: until stopped)"},
    {"count", "N", "end after N readings"},
    {"datadir", "DIR", "write the data file below DIR/Log (default: the settings' data folder)"},
    {"format", "s|c|t", "separator of the data file: semicolon -s.csv, comma -c.txt, tab -t.txt"},
    {"stdout", nullptr, "also write each reading as a data-file line to standard output"},
    {"quiet", nullptr, "print nothing but errors"},
    {"retry", "S", "seconds between two connects after the link is lost (default 5)"},
    {"give-up", "S", "end with exit code 5 after S seconds without a link (default: never)"},
    {"buffer", "N", "also keep the last N readings in memory (default: none)"},
    {"config", "DIR", "read the settings file Kavolin.ini from DIR (as /configdir: does)"},
};

std::optional<qint64> wholeNumber(const QString &text, qint64 min, qint64 max)
{
    bool ok = false;
    // toLongLong reads digits the same in every locale.
    const qint64 v = text.trimmed().toLongLong(&ok, 10);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

} // namespace

std::optional<qint64> LoggerOptions::parseDuration(const QString &text)
{
    static const std::pair<const char *, qint64> kUnits[] = {
        {"ms", 1}, {"s", 1000}, {"m", 60000}, {"h", 3600000}, {"d", 86400000}};
    const QString t = text.trimmed().toLower();
    for (const auto &[suffix, factor] : kUnits) {
        if (!t.endsWith(QLatin1String(suffix)))
            continue;
        const QString number = t.chopped(qsizetype(qstrlen(suffix)));
        // "5m" must not be read as "5" and "m" of "ms".
        if (number.isEmpty() || !number.back().isDigit())
            continue;
        const auto v = wholeNumber(number, 1, std::numeric_limits<qint64>::max() / factor);
        return v ? std::optional<qint64>(*v * factor) : std::nullopt;
    }
    const auto v = wholeNumber(t, 1, std::numeric_limits<qint64>::max() / 1000);
    return v ? std::optional<qint64>(*v * 1000) : std::nullopt;
}

QString LoggerOptions::usage()
{
    QString s = QStringLiteral(
        "Usage: tervaxis-log [OPTION]...\n"
        "Measures automatically with the settings of Tervaxis and writes every reading to the\n"
        "automatic data file, without a window. Ends after --duration or --count, or on\n"
        "Ctrl+C, SIGTERM or SIGHUP with the close list sent and every reading written.\n\n");
    const auto line = [&s](const QString &left, const char *help) {
        s += left.leftJustified(22) + QLatin1Char(' ') + QLatin1String(help) + QLatin1Char('\n');
    };
    for (const Option &o : kOptions)
        line(QStringLiteral("  --") + QLatin1String(o.name) +
                 (o.value ? QLatin1Char(' ') + QLatin1String(o.value) : QString()),
             o.help);
    line(QStringLiteral("  --help"), "show this text");
    line(QStringLiteral("  /configdir:DIR"), "as --config, the window's switch");
    s += QStringLiteral("\nExit status: 0 done, 2 usage, 3 could not connect at start, 4 data file\n"
                        "not writable, 5 link lost for good.\n");
    return s;
}

QString LoggerOptions::parse(const QStringList &arguments, LoggerOptions &out)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option &o : kOptions) {
        if (o.value)
            p.addOption({QLatin1String(o.name), QLatin1String(o.help), QLatin1String(o.value)});
        else
            p.addOption({QLatin1String(o.name), QLatin1String(o.help)});
    }
    p.addOption({QStringLiteral("help"), QStringLiteral("show this text")});
    // The window's switch, taken from the arguments before the parser sees them.
    QStringList args = {QStringLiteral("tervaxis-log")}; // the parser skips the first
    for (const QString &a : arguments) {
        if (a.startsWith(QLatin1String("/configdir:"), Qt::CaseInsensitive))
            out.configDir = a.mid(11);
        else
            args << a;
    }
    if (!p.parse(args))
        return p.errorText();
    if (p.isSet(QStringLiteral("help")))
        return QStringLiteral("help");
    if (!p.positionalArguments().isEmpty())
        return QStringLiteral("Unexpected argument '%1'.").arg(p.positionalArguments().first());

    const auto number = [&](const char *name, qint64 min, qint64 max, auto &into) -> QString {
        if (!p.isSet(QLatin1String(name)))
            return {};
        const auto v = wholeNumber(p.value(QLatin1String(name)), min, max);
        if (!v)
            return QStringLiteral("--%1 takes a whole number from %2 to %3.")
                .arg(QLatin1String(name))
                .arg(min)
                .arg(max);
        into = static_cast<std::remove_reference_t<decltype(into)>>(*v);
        return {};
    };
    for (const QString &e :
         {number("port", 1, 65535, out.port), number("device", 1, kDeviceCount, out.device),
          number("delay", 0, 86400000, out.delayMs),
          number("count", 1, std::numeric_limits<qint64>::max(), out.count),
          number("retry", 1, 86400, out.retryS), number("give-up", 1, 315360000, out.giveUpS),
          number("buffer", 1, kMaxBufferSize, out.buffer)}) {
        if (!e.isEmpty())
            return e;
    }
    if (p.isSet(QStringLiteral("duration"))) {
        const auto d = parseDuration(p.value(QStringLiteral("duration")));
        if (!d)
            return QStringLiteral("--duration takes a time such as 90s, 15m, 12h or 3d.");
        out.durationMs = *d;
    }
    if (p.isSet(QStringLiteral("format"))) {
        const QString f = p.value(QStringLiteral("format"));
        if (f == QLatin1String("s"))
            out.defaultFileType = 2;
        else if (f == QLatin1String("c"))
            out.defaultFileType = 0;
        else if (f == QLatin1String("t"))
            out.defaultFileType = 1;
        else
            return QStringLiteral("--format takes s, c or t.");
    }
    if (p.isSet(QStringLiteral("config")))
        out.configDir = p.value(QStringLiteral("config"));
    out.host = p.value(QStringLiteral("host"));
    out.commands = p.values(QStringLiteral("command"));
    out.dataDir = p.value(QStringLiteral("datadir"));
    out.toStdout = p.isSet(QStringLiteral("stdout"));
    out.quiet = p.isSet(QStringLiteral("quiet"));
    return {};
}
