// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger.h"

#include "data/datafile.h"
#include "data/datetime.h"
#include "engine/readingformat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <unistd.h>

namespace {

void put(FILE *f, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
    std::fflush(f);
}

} // namespace

Logger::Logger(const LoggerOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_buffer(std::max<qint64>(1, options.buffer))
{
    m_tty = ::isatty(STDERR_FILENO) == 1;
    m_linkHost.attach(&m_session.engine(), &m_session.cycle());
    m_link.setHost(&m_linkHost);
    m_session.cycle().setHost(this);

    connect(&m_session, &MeasuringSession::readingRecorded, this, &Logger::onReading);
    connect(&m_link, &ScpiLink::connectionLost, this,
            [this] { event(QStringLiteral("link lost; connecting again every %1 s").arg(m_options.retryS)); });
    connect(&m_session, &MeasuringSession::reconnectTried, this, [this](bool up) {
        if (up)
            event(QStringLiteral("link back, measuring goes on"));
    });
    connect(&m_session, &MeasuringSession::gaveUp, this, [this] {
        put(stderr, QStringLiteral("tervaxis-log: no link for %1 s, giving up\n")
                        .arg(m_options.giveUpS));
        requestEnd(LinkLost);
    });
    connect(&m_session.saver(), &AutoSaver::statusText, this, [this](const QString &t) {
        // Only the failures: every batch reports its begin and end.
        if (t.startsWith(AutoSaver::kWriteError) || t == AutoSaver::kNoFile)
            put(stderr, QStringLiteral("tervaxis-log: ") + t.trimmed() + QLatin1Char('\n'));
    });

    // The signals end it as logging off ends the window: the reading under way first.
    m_signals.setEnding(
        [this] { return m_session.cycle().busy() || m_link.readbusy() || m_link.sequenceRunning(); },
        [this] { requestEnd(Done); });
    connect(&m_session.cycle(), &MeasurementCycle::cycleFinished, &m_signals,
            &UnixSignals::tryEnding);
    connect(&m_session.cycle(), &MeasurementCycle::cycleFinished, this, [this] {
        if (m_ending)
            endNow();
    });

    m_status.setInterval(m_tty ? 1000 : 60000);
    connect(&m_status, &QTimer::timeout, this, &Logger::printStatus);
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, [this] { requestEnd(Done); });
}

Logger::~Logger()
{
    m_session.cycle().setHost(nullptr);
    m_link.setHost(nullptr);
}

int Logger::start()
{
    m_s.configDir = m_options.configDir.isEmpty() ? settingsio::defaultConfigDir()
                                                  : settingsio::withDelimiter(m_options.configDir);
    m_s.programDir = settingsio::withDelimiter(QCoreApplication::applicationDirPath());
    settingsio::LoadSettings(m_s);
    if (!m_options.dataDir.isEmpty())
        m_s.DataDir = settingsio::withDelimiter(QFileInfo(m_options.dataDir).absoluteFilePath());
    if (m_s.DataDir.isEmpty() && !settingsio::fillDefaultDataDir(m_s)) {
        put(stderr, QStringLiteral("tervaxis-log: no data folder: give --datadir\n"));
        return NotWritable;
    }
    if (m_options.device > 0) {
        const DeviceEntry &d = m_s.devices[size_t(m_options.device)];
        if (d.addr.isEmpty()) {
            put(stderr, QStringLiteral("tervaxis-log: entry %1 of the device list is empty\n")
                            .arg(m_options.device));
            return Usage;
        }
        m_s.host1 = d.addr;
        m_s.port1 = d.port;
    }
    if (!m_options.host.isEmpty())
        m_s.host1 = m_options.host;
    if (m_options.port > 0)
        m_s.port1 = QString::number(m_options.port);
    if (m_options.delayMs >= 0)
        m_s.MeasRepeatTime = m_options.delayMs;
    m_buffer.setMaxBuffer(std::max<qint64>(1, m_options.buffer));

    const QString where = m_s.host1 + QLatin1Char(':') + m_s.port1;
    bool portOk = false;
    const int port = m_s.port1.toInt(&portOk);
    m_link.startSupervision();
    if (!portOk || !m_link.Connect(m_s.host1, port)) {
        put(stderr, QStringLiteral("tervaxis-log: could not connect to %1\n").arg(where));
        return NoConnection;
    }
    event(QStringLiteral("connected to %1: %2 %3 SN %4")
              .arg(where, m_link.maker, m_link.model, m_link.serial));
    for (const QString &cmd : std::as_const(m_options.commands))
        m_link.SendCmd(cmd);
    if (!m_options.commands.isEmpty())
        m_link.ReadReply(true); // whatever they answered is no reading

    QString problem;
    connect(&m_session.saver(), &AutoSaver::directoryProblem, this,
            [&problem](const QString &t) { problem = t; });
    m_session.engine().state().timeStamp = dtime::now();
    m_session.setSaving(true, m_options.defaultFileType);
    disconnect(&m_session.saver(), &AutoSaver::directoryProblem, this, nullptr);
    // Found out now, not after the first 51 readings: the head lines go to disk at once.
    if (!problem.isEmpty() || !m_session.saver().writeHead()) {
        put(stderr, QStringLiteral("tervaxis-log: cannot write the data file %1\n")
                        .arg(m_session.saver().fileName()) +
                        (problem.isEmpty() ? QString() : problem + QLatin1Char('\n')));
        m_session.setSaving(false, m_options.defaultFileType);
        m_link.Disconnect();
        return NotWritable;
    }
    event(QStringLiteral("data file %1").arg(m_session.saver().fileName()));

    m_session.setReconnect(m_options.retryS * 1000, m_options.giveUpS * 1000);
    m_running.start();
    if (m_options.durationMs > 0)
        m_duration.start(int(std::min<qint64>(m_options.durationMs, std::numeric_limits<int>::max())));
    if (!m_options.quiet)
        m_status.start();
    m_session.cycle().automeas1cbClick(true);
    if (m_signals.received())
        requestEnd(Done);
    return -1;
}

void Logger::onReading(const measpol &rec)
{
    ++m_readings;
    m_last = rec;
    if (m_options.toStdout) {
        QByteArray line;
        datafile::appendDataLine(line, rec, m_session.saver().separator(),
                                 m_session.environment().decSep, false);
        // A pipe wants plain line feeds; the fields are the file's.
        if (line.endsWith("\r\n"))
            line.chop(2);
        line += '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    }
    if (m_options.count > 0 && m_readings >= m_options.count)
        requestEnd(Done);
}

void Logger::requestEnd(int code)
{
    if (m_ending)
        return;
    m_ending = true;
    m_exitCode = code;
    // No further cycle; the one under way ends first, then the end follows.
    m_session.cycle().automeas1cbClick(false);
    if (!m_session.cycle().busy())
        QTimer::singleShot(0, this, &Logger::endNow);
}

void Logger::endNow()
{
    if (m_ended || m_session.cycle().busy())
        return;
    m_ended = true;
    m_status.stop();
    m_duration.stop();
    m_session.stopAndFlush();
    m_link.Disconnect();
    if (m_tty && !m_options.quiet)
        put(stderr, QStringLiteral("\n"));
    event(QStringLiteral("ended: %1 readings in %2, %3 lost")
              .arg(m_readings)
              .arg(m_session.saver().fileName())
              .arg(m_session.saver().droppedCount()));
    QCoreApplication::exit(m_exitCode);
}

QString Logger::statusLine()
{
    const qint64 ms = m_running.elapsed();
    const qint64 span = std::max<qint64>(1, ms - m_msAtLastStatus);
    const double rate = 1000.0 * double(m_readings - m_readingsAtLastStatus) / double(span);
    m_readingsAtLastStatus = m_readings;
    m_msAtLastStatus = ms;
    const QString last = m_readings == 0 ? QStringLiteral("-")
                                         : m_last.Lunits1.toString() + QLatin1Char(' ') +
                                               FormatValue(m_last.value1, m_s.DecSeparator);
    return QStringLiteral("%1 readings  %2/s  last %3  %4  %5 lost  %6")
        .arg(m_readings)
        .arg(rate, 0, 'f', 1)
        .arg(last, QFileInfo(m_session.saver().fileName()).fileName())
        .arg(m_session.saver().droppedCount())
        .arg(m_link.connected() ? QStringLiteral("linked") : QStringLiteral("NO LINK"));
}

void Logger::printStatus()
{
    if (m_tty)
        put(stderr, QStringLiteral("\r\x1b[K") + statusLine());
    else
        event(statusLine());
}

void Logger::event(const QString &text)
{
    if (m_options.quiet)
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss "));
    // On a terminal the status line is cleared first and drawn again by the next tick.
    put(stderr, (m_tty ? QStringLiteral("\r\x1b[K") : QString()) + stamp + text + QLatin1Char('\n'));
}
