// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/devicecommands.h"

#include "data/datetime.h"
#include "data/numtext.h"

namespace devcmd {

QString timeCommand(const QDateTime &localTime)
{
    return QLatin1String("syst:time ") + dtime::format(QStringLiteral("hh:nn:ss"), localTime);
}

QString dateCommand(const QDateTime &localTime)
{
    return QLatin1String("syst:date ") + dtime::format(QStringLiteral("mm-dd-yyyy"), localTime);
}

QStringList displayTextCommands(const QString &text)
{
    if (text == u"0")
        return {QStringLiteral("DISP 0")};
    QString quoted;
    quoted.reserve(text.size() + 4);
    qsizetype kept = 0;
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            continue;
        if (kept++ == kDisplayTextLength)
            break;
        quoted += c;
        if (c == u'\'')
            quoted += c;
    }
    if (quoted.isEmpty())
        return {QStringLiteral("DISP 1"), QStringLiteral("DISP:TEXT:CLE")};
    return {QStringLiteral("DISP 1"), QLatin1String("DISP:TEXT '") + quoted + u'\''};
}

QString alternateReadingCommand(bool checked)
{
    return checked ? QString(kLocal) : QString(kRemote);
}

QString errorLine(const QString &errtext, int errcode)
{
    return errtext + u' ' + numtext::formatGeneral(errcode);
}

DeviceMenuState deviceMenuState(bool measbEnabled, bool connected)
{
    DeviceMenuState s;
    s.alternateReading = s.localMode = s.remoteMode = s.remoteWithLock = s.timeAndDate =
        measbEnabled;
    s.reset = connected;
    return s;
}

} // namespace devcmd
