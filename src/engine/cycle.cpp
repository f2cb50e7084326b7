// SPDX-License-Identifier: GPL-3.0-or-later
#include "cycle.h"

#include "app/settings.h"
#include "data/datetime.h"
#include "data/numtext.h"
#include "engine/bigary.h"
#include "lang/langtexts.h"
#include "link/scpilink.h"

#include <QCoreApplication>
#include <QTimer>

QEvent::Type RequestEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

MeasurementCycle::MeasurementCycle(Settings &settings, ScpiLink &link, ReadingEngine &engine,
                                   BigAry &buffer, QObject *parent)
    : QObject(parent), m_s(settings), m_link(link), m_engine(engine), m_buffer(buffer)
{
    m_casak = new QTimer(this);
    m_casak->setObjectName(QStringLiteral("casak"));
    m_casak->setInterval(10);
    connect(m_casak, &QTimer::timeout, this, &MeasurementCycle::casakTimer);
    m_process = [this] { m_engine.ProcessReading(); };
    const quint32 now = dtime::ticks();
    m_dueTick = now;
    m_lastEndTick = now;
}

void MeasurementCycle::postRequest(int code, qint64 param)
{
    if (code == 1) {
        if (m_readingQueued)
            return;
        m_readingQueued = true;
    }
    QCoreApplication::postEvent(this, new RequestEvent(code, param));
}

bool MeasurementCycle::event(QEvent *e)
{
    if (e->type() == RequestEvent::eventType()) {
        auto *r = static_cast<RequestEvent *>(e);
        handleRequest(r->code, r->param);
        return true;
    }
    return QObject::event(e);
}

void MeasurementCycle::handleRequest(int code, qint64 param)
{
    switch (code) {
    case 1:
        m_readingQueued = false;
        if (!m_holdReading)
            m_process();
        break;
    case 2:
        // The due tick travels as a signed number, so the wrap of the counter is harmless.
        // Reaching it is enough: after an empty reply at repeat delay 0 the due tick is
        // "now", and a strict test would drop the only request that keeps measuring alive.
        // Only while measuring automatically: one still queued when it was switched off
        // would take a reading after the last batch had been written.
        if (m_auto && dtime::tickDiff(dtime::ticks(), static_cast<quint32>(param)) >= 0) {
            m_engine.state().timeStamp = dtime::now();
            RunCycle();
        }
        break;
    case 20:
        m_host->geterrbClick();
        break;
    case 21:
        m_host->measchClick();
        break;
    case 22:
        m_host->selectThirdEntries();
        break;
    case 23:
        m_host->readBackState();
        break;
    case 31:
        m_busy = false;
        break;
    case 254:
        m_host->closeMainWindow();
        break;
    default:
        break;
    }
}

void MeasurementCycle::RunCycle()
{
    if (m_busy)
        return;
    if (!m_link.connected() || m_link.sequenceRunning()) {
        // Keep the timer asking, so automatic measuring resumes once the link is back (or
        // its connect sequence is over), also at repeat delay 0 where nothing else would
        // schedule the next cycle.
        if (m_auto)
            m_casak->start();
        return;
    }
    // While measuring automatically the cycles follow each other: the set-up buttons stay
    // usable, and their clicks wait for the end of the cycle.
    if (!m_auto)
        m_host->setSetupButtonsEnabled(false);
    m_busy = true;
    m_casak->stop();
    m_startTick = dtime::ticks();
    const quint32 connection = m_link.connectionSerial();
    emit cycleStarted();
    ScpiLink::DelayMs(1);

    QString query = QStringLiteral("read?;conf?;syst:err?");
    if (m_alternate) {
        if (m_s.AlternativeCMD == 1)
            query = QStringLiteral("init;fetch?;conf?;syst:err?");
        else if (m_s.AlternativeCMD == 2)
            query = QStringLiteral("fetch3?;conf?;syst:err?");
        else
            query.clear();
    }
    m_link.SendCmd(query);
    ScpiLink::DelayMs(1);
    const QString reply = m_link.ReadReply();

    if (!reply.isEmpty()) {
        ReadingState &st = m_engine.state();
        m_link.NextField(true);
        // The configuration field first, so this reading is shown and recorded with its
        // own function, units, range and resolution rather than those of the one before.
        m_engine.ParseConf(m_link.NextField());
        // Each reading follows its own configuration: one that has left resistance is
        // neither converted nor labelled as a temperature.
        m_host->followMeasurementType(st.type);
        m_engine.labelUnits(m_host->autoTemperatureOn());
        m_process();
        m_host->setMathLine(m_engine.mathLine());
        m_host->setRangeText(m_engine.rangeText());

        const long double processed = st.processed;
        const bool pass = m_engine.FilterPass(processed);
        if (pass)
            m_host->requestGraphRefresh();
        const quint32 now = dtime::ticks();
        if (!m_chartTickSet || dtime::tickDiff(now, m_lastChartTick) > m_s.GraphRepeatTime) {
            if (pass) {
                const measpol rec = m_engine.currentRecord();
                if (sentinel::isValid(st.current) && m_host->addToBigChart())
                    m_buffer.Append(rec);
                m_host->addToChart(rec);
            }
            m_lastChartTick = now;
            m_chartTickSet = true;
            m_host->requestGraphRefresh();
        }

        m_link.LastRaw = m_link.NextField();
        m_link.ParseSystErr();
        if (m_link.errcode != 0)
            m_host->setLastErrs(m_link.errtext + QLatin1Char(' ') +
                                QString::number(m_link.errcode));

        const quint32 end = dtime::ticks();
        m_host->setCycleStatus(2, QString::number(dtime::tickDiff(end, m_startTick)) +
                                      QStringLiteral(" ms "));
        m_lastPeriod = dtime::tickDiff(end, m_lastEndTick);
        m_host->setCycleStatus(1, QString::number(m_lastPeriod) + QStringLiteral(" ms "));
        m_dueTick = m_startTick + static_cast<quint32>(m_s.MeasRepeatTime) - 10;
    } else {
        // After a reconnect there is nothing to wait for: measuring goes on at once.
        const bool same = m_link.pauseOnConnection(m_s.DataTimeout, connection);
        m_dueTick = dtime::ticks() + static_cast<quint32>(m_s.MeasRepeatTime);
        // A late answer must not be taken for the next reading's.
        if (same && m_link.waitingBytes())
            m_link.ReadReply();
    }

    if (m_auto) {
        if (m_s.MeasRepeatTime <= 0)
            postRequest(2, static_cast<qint32>(m_dueTick));
        else
            m_casak->start();
    }
    m_lastEndTick = dtime::ticks();
    m_host->setSetupButtonsEnabled(true);
    m_busy = false;
    emit cycleFinished(!reply.isEmpty());
}

void MeasurementCycle::casakTimer()
{
    if (!m_auto)
        return;
    postRequest(2, static_cast<qint32>(m_dueTick));
    const quint32 now = dtime::ticks();
    const int remaining = dtime::tickDiff(m_dueTick, now);
    m_host->setMeasButtonCaption(QString::number(remaining / 100) + QStringLiteral(" s10 "));
    if (dtime::tickDiff(now, m_statusTick) > 0) {
        if (remaining / 1000 > 0)
            m_host->setCycleStatus(0, lang::text(u"sMeasDelayWait") + QStringLiteral(": ") +
                                          QString::number(remaining / 1000) +
                                          QStringLiteral(" s "));
        m_statusTick = now + 950;
    }
}

void MeasurementCycle::holdStatus(int ms)
{
    m_statusTick = dtime::ticks() + static_cast<quint32>(ms);
}

void MeasurementCycle::measbClick()
{
    if (m_link.sequenceRunning())
        return;
    const bool hadFocus = m_host->measButtonFocused();
    m_lastEndTick = dtime::ticks();
    m_engine.state().timeStamp = dtime::now();
    m_host->setMeasButtonEnabled(false);
    RunCycle();
    m_link.SendCmd(QStringLiteral("ROUT:TERM?"));
    const QString term = m_link.ReadReply();
    m_host->setTermLabel(QStringLiteral("??"));
    if (term == QLatin1String("FRON"))
        m_host->setTermLabel(QStringLiteral("Front"));
    else if (term == QLatin1String("REAR"))
        m_host->setTermLabel(QStringLiteral("Rear"));
    m_host->setMeasButtonEnabled(true);
    if (hadFocus)
        m_host->focusMeasButton();
}

void MeasurementCycle::automeas1cbClick(bool on)
{
    m_auto = on;
    if (on) {
        const quint32 now = dtime::ticks();
        m_startTick = now;
        m_lastEndTick = now;
        m_dueTick = now;
        m_host->setFetchGroupVisible(false);
        m_casak->start();
        m_host->setMeasButtonEnabled(false);
    } else {
        m_host->setFetchGroupVisible(true);
        m_host->setMeasButtonEnabled(true);
        m_host->setMeasButtonCaption(QStringLiteral("&Measure"));
    }
}

QString MeasurementCycle::delayText(int ms)
{
    const int secs = ms / 1000;
    return QStringLiteral("%1:%2:%3 min:sec:ms")
        .arg((secs / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(secs % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 2, 10, QLatin1Char('0'));
}

QString MeasurementCycle::measdeleChange(const QString &text, QString *hint)
{
    m_s.MeasRepeatTime = numtext::parseInt(text).value_or(0);
    m_host->setCycleStatus(0, QStringLiteral("Auto delay ") + delayText(m_s.MeasRepeatTime));
    if (hint)
        *hint = QStringLiteral(" delay between two triggers \n") + delayText(m_s.MeasRepeatTime);
    return QString::number(m_s.MeasRepeatTime);
}

QString MeasurementCycle::logtimeleChange(const QString &text, QString *hint)
{
    m_s.GraphRepeatTime = numtext::parseInt(text).value_or(0);
    m_host->setCycleStatus(0, QStringLiteral("Graph delay ") + delayText(m_s.GraphRepeatTime));
    if (hint)
        *hint = QStringLiteral("delay between log measured value to graph \n") +
                delayText(m_s.GraphRepeatTime);
    return QString::number(m_s.GraphRepeatTime);
}

void MeasurementCycle::Alternatereading1Click(bool checked)
{
    m_alternate = checked;
    m_link.SendCmd(m_alternate ? QStringLiteral("syst:loc") : QStringLiteral("syst:rem"));
}
