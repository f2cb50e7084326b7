// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "app/settings.h"
#include "data/datetime.h"
#include "engine/chartpanel.h"
#include "engine/readingarea.h"
#include "engine/readingengine.h"
#include "engine/readingformat.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

// The chart panel, statistics label and mean of ten driven through a real reading engine,
// offscreen.
class TestChartPanel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readingsReachTheLabels();
    void filterKeepsReadingsOut_data();
    void filterKeepsReadingsOut();
    void chartHover_data();
    void chartHover();
    void histogramHoverAndClick();
    void mean10Click();
    void mathalDoubleClick();
    void menuCommands();
    void labelsTurnOpaque();
    void chartPicture();
    void limitTextColour();
    void hooksRemovedWithController();

private:
    template <typename T>
    T *child(const char *name)
    {
        return namedChild<T>(&*m_window, name);
    }
    QString text(const char *label) { return child<QLabel>(label)->text(); }
    // One reading as the cycle distributes it.
    void measure(long double v)
    {
        m_engine->state().current = v;
        m_engine->ProcessReading();
        if (m_engine->FilterPass(m_engine->state().processed))
            m_c->UpdateChart(true);
    }
    void moveOver(QWidget *w, int x)
    {
        const QPointF pos(x, 1);
        QMouseEvent ev(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(w, &ev);
    }

    std::unique_ptr<Settings> m_s;
    std::unique_ptr<ReadingEngine> m_engine;
    std::unique_ptr<QWidget> m_window;
    ChartController *m_c = nullptr;
    QStringList m_notices;
};

void TestChartPanel::init()
{
    m_s = std::make_unique<Settings>();
    m_engine = std::make_unique<ReadingEngine>(*m_s);
    m_window = std::make_unique<QWidget>();
    m_c = new ChartController(*m_s, *m_engine, m_window.get());
    auto *layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_c->createChartPanel(m_window.get()));
    layout->addWidget(m_c->createMean10Box(m_window.get()));
    layout->addWidget(m_c->createStatisticsLabel(m_window.get()));
    m_c->EraseChart();
    m_c->ClearStatistic();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    ReadingState &st = m_engine->state();
    st.Units1 = st.Lunits1 = QStringLiteral("V=");
    st.Units2 = st.Lunits2 = QStringLiteral("V=");
    st.range = 10;
    m_notices.clear();
    dialogs::setNoticeHandler([this](const QString &t) { m_notices.append(t); });
}

void TestChartPanel::cleanup()
{
    dialogs::setNoticeHandler({});
    m_window.reset();
    m_engine.reset();
}

void TestChartPanel::readingsReachTheLabels()
{
    for (long double v : {1.0L, 3.0L, 2.0L})
        measure(v);
    QCOMPARE(text("maxlab1"), QLatin1Char(' ') + FormatValue(3) + QLatin1Char(' '));
    QCOMPARE(text("minlab1"), QLatin1Char(' ') + FormatValue(1) + QLatin1Char(' '));
    QCOMPARE(text("devlabel"), QLatin1Char(' ') + FormatValue(2) + QStringLiteral("V= "));
    QCOMPARE(text("meanl1"), QLatin1Char(' ') + FormatValue(2) + QStringLiteral("/3 "));
    QVERIFY(text("mathal").startsWith(QStringLiteral("Count:            3 \nActual:  ") +
                                      FormatStat(2) + QLatin1Char('\n')));
    // 3 to 2 is a jump of a third: the mean of ten starts again.
    QCOMPARE(text("mean10l"), FormatValue(2) + QStringLiteral(" /1"));
    QCOMPARE(text("updowmeai"), QStringLiteral("u"));
    QCOMPARE(child<QLabel>("grafimg")->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
             m_c->stats().chartImage());
    QCOMPARE(child<QLabel>("histoi")->pixmap().size(), QSize(40, 40));
    // The arrow sits 3 pixels left of the mean.
    const auto *arrow = child<QWidget>("updowmeai");
    QCOMPARE(child<QWidget>("mean10l")->x() - (arrow->x() + arrow->width()), 3);
}

void TestChartPanel::filterKeepsReadingsOut_data()
{
    QTest::addColumn<bool>("filter");
    QTest::addColumn<QList<double>>("readings");
    QTest::addColumn<int>("statCount");
    QTest::addColumn<QString>("mean10");
    QTest::addColumn<int>("chartCount");
    const auto m = [](double v, int n) { return FormatValue(v) + " /" + QString::number(n); };
    QTest::newRow("outside the filter: mean of ten only")
        << true << QList<double>{5, 5.2} << 1 << m(5.1, 2) << 1;
    QTest::newRow("filter off") << false << QList<double>{5, 5.2} << 2 << m(5.1, 2) << 2;
    QTest::newRow("overload with filter off: empty chart place, no statistics")
        << false << QList<double>{5, 9.9e37} << 1 << QStringLiteral("N/A") << 1;
    QTest::newRow("unreadable field") << false << QList<double>{5, -1e-39} << 1 << "N/A" << 1;
}

void TestChartPanel::filterKeepsReadingsOut()
{
    QFETCH(bool, filter);
    QFETCH(QList<double>, readings);
    QFETCH(int, statCount);
    QFETCH(QString, mean10);
    QFETCH(int, chartCount);
    m_s->Filter = filter;
    m_s->LowFilter = 0;
    m_s->HighFilter = 5.1;
    for (double v : readings)
        measure(v);
    QCOMPARE(m_c->stats().stats().count, statCount);
    QCOMPARE(text("mean10l"), mean10);
    int inChart = 0;
    for (const ChartEntry &e : m_c->stats().shown())
        inChart += sentinel::isValid(e.rec.value1) && e.rec.value1 != sentinel::kEmptyReading;
    QCOMPARE(inChart, chartCount);
}

void TestChartPanel::chartHover_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("markerTop"); // -1: hidden
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("newest entry") << 399
                                  << QStringLiteral(" Tue 14:03:09.007  ") +
                                         FormatValue(2.5, u",") + QStringLiteral(" V= ;  ") +
                                         FormatValue(7, u",") + QStringLiteral(" V=")
                                  << 1 << "2,5"; // the top row, marker centred on it
    QTest::newRow("empty column keeps the clipboard") << 5 << " n/a" << -1 << "kept";
    QTest::newRow("beyond the picture is the last column")
        << 2000
        << QStringLiteral(" Tue 14:03:09.007  ") + FormatValue(2.5, u",") +
               QStringLiteral(" V= ;  ") + FormatValue(7, u",") + QStringLiteral(" V=")
        << 1 << "2,5";
}

void TestChartPanel::chartHover()
{
    QFETCH(int, x);
    QFETCH(QString, status);
    QFETCH(int, markerTop);
    QFETCH(QString, clipboard);
    m_s->DecSeparator = QStringLiteral(",");
    m_engine->state().timeStamp =
        dtime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9, 7)));
    m_engine->state().secondary = 7;
    measure(-1.5);
    measure(2.5);
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    QSignalSpy texts(m_c, &ChartController::statusText);
    QSignalSpy held(m_c, &ChartController::countdownHeld);
    auto *img = child<QLabel>("grafimg");
    moveOver(img, x);
    QCOMPARE(texts.size(), 1);
    QCOMPARE(texts.at(0).at(0).toInt(), 0);
    QCOMPARE(texts.at(0).at(1).toString(), status);
    QCOMPARE(held.size(), 1);
    QCOMPARE(held.at(0).at(0).toInt(), 4950);
    auto *column = child<QFrame>("chartcolumnmarker");
    QVERIFY(column->isVisible());
    QCOMPARE(column->x(), std::min(x, 399) + 2);
    QCOMPARE(column->height(), 230);
    auto *row = child<QFrame>("chartrowmarker");
    QCOMPARE(row->isVisible(), markerTop >= 0);
    if (markerTop >= 0) {
        QCOMPARE(row->y(), markerTop);
        QCOMPARE(row->height(), 3);
    }
    QTest::mouseClick(img, Qt::LeftButton, Qt::NoModifier, QPoint(std::min(x, 399), 1));
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
}

void TestChartPanel::histogramHoverAndClick()
{
    for (long double v : {0.0L, 4.0L, 4.0L, 10.0L})
        measure(v);
    QSignalSpy texts(m_c, &ChartController::statusText);
    auto *histo = child<QLabel>("histoi");
    moveOver(histo, 16);
    QCOMPARE(texts.size(), 1);
    QCOMPARE(texts.at(0).at(1).toString(), QStringLiteral(" From: ") + FormatValue(4) +
                                               QStringLiteral(" to ") + FormatValue(4.25) +
                                               QStringLiteral("   count: 2  pos.: 16"));
    auto *marker = child<QFrame>("histmarker");
    QVERIFY(marker->isVisible());
    QCOMPARE(marker->y(), 134); // round(23 * 5.75) + 2
    QCOMPARE(marker->height(), 5);
    QCOMPARE(marker->width(), 400);

    QTest::mouseClick(histo, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QCOMPARE(m_notices.size(), 1);
    QVERIFY(m_notices[0].startsWith(QStringLiteral("Histogram data:\n\n0\t1\t\t1\t0\n")));
    QVERIFY(m_notices[0].contains(QStringLiteral("\n16\t2\t\t17\t0\n")));
}

void TestChartPanel::mean10Click()
{
    // The texts for every modifier are the clipboard helper's; here the last mean and
    // the unit must arrive.
    m_s->DecSeparator = QStringLiteral(",");
    measure(10);
    measure(10.5);
    QTest::mouseClick(child<QLabel>("mean10l"), Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("10,25\tV="));
}

void TestChartPanel::mathalDoubleClick()
{
    for (long double v : {1.0L, 2.0L})
        measure(v);
    m_engine->state().timeStamp = 0;
    QTest::mouseDClick(child<QLabel>("mathal"), Qt::LeftButton);
    QCOMPARE(text("mathal"), QStringLiteral("Clear..."));
    QCOMPARE(text("mean10l"), QStringLiteral("N/A"));
    QCOMPARE(m_c->stats().stats().count, 0);
    QCOMPARE(m_c->stats().entry(399).rec.value1, sentinel::kEmptyReading);
    QVERIFY(m_engine->state().timeStamp > 40000);
    QVERIFY(m_c->ClearMath1()->toolTip().startsWith(QStringLiteral(" Last clear: ")));
    // "Clear..." in grey from x = 20, half-way down; nothing grey above it.
    const QImage img = child<QLabel>("grafimg")->pixmap().toImage();
    bool below = false, above = false;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (QColor(img.pixel(x, y)) == chart::kTextGrey) {
                (y >= 115 && x >= 20 ? below : above) = true;
            }
        }
    }
    QVERIFY(below);
    QVERIFY(!above);
    // The next reading counts from one.
    measure(7);
    QVERIFY(text("mathal").startsWith(QStringLiteral("Count:            1 \n")));
}

void TestChartPanel::menuCommands()
{
    QCOMPARE(m_c->ClearGraph1()->text(), QStringLiteral("Erase Chart!"));
    QCOMPARE(m_c->ClearMath1()->text(), QStringLiteral("Clear Statistic!"));
    measure(1);
    measure(1.05);
    m_c->ClearGraph1()->trigger();
    QCOMPARE(m_c->stats().entry(399).rec.value1, sentinel::kEmptyReading);
    QCOMPARE(text("mean10l"), QStringLiteral("N/A"));
    QCOMPARE(m_c->stats().stats().count, 2); // statistics stay
    QVERIFY(text("mathal").startsWith(QStringLiteral("Count:            2 ")));

    measure(1.1);
    m_c->ClearMath1()->trigger();
    QCOMPARE(text("mathal"), QStringLiteral("No Data!"));
    QCOMPARE(m_c->stats().stats().count, 0);
    QCOMPARE(double(m_c->stats().entry(399).rec.value1), 1.1); // the chart stays
}

void TestChartPanel::labelsTurnOpaque()
{
    measure(1);
    for (const char *name : {"maxlab1", "minlab1", "meanl1", "devlabel"}) {
        auto *l = child<QLabel>(name);
        QVERIFY(!l->autoFillBackground());
        moveOver(l, 1);
        QVERIFY2(l->autoFillBackground(), name);
    }
}

void TestChartPanel::chartPicture()
{
    measure(1);
    measure(2);
    QVERIFY(m_c->prepareChartPicture());
    QCOMPARE(m_c->stats().chartImage().pixel(0, 0), QColor(Qt::white).rgb());
    QCOMPARE(text("meanl1"), QLatin1Char(' ') + FormatValue(1.5) + QStringLiteral("/2 V= "));
    auto *maxlab = child<QLabel>("maxlab1");
    QVERIFY(maxlab->autoFillBackground());
    QCOMPARE(maxlab->palette().color(QPalette::Window), QColor(Qt::white));
    m_c->endChartPicture();
    QCOMPARE(maxlab->palette().color(QPalette::Window), chart::kButtonFace);
    QVERIFY(maxlab->autoFillBackground());

    // An unreadable current reading: no picture, labels back to normal.
    m_engine->state().current = -1e-39L;
    QVERIFY(!m_c->prepareChartPicture());
    QCOMPARE(maxlab->palette().color(QPalette::Window), chart::kButtonFace);
}

void TestChartPanel::limitTextColour()
{
    m_s->Limit = true;
    m_s->LowLimit = 0;
    m_s->HighLimit = 10;
    measure(5);
    measure(20);
    QCOMPARE(m_engine->state().limitText, QStringLiteral("HIGH"));
    const QImage &img = m_c->stats().chartImage();
    const QColor red = ReadingArea::colour(DisplayColour::Red);
    int redPixels = 0;
    for (int y = 70; y < 130; ++y) {
        for (int x = 140; x < 400; ++x)
            redPixels += QColor(img.pixel(x, y)) == red;
    }
    QVERIFY(redPixels > 50);
    for (int x = 0; x < 140; ++x)
        QVERIFY(QColor(img.pixel(x, 80)) != red);
}

void TestChartPanel::hooksRemovedWithController()
{
    QVERIFY(m_engine->updateStatistics);
    delete m_c;
    m_c = nullptr;
    QVERIFY(!m_engine->updateMean10);
    QVERIFY(!m_engine->updateStatistics);
    QVERIFY(!m_engine->shiftMean10);
    m_engine->state().current = 3;
    m_engine->ProcessReading(); // must not reach the deleted controller
}

QTEST_MAIN(TestChartPanel)
#include "test_chartpanel.moc"
