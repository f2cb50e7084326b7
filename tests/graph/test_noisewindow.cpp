// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "app/settings.h"
#include "engine/bigary.h"
#include "graph/noisewindow.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <random>

namespace {

// Blue plot points (and their line) in a picture.
int pointPixels(const QImage &img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) == QColor(0, 0, 160);
    return n;
}

void typeInto(QWidget *w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    w->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), w);
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

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
        measpol r;
        r.range = 10;
        r.Lunits1.set(u"V=");
        for (int i = 0; i < 20000; ++i) {
            r.value1 = i == 7 ? sentinel::kEmptyReading : 10 + noise(gen);
            r.dateTime = 46000.25 + i * 0.5 / 86400;
            m_buf.Append(r);
        }
        m_sel = {0, m_buf.High()};
        m_w = NoiseWindow::attach(
            &m_data, m_buf, [this] { return m_sel; }, m_settings, &m_graph);
        dialogs::setSaveNameHandler([this](const QString &proposed, int *) {
            return m_dir.filePath(proposed.endsWith(".png") ? "plot.png" : "table.csv");
        });
    }

    // The graph's Data menu opens the window on the selection; table, clipboard, CSV and
    // PNG follow as a user reaches them.
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
        QCOMPARE(table->item(0, 0)->text(), "0,5");
        QVERIFY(pointPixels(namedChild<QWidget>(m_w, "allanplot")->grab().toImage()) > 50);

        typeInto(table, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
        QCOMPARE(lines.size(), 15);
        QVERIFY2(lines[1].startsWith("0,5\t1\t2,0") && lines[1].contains("E-6\t"),
                 qPrintable(lines[1]));
        QCOMPARE(lines[1].split('\t').last(), "19998");

        typeInto(namedChild<QAbstractButton>(m_w, "savecsvb"), Qt::Key_Space);
        QFile csv(m_dir.filePath("table.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        QVERIFY(text.startsWith("tau (s);m;deviation (V=);lower;upper;terms\r\n0,5;1;"));
        QCOMPARE(text.count("\r\n"), 14);

        typeInto(namedChild<QAbstractButton>(m_w, "saveplotb"), Qt::Key_Space);
        const QImage png(m_dir.filePath("plot.png"));
        QCOMPARE(png.size(), QSize(900, 600));
        QVERIFY(pointPixels(png) > 50);
    }

    void followsTheSelection()
    {
        QVERIFY(m_w->isVisible() && !m_w->busy());
        auto *table = namedChild<QTableWidget>(m_w, "allantable");
        auto *summary = namedChild<QLabel>(m_w, "noisesummary");
        QSignalSpy computed(m_w, &NoiseWindow::computed);
        // Records 4..8 hold four readings and the empty one; a burst of rescales.
        m_sel = {4, 8};
        for (int i = 0; i < 3; ++i)
            m_w->selectionChanged();
        QTRY_VERIFY(!m_w->busy() && computed.count() >= 1);
        QTRY_COMPARE(summary->text(),
                     "Readings 4 to 8: 4 valid, 1 left out; τ0 = 0,5 s; 0 gaps, 1 run");
        QCOMPARE(table->rowCount(), 1); // m <= n / 4

        m_sel = {6, 8};
        m_w->selectionChanged();
        QTRY_COMPARE(summary->text(), "Too few readings");
        QVERIFY(computed.count() <= 3);
        QCOMPARE(pointPixels(namedChild<QWidget>(m_w, "allanplot")->grab().toImage()), 0);
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
};

QTEST_MAIN(TestNoiseWindow)
#include "test_noisewindow.moc"
