// SPDX-License-Identifier: GPL-3.0-or-later
// The real program against the real simulator, saving automatically, killed at random
// moments: every file must read back whole, holding the readings served in order, less
// at most the ones still staged. Needs Xvfb and xdotool (installed by scripts/deps.sh):
// automatic measuring is switched on as a user does, with Alt+A in the main window.
#include "data/datafile.h"
#include "data/numtext.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

bool same(long double a, long double b)
{
    return std::fabs(a - b) <= std::fabs(b) * 1e-12L;
}

// One simulator with its list of served readings, and the program runs against it.
struct Lane
{
    QProcess sim;
    QString port;
    QString servedPath;
    QByteArray simOut;
    std::unique_ptr<QProcess> app;
    QString dataDir;
    qsizetype servedBefore = 0;
    int disconnectsBefore = 0;
    int delayMs = 0;

    // The readings automatic measuring was served from line `from` of the list on (the
    // connect sequence reads one as well).
    QList<long double> served(qsizetype from) const
    {
        QFile f(servedPath);
        QList<long double> v;
        if (!f.open(QIODevice::ReadOnly))
            return v;
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (qsizetype i = from; i < lines.size(); ++i) {
            const QList<QByteArray> field = lines[i].split('\t');
            if (field.size() != 2 || field[1] != "read?;conf?;syst:err?")
                continue;
            const QByteArray &t = field[0];
            const auto x = numtext::parseLongDouble(t.constData(), t.constData() + t.size());
            v << (x ? *x : -1e39L);
        }
        return v;
    }
    qsizetype servedLines() const
    {
        QFile f(servedPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    }
    int disconnects()
    {
        simOut += sim.readAllStandardOutput();
        return int(simOut.count("client disconnected"));
    }
};

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

    static constexpr int kLanes = 4;
    QTemporaryDir m_dir;
    QProcess m_x;
    QString m_display;
    QString m_xdotool;
    Lane m_lanes[kLanes];
    int m_runs = 0;

    QString xdo(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        p.setProcessEnvironment(env);
        p.start(m_xdotool, args);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return QString();
        }
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }

    void startProgram(Lane &lane)
    {
        lane.dataDir = m_dir.filePath(QStringLiteral("data-%1/").arg(m_runs++));
        lane.servedBefore = lane.servedLines();
        lane.disconnectsBefore = lane.disconnects();
        lane.app = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        lane.app->setProcessEnvironment(env);
        lane.app->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        lane.app->start(QStringLiteral(TERVAXIS_EXE),
                        {QStringLiteral("/CONFIGDIR:") + m_dir.filePath(QStringLiteral("cfg")),
                         QStringLiteral("/DATADIR:") + lane.dataDir,
                         QStringLiteral("/ADDR:127.0.0.1"), QStringLiteral("/PORT:") + lane.port,
                         QStringLiteral("/CONNECT"), QStringLiteral("/AUTOSAVE"),
                         QStringLiteral("/NOLANG")});
        QVERIFY(lane.app->waitForStarted(10000));
    }

    // The program's main window: the splash is 360 pixels wide, hints are low.
    QString mainWindowOf(const Lane &lane)
    {
        const QStringList windows =
            xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                 QString::number(lane.app->processId())})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &w : windows) {
            const QString shape =
                xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), w});
            const auto value = [&](QLatin1StringView key) {
                const qsizetype at = shape.indexOf(key);
                return at < 0
                           ? 0
                           : QStringView(shape).mid(at + key.size()).split(u'\n').first().toInt();
            };
            if (value(QLatin1StringView("WIDTH=")) > 400 &&
                value(QLatin1StringView("HEIGHT=")) > 300)
                return w;
        }
        return QString();
    }

    // Alt+A to the program's window, as the keyboard gives it to the window with the focus.
    void measureAutomatically(Lane &lane)
    {
        // Looked for once per round: the answer may change between two looks (a hint opens).
        QString window;
        const QDeadlineTimer deadline(60000);
        while ((window = mainWindowOf(lane)).isEmpty() && !deadline.hasExpired())
            QTest::qWait(50);
        QVERIFY(!window.isEmpty());
        xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        xdo({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("alt+a")});
    }

    void end(Lane &lane, bool terminate)
    {
        if (terminate)
            ::kill(pid_t(lane.app->processId()), SIGTERM);
        else
            lane.app->kill();
        QVERIFY(lane.app->waitForFinished(20000));
        if (terminate)
            QCOMPARE(lane.app->exitCode(), 0);
    }

    // Reads the run's data file with the project's loader; every line must be whole.
    void savedReadings(const QString &dataDir, QList<long double> &v)
    {
        const QStringList files =
            QDir(dataDir + QStringLiteral("Log")).entryList({QStringLiteral("Data_*")});
        if (files.isEmpty())
            return; // killed before the first batch
        QCOMPARE(files.size(), 1);
        const QString path = dataDir + QStringLiteral("Log/") + files.first();
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray all = raw.readAll();
        if (all.isEmpty())
            return; // killed between creating the file and its first write
        QVERIFY2(all.endsWith("\r\n"), "the last line is torn");
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        datafile::LineReader reader(fd);
        const char *b = nullptr;
        const char *e = nullptr;
        int heads = 0;
        while (reader.next(b, e)) {
            const QByteArray line(b, e - b);
            if (datafile::isCommentLine(b, e)) {
                ++heads;
                continue;
            }
            measpol rec;
            const datafile::LineResult r = datafile::parseDataLine(b, e, ';', rec);
            if (r.kind != datafile::LineKind::Stored || line.count(';') != 7)
                break;
            v << rec.value1;
        }
        ::close(fd);
        QCOMPARE(v.size() + heads, all.count('\n'));
        QVERIFY(heads >= 3); // the probe line may follow the head
    }

    // After the end: what the simulator served and what the file holds.
    void collect(Lane &lane, QList<long double> &served, QList<long double> &saved)
    {
        // The simulator answers what it had received before it notices the peer is gone.
        QTRY_VERIFY_WITH_TIMEOUT(lane.disconnects() > lane.disconnectsBefore, 10000);
        served = lane.served(lane.servedBefore);
        savedReadings(lane.dataDir, saved);
    }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xvfb.isEmpty() || m_xdotool.isEmpty())
            QSKIP("Xvfb and xdotool are needed (scripts/deps.sh installs them)");
        QVERIFY(m_dir.isValid());
        m_x.start(xvfb,
                  // Without -noreset the server restarts whenever its last client leaves
                  // (each xdotool call, each kill) and refuses connections meanwhile.
                  {QStringLiteral("-noreset"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                   QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                   QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QTRY_VERIFY_WITH_TIMEOUT(m_x.canReadLine(), 20000);
        m_display = QLatin1Char(':') + QString::fromLatin1(m_x.readLine()).trimmed();

        for (int i = 0; i < kLanes; ++i) {
            Lane &lane = m_lanes[i];
            lane.servedPath = m_dir.filePath(QStringLiteral("served-%1.txt").arg(i));
            lane.sim.start(QStringLiteral(SIM_EXE), {QStringLiteral("--port"), QStringLiteral("0"),
                                                     QStringLiteral("--served"), lane.servedPath});
            QTRY_VERIFY_WITH_TIMEOUT(lane.sim.canReadLine(), 20000);
            const QString first = QString::fromLatin1(lane.sim.readLine()).trimmed();
            lane.port = first.section(QLatin1Char(':'), -1);
            QVERIFY2(lane.port.toInt() > 0, qPrintable(first));
        }
    }
    void cleanupTestCase()
    {
        for (Lane &lane : m_lanes) {
            for (QProcess *p : {lane.app.get(), &lane.sim}) {
                if (p && p->state() != QProcess::NotRunning) {
                    p->kill();
                    p->waitForFinished();
                }
            }
        }
        if (m_x.state() != QProcess::NotRunning) {
            m_x.terminate();
            if (!m_x.waitForFinished(5000))
                m_x.kill();
        }
    }

    // 20 kills at random moments, four programs at a time: at most the staged readings
    // are missing (50, and the one whose reply was on the wire), none is torn, doubled or
    // out of order.
    void killedAtRandomMoments()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator rng(seed);
        for (int round = 0; round < 20 / kLanes; ++round) {
            for (Lane &lane : m_lanes)
                startProgram(lane);
            for (Lane &lane : m_lanes)
                measureAutomatically(lane);
            QDeadlineTimer kills[kLanes];
            for (int i = 0; i < kLanes; ++i) {
                Lane &lane = m_lanes[i];
                QTRY_VERIFY_WITH_TIMEOUT(!lane.served(lane.servedBefore).isEmpty(), 60000);
                lane.delayMs = rng.bounded(0, 1500);
                kills[i] = QDeadlineTimer(lane.delayMs);
            }
            for (int done = 0; done < kLanes;) {
                for (int i = 0; i < kLanes; ++i) {
                    if (m_lanes[i].app->state() != QProcess::NotRunning && kills[i].hasExpired()) {
                        end(m_lanes[i], false);
                        ++done;
                    }
                }
                QTest::qWait(1); // the random moments are the point here
            }
            for (int i = 0; i < kLanes; ++i) {
                QList<long double> served;
                QList<long double> saved;
                collect(m_lanes[i], served, saved);
                if (QTest::currentTestFailed())
                    return;
                const QByteArray where =
                    QStringLiteral("seed %1, round %2, lane %3, kill after %4 ms: %5 served, %6 "
                                   "saved")
                        .arg(seed)
                        .arg(round)
                        .arg(i)
                        .arg(m_lanes[i].delayMs)
                        .arg(served.size())
                        .arg(saved.size())
                        .toUtf8();
                QVERIFY2(saved.size() <= served.size(), where);
                QVERIFY2(served.size() - saved.size() <= 51, where);
                for (qsizetype k = 0; k < saved.size(); ++k)
                    QVERIFY2(same(saved[k], served[k]), where + " at " + QByteArray::number(k));
            }
        }
    }

    // Ended by SIGTERM the program writes every reading it was served and sends the close
    // list, also while the close question is open.
    void terminatedLosesNothing_data()
    {
        QTest::addColumn<bool>("question");
        QTest::newRow("measuring") << false;
        QTest::newRow("the close question open") << true;
    }
    void terminatedLosesNothing()
    {
        QFETCH(bool, question);
        Lane &lane = m_lanes[0];
        startProgram(lane);
        measureAutomatically(lane);
        QTRY_VERIFY_WITH_TIMEOUT(lane.served(lane.servedBefore).size() > 60, 60000);
        if (question) {
            // File, Exit with the keyboard: the question box opens over the window.
            const QString window = mainWindowOf(lane);
            xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
            xdo({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("alt+f"),
                 QStringLiteral("Up"), QStringLiteral("Return")});
            const auto windows = [&] {
                return xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                            QStringLiteral("--pid"), QString::number(lane.app->processId())})
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            };
            QTRY_VERIFY_WITH_TIMEOUT(windows().size() >= 2, 20000);
            // Measuring goes on behind the question.
            const qsizetype before = lane.served(lane.servedBefore).size();
            QTRY_VERIFY_WITH_TIMEOUT(lane.served(lane.servedBefore).size() > before + 20, 20000);
        }
        lane.disconnects(); // takes in what the simulator printed so far
        const qsizetype closeListBefore = lane.simOut.count("> *RST");
        end(lane, true);
        QList<long double> served;
        QList<long double> saved;
        collect(lane, served, saved);
        QVERIFY(!served.isEmpty());
        QCOMPARE(saved.size(), served.size());
        for (qsizetype k = 0; k < saved.size(); ++k)
            QVERIFY(same(saved[k], served[k]));
        QCOMPARE(lane.simOut.count("> *RST"), closeListBefore + 1);
    }
};

QTEST_GUILESS_MAIN(TestCrash)
#include "test_crash.moc"
