// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTime>

#include <charconv>
#include <cstdio>
#include <optional>

namespace {

std::optional<long long> parseInteger(const QString &text, long long min, long long max)
{
    const QByteArray b = text.trimmed().toLatin1();
    long long v = 0;
    const auto res = std::from_chars(b.constData(), b.constData() + b.size(), v);
    if (b.isEmpty() || res.ec != std::errc() || res.ptr != b.constData() + b.size() || v < min ||
        v > max)
        return std::nullopt;
    return v;
}

void print(FILE *f, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

[[noreturn]] void fail(const QString &message)
{
    print(stderr, QStringLiteral("tervaxis-sim: ") + message);
    std::exit(2);
}

QString stamp()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tervaxis-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TERVAXIS_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("884x multimeter simulator on 127.0.0.1. Logs every command line."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("TCP port (default 3490, 0 picks a free one)."),
                                  QStringLiteral("N"), QStringLiteral("3490"));
    const QCommandLineOption eol(QStringLiteral("eol"),
                                 QStringLiteral("Reply terminator: crlf (default), cr, lf, none."),
                                 QStringLiteral("crlf|cr|lf|none"), QStringLiteral("crlf"));
    const QCommandLineOption latency(QStringLiteral("latency"),
                                     QStringLiteral("Delay before every reply."),
                                     QStringLiteral("MS"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Send replies in N pieces, GAPMS apart."),
                                   QStringLiteral("N:GAPMS"));
    const QCommandLineOption silent(
        QStringLiteral("silent"),
        QStringLiteral("Never answer a line holding this query (repeatable)."),
        QStringLiteral("QUERY"));
    const QCommandLineOption garbage(QStringLiteral("garbage"),
                                     QStringLiteral("Put non-numbers in every value field."));
    const QCommandLineOption dropAfter(
        QStringLiteral("drop-after"),
        QStringLiteral("Close each connection after N command lines."), QStringLiteral("N"));
    const QCommandLineOption errorAfter(
        QStringLiteral("error-after"),
        QStringLiteral("Queue -222,\"Data out of range\" after every command starting with CMD."),
        QStringLiteral("CMD"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the readings' noise."),
                                  QStringLiteral("N"));
    const QCommandLineOption hang(QStringLiteral("hang"),
                                  QStringLiteral("Accept connections but never answer."));
    const QCommandLineOption timeScale(
        QStringLiteral("time-scale-percent"),
        QStringLiteral("Trigger delays of series run at P percent (default 100)."),
        QStringLiteral("P"));
    const QCommandLineOption served(
        QStringLiteral("served"),
        QStringLiteral("Append every reading served by read? to FILE: value, TAB, command line."),
        QStringLiteral("FILE"));
    parser.addOptions({port, eol, latency, split, silent, garbage, dropAfter, errorAfter, seed,
                       hang, timeScale, served});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument ") + parser.positionalArguments().first());

    sim::Simulator simulator;
    const auto number = [&](const QCommandLineOption &o, long long min, long long max) {
        const auto v = parseInteger(parser.value(o), min, max);
        if (!v)
            fail(QStringLiteral("bad value for --") + o.names().first() + QStringLiteral(": ") +
                 parser.value(o));
        return *v;
    };

    const QString eolText = parser.value(eol).toLower();
    if (eolText == QLatin1String("crlf"))
        simulator.setTerminator(sim::Simulator::Terminator::CrLf);
    else if (eolText == QLatin1String("cr"))
        simulator.setTerminator(sim::Simulator::Terminator::Cr);
    else if (eolText == QLatin1String("lf"))
        simulator.setTerminator(sim::Simulator::Terminator::Lf);
    else if (eolText == QLatin1String("none"))
        simulator.setTerminator(sim::Simulator::Terminator::None);
    else
        fail(QStringLiteral("bad value for --eol: ") + parser.value(eol));
    if (parser.isSet(latency))
        simulator.setLatency(int(number(latency, 0, 3600000)));
    if (parser.isSet(split)) {
        const QStringList parts = parser.value(split).split(QLatin1Char(':'));
        const auto n = parts.size() == 2 ? parseInteger(parts[0], 1, 1000000) : std::nullopt;
        const auto gap = parts.size() == 2 ? parseInteger(parts[1], 0, 3600000) : std::nullopt;
        if (!n || !gap)
            fail(QStringLiteral("bad value for --split: ") + parser.value(split));
        simulator.setSplit(int(*n), int(*gap));
    }
    simulator.setSilentQueries(parser.values(silent));
    simulator.setGarbage(parser.isSet(garbage));
    if (parser.isSet(dropAfter))
        simulator.setDropAfter(int(number(dropAfter, 0, 1000000000)));
    if (parser.isSet(errorAfter))
        simulator.setErrorAfter(parser.value(errorAfter));
    if (parser.isSet(seed))
        simulator.setSeed(quint32(number(seed, 0, 4294967295LL)));
    simulator.setHung(parser.isSet(hang));
    if (parser.isSet(timeScale))
        simulator.setTimeScale(double(number(timeScale, 0, 1000000)) / 100.0);

    QObject::connect(&simulator, &sim::Simulator::commandReceived, &app, [](const QString &line) {
        print(stdout, stamp() + QStringLiteral(" > ") + line);
    });
    QObject::connect(&simulator, &sim::Simulator::clientConnected, &app,
                     [] { print(stdout, stamp() + QStringLiteral(" client connected")); });
    QObject::connect(&simulator, &sim::Simulator::clientDisconnected, &app,
                     [] { print(stdout, stamp() + QStringLiteral(" client disconnected")); });

    FILE *servedFile = nullptr;
    if (parser.isSet(served)) {
        servedFile = std::fopen(QFile::encodeName(parser.value(served)).constData(), "a");
        if (!servedFile)
            fail(QStringLiteral("cannot open ") + parser.value(served));
    }
    QObject::connect(&simulator, &sim::Simulator::replySent, &app,
                     [servedFile](const QString &line, const QString &reply) {
                         if (!servedFile || !line.trimmed().startsWith(QLatin1String("read?"),
                                                                       Qt::CaseInsensitive))
                             return;
                         const QString values = reply.section(QLatin1Char(';'), 0, 0);
                         for (const QString &v : values.split(QLatin1Char(',')))
                             print(servedFile, v + QLatin1Char('\t') + line.trimmed());
                     });

    const auto listenPort = quint16(number(port, 0, 65535));
    if (!simulator.listen(listenPort)) {
        print(stderr, QStringLiteral("tervaxis-sim: cannot listen on 127.0.0.1:") +
                          QString::number(listenPort) + QStringLiteral(": ") +
                          simulator.errorString());
        return 1;
    }
    print(stdout, QStringLiteral("tervaxis-sim listening on 127.0.0.1:") +
                      QString::number(simulator.port()));
    return app.exec();
}
