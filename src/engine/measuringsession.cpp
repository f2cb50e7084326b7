// SPDX-License-Identifier: GPL-3.0-or-later
#include "measuringsession.h"

#include "app/settings.h"
#include "data/datetime.h"
#include "engine/bigary.h"
#include "engine/cycle.h"
#include "engine/series.h"
#include "link/scpilink.h"

MeasuringSession::MeasuringSession(Settings &settings, ScpiLink &link, BigAry &buffer,
                                   QObject *parent)
    : QObject(parent), m_s(settings), m_link(link), m_buffer(buffer), m_engine(settings)
{
    m_cycle = new MeasurementCycle(settings, link, m_engine, buffer, this);
    m_series = new SeriesRunner(settings, link, m_engine, buffer, *m_cycle, this);
    m_saver = new AutoSaver(this);
    m_saver->setEnvironmentSource([this] { return environment(); });

    // A gap in the record is marked in the data file.
    connect(&m_link, &ScpiLink::connectionLost, this, &MeasuringSession::onConnectionLost);
    connect(&m_link, &ScpiLink::connectedChanged, this, [this](bool up) {
        if (!up)
            return;
        m_saver->connectionRestored(dtime::now());
        m_reconnect.stop();
    });
    m_reconnect.setSingleShot(true);
    connect(&m_reconnect, &QTimer::timeout, this, &MeasuringSession::tryReconnect);
}

MeasuringSession::~MeasuringSession()
{
    // They hold the engine, a member that would otherwise go before them.
    m_cycle->casak()->stop();
    m_engine.autoSave = nullptr;
    delete m_series;
    delete m_cycle;
    delete m_saver;
}

AutoSaver::Environment MeasuringSession::environment() const
{
    AutoSaver::Environment env;
    env.ids = {m_link.maker, m_link.model, m_link.serial, m_link.caldate};
    env.start.readingStamp = m_engine.state().timeStamp;
    env.start.seriesMs = m_series->seriesDuration();
    env.start.delayMs = m_s.MeasDelayTime;
    env.start.repeatMs = m_s.MeasRepeatTime;
    env.decSep = datafile::decimalSeparatorOf(m_s.DecSeparator);
    return env;
}

void MeasuringSession::setSaving(bool on, int defaultFileType)
{
    if (on) {
        m_saver->switchOn(m_s.DataDir, m_engine.state().timeStamp, defaultFileType);
        // Readings are recorded only while the link is up: without it there are none.
        m_engine.autoSave = [this](const measpol &rec) {
            const bool connected = m_link.connected();
            m_saver->recordAndWrite(false, connected, rec);
            if (connected)
                emit readingRecorded(rec);
        };
    } else {
        m_engine.autoSave = nullptr;
        m_saver->switchOff(m_link.connected(), m_engine.currentRecord());
    }
}

bool MeasuringSession::saving() const
{
    return m_saver->isOn();
}

void MeasuringSession::stopAndFlush()
{
    // Measuring stops before the forced batch: a reading taken after it would be lost.
    m_cycle->automeas1cbClick(false);
    m_reconnect.stop();
    if (m_saver->isOn())
        m_saver->recordAndWrite(true, m_link.connected(), m_engine.currentRecord());
}

void MeasuringSession::setReconnect(int everyMs, int giveUpMs)
{
    m_reconnect.setInterval(std::max(0, everyMs));
    m_giveUpMs = giveUpMs;
    if (everyMs <= 0)
        m_reconnect.stop();
}

void MeasuringSession::onConnectionLost()
{
    m_saver->connectionLost(dtime::now());
    m_host = m_link.connectedHost();
    m_port = m_link.connectedPort();
    m_lostTick = dtime::ticks();
    if (m_reconnect.interval() > 0)
        m_reconnect.start();
}

void MeasuringSession::tryReconnect()
{
    if (m_link.connected())
        return;
    if (m_link.sequenceRunning()) {
        m_reconnect.start();
        return;
    }
    const bool up = m_link.Connect(m_host, m_port);
    emit reconnectTried(up);
    if (up)
        return;
    if (m_giveUpMs > 0 && dtime::tickDiff(dtime::ticks(), m_lostTick) >= m_giveUpMs) {
        emit gaveUp();
        return;
    }
    m_reconnect.start();
}
