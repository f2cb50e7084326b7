// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/datetime.h"
#include "engine/chartstats.h"
#include "engine/measpol.h"
#include "engine/readingformat.h"

#include <QTest>

#include <cmath>
#include <limits>

namespace {

// An expected pixel of a picture.
struct Px
{
    int x, y;
    QRgb rgb;
};

const QRgb kBack = chart::kButtonFace.rgb();
const QRgb kBlack = QColor(Qt::black).rgb();
const QRgb kMean = chart::kMeanLine.rgb();
const QRgb kZero = chart::kZeroLine.rgb();
const QRgb kGreen = chart::kHistBar.rgb();

ChartInput reading(long double v, double when = 45000.5)
{
    ChartInput in;
    in.reading.value1 = v;
    in.reading.value2 = v * 2;
    in.reading.dateTime = when;
    in.reading.Lunits1.set(u"V=");
    in.reading.Lunits2.set(u"Ohm");
    in.Units1 = QStringLiteral("V=");
    return in;
}

// Feeds readings the way the cycle does; the last input decides the drawing.
void feed(ChartStats &cs, const QList<double> &values, ChartInput in = reading(0))
{
    for (double v : values) {
        in.reading.value1 = v;
        in.reading.value2 = v * 2;
        cs.UpdateChart(true, false, in);
    }
}

QList<double> repeated(const QList<double> &pattern, int n)
{
    QList<double> out;
    for (int i = 0; i < n; ++i)
        out.append(pattern[i % pattern.size()]);
    return out;
}

bool rowHas(const QImage &img, int y, QRgb rgb)
{
    for (int x = 0; x < img.width(); ++x) {
        if (img.pixel(x, y) == rgb)
            return true;
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(QList<Px>)

class TestChartStats : public QObject
{
    Q_OBJECT
private slots:
    void formatStat_data();
    void formatStat();
    void statisticsLines_data();
    void statisticsLines();
    void chartPixels_data();
    void chartPixels();
    void identicalReadings();
    void histogramBins_data();
    void histogramBins();
    void mean10_data();
    void mean10();
    void historyMovesOn();
    void invalidReadingKeepsPictures();
    void redrawDoesNotStoreReading();
    void seriesNumbersSurviveRedraw();
    void clipboardText_data();
    void clipboardText();
    void markerTop_data();
    void markerTop();
    void clearHint();
};

void TestChartStats::formatStat_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("out");
    QTest::newRow("two digits, 9 decimals") << 12.3456 << "."
                                            << " +12.34560000 ";
    QTest::newRow("zero") << 0.0 << "." << QStringLiteral(u"            \u00B10");
    QTest::newRow("mega, 10 decimals") << 1234567.0 << "."
                                       << " +1.234567000M";
    QTest::newRow("milli negative") << -0.00123 << "."
                                    << " -1.230000000m";
    QTest::newRow("three digits, 8 decimals") << 0.5 << "."
                                              << " +500.0000000m";
    // The cut to 12 characters hides the decimals; rounding shows how many were taken.
    QTest::newRow("below 1.1, 11 decimals") << 1.09999999999 << "."
                                            << " +1.099999999 ";
    QTest::newRow("below 11, 10 decimals") << 10.9999999999 << "."
                                           << " +10.99999999 ";
    QTest::newRow("below 110, 9 decimals") << 109.999999999 << "."
                                           << " +109.9999999 ";
    QTest::newRow("decimal comma") << 12.3456 << ","
                                   << " +12,34560000 ";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "."
                                  << "           NAN";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "."
                              << "          +INF";
}

void TestChartStats::formatStat()
{
    QFETCH(double, x);
    QFETCH(QString, sep);
    QFETCH(QString, out);
    const QString s = FormatStat(x, sep);
    QCOMPARE(s, out);
    QCOMPARE(s.size(), 14);
}

void TestChartStats::statisticsLines_data()
{
    QTest::addColumn<QList<double>>("readings");
    QTest::addColumn<QStringList>("lines");
    const auto f = [](double v) { return FormatStat(v); };
    // After a clear the first reading is both extremes.
    QTest::newRow("first after clear")
        << QList<double>{5}
        << QStringList{"Count:            1 ", "Actual:  " + f(5), "Max:     " + f(5),
                       "Min:     " + f(5),     "Max-Min: " + f(0), "Mean:    " + f(5),
                       "Prop.:   " + f(0),     "Average: " + f(5), "RMS:     " + f(5),
                       "FormFac: " + f(0)};
    QTest::newRow("mixed signs") << QList<double>{3, -4}
                                 << QStringList{"Count:            2 ",
                                                "Actual:  " + f(-4),
                                                "Max:     " + f(3),
                                                "Min:     " + f(-4),
                                                "Max-Min: " + f(7),
                                                "Mean:    " + f(-0.5),
                                                "Prop.:   " + f(-14),
                                                "Average: " + f(3.5),
                                                "RMS:     " + f(3.5355339059327378),
                                                "FormFac: " + f(0.98994949366116658)};
    // A mean of zero makes the proportion infinite, which must not stop the display.
    QTest::newRow("zero mean") << QList<double>{1, -1}
                               << QStringList{"Count:            2 ",
                                              "Actual:  " + f(-1),
                                              "Max:     " + f(1),
                                              "Min:     " + f(-1),
                                              "Max-Min: " + f(2),
                                              "Mean:    " + f(0),
                                              "Prop.:   " + QStringLiteral("          +INF"),
                                              "Average: " + f(1),
                                              "RMS:     " + f(1),
                                              "FormFac: " + f(1)};
    QTest::newRow("overload ignored") << QList<double>{2, 9.9e37, 4}
                                      << QStringList{"Count:            2 ",
                                                     "Actual:  " + f(4),
                                                     "Max:     " + f(4),
                                                     "Min:     " + f(2),
                                                     "Max-Min: " + f(2),
                                                     "Mean:    " + f(3),
                                                     "Prop.:   " + f(2.0 / 3),
                                                     "Average: " + f(3),
                                                     "RMS:     " + f(std::sqrt(10.0)),
                                                     "FormFac: " + f(1 / std::sqrt(10.0))};
}

void TestChartStats::statisticsLines()
{
    QFETCH(QList<double>, readings);
    QFETCH(QStringList, lines);
    ChartStats cs;
    // Earlier readings must be forgotten by the clear.
    cs.UpdateStatistics(1000);
    cs.ClearStatistic(45000);
    QCOMPARE(cs.texts().mathal, QStringLiteral("No Data!"));
    for (double v : readings)
        cs.UpdateStatistics(v);
    QCOMPARE(cs.texts().mathal, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void TestChartStats::chartPixels_data()
{
    QTest::addColumn<QList<double>>("readings");
    QTest::addColumn<bool>("limits");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QList<Px>>("pixels");
    QTest::addColumn<QList<int>>("limitRows"); // the rows holding yellow dots

    // Rows: y = 230 - 229 / span * (v - min) - 1, so +1 is row 0, -1 row 229, 0 row 115.
    QTest::newRow("alternating -1/+1: zero line at mid-height")
        << repeated({-1, 1}, 400) << false << 0.0 << 0.0
        << QList<Px>{{0, 115, kZero},
                     {200, 115, kZero},
                     {399, 115, kZero},
                     {399, 0, kBlack},
                     {0, 229, kBlack}}
        << QList<int>{};
    QTest::newRow("rising ramp, no zero line")
        << QList<double>{0, 229} << false << 0.0
        << 0.0
        // Only two readings: 398 empty places, then a line from the bottom to the top.
        << QList<Px>{{398, 229, kBlack}, {399, 0, kBlack},  {0, 229, kBack},
                     {200, 115, kMean},  {100, 115, kMean}, {100, 114, kBack}}
        << QList<int>{};
    QTest::newRow("limit lines inside")
        << repeated({-1, 1}, 400) << true << -0.5 << 0.5 << QList<Px>{} << QList<int>{57, 172};
    QTest::newRow("limit lines outside are left out")
        << repeated({-1, 1}, 400) << true << -3.0 << 1.01 << QList<Px>{} << QList<int>{};
    QTest::newRow("span 0 puts both limit lines on the top row")
        << repeated({3}, 400) << true << 1.0 << 5.0 << QList<Px>{} << QList<int>{0};
    QTest::newRow("limits off draw nothing")
        << repeated({-1, 1}, 400) << false << -0.5 << 0.5 << QList<Px>{} << QList<int>{};
}

void TestChartStats::chartPixels()
{
    QFETCH(QList<double>, readings);
    QFETCH(bool, limits);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QList<Px>, pixels);
    QFETCH(QList<int>, limitRows);
    ChartStats cs;
    ChartInput in = reading(0);
    in.limitsOn = limits;
    in.lowLimit = low;
    in.highLimit = high;
    feed(cs, readings, in);
    const QImage &img = cs.chartImage();
    QCOMPARE(img.size(), QSize(400, 230));
    for (const Px &p : pixels) {
        QVERIFY2(img.pixel(p.x, p.y) == p.rgb,
                 qPrintable(QStringLiteral("pixel %1,%2 is %3")
                                .arg(p.x)
                                .arg(p.y)
                                .arg(QColor(img.pixel(p.x, p.y)).name())));
    }
    for (int y = 0; y < img.height(); ++y)
        QCOMPARE(rowHas(img, y, chart::kLimitLine.rgb()), limitRows.contains(y));
}

void TestChartStats::identicalReadings()
{
    ChartStats cs;
    feed(cs, repeated({5}, 400));
    QCOMPARE(cs.span(), 0.0L);
    QCOMPARE(cs.binWidth(), 0.0L);
    for (qint32 n : cs.bins())
        QCOMPARE(n, 0);
    const QImage &h = cs.histogramImage();
    QCOMPARE(h.size(), QSize(40, 40));
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x)
            QCOMPARE(h.pixel(x, y), kBlack);
    }
    // Every point on the bottom row, where the mean line is drawn over the trace.
    const QImage &img = cs.chartImage();
    for (int x = 0; x < 400; ++x) {
        QCOMPARE(img.pixel(x, 229), kMean);
        QCOMPARE(img.pixel(x, 228), kBack);
        QCOMPARE(cs.entry(x).chartY, 229);
    }
    QCOMPARE(cs.texts().devlabel, QStringLiteral(u" \u00B10V= "));
    QCOMPARE(cs.texts().meanl1, QLatin1Char(' ') + FormatValue(5) + QStringLiteral("/400 "));
    QCOMPARE(cs.texts().maxlab1, QLatin1Char(' ') + FormatValue(5) + QLatin1Char(' '));
}

void TestChartStats::histogramBins_data()
{
    QTest::addColumn<QList<double>>("readings");
    QTest::addColumn<QList<int>>("bins"); // pairs: bin, count
    QTest::addColumn<QList<int>>("tops"); // pairs: column, top row of its bar (40: none)
    QTest::newRow("alternating: maximum only in bin 40")
        << repeated({-1, 1}, 400) << QList<int>{0, 200, 40, 200, 20, 0}
        << QList<int>{0, 0, 1, 40, 39, 40};
    QTest::newRow("half-height bar") << QList<double>{0, 4, 4, 10} << QList<int>{0, 1, 16, 2, 40, 1}
                                     << QList<int>{16, 0, 0, 20, 1, 40};
    QTest::newRow("half a bin rounds up")
        << QList<double>{0, 0.125, 10} << QList<int>{0, 1, 1, 1, 40, 1}
        << QList<int>{0, 0, 1, 0, 2, 40};
    QTest::newRow("invalid entries are not counted")
        << QList<double>{0, 9.9e37, -1e-39, 10} << QList<int>{0, 1, 40, 1}
        << QList<int>{0, 0, 39, 40};
}

void TestChartStats::histogramBins()
{
    QFETCH(QList<double>, readings);
    QFETCH(QList<int>, bins);
    QFETCH(QList<int>, tops);
    ChartStats cs;
    // An invalid last reading would leave nothing drawn; end on a valid one.
    feed(cs, readings);
    for (qsizetype i = 0; i < bins.size(); i += 2)
        QCOMPARE(cs.bins()[size_t(bins[i])], bins[i + 1]);
    const QImage &h = cs.histogramImage();
    for (qsizetype i = 0; i < tops.size(); i += 2) {
        const int x = tops[i], top = tops[i + 1];
        if (top < 40)
            QCOMPARE(h.pixel(x, top), kGreen);
        if (top > 0)
            QCOMPARE(h.pixel(x, top - 1), kBlack);
        QCOMPARE(h.pixel(x, 39), top < 40 ? kGreen : kBlack);
    }
}

void TestChartStats::mean10_data()
{
    QTest::addColumn<QList<double>>("readings");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("arrow");
    const auto m = [](double v, int n) { return FormatValue(v) + " /" + QString::number(n); };
    QTest::newRow("jump of 20 % restarts") << QList<double>{10, 12} << m(12, 1) << "t";
    QTest::newRow("small rise") << QList<double>{10, 10.5} << m(10.25, 2) << "t";
    QTest::newRow("small fall") << QList<double>{10, 9.5} << m(9.75, 2) << "u";
    QTest::newRow("equal") << QList<double>{10, 10} << m(10, 2) << "";
    QTest::newRow("drop of 20 % restarts") << QList<double>{10, 10, 8} << m(8, 1) << "u";
    QTest::newRow("zero is no jump") << QList<double>{10, 0} << m(5, 2) << "u";
    QTest::newRow("only ten slots") << repeated({1}, 12) << m(1, 10) << "";
    QTest::newRow("overload restarts and shows N/A") << QList<double>{10, 9.9e37} << "N/A"
                                                     << "t";
    QTest::newRow("reading after overload counts alone")
        << QList<double>{10, 9.9e37, 10.2} << m(10.2, 1) << "t";
    QTest::newRow("zero sum keeps the text") << QList<double>{0} << "N/A"
                                             << "";
}

void TestChartStats::mean10()
{
    QFETCH(QList<double>, readings);
    QFETCH(QString, text);
    QFETCH(QString, arrow);
    ChartStats cs;
    for (double v : readings) {
        cs.UpdateMean10(v);
        if (sentinel::isValid(v))
            cs.ShiftMean10();
    }
    QCOMPARE(cs.texts().mean10l, text);
    QCOMPARE(cs.texts().updowmeai, arrow);
}

void TestChartStats::historyMovesOn()
{
    ChartStats cs;
    QList<double> values;
    for (int i = 1; i <= 450; ++i)
        values.append(i);
    feed(cs, values);
    // Oldest shown is reading 51, newest 450; nothing ever lands behind the shown ones.
    QCOMPARE(cs.entry(0).rec.value1, 51.0L);
    QCOMPARE(cs.entry(399).rec.value1, 450.0L);
    QCOMPARE(cs.entry(399).rec.Lunits1.toString(), QStringLiteral("V="));
    QCOMPARE(cs.entry(399).rec.value2, 900.0L);
    for (int i = chart::kShown; i < chart::kEntries; ++i)
        QCOMPARE(cs.entry(i).rec.value1, sentinel::kEmptyReading);
    QCOMPARE(cs.maximum(), 450.0L);
    QCOMPARE(cs.minimum(), 51.0L);
    QCOMPARE(cs.mean(), 250.5L);
    QCOMPARE(cs.meanCount(), 400);

    // An overload moves the history on by one empty place.
    ChartInput over = reading(9.9e37);
    QVERIFY(!cs.UpdateChart(true, false, over));
    QCOMPARE(cs.entry(399).rec.value1, sentinel::kEmptyReading);
    QCOMPARE(cs.entry(398).rec.value1, 450.0L);
}

void TestChartStats::invalidReadingKeepsPictures()
{
    ChartStats cs;
    feed(cs, {1, 2, 3});
    const QImage chartBefore = cs.chartImage().copy();
    const QImage histBefore = cs.histogramImage().copy();
    const QString maxBefore = cs.texts().maxlab1;
    QVERIFY(!cs.UpdateChart(false, true, reading(-1e-39)));
    QCOMPARE(cs.chartImage(), chartBefore);
    QCOMPARE(cs.histogramImage(), histBefore);
    QCOMPARE(cs.texts().maxlab1, maxBefore);
    for (qint32 n : cs.bins())
        QCOMPARE(n, 0);
}

void TestChartStats::redrawDoesNotStoreReading()
{
    ChartStats cs;
    feed(cs, {1, 2});
    // A reading kept out by the filter or the chart delay, then a limit change redraws.
    QVERIFY(cs.UpdateChart(false, false, reading(7)));
    QCOMPARE(cs.entry(399).rec.value1, 2.0L);
    QCOMPARE(cs.maximum(), 2.0L);
    // The white picture for saving.
    QVERIFY(cs.UpdateChart(false, true, reading(7)));
    QCOMPARE(cs.chartImage().pixel(0, 0), QColor(Qt::white).rgb());
    QCOMPARE(cs.histogramImage().pixel(0, 39), kBlack); // black bars on white
    QCOMPARE(cs.histogramImage().pixel(1, 39), QColor(Qt::white).rgb());
}

void TestChartStats::seriesNumbersSurviveRedraw()
{
    ChartStats cs;
    for (int n = 1; n <= 3; ++n) {
        measpol r;
        r.value1 = n * 1.5;
        r.dateTime = 45000;
        cs.shiftHistory();
        cs.storeNewest(r, n);
    }
    QVERIFY(cs.UpdateChart(false, false, reading(4.5)));
    QCOMPARE(cs.entry(397).sampleNumber, 1);
    QCOMPARE(cs.entry(399).sampleNumber, 3);
    QCOMPARE(cs.entry(396).sampleNumber, 0);
    // The first point stands alone, the others continue the trace.
    QCOMPARE(cs.entry(397).chartY, -1);
    QCOMPARE(cs.entry(398).chartY, 115);
    QCOMPARE(cs.entry(399).chartY, 0);
    // A plain reading moves the series on without a number.
    cs.UpdateChart(true, false, reading(5));
    QCOMPARE(cs.entry(398).sampleNumber, 3);
    QCOMPARE(cs.entry(399).sampleNumber, 0);
}

void TestChartStats::clipboardText_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("mods");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("text");
    QTest::newRow("number") << 1.5 << 0 << "."
                            << "1.5";
    QTest::newRow("decimal comma") << 1.5 << 0 << ","
                                   << "1,5";
    QTest::newRow("tiny in exponent form") << 1.5e-7 << 0 << "."
                                           << "1.5E-7";
    QTest::newRow("alt") << 1.5 << int(Qt::AltModifier) << "," << FormatValue(1.5, u",");
    QTest::newRow("shift") << 1.5 << int(Qt::ShiftModifier) << "."
                           << "1.5\tV=";
    QTest::newRow("ctrl") << 1.5 << int(Qt::ControlModifier) << "."
                          << "1.5 V=";
    QTest::newRow("alt and ctrl: ctrl wins")
        << 1.5 << int(Qt::AltModifier | Qt::ControlModifier) << "."
        << "1.5 V=";
    QTest::newRow("alt and shift: shift wins")
        << 1.5 << int(Qt::AltModifier | Qt::ShiftModifier) << "."
        << "1.5\tV=";
    QTest::newRow("zero with alt") << 0.0 << int(Qt::AltModifier) << "." << FormatValue(0);
}

void TestChartStats::clipboardText()
{
    QFETCH(double, v);
    QFETCH(int, mods);
    QFETCH(QString, sep);
    QFETCH(QString, text);
    QCOMPARE(clipboardValueText(v, QStringLiteral("V="), Qt::KeyboardModifiers(mods), sep), text);
}

void TestChartStats::markerTop_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("top");
    QTest::newRow("lowest bin at the bottom") << 0 << 226;
    QTest::newRow("highest bin at the top") << 39 << 2;
    QTest::newRow("quarter pixel rounds down") << 20 << 111;
    QTest::newRow("half pixel rounds up") << 37 << 14;
}

void TestChartStats::markerTop()
{
    QFETCH(int, x);
    QFETCH(int, top);
    QCOMPARE(histogramMarkerTop(x), top);
}

void TestChartStats::clearHint()
{
    const double when = dtime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9)));
    QCOMPARE(lastClearHint(when), QStringLiteral(" Last clear: 2024.March.05 14:03:09 "));
    ChartStats cs;
    cs.ClearStatistic(when);
    QCOMPARE(cs.texts().clearHint, lastClearHint(when));
    QCOMPARE(cs.stats().count, 0);
    QCOMPARE(cs.stats().maximum, -1e38L);
    QCOMPARE(cs.stats().minimum, 1e38L);
}

QTEST_GUILESS_MAIN(TestChartStats)
#include "test_chartstats.moc"
