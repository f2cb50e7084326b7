// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/autosaver.h"
#include "data/datetime.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <csignal>
#include <limits>
#include <sys/resource.h>

namespace {

measpol reading(int n)
{
    measpol r;
    r.value1 = n;
    r.value2 = -n;
    r.dateTime = 45000 + n / 86400.0;
    r.range = 10;
    r.resol = 0.001L;
    r.Lunits1.set(u"V");
    r.Lunits2.set(u"mV");
    return r;
}

struct FileContent
{
    bool exists = false;
    QList<QByteArray> heads; // comment lines
    QList<int> values;       // first field of every data line
    bool wellFormed = true;  // every line ends with CR LF and has eight fields
};

FileContent readBack(const QString &path)
{
    FileContent c;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return c;
    c.exists = true;
    const QByteArray all = f.readAll();
    if (!all.isEmpty() && !all.endsWith("\r\n"))
        c.wellFormed = false;
    for (const QByteArray &raw : all.split('\n')) {
        if (raw.isEmpty())
            continue;
        if (!raw.endsWith('\r'))
            c.wellFormed = false;
        const QByteArray line = raw.chopped(1);
        if (line.startsWith('#')) {
            c.heads << line;
            continue;
        }
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() != 8)
            c.wellFormed = false;
        c.values << fields.at(0).toInt();
    }
    return c;
}

QList<int> range(int from, int to)
{
    QList<int> v;
    for (int i = from; i <= to; ++i)
        v << i;
    return v;
}

} // namespace

// How a batches row ends.
enum Off { StaysOn, OffWithNewReading, OffWithLastReading };

class TestAutoSaver : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_next = 0;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    void feed(AutoSaver &s, int n, bool connected = true)
    {
        for (int i = 0; i < n; ++i)
            s.recordAndWrite(false, connected, reading(++m_next));
    }

private slots:
    void initTestCase()
    {
        std::setlocale(LC_ALL, "");
        std::signal(SIGXFSZ, SIG_IGN);
    }
    void init() { m_next = 0; }

    void batches_data()
    {
        QTest::addColumn<int>("readings");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("off");
        QTest::addColumn<int>("written"); // -1: no file yet
        QTest::addColumn<int>("staged");
        QTest::newRow("50 readings wait") << 50 << true << int(StaysOn) << -1 << 50;
        QTest::newRow("the 51st writes 51") << 51 << true << int(StaysOn) << 51 << 0;
        QTest::newRow("two batches") << 102 << true << int(StaysOn) << 102 << 0;
        QTest::newRow("one after a batch waits") << 52 << true << int(StaysOn) << 51 << 1;
        QTest::newRow("switch-off writes staged and current")
            << 10 << true << int(OffWithNewReading) << 11 << 0;
        QTest::newRow("switch-off right after a batch")
            << 51 << true << int(OffWithNewReading) << 52 << 0;
        QTest::newRow("switch-off with the reading staged last")
            << 10 << true << int(OffWithLastReading) << 10 << 0;
        QTest::newRow("switch-off with the reading written last")
            << 51 << true << int(OffWithLastReading) << 51 << 0;
        QTest::newRow("link down stages nothing") << 60 << false << int(StaysOn) << -1 << 0;
        QTest::newRow("link down, switch-off: head lines only")
            << 60 << false << int(OffWithNewReading) << 0 << 0;
    }
    void batches()
    {
        QFETCH(int, readings);
        QFETCH(bool, connected);
        QFETCH(int, off);
        QFETCH(int, written);
        QFETCH(int, staged);
        const QString file = path(QStringLiteral("%1.csv").arg(QTest::currentDataTag()));
        AutoSaver s;
        s.switchOnFile(file, ';');
        feed(s, readings, connected);
        if (off != StaysOn)
            s.switchOff(connected, reading(off == OffWithNewReading ? ++m_next : m_next));
        QCOMPARE(s.stagedCount(), staged);
        const FileContent c = readBack(file);
        QCOMPARE(c.exists, written >= 0);
        if (written < 0)
            return;
        QVERIFY(c.wellFormed);
        QCOMPARE(c.heads.size(), 3);
        QCOMPARE(c.values, range(1, written));
    }

    void statusTexts()
    {
        AutoSaver s;
        QSignalSpy status(&s, &AutoSaver::statusText);
        QSignalSpy hint(&s, &AutoSaver::waitHint);
        s.recordAndWrite(true, true, reading(1));
        QCOMPARE(status.takeFirst().at(0).toString(), QStringLiteral("Error: No file for save!"));
        QCOMPARE(s.stagedCount(), 0);
        QVERIFY(hint.isEmpty());

        const QString file = path(QStringLiteral("status.csv"));
        s.switchOnFile(file, ';');
        QCOMPARE(status.takeFirst().at(0).toString(), QStringLiteral("File: ") + file);
        QCOMPARE(s.menuHint(), QStringLiteral("Save to file:\n") + file);
        QCOMPARE(s.indicatorColor(), QColor(0, 255, 0));
        feed(s, 51);
        QCOMPARE(hint.first().at(0).toString(), QStringLiteral("1 save wait "));
        QCOMPARE(hint.last().at(0).toString(), QStringLiteral("51 save wait "));
        QCOMPARE(status.size(), 2);
        QVERIFY(status.at(0).at(0).toString().startsWith(QStringLiteral("Begin save... ")));
        QVERIFY(status.at(1).at(0).toString().startsWith(QStringLiteral("End save ")));
        s.switchOff(false, reading(0));
        QCOMPARE(s.menuHint(), QStringLiteral("Save to file:\n"));
        QCOMPARE(s.indicatorColor(), QColor(128, 128, 128));
        QVERIFY(!s.isOn());
    }

    void switchOnMakesDirectoryAndName()
    {
        const QString dataDir = path(QStringLiteral("data")) + QLatin1Char('/');
        AutoSaver s;
        QSignalSpy problem(&s, &AutoSaver::directoryProblem);
        s.switchOn(dataDir, dtime::fromQDateTime(QDateTime(QDate(2024, 3, 4), QTime(5, 6, 7))), 1);
        QVERIFY(problem.isEmpty());
        QCOMPARE(s.fileName(), dataDir + QStringLiteral("Log/Data_20240304-050607-t.txt"));
        QCOMPARE(s.separator(), '\t');
        QCOMPARE(AutoSaver::autoFileName(QStringLiteral("/d"), 0, 7),
                 QStringLiteral("/d/Log/Data_18991230-000000-s.csv"));
        feed(s, 51);
        QVERIFY(QFileInfo::exists(s.fileName()));
    }

    // A directory that cannot be made: the message, then write errors, and nothing lost.
    void unwritableDirectory()
    {
        const QString blocker = path(QStringLiteral("blocker"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString dataDir = blocker + QStringLiteral("/sub/");
        AutoSaver s;
        QSignalSpy problem(&s, &AutoSaver::directoryProblem);
        QSignalSpy status(&s, &AutoSaver::statusText);
        s.switchOn(dataDir, 0, 2);
        QCOMPARE(problem.size(), 1);
        QCOMPARE(problem.first().at(0).toString(),
                 dataDir + QStringLiteral("Log\nError - create directories: ") +
                     QString::number(ENOTDIR));
        QVERIFY(s.isOn());
        qint64 clock = 0;
        s.setClock([&clock] { return clock; });
        feed(s, 51);
        QCOMPARE(status.last().at(0).toString(), QStringLiteral(" Error: File write!"));
        QVERIFY(s.lastWriteFailed());
        QCOMPARE(s.stagedCount(), 51);
        status.clear();
        clock += 999;
        feed(s, 8); // no retry within the second
        QCOMPARE(status.count(), 0);
        clock += 1;
        feed(s, 1);
        QCOMPARE(status.count(), 2);
        s.switchOff(true, reading(++m_next));
        QCOMPARE(status.last().at(0).toString(), QStringLiteral(" Error: File write!"));
        QCOMPARE(s.stagedCount(), 61);
        // Saving on again into a good place writes every reading kept.
        const QString good = path(QStringLiteral("after-blocker.csv"));
        s.switchOnFile(good, ';');
        feed(s, 1);
        QCOMPARE(s.stagedCount(), 0);
        QCOMPARE(readBack(good).values, range(1, 62));
    }

    void retryWhenTheFailureClears()
    {
        const QString dir = path(QStringLiteral("later"));
        const QString file = dir + QStringLiteral("/f.csv");
        AutoSaver s;
        qint64 clock = 0;
        s.setClock([&clock] { return clock; });
        s.switchOnFile(file, ';');
        feed(s, 51);
        QCOMPARE(s.stagedCount(), 51);
        QVERIFY(QDir().mkpath(dir));
        clock += AutoSaver::kRetryMs;
        feed(s, 1);
        QCOMPARE(s.stagedCount(), 0);
        QVERIFY(!s.lastWriteFailed());
        const FileContent c = readBack(file);
        QCOMPARE(c.heads.size(), 3);
        QCOMPARE(c.values, range(1, 52));
    }

    // A batch that only partly reached the disk is cut off again and later written once.
    void partialBatchIsNeverDuplicated()
    {
        const QString file = path(QStringLiteral("partial.csv"));
        AutoSaver s;
        qint64 clock = 0;
        s.setClock([&clock] { return clock; });
        s.switchOnFile(file, ';');
        feed(s, 51);
        const qint64 size = QFileInfo(file).size();
        rlimit old{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = static_cast<rlim_t>(size + 700);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        feed(s, 51);
        const qint64 afterFailure = QFileInfo(file).size();
        const bool failed = s.lastWriteFailed();
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
        QVERIFY(failed);
        QCOMPARE(afterFailure, size);
        QCOMPARE(s.stagedCount(), 51);
        clock += AutoSaver::kRetryMs;
        feed(s, 1);
        QCOMPARE(s.stagedCount(), 0);
        const FileContent c = readBack(file);
        QVERIFY(c.wellFormed);
        QCOMPARE(c.values, range(1, 103));
    }

    // A disk that fills up while measuring, then gets room again. The writes that fail are
    // retried once a second, never per reading; what the list cannot hold is dropped oldest
    // first and marked in the file at the gap; everything else reaches the file once.
    void fullDisk_data()
    {
        QTest::addColumn<qint64>("room");  // bytes that still fit when the disk fills
        QTest::addColumn<int>("readings"); // taken while it is full, 10 ms apart
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("lost");
        QTest::newRow("nothing fits") << qint64(0) << 3000 << AutoSaver::kMaxStaged << 0;
        QTest::newRow("a line and a half fit") << qint64(900) << 3000 << AutoSaver::kMaxStaged << 0;
        QTest::newRow("the list overflows") << qint64(0) << 3000 << 1000 << 2000;
        QTest::newRow("catch-up over several writes")
            << qint64(0) << 3 * AutoSaver::kMaxLinesPerWrite << AutoSaver::kMaxStaged << 0;
    }
    void fullDisk()
    {
        QFETCH(qint64, room);
        QFETCH(int, readings);
        QFETCH(int, capacity);
        QFETCH(int, lost);
        const QString file = path(QStringLiteral("full-%1.csv").arg(QTest::currentDataTag()));
        qint64 clock = 0;
        qint64 fits = std::numeric_limits<qint64>::max();
        AutoSaver s;
        s.setClock([&clock] { return clock; });
        s.setStagingCapacity(capacity);
        s.setWriteFunction([&fits](int fd, const char *data, size_t len) -> long {
            if (fits <= 0) {
                errno = ENOSPC;
                return -1;
            }
            const auto n = static_cast<size_t>(std::min<qint64>(fits, qint64(len)));
            fits -= qint64(n);
            return ::write(fd, data, n);
        });
        QSignalSpy status(&s, &AutoSaver::statusText);
        s.switchOnFile(file, ';');
        feed(s, 102);
        fits = room;
        status.clear();
        for (int i = 0; i < readings; ++i, clock += 10)
            feed(s, 1);
        int attempts = 0;
        for (const QList<QVariant> &args : status)
            attempts += args.at(0).toString().startsWith(QStringLiteral("Begin save"));
        QCOMPARE(attempts, readings / 100);
        const int lastAttempt = 50 + 100 * (attempts - 1);
        const int lostThen = std::max(0, lastAttempt - capacity); // it writes, then drops
        const QString failure =
            QStringLiteral(" Error: File write!") +
            (lostThen ? QStringLiteral("  %1 readings lost").arg(lostThen) : QString());
        QCOMPARE(status.last().at(0).toString(), failure);
        QCOMPARE(s.droppedCount(), qint64(lost));

        fits = std::numeric_limits<qint64>::max();
        clock += AutoSaver::kRetryMs;
        while (s.stagedCount() >= AutoSaver::kBatch)
            feed(s, 1);
        const int total = m_next;
        s.switchOff(false, reading(0));
        const FileContent c = readBack(file);
        QVERIFY(c.wellFormed);
        QList<int> expected = range(1, 102);
        expected << range(103 + lost, total);
        QCOMPARE(c.values, expected);
        if (lost) {
            QCOMPARE(c.heads.size(), 4);
            const QString stamp = QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz");
            const QString gap = QStringLiteral("# %1 readings lost between %2 and %3")
                                    .arg(lost)
                                    .arg(dtime::format(stamp, reading(103).dateTime),
                                         dtime::format(stamp, reading(102 + lost).dateTime));
            QVERIFY2(c.heads.last().startsWith(gap.toUtf8()), c.heads.last());
        } else {
            QCOMPARE(c.heads.size(), 3);
        }
    }

    void fullDevice()
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full");
        AutoSaver s;
        qint64 clock = 0;
        s.setClock([&clock] { return clock; });
        QSignalSpy status(&s, &AutoSaver::statusText);
        s.switchOnFile(QStringLiteral("/dev/full"), ';');
        s.setStagingCapacity(100);
        feed(s, 150);
        clock += AutoSaver::kRetryMs;
        feed(s, 1); // the full list tries to write before it drops this one's predecessor
        QCOMPARE(status.last().at(0).toString(),
                 QStringLiteral(" Error: File write!  50 readings lost"));
        QCOMPARE(s.droppedCount(), 51);
        QCOMPARE(s.stagedCount(), 100);
        QCOMPARE(s.staged(0).value1, 52.0L);
        QCOMPARE(s.staged(99).value1, 151.0L);
    }

    void commentAndEnvironment()
    {
        const QString file = path(QStringLiteral("comment-t.txt"));
        AutoSaver s;
        s.setEnvironmentSource([] {
            AutoSaver::Environment env;
            env.ids.model = QStringLiteral("8846X");
            env.start.seriesMs = 42;
            env.decSep = ',';
            return env;
        });
        s.switchOnFile(file, '\t');
        s.setPendingComment(QStringLiteral("#T! \tR0 100"));
        s.setPendingComment(QStringLiteral("#T! \tR0 1000"));
        feed(s, 51);
        QVERIFY(s.pendingComment().isEmpty());
        feed(s, 51);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.at(0), QByteArray("# TYPE:8846X  SN:  CAL.date:  PROD:\r"));
        QVERIFY(lines.at(1).contains("\t Multiple measurement lasted 42ms\t"));
        QCOMPARE(lines.at(2),
                 QByteArray("# Result \tunits \tDateTime \tmiliSecond \tRange \tResolution \t"
                            "Note \r"));
        QCOMPARE(lines.at(3), QByteArray("#T! \tR0 1000\r"));
        QVERIFY(lines.at(4).startsWith("1\tV\t"));
        QVERIFY(lines.at(4).endsWith("\t10\t0,001\t-1\tmV\r"));
        QCOMPARE(lines.size(), 3 + 1 + 102 + 1);
    }
};

QTEST_GUILESS_MAIN(TestAutoSaver)
#include "test_autosaver.moc"
