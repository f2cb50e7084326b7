// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "app/settings.h"

namespace commandline {

namespace {

// The value always starts right after the switch's length, even when the switch was
// found further into the parameter.
QString valueAfter(const QString &param, const QString &sw)
{
    return param.mid(sw.size());
}

} // namespace

void ParseCommandLineFirst(const QStringList &args, Settings &s)
{
    static const QString kConfigDir = QStringLiteral("/CONFIGDIR:");
    for (const QString &p : args) {
        if (p.toUpper().contains(kConfigDir))
            s.configDir = settingsio::withDelimiter(valueAfter(p, kConfigDir));
    }
}

void ParseCommandLineSecond(const QStringList &args, Settings &s)
{
    static const QString kAddr = QStringLiteral("/ADDR:");
    static const QString kPort = QStringLiteral("/PORT:");
    static const QString kDataDir = QStringLiteral("/DATADIR:");
    for (const QString &p : args) {
        const QString u = p.toUpper();
        if (u == QLatin1String("/NOLANG"))
            s.useLanguageFiles = false;
        if (u == QLatin1String("/NOCONNECT"))
            s.AutoConnect = false;
        if (u == QLatin1String("/CONNECT"))
            s.AutoConnect = true;
        if (u.contains(kAddr))
            s.host1 = valueAfter(p, kAddr);
        if (u.contains(kPort))
            s.port1 = valueAfter(p, kPort);
        if (u == QLatin1String("/AUTOSAVE"))
            s.AllwaysSaveData = true;
        if (u == QLatin1String("/NOSAVE"))
            s.AllwaysSaveData = false;
        if (u.contains(kDataDir))
            s.DataDir = settingsio::withDelimiter(valueAfter(p, kDataDir));
    }
}

QString helpText()
{
    const QStringList lines = {
        QStringLiteral("Command line parameters:"),
        QString(),
        QStringLiteral("program configuration directory"),
        QStringLiteral("\t\"/configdir:C:\\My Configuration Directory\\Anywhere\""),
        QStringLiteral("directory with measured data"),
        QStringLiteral("\t\"/datadir:C:\\directory where measured data will\\be written\""),
        QStringLiteral("/addr:192.168.0.2\tIP address or hostname of Multimeter"),
        QStringLiteral("/port:3490  \tTCP port, as set in Multimeter INSTR SETUP"),
        QStringLiteral("/connect    \tConnect to saved or set address on startup"),
        QStringLiteral("/noconnect  \tDo not connect on startup"),
        QStringLiteral("/autosave   \tAutomatically log measured data"),
        QStringLiteral("/nosave     \tDo not log measured data"),
        QStringLiteral("/nolang\t\tDo not load localization"),
    };
    return lines.join(QLatin1Char('\n'));
}

} // namespace commandline
