// SPDX-License-Identifier: GPL-3.0-or-later
// tervaxis-log as its users run it: the real process against the real simulator, the data
// file on disk compared with what the simulator served.
#include "data/numtext.h"
#include "engine/bigary.h"
#include "graph/graphloader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

// The values of a simulator's --served file.
QStringList servedValues(const QString &path)
{
    QFile f(path);
    QStringList v;
    if (!f.open(QIODevice::ReadOnly))
        return v;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> field = line.split('\t');
        if (field.size() == 2)
            v << QString::fromLatin1(field[0]);
    }
    return v;
}

// The numbers the same reading has in the served list and in the data file.
bool sameValue(const QString &served, const QString &saved)
{
    const auto a = numtext::parseLongDouble(served);
    const auto b = numtext::parseLongDouble(saved);
    return a && b && std::fabs(*a - *b) <= std::fabs(*a) * 1e-12L;
}

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_sim;
    QString m_port;
    QByteArray m_simOut;
    int m_runs = 0;
    QString m_dataDir;

    QString served() const { return m_dir.filePath(QStringLiteral("served.txt")); }

    // A simulator on `port` (0: any), appending to the one served list.
    void startSimulator(const QString &port = QStringLiteral("0"))
    {
        m_sim = std::make_unique<QProcess>();
        m_sim->start(QStringLiteral(SIM_EXE),
                     {QStringLiteral("--port"), port, QStringLiteral("--served"), served()});
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->canReadLine(), 20000);
        const QString first = QString::fromLatin1(m_sim->readLine()).trimmed();
        m_port = first.section(QLatin1Char(':'), -1);
        QVERIFY2(m_port.toInt() > 0, qPrintable(first));
    }
    void stopSimulator()
    {
        m_simOut += m_sim->readAllStandardOutput();
        m_sim->kill();
        m_sim->waitForFinished();
        m_simOut += m_sim->readAllStandardOutput();
    }
    QByteArray simulatorOutput()
    {
        if (m_sim)
            m_simOut += m_sim->readAllStandardOutput();
        return m_simOut;
    }

    std::unique_ptr<QProcess> startLogger(const QStringList &extra)
    {
        m_dataDir = m_dir.filePath(QStringLiteral("data-%1").arg(m_runs++));
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(LOGGER_EXE),
                 QStringList{QStringLiteral("--config"), m_dir.filePath(QStringLiteral("cfg")),
                             QStringLiteral("--datadir"), m_dataDir, QStringLiteral("--host"),
                             QStringLiteral("127.0.0.1"), QStringLiteral("--port"), m_port} +
                     extra);
        return p;
    }
    // The data file of the last run: its head and comment lines, and its data lines.
    QStringList dataLines(QStringList *comments = nullptr) const
    {
        const QStringList files =
            QDir(m_dataDir + QStringLiteral("/Log")).entryList({QStringLiteral("Data_*")});
        if (files.size() != 1)
            return {};
        QFile f(m_dataDir + QStringLiteral("/Log/") + files.first());
        f.open(QIODevice::ReadOnly);
        QStringList data;
        for (const QString &l :
             QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            if (l.startsWith(QLatin1Char('#'))) {
                if (comments)
                    *comments << l;
            } else {
                data << l;
            }
        }
        return data;
    }
    // Every reading served from `from` on is in the file, in order, and nothing else.
    void compare(const QStringList &saved, qsizetype from)
    {
        const QStringList all = servedValues(served());
        const QStringList ours = all.mid(from);
        if (saved.size() != ours.size())
            qWarning() << ours.mid(ours.size() - 3) << saved.mid(saved.size() - 3);
        QCOMPARE(saved.size(), ours.size());
        for (qsizetype i = 0; i < saved.size(); ++i)
            QVERIFY2(sameValue(ours[i], saved[i].section(QLatin1Char(';'), 0, 0)),
                     qPrintable(QStringLiteral("%1: %2 against %3").arg(i).arg(ours[i], saved[i])));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        startSimulator();
    }
    void cleanupTestCase()
    {
        if (m_sim)
            stopSimulator();
    }

    void timedRunWritesWhatWasServed()
    {
        const qsizetype before = servedValues(served()).size();
        auto p = startLogger(
            {QStringLiteral("--duration"), QStringLiteral("10s"), QStringLiteral("--stdout")});
        QVERIFY(p->waitForFinished(40000));
        QCOMPARE(p->exitCode(), 0);
        const QStringList saved = dataLines();
        QVERIFY(saved.size() > 100);
        compare(saved, before);
        // The large graph loads the file as it loads the window's.
        const QString file = QDir(m_dataDir + QStringLiteral("/Log"))
                                 .entryInfoList({QStringLiteral("Data_*")})
                                 .first()
                                 .absoluteFilePath();
        BigAry buffer;
        const graphload::Reading how = graphload::readingFor(file, 3);
        const graphload::Result r =
            graphload::loadFile(buffer, file, how.format, how.sep, graphload::Mode::Replace, {});
        QVERIFY(r.ok);
        QCOMPARE(r.stored, saved.size());
        // The pipe gets the same lines as the file.
        const QStringList piped = QString::fromUtf8(p->readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(piped, saved);
        QTRY_VERIFY(simulatorOutput().endsWith("client disconnected\n"));
    }

    // Ended by a signal in the middle of a batch: every reading is written, the close list
    // reaches the instrument.
    void signalLosesNothing_data()
    {
        QTest::addColumn<int>("signo");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalLosesNothing()
    {
        QFETCH(int, signo);
        const qsizetype before = servedValues(served()).size();
        const qsizetype closed = simulatorOutput().count("> *RST");
        auto p = startLogger({QStringLiteral("--count"), QStringLiteral("1000000")});
        QTRY_VERIFY_WITH_TIMEOUT(servedValues(served()).size() > before + 80, 20000);
        ::kill(pid_t(p->processId()), signo);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        compare(dataLines(), before);
        QTRY_COMPARE(simulatorOutput().count("> *RST"), closed + 1);
    }

    // The instrument goes away and comes back: the logger connects again by itself,
    // measuring goes on, and the file marks the gap once.
    void lostLinkIsReconnected()
    {
        const qsizetype before = servedValues(served()).size();
        auto p = startLogger({QStringLiteral("--retry"), QStringLiteral("1")});
        QTRY_VERIFY_WITH_TIMEOUT(servedValues(served()).size() > before + 50, 20000);
        const QString port = m_port;
        stopSimulator();
        const qsizetype atLoss = servedValues(served()).size();
        startSimulator(port);
        QTRY_VERIFY_WITH_TIMEOUT(servedValues(served()).size() > atLoss + 50, 20000);
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitCode(), 0);
        QStringList comments;
        const QStringList saved = dataLines(&comments);
        QCOMPARE(comments.filter(QStringLiteral("# connection lost ")).size(), 1);
        // The one reading the dead link carried, if any, is the only one missing.
        const QStringList all = servedValues(served()).mid(before);
        QVERIFY2(
            all.size() - saved.size() <= 1,
            qPrintable(QStringLiteral("%1 served, %2 saved").arg(all.size()).arg(saved.size())));
        QVERIFY(saved.size() > 100);
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("stderrHas");
        QTest::newRow("bad option")
            << QStringList{QStringLiteral("--frobnicate")} << 2 << "Usage: tervaxis-log";
        QTest::newRow("bad duration")
            << QStringList{QStringLiteral("--duration"), QStringLiteral("soon")} << 2
            << "--duration";
        QTest::newRow("no instrument there")
            << QStringList{QStringLiteral("--port"), QStringLiteral("1")} << 3
            << "could not connect to 127.0.0.1:1";
        QTest::newRow("data folder not writable")
            << QStringList{QStringLiteral("--datadir"), QStringLiteral("/proc/version")} << 4
            << "cannot write the data file";
        QTest::newRow("instrument gone for good")
            << QStringList{QStringLiteral("--give-up"), QStringLiteral("1"),
                           QStringLiteral("--retry"), QStringLiteral("1")}
            << 5 << "giving up";
    }
    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, stderrHas);
        auto p = startLogger(args);
        if (code == 5) {
            QTRY_VERIFY_WITH_TIMEOUT(!dataLines().isEmpty(), 20000);
            const QString port = m_port;
            stopSimulator();
            const bool done = p->waitForFinished(20000);
            startSimulator(port);
            QVERIFY(done);
        }
        QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(20000));
        QCOMPARE(p->exitCode(), code);
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        QVERIFY2(err.contains(stderrHas), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "test_logger.moc"
