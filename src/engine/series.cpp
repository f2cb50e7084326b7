// SPDX-License-Identifier: GPL-3.0-or-later
#include "series.h"

#include "app/settings.h"
#include "data/datetime.h"
#include "data/numtext.h"
#include "engine/bigary.h"
#include "engine/chartstats.h"
#include "engine/cycle.h"
#include "engine/readingengine.h"
#include "engine/readingformat.h"
#include "link/scpilink.h"

#include <QCoreApplication>

namespace {

// printf's "%2.2d": at least two digits, the sign in front of them.
QString twoDigits(int v)
{
    const QString digits = QString::number(qAbs(qint64(v))).rightJustified(2, QLatin1Char('0'));
    return v < 0 ? QLatin1Char('-') + digits : digits;
}

} // namespace

SeriesRunner::SeriesRunner(Settings &settings, ScpiLink &link, ReadingEngine &engine,
                           BigAry &buffer, MeasurementCycle &cycle, QObject *parent)
    : QObject(parent), m_s(settings), m_link(link), m_engine(engine), m_buffer(buffer),
      m_cycle(cycle)
{
    m_process = [this] { m_engine.ProcessReading(); };
}

QString SeriesRunner::triggerDelayCommand(int delayMs)
{
    return QStringLiteral("trig:del ") + numtext::formatFixed(delayMs / 1000.0L, 4);
}

QString SeriesRunner::waitingText(int elapsedMs)
{
    const int secs = (qMax(0, elapsedMs) + 500) / 1000;
    return QStringLiteral("Waiting for Instrument... ") + twoDigits(secs / 60).rightJustified(4) +
           QLatin1Char(':') + twoDigits(secs % 60) + QLatin1Char(' ');
}

QString SeriesRunner::rateText(quint32 durationMs, int count, const QString &decSep)
{
    // A series has at least one reading; a count of 0 must not divide by zero.
    const long double perSample = static_cast<long double>(durationMs) / qMax(1, count);
    return FormatPrefixed(u" %0.2f", perSample, decSep) + QStringLiteral("ms / sample, total: ") +
           FormatPrefixed(u" %0.2f", durationMs / 1000.0L, decSep) + QStringLiteral("s ");
}

QString SeriesRunner::delayText(int delayMs)
{
    const int secs = delayMs / 1000;
    return QStringLiteral("delay  ") + twoDigits((secs / 60) % 60) + QLatin1Char(':') +
           twoDigits(secs % 60) + QLatin1Char(':') + twoDigits(delayMs % 1000) +
           QStringLiteral(" min:sec:ms");
}

QString SeriesRunner::fetcheChange(const QString &text)
{
    m_count = numtext::parseInt(text).value_or(0);
    return QString::number(m_count);
}

QString SeriesRunner::dtrigdelayeChange(const QString &text)
{
    m_s.MeasDelayTime = numtext::parseInt(text).value_or(0);
    m_host->setStatusPanel(1, delayText(m_s.MeasDelayTime));
    return QString::number(m_s.MeasDelayTime);
}

void SeriesRunner::showError()
{
    if (m_link.errcode != 0)
        m_host->setLastErrs(m_link.errtext + QLatin1Char(' ') + QString::number(m_link.errcode));
}

void SeriesRunner::fetchinitbClick()
{
    // A cycle inside its read, or a connect or disconnect, owns the socket; a second
    // conversation would take its reply.
    if (m_running || m_cycle.busy() || m_link.sequenceRunning())
        return;
    m_running = true;
    m_cycle.setBusy(true);
    m_host->setSeriesControlsEnabled(false);

    m_link.SendCmd(triggerDelayCommand(m_s.MeasDelayTime));
    m_link.SendCmd(QStringLiteral("trig:sour imm"));
    m_link.SendCmd(QStringLiteral("zero:auto 0"));
    m_link.SendCmd(QStringLiteral("samp:count 1"));
    m_link.SendCmd(QStringLiteral("trig:count ") + QString::number(m_count));

    ScpiLink::DelayMs(ScpiLink::kIdnDelay);
    m_link.SendCmd(QStringLiteral("syst:err?"));
    ScpiLink::DelayMs(2);
    // Without an answer there is nothing to parse; an older reply must not be shown again.
    if (!m_link.ReadReply().isEmpty()) {
        m_link.ParseSystErr();
        showError();
    }

    ScpiLink::DelayMs(2);
    m_link.SendCmd(QStringLiteral("init"));
    m_engine.state().timeStamp = dtime::now();
    // The answer to this query marks the end of the series.
    m_link.SendCmd(QStringLiteral("syst:err?"));
    // A read that timed out above would make supervision poll for values, and the first
    // poll would swallow that answer; the wait owns the socket now.
    m_link.readelapsed = 0;

    m_startTick = dtime::ticks();
    const quint32 connection = m_link.connectionSerial();
    bool answered = false;
    for (;;) {
        ScpiLink::DelayMs(5);
        m_host->setStatusPanel(2, waitingText(dtime::tickDiff(dtime::ticks(), m_startTick)));
        // A new connection never answers the old one's query.
        if (!m_link.connected() || m_link.connectionSerial() != connection)
            break;
        if (!m_link.waitingBytes())
            continue;
        m_duration = dtime::ticks() - m_startTick;
        m_host->setStatusPanel(2, rateText(m_duration, m_count, m_s.DecSeparator));
        if (!m_link.ReadReply().isEmpty()) {
            m_link.ParseSystErr();
            answered = true;
        }
        m_link.SendCmd(QStringLiteral("TRIG:COUNT 1"));
        if (answered)
            showError();
        break;
    }

    m_host->setSeriesControlsEnabled(true);
    m_cycle.setBusy(false);
    m_running = false;
    emit seriesEnded(answered);
}

long double SeriesRunner::takeReading(qsizetype n)
{
    // Converted and labelled as the cycle's readings are.
    m_engine.labelUnits(m_host->autoTemperatureOn());
    m_process();
    if (m_host->addToBigChart())
        m_buffer.Append(m_engine.currentRecord());
    m_host->addSeriesReading(static_cast<int>(n));
    if (n % kProgressEvery == 0) {
        m_host->setGetCaption(QStringLiteral("Value: ") + QString::number(n));
        m_host->redrawChart();
        QCoreApplication::processEvents();
    }
    m_taken = n;
    return m_engine.state().current;
}

void SeriesRunner::fetchgetbClick()
{
    if (m_running || m_cycle.busy() || m_link.sequenceRunning())
        return;
    m_running = true;
    m_cycle.setBusy(true);
    m_host->setSeriesControlsEnabled(false);
    // No beeps while the series is processed: the box, and the flag the limit test reads
    // whether or not the box's handler runs.
    const bool beep = m_host->limitBeepChecked();
    const bool beepSetting = m_s.Limit_beep;
    m_host->setLimitBeepChecked(false);
    m_s.Limit_beep = false;

    m_taken = 0;
    m_host->setLastErrs(QStringLiteral("Fetch data...."));
    m_link.SendCmd(QStringLiteral("fetch?"));
    const QString length =
        m_link.FetchList([this](long double, qsizetype n, qsizetype) { return takeReading(n); });
    if (!length.isEmpty()) {
        m_host->setGetCaption(QStringLiteral("Value: ") + QString::number(m_taken));
        m_host->redrawChart();
    } else if (m_link.connected() && m_link.readelapsed > m_s.DataTimeout) {
        // The instrument did not answer: its error queue tells why.
        m_cycle.postRequest(20);
    }

    m_host->setGetCaption(QStringLiteral("&GET data"));
    m_host->setLimitBeepChecked(beep);
    m_s.Limit_beep = beepSetting;
    m_host->setSeriesControlsEnabled(true);
    if (m_host->addToBigChart())
        m_host->requestGraphRefresh();
    m_cycle.setBusy(false);
    m_running = false;
    emit fetchEnded(m_taken);
}
