// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/bigary.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

measpol reading(long double v, const QString &unit = QStringLiteral("V="))
{
    measpol r;
    r.value1 = v;
    r.value2 = -v;
    r.dateTime = 45000.5;
    r.range = 10;
    r.resol = 1e-6L;
    r.Lunits1.set(unit);
    r.Lunits2.set(unit);
    return r;
}

} // namespace

class TestBigAry : public QObject
{
    Q_OBJECT
private slots:
    void firstAppend();
    void overRange_data();
    void overRange();
    void wrapExample();
    void ring_data();
    void ring();
    void capacityFromSetting_data();
    void capacityFromSetting();
    void extremes();
    void unitsCut();
    void smallerLimitWaitsForClear();
    void clearResets();
    void heldReadingsGoInAfterTheSwap();
};

void TestBigAry::firstAppend()
{
    BigAry a(100);
    QCOMPARE(a.High(), 0);
    QCOMPARE(a.bigarypos(), -1);
    QVERIFY(a.Append(reading(1)));
    QCOMPARE(a.bigarypos(), 0);
    QCOMPARE(a.bigarycnt(), 1);
    QCOMPARE(a.High(), 0);
    QCOMPARE(static_cast<double>(a[0].value1), 1.0);
    QCOMPARE(static_cast<double>(a[0].value2), -1.0);
    QCOMPARE(a[0].dateTime, 45000.5);
}

void TestBigAry::overRange_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<bool>("stored");
    QTest::newRow("1e37") << 1e37 << true;
    QTest::newRow("-1e37") << -1e37 << true;
    QTest::newRow("1.0000001e37") << 1.0000001e37 << false;
    QTest::newRow("-1.0000001e37") << -1.0000001e37 << false;
    QTest::newRow("overload reply") << 9.9e37 << false;
    QTest::newRow("zero") << 0.0 << true;
    QTest::newRow("tiny failure value") << -1e-39 << true;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false;
}

void TestBigAry::overRange()
{
    QFETCH(double, v);
    QFETCH(bool, stored);
    BigAry a(10);
    QCOMPARE(a.Append(reading(v)), stored);
    QCOMPARE(a.bigarycnt(), stored ? 1 : 0);
    QCOMPARE(a.bigarypos(), stored ? 0 : -1);
    if (!stored) {
        QCOMPARE(static_cast<double>(a.maximum()), -1e38);
        QCOMPARE(static_cast<double>(a.minimum()), 1e38);
    }
}

void TestBigAry::wrapExample()
{
    BigAry a(3);
    for (int i = 1; i <= 4; ++i) {
        a.Append(reading(i));
        QCOMPARE(a.bigarypos(), i - 1);
        QCOMPARE(static_cast<double>(a[i - 1].value1), double(i));
    }
    a.Append(reading(5));
    QCOMPARE(a.bigarypos(), 0);
    QCOMPARE(static_cast<double>(a[0].value1), 5.0);
    QCOMPARE(a.Slot(0), 1);
    QCOMPARE(a.Slot(3), 0);
    QCOMPARE(a.bigarycnt(), 5);
    QCOMPARE(a.High(), 3);
}

void TestBigAry::ring_data()
{
    QTest::addColumn<int>("maxbuffer");
    QTest::addColumn<int>("appends");
    for (int max : {0, 1, 3, 10}) {
        for (int n : {1, 2, 4, 5, 11, 12, 25}) {
            QTest::addRow("max %d, %d appends", max, n) << max << n;
        }
    }
}

// Whatever the count, the ring holds the newest readings in time order through Slot.
void TestBigAry::ring()
{
    QFETCH(int, maxbuffer);
    QFETCH(int, appends);
    BigAry a(maxbuffer);
    for (int i = 1; i <= appends; ++i)
        a.Append(reading(i));
    const int held = std::min(appends, maxbuffer + 1);
    QCOMPARE(a.High(), held - 1);
    QCOMPARE(a.bigarycnt(), appends);
    QCOMPARE(a.bigarypos(), (appends - 1) % (maxbuffer + 1));
    for (int i = 0; i <= a.High(); ++i)
        QCOMPARE(static_cast<double>(a[a.Slot(i)].value1), double(appends - held + 1 + i));
    QCOMPARE(a.Slot(a.High()), a.bigarypos());
}

void TestBigAry::capacityFromSetting_data()
{
    QTest::addColumn<qint64>("setting");
    QTest::addColumn<qint64>("maxbuffer");
    QTest::newRow("default") << qint64(2000000) << qint64(2000000);
    QTest::newRow("limit") << qint64(10000000) << qint64(10000000);
    QTest::newRow("fifty million") << qint64(50000000) << qint64(10000000);
    QTest::newRow("negative") << qint64(-5) << qint64(0);
}

void TestBigAry::capacityFromSetting()
{
    QFETCH(qint64, setting);
    QFETCH(qint64, maxbuffer);
    QCOMPARE(BigAry::maxBufferFromSetting(setting), maxbuffer);
    QCOMPARE(BigAry(setting).maxbuffer(), maxbuffer);
}

void TestBigAry::extremes()
{
    BigAry a(2);
    a.Append(reading(0));
    QCOMPARE(static_cast<double>(a.maximum()), 0.0);
    QCOMPARE(static_cast<double>(a.minimum()), 0.0);
    a.Append(reading(-3));
    a.Append(reading(7));
    a.Append(reading(1)); // overwrites the 0; the extremes are of all appended since Clear
    QCOMPARE(static_cast<double>(a.maximum()), 7.0);
    QCOMPARE(static_cast<double>(a.minimum()), -3.0);
}

void TestBigAry::unitsCut()
{
    BigAry a(2);
    a.Append(reading(1, QStringLiteral("Ohm4long")));
    QCOMPARE(a[0].Lunits1.toString(), QStringLiteral("Ohm4l"));
    a.Append(reading(1, QStringLiteral(u"\u00B0c")));
    QCOMPARE(a[1].Lunits2.toString(), QStringLiteral(u"\u00B0c"));
}

void TestBigAry::smallerLimitWaitsForClear()
{
    BigAry a(5);
    for (int i = 1; i <= 6; ++i)
        a.Append(reading(i));
    a.setMaxBuffer(2);
    QCOMPARE(a.maxbuffer(), 5);
    a.Append(reading(7));
    QCOMPARE(static_cast<double>(a[a.Slot(a.High())].value1), 7.0);
    QCOMPARE(static_cast<double>(a[a.Slot(0)].value1), 2.0);
    a.Clear();
    QCOMPARE(a.maxbuffer(), 2);
    a.setMaxBuffer(8); // larger: at once
    QCOMPARE(a.maxbuffer(), 8);
}

void TestBigAry::clearResets()
{
    BigAry a(3);
    for (int i = 1; i <= 9; ++i)
        a.Append(reading(i));
    a.Clear();
    QCOMPARE(a.High(), 0);
    QCOMPARE(a.bigarypos(), -1);
    QCOMPARE(a.bigarycnt(), 0);
    QCOMPARE(static_cast<double>(a.maximum()), -1e38);
    QCOMPARE(static_cast<double>(a.minimum()), 1e38);
    QCOMPARE(static_cast<double>(a[0].value1), 0.0);
    QVERIFY(a[0].Lunits1.toString().isEmpty());
}

// Readings taken while the graph loads into another buffer wait, and go in after the
// loaded records once that buffer has taken the live one's place.
void TestBigAry::heldReadingsGoInAfterTheSwap()
{
    BigAry live(4), loaded(4);
    live.Append(reading(1));
    for (int i = 10; i <= 12; ++i)
        loaded.Append(reading(i));
    live.hold();
    QVERIFY(live.Append(reading(2)));
    QVERIFY(!live.Append(reading(2e38L)));
    live.Append(reading(3));
    QCOMPARE(live.High(), 0);
    QCOMPARE(live.waiting(), 2);
    live.swapContents(loaded);
    QCOMPARE(static_cast<double>(loaded[0].value1), 1.0);
    live.release();
    QVERIFY(!live.held());
    QList<double> v;
    for (qint64 i = 0; i <= live.High(); ++i)
        v << static_cast<double>(live[live.Slot(i)].value1);
    QCOMPARE(v, QList<double>({10, 11, 12, 2, 3}));
    QCOMPARE(live.bigarycnt(), 5);
    QCOMPARE(static_cast<double>(live.maximum()), 12.0);
    QCOMPARE(static_cast<double>(live.minimum()), 2.0);
}

QTEST_GUILESS_MAIN(TestBigAry)
#include "test_bigary.moc"
