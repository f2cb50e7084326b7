// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/graphloader.h"
#include "graph/graphmodel.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void fill(BigAry &buf, const QList<double> &values)
{
    for (double v : values) {
        measpol r;
        r.value1 = v;
        r.value2 = -v;
        r.dateTime = 45000 + v / 86400;
        buf.Append(r);
    }
}

QList<double> ramp(int n)
{
    QList<double> v;
    for (int i = 0; i < n; ++i)
        v << i;
    return v;
}

// A file in `dir` holding `text`.
QString fileWith(const QTemporaryDir &dir, const QByteArray &text)
{
    const QString path = dir.filePath(QStringLiteral("in.txt"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QList<double> chronological(const GraphModel &m)
{
    QList<double> v;
    for (qint64 i = 0; i <= m.buffer().High(); ++i)
        v << static_cast<double>(m.record(i).value1);
    return v;
}

} // namespace

class TestGraphModel : public QObject
{
    Q_OBJECT
private slots:
    void fewRecordsOnWideImage();
    void allEqual();
    void wrappedRing();
    void histogramBinsFromTheExtendedValues();
    void backwardsRange();
    void zoom_data();
    void zoom();
    void scroll();
    void bottomRowReadsOneStepAboveMinimum();
    void deleteMiddle();
    void deleteAcrossWrap();
    void load_data();
    void load();
    void unreadableFirstFieldStillCounts();
    void replaceLoadWrapsAtCapacity();
    void appendLoadKeepsRecords();
    void missingFileKeepsBuffer();
    void junkLoadsSafely();
    void chunksGiveOnePassResult_data();
    void chunksGiveOnePassResult();
    void preparedViewIsTheRescale();
    void statusCountsUnreadableLines_data();
    void statusCountsUnreadableLines();
};

void TestGraphModel::fewRecordsOnWideImage()
{
    BigAry buf(100);
    fill(buf, {1, 5, 2, 4, 3});
    GraphModel m(buf);
    m.setImageSize(600, 200);
    m.rescale(0, 4);
    m.buildColumns();
    const auto &cols = m.columns();
    QCOMPARE(cols.size(), size_t(600));
    QCOMPARE(cols.front().firstIdx, 0);
    QCOMPARE(cols.back().lastIdx, 4);
    int shared = 0;
    for (size_t i = 1; i < cols.size(); ++i) {
        QVERIFY(cols[i].firstIdx >= cols[i - 1].firstIdx);
        QVERIFY(cols[i].lastIdx - cols[i].firstIdx <= 1);
        if (cols[i].firstIdx == cols[i - 1].firstIdx && cols[i].lastIdx == cols[i - 1].lastIdx)
            ++shared;
        const long double lo =
            std::min(m.record(cols[i].firstIdx).value1, m.record(cols[i].lastIdx).value1);
        QCOMPARE(static_cast<double>(cols[i].min1), static_cast<double>(lo));
    }
    QVERIFY(shared > 500);
    QCOMPARE(static_cast<double>(m.primary().max), 5.0);
    QCOMPARE(static_cast<double>(m.primary().mean), 3.0);
    QCOMPARE(static_cast<double>(m.scale1()), 198.0 / 4);
    // Each record counts once although columns share them.
    qint64 total = 0;
    for (qint64 c : m.histogram())
        total += c;
    QCOMPARE(total, 5);
    QCOMPARE(m.histogram()[100], 1);
}

void TestGraphModel::allEqual()
{
    BigAry buf(100);
    fill(buf, {2.5, 2.5, 2.5, 2.5});
    GraphModel m(buf);
    m.setImageSize(300, 100);
    m.rescale(0, 3);
    QCOMPARE(static_cast<double>(m.scale1()), 1.0);
    QCOMPARE(static_cast<double>(m.binWidth()), 0.0);
    for (qint64 c : m.histogram())
        QCOMPARE(c, 0);
    QCOMPARE(static_cast<double>(m.primary().rms), 2.5);
    QCOMPARE(m.row1(2.5), 99);
}

void TestGraphModel::wrappedRing()
{
    BigAry buf(3);
    fill(buf, {1, 2, 3, 4, 5, 6});
    GraphModel m(buf);
    m.setImageSize(4, 50);
    m.rescale(0, 100);
    QCOMPARE(m.to(), 3);
    QCOMPARE(chronological(m), QList<double>({3, 4, 5, 6}));
    QCOMPARE(static_cast<double>(m.primary().min), 3.0);
    QCOMPARE(static_cast<double>(m.columns()[0].first1), 3.0);
    QCOMPARE(static_cast<double>(m.columns()[3].first1), 5.0);
    QCOMPARE(static_cast<double>(m.columns()[3].max1), 6.0);
    QCOMPARE(m.statisticText().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Count         4"));
}

void TestGraphModel::histogramBinsFromTheExtendedValues()
{
    // Just below and above a bin edge; as doubles they would all sit on the edge.
    BigAry buf(100);
    for (long double v : {0.0L, 100.0L, 1 - 0x1p-62L, 1 - 0x1p-62L, 1 - 0x1p-62L, 1 + 0x1p-62L}) {
        measpol r;
        r.value1 = v;
        buf.Append(r);
    }
    GraphModel m(buf);
    m.setImageSize(10, 10);
    for (int round = 0; round < 2; ++round) {
        m.rescale(0, 5);
        QCOMPARE(m.histogram()[0], 4);
        QCOMPARE(m.histogram()[1], 1);
        QCOMPARE(m.histogram()[100], 1);
        // A reading appended later is seen by the next rescale.
        measpol r;
        r.value1 = 1 - 0x1p-62L;
        buf.Append(r);
        m.rescale(0, 6);
        QCOMPARE(m.histogram()[0], 5);
        m.deleteRange(6, 6);
    }
}

void TestGraphModel::backwardsRange()
{
    BigAry buf(100);
    fill(buf, ramp(50));
    GraphModel m(buf);
    m.setImageSize(100, 100);
    m.rescale(40, 10);
    QCOMPARE(m.from(), 10);
    QCOMPARE(m.to(), 40);
    QCOMPARE(static_cast<double>(m.primary().mean), 25.0);
    m.rescale(500, -1);
    QCOMPARE(m.from(), 40);
    QCOMPARE(m.to(), 49);
}

void TestGraphModel::zoom_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<QString>("step");
    QTest::addColumn<qint64>("newFrom");
    QTest::addColumn<qint64>("newTo");
    // 1001 records on 100 columns; q = (to - from) div 4.
    QTest::newRow("in at centre") << qint64(0) << qint64(1000) << "in50" << qint64(250)
                                  << qint64(760);
    QTest::newRow("in at left edge keeps from")
        << qint64(0) << qint64(1000) << "in0" << qint64(0) << qint64(260);
    QTest::newRow("in at right edge clamps")
        << qint64(0) << qint64(1000) << "in99" << qint64(740) << qint64(1000);
    QTest::newRow("out menu at zero is all")
        << qint64(100) << qint64(500) << "menu" << qint64(0) << qint64(1000);
    QTest::newRow("out mouse at zero widens")
        << qint64(100) << qint64(500) << "mouse" << qint64(0) << qint64(600);
    QTest::newRow("out menu inside")
        << qint64(200) << qint64(600) << "menu" << qint64(100) << qint64(700);
    QTest::newRow("out mouse before start is all")
        << qint64(50) << qint64(450) << "mouse" << qint64(0) << qint64(1000);
    // Under four records a quarter is nothing; one record on each side still.
    QTest::newRow("out menu from three records")
        << qint64(500) << qint64(502) << "menu" << qint64(499) << qint64(503);
    QTest::newRow("out mouse from one record")
        << qint64(500) << qint64(500) << "mouse" << qint64(499) << qint64(501);
    QTest::newRow("out menu from one record at one")
        << qint64(1) << qint64(1) << "menu" << qint64(0) << qint64(1000);
}

void TestGraphModel::zoom()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(QString, step);
    BigAry buf(2000);
    fill(buf, ramp(1001));
    GraphModel m(buf);
    m.setImageSize(100, 100);
    m.rescale(from, to);
    GraphModel::Range r{};
    if (step.startsWith(QLatin1String("in")))
        r = m.zoomInRange(step.mid(2).toInt());
    else
        r = step == QLatin1String("menu") ? m.zoomOutMenuRange() : m.zoomOutMouseRange();
    m.rescale(r.from, r.to);
    QTEST(m.from(), "newFrom");
    QTEST(m.to(), "newTo");
}

void TestGraphModel::scroll()
{
    BigAry buf(2000);
    fill(buf, ramp(1001));
    GraphModel m(buf);
    m.setImageSize(90, 100);
    m.rescale(100, 300);
    const ScrollSetup &s = m.scrollSetup();
    QCOMPARE(s.pageStep, 10);
    QCOMPARE(s.singleStep, 1);
    QCOMPARE(s.minimum, 200);
    QCOMPARE(s.maximum, 1000);
    QCOMPARE(s.position, 300);
    QCOMPARE(m.scrollRange(150), (GraphModel::Range{0, 200}));
    QCOMPARE(m.scrollRange(900), (GraphModel::Range{700, 900}));
}

void TestGraphModel::bottomRowReadsOneStepAboveMinimum()
{
    BigAry buf(100);
    fill(buf, {0, 10});
    GraphModel m(buf);
    m.setImageSize(10, 102);
    m.rescale(0, 1);
    QCOMPARE(static_cast<double>(m.valueAtRow(101)), 0.1);
    QCOMPARE(m.row1(0), 101);
    QCOMPARE(m.row1(10), 1);
    m.verticalIn();
    QCOMPARE(m.row1(0), 106);
}

void TestGraphModel::deleteMiddle()
{
    BigAry buf(1000);
    fill(buf, ramp(101));
    GraphModel m(buf);
    m.deleteRange(10, 19);
    QList<double> expect = ramp(101);
    expect.remove(10, 10);
    QCOMPARE(chronological(m), expect);
    QCOMPARE(buf.High(), 90);
    QCOMPARE(buf.bigarypos(), 90);
    QCOMPARE(buf.bigarycnt(), 91);
    QCOMPARE(static_cast<double>(buf[buf.bigarypos()].value1), 100.0);
    m.setImageSize(50, 50);
    m.rescale(0, 1000);
    QCOMPARE(m.to(), 90);
}

void TestGraphModel::deleteAcrossWrap()
{
    BigAry buf(9);
    fill(buf, ramp(14)); // holds 4..13, oldest in slot 4
    GraphModel m(buf);
    m.deleteRange(3, 8);
    QCOMPARE(chronological(m), QList<double>({4, 5, 6, 13}));
    QCOMPARE(static_cast<double>(buf[buf.bigarypos()].value1), 13.0);
    buf.Append(measpol{});
    QCOMPARE(chronological(m), QList<double>({4, 5, 6, 13, 0}));
    m.deleteRange(0, 4);
    QCOMPARE(buf.bigarypos(), -1);
    QCOMPARE(buf.High(), 0);
}

void TestGraphModel::load_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("pos");
    QTest::addColumn<qint64>("cnt");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QList<double>>("second");
    const int data = int(graphload::Format::DataFile), scope = int(graphload::Format::Scope),
              csv = int(graphload::Format::Instrument);
    QTest::newRow("comments only") << data << QByteArray("# a\r\n #b\r\n  #c\r\n") << qint64(0)
                                   << qint64(0) << QList<double>{0} << QList<double>{0};
    QTest::newRow("three lines") << data
                                 << QByteArray("# TYPE:\r\n1,5;V;2024-01-02 03:04:05;006;10;"
                                               "0,001;7;V;\r\n2;V;x;0;1;1;8;V;\r\n3;V\r\n")
                                 << qint64(2) << qint64(2) << QList<double>{1.5, 2, 3}
                                 << QList<double>{7, 8, 0};
    QTest::newRow("CR line ends") << data << QByteArray("# TYPE:\r1;V;x;0;1;1;8;V;\r2;V\r3;mV")
                                  << qint64(2) << qint64(2) << QList<double>{1, 2, 3}
                                  << QList<double>{8, 0, 0};
    QTest::newRow("LF and mixed line ends")
        << data << QByteArray("1;V\n#c\r\n2;V\r3;V\n\n4;V") << qint64(3) << qint64(3)
        << QList<double>{1, 2, 3, 4} << QList<double>{0, 0, 0, 0};
    QTest::newRow("scope CR line ends") << scope << QByteArray("0.5\t1\r1\t2\t9\r") << qint64(1)
                                        << qint64(1) << QList<double>{1, 2} << QList<double>{0, 9};
    QTest::newRow("csv CR line ends")
        << csv << QByteArray("No,Value,Unit\r1,2.5,VDC,,x\r2,-1,VDC,,\r") << qint64(1) << qint64(1)
        << QList<double>{2.5, -1} << QList<double>{0, 0};
    QTest::newRow("not a number skipped") << data << QByteArray("abc;V\r\n4;V\r\n") << qint64(0)
                                          << qint64(0) << QList<double>{4} << QList<double>{0};
    QTest::newRow("scope two columns")
        << scope << QByteArray("0.5\t1,25\r\n1\t2\t9\r\n") << qint64(1) << qint64(1)
        << QList<double>{1.25, 2} << QList<double>{0, 9};
    QTest::newRow("scope bad time")
        << scope << QByteArray("time\tvalue\r\n(ms)\t(V)\r\n1\t3\r\n") << qint64(0) << qint64(0)
        << QList<double>{3} << QList<double>{0};
    QTest::newRow("csv") << csv
                         << QByteArray("No,Value,Unit\r\n1,2.5,VDC,,x\r\n2,-1,VDC,,\r\n3,,,\r\n"
                                       "a,,b\r\n")
                         << qint64(1) << qint64(1) << QList<double>{2.5, -1} << QList<double>{0, 0};
}

void TestGraphModel::load()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const QString path = fileWith(dir, text);
    BigAry buf(100);
    fill(buf, {42, 43});
    const auto fmt = static_cast<graphload::Format>(format);
    const char sep = fmt == graphload::Format::Scope ? '\t' : ';';
    QStringList progress;
    const auto r = graphload::loadFile(buf, path, fmt, sep, graphload::Mode::Replace,
                                       [&](const QString &t) { progress << t; });
    QVERIFY(r.ok);
    QTEST(buf.bigarypos(), "pos");
    QTEST(buf.bigarycnt(), "cnt");
    GraphModel m(buf);
    QList<double> second;
    for (qint64 i = 0; i <= buf.High(); ++i)
        second << static_cast<double>(m.record(i).value2);
    QTEST(chronological(m), "values");
    QTEST(second, "second");
    if (fmt == graphload::Format::Scope && buf.High() > 0)
        QCOMPARE(static_cast<double>(m.record(0).range), 0.5);
    if (fmt == graphload::Format::Instrument)
        QCOMPARE(m.record(0).Lunits1.toString(), QStringLiteral("VDC"));
}

void TestGraphModel::unreadableFirstFieldStillCounts()
{
    QByteArray text("x;V\r\n");
    for (int i = 1; i <= 10000; ++i)
        text += QByteArray::number(i) + ";V\r\n";
    QTemporaryDir dir;
    const QString path = fileWith(dir, text);
    BigAry buf(100000);
    QStringList progress;
    graphload::loadFile(buf, path, graphload::Format::DataFile, ';', graphload::Mode::Replace,
                        [&](const QString &t) { progress << t; });
    QCOMPARE(progress.size(), 2);
    QCOMPARE(progress[1], QStringLiteral(" Loading:   9.8Ki  :  +10.00000000K"));
    QCOMPARE(buf.High(), 9999);
}

void TestGraphModel::replaceLoadWrapsAtCapacity()
{
    QByteArray text;
    for (int i = 1; i <= 7; ++i)
        text += QByteArray::number(i) + ";V\r\n";
    QTemporaryDir dir;
    const QString path = fileWith(dir, text);
    BigAry buf(5);
    graphload::loadFile(buf, path, graphload::Format::DataFile, ';', graphload::Mode::Replace, {});
    GraphModel m(buf);
    QCOMPARE(chronological(m), QList<double>({3, 4, 5, 6, 7}));
    QCOMPARE(static_cast<double>(buf[buf.bigarypos()].value1), 7.0);
    QCOMPARE(static_cast<double>(buf.maximum()), 7.0);
}

void TestGraphModel::appendLoadKeepsRecords()
{
    QTemporaryDir dir;
    const QString path = fileWith(dir, "7;V;2024-01-02 03:04:05;0;1;1;x;V;\r\n8;V\r\n");
    BigAry buf(100);
    fill(buf, {1, 2});
    graphload::loadFile(buf, path, graphload::Format::DataFile, ';', graphload::Mode::Append, {});
    GraphModel m(buf);
    QCOMPARE(chronological(m), QList<double>({1, 2, 7, 8}));
    QCOMPARE(buf.bigarycnt(), 4);
    QCOMPARE(buf.bigarypos(), 3);
}

void TestGraphModel::missingFileKeepsBuffer()
{
    BigAry buf(100);
    fill(buf, {1, 2, 3});
    const auto r =
        graphload::loadFile(buf, QStringLiteral("/nonexistent/x.txt"), graphload::Format::DataFile,
                            ';', graphload::Mode::Replace, {});
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(buf.High(), 2);
}

void TestGraphModel::junkLoadsSafely()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("junk.bin"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray junk(200000, '\0');
    for (qsizetype i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 7919) % 251);
    f.write(junk);
    f.write("\n" + QByteArray(10 << 20, '5') + "\n");
    f.write(QByteArray(100000, ';') + "\n2;V\n");
    f.close();
    for (int fmt = 0; fmt < 3; ++fmt) {
        BigAry buf(1000);
        graphload::loadFile(buf, path, static_cast<graphload::Format>(fmt), ';',
                            graphload::Mode::Replace, {});
        GraphModel m(buf);
        for (qint64 i = 0; i <= buf.High(); ++i)
            QVERIFY(sentinel::isValid(m.record(i).value1));
    }
}

namespace {

struct Loaded
{
    graphload::Result result;
    QStringList progress;
    BigAry buf;
    explicit Loaded(qint64 maxbuffer) : buf(maxbuffer) {}
};

void sameBuffer(const Loaded &a, const Loaded &b)
{
    QCOMPARE(a.buf.High(), b.buf.High());
    QCOMPARE(a.buf.bigarypos(), b.buf.bigarypos());
    QCOMPARE(a.buf.bigarycnt(), b.buf.bigarycnt());
    QVERIFY(a.buf.maximum() == b.buf.maximum());
    QVERIFY(a.buf.minimum() == b.buf.minimum());
    for (qint64 s = 0; s <= a.buf.High(); ++s) {
        const measpol &x = a.buf[s];
        const measpol &y = b.buf[s];
        const bool same = x.value1 == y.value1 && x.value2 == y.value2 && x.range == y.range &&
                          x.resol == y.resol && x.dateTime == y.dateTime &&
                          x.Lunits1 == y.Lunits1 && x.Lunits2 == y.Lunits2;
        QVERIFY2(same, qPrintable(QStringLiteral("slot %1").arg(s)));
    }
    QCOMPARE(a.progress, b.progress);
    QCOMPARE(a.result.lines, b.result.lines);
    QCOMPARE(a.result.stored, b.result.stored);
    QCOMPARE(a.result.unreadable, b.result.unreadable);
}

} // namespace

void TestGraphModel::chunksGiveOnePassResult_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("append");
    QTest::addColumn<qint64>("maxbuffer");
    const int data = int(graphload::Format::DataFile), scope = int(graphload::Format::Scope),
              csv = int(graphload::Format::Instrument);
    QByteArray mixed;
    for (int i = 0; i < 300; ++i) {
        mixed += QByteArray::number(i * 0.25) + ";mV;2024-01-02 03:04:05;" +
                 QByteArray::number(i % 1000) + ";10;0.001;" +
                 (i % 3 ? QByteArray::number(-i) : QByteArray("x")) + ";V" + (i % 2 ? ";" : "");
        mixed += i % 7 == 0 ? "\r" : (i % 5 == 0 ? "\n" : "\r\n");
        if (i % 11 == 0)
            mixed += "  # comment " + QByteArray(i * 5, 'c') + "\r\n";
        if (i % 13 == 0)
            mixed += "abc;V\r\n\r\n \t\r\n1e40;V\r\n";
        if (i % 17 == 0)
            mixed += QByteArray::number(i) + ";" + QByteArray(2000, 'u') + ";;;;;;" +
                     QByteArray(500, 'n') + "\r\n";
    }
    QTest::newRow("line ends, comments, junk, long lines")
        << data << mixed + "42;V;last line without end" << false << qint64(100000);
    QTest::newRow("ring wraps during the load") << data << mixed << false << qint64(37);
    QTest::newRow("append, ring wraps") << data << mixed << true << qint64(50);
    QByteArray many = "# head\r\n";
    for (int i = 0; i < 25003; ++i)
        many += (i == 10000 ? QByteArray("x") : QByteArray::number(i)) + ";V\r\n";
    QTest::newRow("progress over blocks") << data << many << false << qint64(100000);
    QByteArray osc = "time\tvalue\r\n(ms)\t(V)\r\n";
    for (int i = 0; i < 200; ++i)
        osc += QByteArray::number(i) + "\t" + QByteArray::number(i * 2) +
               (i % 3 ? "\t" + QByteArray::number(i * 3) : QByteArray()) + (i % 4 ? "\r\n" : "\r");
    QTest::newRow("oscilloscope export") << scope << osc << true << qint64(150);
    QByteArray inst = "No,Value,Unit\r\n";
    for (int i = 0; i < 200; ++i)
        inst += QByteArray::number(i) + "," + QByteArray::number(i * 1.5) + ",VDC,,\r\n" +
                (i % 9 ? QByteArray() : QByteArray("a,b\r\n,,,\r\n"));
    QTest::newRow("884x CSV") << csv << inst << false << qint64(120);
}

// A load cut into blocks anywhere and parsed on several threads fills the buffer, its
// counters and the progress texts exactly as one block read by one thread does.
void TestGraphModel::chunksGiveOnePassResult()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QFETCH(bool, append);
    QFETCH(qint64, maxbuffer);
    QTemporaryDir dir;
    const QString path = fileWith(dir, text);
    const auto fmt = static_cast<graphload::Format>(format);
    const char sep = fmt == graphload::Format::Scope ? '\t' : ';';
    const graphload::Mode mode = append ? graphload::Mode::Append : graphload::Mode::Replace;
    auto load = [&](Loaded &l, graphload::Split split) {
        fill(l.buf, {5, 6, 7, 8, 9, 10, 11});
        l.result = graphload::loadFile(
            l.buf, path, fmt, sep, mode, [&](const QString &t) { l.progress << t; },
            QStringLiteral(","), nullptr, split);
        QVERIFY(l.result.ok);
    };
    Loaded one(maxbuffer);
    load(one, {1, qsizetype(1) << 30});
    QVERIFY(one.result.stored > 0);
    for (int threads : {2, 3}) {
        for (qsizetype block : {1, 2, 3, 7, 64, 1000, 65536}) {
            if (text.size() > 100000 && block < 64)
                continue;
            Loaded cut(maxbuffer);
            load(cut, {threads, block});
            sameBuffer(one, cut);
            if (QTest::currentTestFailed()) {
                qWarning("threads %d, block %lld", threads, static_cast<long long>(block));
                return;
            }
        }
    }
}

// The view a load computes on its thread is what a rescale over the handed-over buffer
// shows.
void TestGraphModel::preparedViewIsTheRescale()
{
    BigAry work(1000), live(1000);
    fill(work, ramp(300));
    fill(live, {1, 2});
    GraphModel view(work);
    view.setImageSize(50, 40);
    view.rescale(0, work.High());
    view.buildColumns();
    GraphModel shown(live);
    shown.setImageSize(50, 40);
    shown.adoptView(std::move(view));
    live.swapContents(work);
    shown.rescale(0, live.High());
    GraphModel fresh(live);
    fresh.setImageSize(50, 40);
    fresh.rescale(0, live.High());
    QVERIFY(shown.primary().max == fresh.primary().max);
    QVERIFY(shown.primary().rms == fresh.primary().rms);
    QCOMPARE(shown.histogram(), fresh.histogram());
    QCOMPARE(shown.statisticText(), fresh.statisticText());
    for (int c = 0; c < 50; ++c)
        QVERIFY(shown.columns()[c].mean1 == fresh.columns()[c].mean1);
    // A buffer that changed since is passed over again.
    fill(live, {1000});
    shown.adoptView(GraphModel(live));
    shown.rescale(0, live.High());
    QCOMPARE(static_cast<double>(shown.primary().max), 1000.0);
}

void TestGraphModel::statusCountsUnreadableLines_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("status");
    const int data = int(graphload::Format::DataFile), csv = int(graphload::Format::Instrument);
    QTest::newRow("comments only") << data << QByteArray("# a\r\n  # b\r\n") << " Loaded:0";
    QTest::newRow("blank lines are no data")
        << data << QByteArray("# a\r\n\r\n \t\r\n") << " Loaded:0";
    QTest::newRow("none readable") << data << QByteArray("# a\r\nx;V\r\n\r\n1e99;V\r\n")
                                   << " Loaded:0 - 2 lines could not be read";
    QTest::newRow("one line") << data << QByteArray("x;V")
                              << " Loaded:0 - 1 line could not be read";
    QTest::newRow("some readable") << data << QByteArray("x;V\r\n1;V\r\n") << " Loaded:0";
    QTest::newRow("884x CSV") << csv << QByteArray("No,Value\r\n1,x,V,,\r\n2,y,V,,\r\n")
                              << " Loaded:0 - 2 lines could not be read";
}

// A load that stores nothing from a file with data lines says how many could not be read.
void TestGraphModel::statusCountsUnreadableLines()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    BigAry buf(100);
    const auto r =
        graphload::loadFile(buf, fileWith(dir, text), static_cast<graphload::Format>(format), ';',
                            graphload::Mode::Replace, {});
    QTEST(graphload::loadedStatus(buf, r), "status");
}

QTEST_GUILESS_MAIN(TestGraphModel)
#include "test_graphmodel.moc"
