// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/setupsequence.h"

#include "instrument/devicecommands.h"

namespace setupseq {

QString configuringLine(const ScpiPort::Identity &id)
{
    return QLatin1String("Instrument: ") + id.maker + u' ' + id.model +
           QLatin1String("  Serial number: ") + id.serial + QLatin1String("  Calibrated: ") +
           id.caldate;
}

QString deviceLine(const ScpiPort::Identity &id)
{
    return QLatin1String("Device: ") + id.maker + u' ' + id.model + QLatin1String("  SN: ") +
           id.serial + QLatin1String("  Cal: ") + id.caldate;
}

void measchClick(ScpiPort &port, SetupPage &page, SetupHost &host)
{
    host.restartCycleClock();
    host.clearSecondaryReading();

    const bool autoTempWasChecked = host.autoTempChecked();
    host.setAutoTempChecked(false);

    page.setIdentificationLine(configuringLine(port.identity()));

    page.setMeasChEnabled(false);
    const bool autoMeasWasOn = host.autoMeasChecked();
    host.setAutoMeasEnabled(false);
    host.setCycleTimerRunning(false);
    port.DelayMs(kIdnDelayMs);
    host.setCycleBusy(true);
    host.setZeroReference(0);
    if (autoMeasWasOn)
        host.setAutoMeasChecked(false);

    const meascat::ConfigCommands commands = page.BuildConfigCommand();

    port.SendCmd(QString(devcmd::kRemote));
    port.SendCmd(commands.configuration);
    port.DelayMs(kIdnDelayMs);
    if (!commands.option.isEmpty())
        port.SendCmd(commands.option);
    port.DelayMs(kIdnDelayMs);

    host.markMeasurementStart();

    ReadBackState(port, page, host);

    if (host.alternateReadingChecked())
        port.SendCmd(QString(devcmd::kLocal));

    if (autoMeasWasOn)
        port.DelayMs(kIdnDelayMs);
    host.setAutoMeasChecked(autoMeasWasOn);
    host.setCycleTimerRunning(autoMeasWasOn);
    host.setAutoMeasEnabled(true);
    host.setCycleBusy(false);

    if (host.autoTempEnabled()) {
        host.setAutoTempChecked(autoTempWasChecked);
        host.runAutoTempHandler();
    }

    page.setMeasChEnabled(true);
}

void followMeasurementType(SetupHost &host, int type, bool always)
{
    if (meascat::offersAutoTemperature(type)) {
        if (always || !host.autoTempEnabled()) {
            host.setAutoTempEnabled(true);
            host.runAutoTempHandler();
        }
    } else if (always || host.autoTempEnabled() || host.autoTempChecked()) {
        host.setAutoTempChecked(false);
        host.runAutoTempHandler();
        host.setAutoTempEnabled(false);
    }
}

void ReadBackState(ScpiPort &port, SetupPage &page, SetupHost &host)
{
    page.setIdentificationLine(deviceLine(port.identity()));

    // The reading is shown and recorded once, below, with the configuration read next.
    host.holdReadingRequests(true);
    port.SendCmd(QStringLiteral("read?"));
    port.DelayMs(kIdnDelayMs);
    port.ReadValue();
    host.takeLastPeriod();

    port.SendCmd(QStringLiteral("conf?"));
    port.DelayMs(kIdnDelayMs);
    const QString conf = port.ReadReply();
    port.DelayMs(kIdnDelayMs);
    const int type = host.ParseConf(conf);

    page.selectMeasType(type);

    const QStringView filterQuery = meascat::filterStateQuery(type);
    if (!filterQuery.isEmpty()) {
        port.SendCmd(filterQuery.toString());
        const QString reply = port.ReadReply();
        port.DelayMs(kIdnDelayMs);
        page.selectFilter(meascat::filterSelection(reply));
    }

    followMeasurementType(host, type, true);

    host.holdReadingRequests(false);
    host.requestProcessReading();

    port.SendCmd(QStringLiteral("ROUT:TERM?"));
    port.DelayMs(kIdnDelayMs);
    page.setTerminalText(meascat::terminalText(port.ReadReply()));

    port.SendCmd(QString(devcmd::kErrorQuery));
    port.DelayMs(kIdnDelayMs);
    const QString errReply = port.ReadReply();
    const ScpiPort::SystErr err = port.ParseSystErr();
    // No reply at all (not connected, time-out) is no instrument error: the last one stays.
    if (!errReply.isEmpty() && err.errcode != 0)
        page.setLastError(devcmd::errorLine(err.errtext, err.errcode));
}

void readBackAfterConnect(ScpiPort &port, SetupPage &page, SetupHost &host)
{
    page.selectThirdEntries();
    ReadBackState(port, page, host);
}

void resetDevice(ScpiPort &port, SetupPage &page, SetupHost &host)
{
    port.SendCmd(QString(devcmd::kReset));
    port.DelayMs(kResetSettleMs);
    port.SendCmd(QString(devcmd::kErrorQuery));
    port.DelayMs(kIdnDelayMs);
    port.ReadReply();
    port.ParseSystErr();
    port.DelayMs(kResetAfterErrorMs);
    ReadBackState(port, page, host);
    page.meastypecbChange();
    host.enableSeriesButtons();
}

void geterrbClick(ScpiPort &port, SetupPage &page)
{
    page.setGetErrEnabled(false);
    port.SendCmd(QString(devcmd::kErrorQuery));
    port.DelayMs(kIdnDelayMs);
    port.ReadReply();
    const ScpiPort::SystErr err = port.ParseSystErr();
    page.setLastError(devcmd::errorLine(err.errtext, err.errcode));
    page.setGetErrEnabled(true);
}

void sendDisplayText(ScpiPort &port, const QString &text)
{
    const QStringList lines = devcmd::displayTextCommands(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            port.DelayMs(kIdnDelayMs);
        port.SendCmd(lines[i]);
    }
}

void setTimeAndDate(ScpiPort &port, const std::function<QDateTime()> &clock)
{
    port.SendCmd(devcmd::timeCommand(clock()));
    port.SendCmd(devcmd::dateCommand(clock()));
}

} // namespace setupseq
