// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "app/settings.h"
#include "engine/bigary.h"
#include "graph/noisewindow.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <random>

using namespace noise;

namespace {

// Pixels of exactly one colour in a picture: a deviation's points and line.
int pixelsOf(const QImage &img, const QColor &c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}
const QColor kAllanBlue(0, 0, 160), kModifiedGreen(0, 130, 0), kAveragesGrey(90, 90, 90);

void typeInto(QWidget *w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    w->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), w);
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

QStringList headers(const QTableWidget *t)
{
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << t->horizontalHeaderItem(c)->text();
    return out;
}

measpol reading(long double v, double stamp)
{
    measpol r;
    r.range = 10;
    r.Lunits1.set(u"V=");
    r.value1 = v;
    r.dateTime = stamp;
    return r;
}

// A window of its own over a buffer of its own, computed on the whole of it.
struct OwnWindow
{
    Settings settings;
    BigAry buf{10000};
    std::unique_ptr<NoiseWindow> w;
    explicit OwnWindow(const std::vector<long double> &values)
    {
        settings.DecSeparator = QStringLiteral(".");
        for (size_t i = 0; i < values.size(); ++i)
            buf.Append(reading(values[i], 46000.25 + double(i) * 0.5 / 86400));
        w = std::make_unique<NoiseWindow>(
            buf, [this] { return std::pair<qint64, qint64>(0, buf.High()); }, settings);
    }
    bool open()
    {
        QSignalSpy done(w.get(), &NoiseWindow::computed);
        w->Noiseanalysis1Click();
        return done.wait(10000);
    }
    QString figures() const { return namedChild<QLabel>(w.get(), "noisefigures")->text(); }
};

} // namespace

class TestNoiseWindow : public QObject
{
    Q_OBJECT

    Settings m_settings;
    BigAry m_buf{100000};
    std::pair<qint64, qint64> m_sel;
    QWidget m_graph;
    QMenu m_data;
    NoiseWindow *m_w = nullptr;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        m_settings.DecSeparator = QStringLiteral(",");
        std::mt19937_64 gen(3);
        std::normal_distribution<double> noise(0, 2e-6);
        for (int i = 0; i < 20000; ++i)
            m_buf.Append(reading(i == 7 ? sentinel::kEmptyReading : 10 + noise(gen),
                                 46000.25 + i * 0.5 / 86400));
        m_sel = {0, m_buf.High()};
        m_w = NoiseWindow::attach(
            &m_data, m_buf, [this] { return m_sel; }, m_settings, &m_graph);
        m_w->setSourceName([] { return QStringLiteral("/data/Log/Data_20261208-075554-s.csv"); });
        dialogs::setSaveNameHandler([this](const QString &proposed, int *) {
            return m_dir.filePath(proposed.endsWith(".png") ? "plot.png" : "table.csv");
        });
    }

    // The graph's Data menu opens the window on the selection; table, clipboard, CSV and
    // PNG follow as a user reaches them, with every column.
    void opensOnTheSelection()
    {
        QAction *open = m_data.findChild<QAction *>("Noiseanalysis1");
        QVERIFY(open && open->text() == "Noise analysis...");
        open->trigger();
        QVERIFY(QTest::qWaitForWindowActive(m_w));
        QTRY_VERIFY(!m_w->busy());
        const QString summary = namedChild<QLabel>(m_w, "noisesummary")->text();
        QVERIFY2(summary.contains("19999 valid, 1 left out; τ0 = 0,5 s; 0 gaps, 1 run"),
                 qPrintable(summary));
        QVERIFY(namedChild<QLabel>(m_w, "noisefigures")->text().contains("ppm"));

        auto *table = namedChild<QTableWidget>(m_w, "allantable");
        QCOMPARE(table->rowCount(), 13); // m = 1 .. 4096
        QCOMPARE(headers(table).mid(0, 8), (QStringList{"τ (s)", "m", "terms", "noise", "ADEV",
                                                        "ADEV lo", "ADEV hi", "ADEV edf"}));
        QCOMPARE(table->columnCount(), 4 + 4 * 4); // Allan, modified, Hadamard, total
        QCOMPARE(table->item(0, 0)->text(), "0,5");
        QCOMPARE(table->item(0, 3)->text(), "white");
        const QImage plot = namedChild<QWidget>(m_w, "allanplot")->grab().toImage();
        QVERIFY(pixelsOf(plot, kAllanBlue) > 50 && pixelsOf(plot, kModifiedGreen) > 50);

        typeInto(table, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
        QCOMPARE(lines.size(), 15);
        const QStringList first = lines[1].split('\t');
        QCOMPARE(first.size(), 6 + 4 * kDeviations); // every deviation, shown or not
        QCOMPARE(first.mid(0, 6),
                 (QStringList{"0,5", "1", "19998", "white", "0", "lag-1 autocorrelation"}));
        QVERIFY2(first[6].startsWith("2,0") && first[6].contains("E-6"), qPrintable(first[6]));

        typeInto(namedChild<QAbstractButton>(m_w, "savecsvb"), Qt::Key_Space);
        QFile csv(m_dir.filePath("table.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        QVERIFY(text.startsWith("tau (s);m;terms;noise;alpha;identified by;ADEV (V=);ADEV lower;"
                                "ADEV upper;ADEV edf (identified noise);MDEV (V=);"));
        QCOMPARE(text.count("\r\n"), 14);
        QCOMPARE(text.split('\n')[1].count(';'), 5 + 4 * kDeviations);

        typeInto(namedChild<QAbstractButton>(m_w, "saveplotb"), Qt::Key_Space);
        const QImage png(m_dir.filePath("plot.png"));
        QCOMPARE(png.size(), QSize(1000, 650));
        QVERIFY(pixelsOf(png, kAllanBlue) > 50);
        // The caption under the axis: file, selection, tau0.
        const QRect band(0, png.height() - 20, png.width(), 20);
        int ink = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = 0; x < png.width(); ++x)
                ink += qGray(png.pixel(x, y)) < 100;
        QVERIFY(ink > 200);
        QVERIFY(m_w->plotOptions().caption.isEmpty()); // the window's own plot has none
    }

    // At the start size nothing of the first columns hides: the terms column is whole.
    void termsVisibleAtStartSize()
    {
        QVERIFY(m_w->isVisible() && !m_w->busy());
        auto *table = namedChild<QTableWidget>(m_w, "allantable");
        const QFontMetrics fm = table->horizontalHeader()->fontMetrics();
        for (int c = 0; c <= 4; ++c) {
            QVERIFY2(table->columnViewportPosition(c) + table->columnWidth(c) <=
                         table->viewport()->width(),
                     qPrintable(headers(table)[c]));
            QVERIFY(table->columnWidth(c) >= fm.horizontalAdvance(headers(table)[c]));
        }
        QCOMPARE(table->horizontalScrollBar()->value(), 0);
    }

    // The bounds' model is named; the white-noise bounds are a key press away, and what is
    // copied says which it holds.
    void boundModelChosen()
    {
        auto *model = namedChild<QLabel>(m_w, "noisemodel");
        auto *bounds = namedChild<QComboBox>(m_w, "boundscb");
        auto *table = namedChild<QTableWidget>(m_w, "allantable");
        QVERIFY(model->text().contains("identified at each τ"));
        const QString lower = table->item(12, 5)->text(), edf = table->item(12, 7)->text();
        typeInto(bounds, Qt::Key_Down);
        QCOMPARE(m_w->boundModel(), BoundModel::White);
        QVERIFY(model->text().contains("of white noise"));
        // White noise is what these readings are: near the same numbers, from another model.
        QVERIFY(table->item(12, 7)->text() != edf || table->item(12, 5)->text() != lower);
        typeInto(table, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text().contains("ADEV edf (white noise)"));
        typeInto(bounds, Qt::Key_Up);
        QCOMPARE(m_w->boundModel(), BoundModel::Identified);
    }

    // The deviations shown are ticked: their columns and their colour in the plot follow.
    void deviationsChosen()
    {
        auto *table = namedChild<QTableWidget>(m_w, "allantable");
        auto *plot = namedChild<QWidget>(m_w, "allanplot");
        typeInto(namedChild<QCheckBox>(m_w, "mdevcb"), Qt::Key_Space);
        typeInto(namedChild<QCheckBox>(m_w, "sdcb"), Qt::Key_Space);
        QCOMPARE(table->columnCount(), 4 + 4 * 4);
        QVERIFY(!headers(table).contains("MDEV") && headers(table).contains("SD edf"));
        QTRY_COMPARE(pixelsOf(plot->grab().toImage(), kModifiedGreen), 0);
        QVERIFY(pixelsOf(plot->grab().toImage(), kAveragesGrey) > 20);
        QVERIFY(!m_w->busy()); // no new computation for that
        typeInto(namedChild<QCheckBox>(m_w, "mdevcb"), Qt::Key_Space);
        typeInto(namedChild<QCheckBox>(m_w, "sdcb"), Qt::Key_Space);
        QCOMPARE(table->columnCount(), 4 + 4 * 4);
        QVERIFY(headers(table).contains("MDEV"));
    }

    void followsTheSelection()
    {
        QVERIFY(m_w->isVisible() && !m_w->busy());
        auto *table = namedChild<QTableWidget>(m_w, "allantable");
        auto *summary = namedChild<QLabel>(m_w, "noisesummary");
        auto *figures = namedChild<QLabel>(m_w, "noisefigures");
        QSignalSpy computed(m_w, &NoiseWindow::computed);
        // Records 4..8 hold four readings and the empty one; a burst of rescales.
        m_sel = {4, 8};
        for (int i = 0; i < 3; ++i)
            m_w->selectionChanged();
        QTRY_VERIFY(!m_w->busy() && computed.count() >= 1);
        QTRY_COMPARE(summary->text(),
                     "Readings 4 to 8: 4 valid, 1 left out; τ0 = 0,5 s; 0 gaps, 1 run");
        QCOMPARE(table->rowCount(), 1); // m <= n / 4

        // Three readings: the figures, and why there is no deviation.
        m_sel = {6, 9};
        m_w->selectionChanged();
        QTRY_VERIFY(summary->text().contains("A deviation needs at least four readings"));
        QVERIFY(summary->text().startsWith("Readings 6 to 9: 3 valid, 1 left out; τ0 = 0,75 s"));
        QVERIFY(figures->text().contains("Mean") && figures->text().contains("Drift per hour"));
        QVERIFY(computed.count() <= 3);
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(pixelsOf(namedChild<QWidget>(m_w, "allanplot")->grab().toImage(), kAllanBlue), 0);
        QVERIFY(!namedChild<QAbstractButton>(m_w, "copytableb")->isEnabled());

        // Hidden, the window waits; shown again it catches up, here in 1-2-5 steps.
        m_w->hide();
        m_sel = {0, m_buf.High()};
        m_w->selectionChanged();
        QVERIFY(!m_w->busy());
        m_w->show();
        QApplication::setActiveWindow(m_w);
        QVERIFY(QTest::qWaitForWindowActive(m_w));
        typeInto(namedChild<QAbstractButton>(m_w, "steps125cb"), Qt::Key_Space);
        // 19999 readings in a row: 1, 2, 5 .. 2000, since 5000 > 19999 / 4.
        QTRY_VERIFY(!m_w->busy() && table->rowCount() == 11);
        QCOMPARE(table->item(2, 1)->text(), "5");
    }

    // A change of selection while the deviations are computed elsewhere drops that work
    // and shows the newest selection only.
    void changedWhileComputing()
    {
        QSignalSpy computed(m_w, &NoiseWindow::computed);
        for (int i = 0; i < 20; ++i) {
            m_sel = {0, 1000 + 900 * i};
            m_w->Noiseanalysis1Click();
            QCoreApplication::processEvents();
        }
        QTRY_VERIFY(!m_w->busy());
        QCOMPARE(m_w->result().to, qint64(1000 + 900 * 19));
        QVERIFY(computed.count() >= 1);
        m_sel = {0, m_buf.High()};
        m_w->hide();
    }

    // A constant reads as what it is: nothing, not the display's "±0".
    void constantSelection()
    {
        OwnWindow o(std::vector<long double>(100, 1.25L));
        QVERIFY(o.open());
        const QString f = o.figures();
        QVERIFY2(!f.contains(QStringLiteral("±0")), qPrintable(f));
        QVERIFY(f.contains("Standard deviation 0 V=   0 ppm"));
        QVERIFY(f.contains("Drift per hour     0 V= ± 0 V=   0 ppm"));
        QVERIFY(f.contains("Best averaging     τ = 0.5 s: ADEV 0 V="));
        QCOMPARE(namedChild<QTableWidget>(o.w.get(), "allantable")->item(0, 3)->text(), "-");
    }

    // Two values in turn average alike over every even number of readings: the best
    // averaging is that exact zero, not a rounding residue of atto-volts.
    void trueZeroIsBest()
    {
        std::vector<long double> v(4000);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = i % 2 ? 0.3L : 0.1L;
        OwnWindow o(v);
        QVERIFY(o.open());
        QVERIFY2(o.figures().contains("Best averaging     τ = 1 s: ADEV 0 V="),
                 qPrintable(o.figures()));
    }

    // The plot leaves room for its outer points and labels, and writes every decade alike.
    void plotKeepsItsEdges_data()
    {
        QTest::addColumn<double>("tau0");
        QTest::addColumn<int>("readings");
        QTest::addColumn<QSize>("size");
        QTest::newRow("one second, small") << 1.0 << 200 << QSize(420, 260);
        QTest::newRow("tenth, wide") << 0.1 << 5000 << QSize(1000, 650);
        QTest::newRow("ten seconds") << 10.0 << 100000 << QSize(700, 400);
    }
    void plotKeepsItsEdges()
    {
        QFETCH(double, tau0);
        QFETCH(int, readings);
        QFETCH(QSize, size);
        BigAry buf(200000);
        std::mt19937_64 gen(1);
        std::normal_distribution<double> noise(0, 1e-3);
        for (int i = 0; i < readings; ++i)
            buf.Append(reading(5 + noise(gen), 46000.25 + i * tau0 / 86400));
        const NoiseResult r = NoiseAnalysis::compute(buf, 0, buf.High());
        QCOMPARE(r.tau0, tau0);
        PlotOptions o;
        o.shown = kAllDeviations;
        o.caption = "caption";
        QImage img(size, QImage::Format_RGB32);
        QPainter p(&img);
        const QRect rect = img.rect();
        const PlotLayout L = layoutPlot(rect, r, o, p.fontMetrics());
        QVERIFY(!L.points.empty());
        for (const QPointF &pt : L.points)
            QVERIFY2(L.frame.adjusted(4, 4, -4, -4).contains(pt),
                     qPrintable(QString("%1,%2").arg(pt.x()).arg(pt.y())));
        for (size_t i = 0; i < L.labels.size(); ++i) {
            QVERIFY(QRectF(rect).contains(L.labels[i]));
            for (size_t j = 0; j < i; ++j)
                QVERIFY(!L.labels[i].intersects(L.labels[j]));
        }
        // The first point sits on the decade line of tau0, inside the frame.
        QVERIFY(std::fabs(L.x(tau0) - L.points.front().x()) < 1e-9);
        QCOMPARE(L.firstDecadeX, int(std::floor(std::log10(tau0))));
    }

    // The guide's section on the window names its bound models as the window does, and the
    // algorithms behind them.
    void guideNamesTheModels()
    {
        QFile guide(QStringLiteral(TERVAXIS_RESOURCES "/en.help"));
        QVERIFY(guide.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(guide.readAll());
        const qsizetype section = text.indexOf("NOISE ANALYSIS");
        QVERIFY(section > 0);
        const QString s = text.mid(section).simplified();
        auto *bounds = namedChild<QComboBox>(m_w, "boundscb");
        for (int i = 0; i < bounds->count(); ++i)
            QVERIFY2(s.contains(bounds->itemText(i)), qPrintable(bounds->itemText(i)));
        for (const char *word : {"68.3 %", "chi-squared", "Greenhall", "lag-1 autocorrelation",
                                 "B1", "R(n)", "Data -> Noise analysis..."})
            QVERIFY2(s.contains(QLatin1String(word)), word);
        for (const char *name : {"adevcb", "mdevcb", "hdevcb", "totdevcb", "sdcb"}) {
            const QString box = namedChild<QCheckBox>(m_w, name)->text().remove('&');
            QVERIFY2(s.contains(box), qPrintable(box));
        }
    }

    void decadeLabels()
    {
        QCOMPARE(decadeLabel(-6), QString::fromUtf8("10⁻⁶"));
        QCOMPARE(decadeLabel(0), QString::fromUtf8("10⁰"));
        QCOMPARE(decadeLabel(12), QString::fromUtf8("10¹²"));
    }
};

QTEST_MAIN(TestNoiseWindow)
#include "test_noisewindow.moc"
