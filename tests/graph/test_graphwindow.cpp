// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mainfixture.h"
#include "engine/cycle.h"
#include "graph/graphwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QWheelEvent>

namespace {

qint64 totalOf(const QLabel *totall)
{
    return totall->text().section(QLatin1Char(' '), -1).toLongLong();
}

void typeInto(QLineEdit *edit, const QString &keys)
{
    edit->activateWindow();
    edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    // Entering selects the whole text once the focus change is through.
    QCoreApplication::processEvents();
    QTest::keyClicks(QApplication::focusWidget(), keys);
}

void fillRamp(BigAry &buffer, int n)
{
    for (int i = 0; i < n; ++i) {
        measpol r;
        r.value1 = (i % 7) * 10 + i;
        r.dateTime = 46000.25 + i / 86400.0;
        r.Lunits1.set(u"V");
        buffer.Append(r);
    }
}

// What the mouse shows at a point: label, cross-hair and status bar.
QString readoutOf(TGraphFrm *g)
{
    const auto *x1 = namedChild<QWidget>(g, "bevelx1");
    const auto *y1 = namedChild<QWidget>(g, "bevely1");
    return namedChild<QLabel>(g, "cursorlabel")->text() +
           QStringLiteral("|%1,%2|%3,%4|")
               .arg(x1->y())
               .arg(x1->width())
               .arg(y1->x())
               .arg(y1->height()) +
           g->statusText();
}

} // namespace

class TestGraphWindow : public QObject
{
    Q_OBJECT
private slots:
    void refreshesWhileMeasuring();
    void typedRangeSaveLoadDelete();
    void failedSaveKeepsOldFile();
    void testSignalsBehindShift();
    void firstScrollStepContinues();
    void opensOnTheBufferAsItIs();
    void cursorFollowsAtOnce_data();
    void cursorFollowsAtOnce();
};

void TestGraphWindow::refreshesWhileMeasuring()
{
    MainFixture f;
    QVERIFY(f.connectAndShow());
    TGraphFrm *g = f.main->graph();
    g->setAutoRefreshInterval(300);
    f.find<QAction>("Showdataingraph1")->trigger();
    QVERIFY(g->isVisible());
    auto *totall = namedChild<QLabel>(g, "totall");
    f.main->cycle().automeas1cbClick(true);
    QTRY_VERIFY_WITH_TIMEOUT(totalOf(totall) >= 2, 10000);
    const qint64 first = totalOf(totall);
    QTRY_VERIFY_WITH_TIMEOUT(totalOf(totall) > first, 10000);
    QVERIFY(g->statusText().contains(QLatin1String("  [")));
    f.main->cycle().automeas1cbClick(false);
    f.find<QAction>("Showdataingraph1")->trigger();
    QVERIFY(!g->isVisible());
}

void TestGraphWindow::typedRangeSaveLoadDelete()
{
    MainFixture f;
    for (int i = 0; i < 101; ++i) {
        measpol r;
        r.value1 = i;
        r.value2 = i * 0.5L;
        r.dateTime = 46000.25 + i / 86400.0;
        r.Lunits1.set(u"V");
        f.buffer.Append(r);
    }
    TGraphFrm *g = f.main->graph();
    g->show();
    QVERIFY(QTest::qWaitForWindowExposed(g));
    auto *tole = namedChild<QLineEdit>(g, "tole");
    auto *fromle = namedChild<QLineEdit>(g, "fromle");
    auto *millab = namedChild<QLabel>(g, "millab");
    typeInto(tole, QStringLiteral("1x9,"));
    QCOMPARE(tole->text(), QStringLiteral("19."));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    QVERIFY(g->statusText().startsWith(QLatin1String(" Repaint lasted: ")));
    tole->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("19"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    typeInto(fromle, QStringLiteral("abc"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(g->fromIndex(), 0);
    fromle->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("10"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
    QCOMPARE(g->fromIndex(), 10);
    QCOMPARE(g->toIndex(), 19);

    QCOMPARE(millab->text().section(QLatin1Char('\n'), 0, 1),
             QStringLiteral("Count        10\nMax +19.00000000 "));
    tole->setFocus();
    QTRY_COMPARE(fromle->text(), QStringLiteral("      10"));

    const QString base = f.dir.filePath(QStringLiteral("sel"));
    dialogs::setSaveNameHandler([&](const QString &proposed, int *filter) {
        [&] { QVERIFY(proposed.startsWith(f.settings.DataDir + QLatin1String("Data_"))); }();
        *filter = 3;
        return base;
    });
    namedChild<QAction>(g, "Saveselecteddataonly1")->trigger();
    QCOMPARE(g->statusText(), QStringLiteral("Saved."));
    QCOMPARE(g->windowTitle(), QStringLiteral("Graph - sel-s.csv"));
    QCOMPARE(namedChild<QAction>(g, "selectedfile1")->text(), QStringLiteral("sel-s.csv"));
    QFile saved(base + QStringLiteral("-s.csv"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    QCOMPARE(lines.size(), 3 + 10 + 1);
    QVERIFY(lines[3].startsWith("10;V;"));

    TGraphFrm::setOpenNameHandler([&](int *filter) {
        *filter = 3;
        return saved.fileName();
    });
    namedChild<QAction>(g, "Open1")->trigger();
    TGraphFrm::setOpenNameHandler({});
    QCOMPARE(g->statusText(), QStringLiteral(" Loaded:9"));
    QVERIFY(millab->text().endsWith(QLatin1String("\nLines: 9")));
    QCOMPARE(f.buffer.High(), 9);
    QCOMPARE(static_cast<double>(f.buffer[0].value2), 5.0);
    QCOMPARE(g->toIndex(), 9);

    g->model().rescale(2, 4);
    f.answerYes = false;
    namedChild<QAction>(g, "Deleteselected1")->trigger();
    QCOMPARE(f.buffer.High(), 9);
    f.answerYes = true;
    QSignalSpy rescaled(g, &TGraphFrm::rescaled);
    namedChild<QAction>(g, "Deleteselected1")->trigger();
    QVERIFY(rescaled.wait());
    QCOMPARE(f.questions.last(), QStringLiteral("Do You Want To Delete Selected Data?"));
    QCOMPARE(rescaled.last().at(1).toLongLong(), 6);
    QCOMPARE(static_cast<double>(g->model().record(2).value1), 15.0);
    QVERIFY(g->statusText().startsWith(QLatin1String(" Repaint lasted: ")));

    namedChild<QAction>(g, "Drop1")->trigger();
    QCOMPARE(f.questions.last(), QStringLiteral("Do You Want To Clear Buffer?"));
    QCOMPARE(namedChild<QLabel>(g, "totall")->text(), QStringLiteral("Total         1"));
    QCOMPARE(g->windowTitle(), QStringLiteral("Tervaxis Graph"));
    QVERIFY(g->selectedFile().isEmpty());
    QCOMPARE(f.buffer.bigarypos(), -1);
}

void TestGraphWindow::failedSaveKeepsOldFile()
{
    MainFixture f;
    TGraphFrm *g = f.main->graph();
    const QString base = f.dir.filePath(QStringLiteral("keep"));
    QFile old(base + QStringLiteral("-t.txt"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    // The name the data is first written under cannot be a file.
    QVERIFY(QDir().mkpath(old.fileName() + QStringLiteral(".part")));
    dialogs::setSaveNameHandler([&](const QString &, int *filter) {
        *filter = 2;
        return base;
    });
    namedChild<QAction>(g, "Save1")->trigger();
    QCOMPARE(f.notices.size(), 1);
    QVERIFY(f.notices[0].startsWith(old.fileName() + QLatin1Char('\n')));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    QVERIFY(g->statusText() != QStringLiteral("Saved."));
}

void TestGraphWindow::testSignalsBehindShift()
{
    MainFixture f;
    f.buffer.setMaxBuffer(20000);
    TGraphFrm *g = f.main->graph();
    g->show();
    QVERIFY(QTest::qWaitForWindowExposed(g));
    auto *six = namedChild<QAction>(g, "N6values1");
    QMenu *data = g->dataMenu();
    data->popup(QPoint(0, 0));
    QVERIFY(!six->isVisible());
    data->hide();
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_Shift, Qt::ShiftModifier);
    data->popup(QPoint(0, 0));
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Shift);
    QVERIFY(six->isVisible());
    QVERIFY(namedChild<QAction>(g, "N2pixel1")->isVisible());
    data->hide();

    six->trigger();
    QCOMPARE(f.buffer.bigarycnt(), 6);
    QCOMPARE(static_cast<double>(f.buffer[f.buffer.bigarypos()].value1), 10.0);
    QVERIFY(f.questions.isEmpty());
    f.answerYes = false;
    namedChild<QAction>(g, "Generateonesinevawe1")->trigger();
    QCOMPARE(f.questions, QStringList{QStringLiteral("Generate data to Graph?")});
    QCOMPARE(f.buffer.High(), 5);
    f.answerYes = true;
    namedChild<QAction>(g, "Generateonesinevawe1")->trigger();
    // The count restarts; the six records stay in front of the new ones.
    QCOMPARE(f.buffer.bigarycnt(), 10000);
    QCOMPARE(f.buffer.High(), 10005);
    QCOMPARE(static_cast<double>(g->model().record(5).value1), 10.0);
    namedChild<QAction>(g, "SecGraph1")->trigger();
    // Two periods of the secondary sine over the whole width.
    QVERIFY(g->model().secondaryStats().min < -0.9999);
    QVERIFY(g->model().secondaryStats().max > 0.9999);
    QVERIFY(namedChild<QLabel>(g, "maxlab2")->isVisible());
}

// A click on the scroll bar's arrow moves the shown range by one step, from where it is.
void TestGraphWindow::firstScrollStepContinues()
{
    MainFixture f;
    fillRamp(f.buffer, 1001);
    TGraphFrm *g = f.main->graph();
    g->show();
    QVERIFY(QTest::qWaitForWindowExposed(g));
    namedChild<QAction>(g, "ZoomIN1")->trigger();
    namedChild<QAction>(g, "ZoomIN1")->trigger();
    const qint64 from = g->fromIndex(), to = g->toIndex();
    QVERIFY(from > 100 && to < 900);
    auto *sb = namedChild<QScrollBar>(g, "vertikalsb");
    const int step = sb->singleStep();
    QTest::mouseClick(sb, Qt::LeftButton, {}, QPoint(sb->width() - 4, sb->height() / 2));
    QCOMPARE(g->fromIndex(), from + step);
    QCOMPARE(g->toIndex(), to + step);
    QTest::mouseClick(sb, Qt::LeftButton, {}, QPoint(4, sb->height() / 2));
    QTest::mouseClick(sb, Qt::LeftButton, {}, QPoint(4, sb->height() / 2));
    QCOMPARE(g->fromIndex(), from - step);
    QCOMPARE(g->toIndex(), to - step);
}

// Readings taken with the window closed are there when it opens, without F5.
void TestGraphWindow::opensOnTheBufferAsItIs()
{
    MainFixture f;
    QVERIFY(f.connectAndShow());
    TGraphFrm *g = f.main->graph();
    f.find<QAction>("Showdataingraph1")->trigger();
    f.find<QAction>("Showdataingraph1")->trigger();
    QVERIFY(!g->isVisible());
    f.main->cycle().automeas1cbClick(true);
    QTRY_VERIFY_WITH_TIMEOUT(f.buffer.High() >= 4, 10000);
    f.main->cycle().automeas1cbClick(false);
    const qint64 n = f.buffer.High() + 1;
    f.find<QAction>("Showdataingraph1")->trigger();
    QVERIFY(g->isVisible());
    QCOMPARE(totalOf(namedChild<QLabel>(g, "totall")), n);
    QCOMPARE(namedChild<QLabel>(g, "millab")->text().section(u'\n', 0, 0),
             QStringLiteral("Count  ") + pad8(n));
    QCOMPARE(g->toIndex(), n - 1);
}

void TestGraphWindow::cursorFollowsAtOnce_data()
{
    QTest::addColumn<QString>("action");
    for (const char *a : {"click zoom", "VerticalIN1", "VerticalOUT1", "wheel up", "wheel down",
                          "generation", "load", "ZoomOUT1"})
        QTest::newRow(a) << a;
}

// After the picture changed, the read-out is what a fresh mouse move there would show.
void TestGraphWindow::cursorFollowsAtOnce()
{
    QFETCH(QString, action);
    MainFixture f;
    f.buffer.setMaxBuffer(2000000);
    fillRamp(f.buffer, 1001);
    TGraphFrm *g = f.main->graph();
    g->show();
    QVERIFY(QTest::qWaitForWindowExposed(g));
    namedChild<QAction>(g, "ZoomIN1")->trigger();
    auto *img = namedChild<QWidget>(g, "Imgraf");
    const QPoint at(img->width() / 3, img->height() / 3);
    QTest::mouseMove(img, at);
    QTRY_VERIFY(namedChild<QLabel>(g, "cursorlabel")->isVisible());
    const QString before = readoutOf(g);

    if (action == QLatin1String("click zoom")) {
        QTest::mouseClick(img, Qt::LeftButton, {}, at);
    } else if (action.startsWith(QLatin1String("wheel"))) {
        const int dy = action.endsWith(QLatin1String("up")) ? 120 : -120;
        // A wheel turn over the picture reaches the window (a synthetic one would not
        // travel up from the picture).
        const QPoint inWindow = img->mapTo(g, at);
        QWheelEvent wheel(inWindow, g->mapToGlobal(inWindow), QPoint(), QPoint(0, dy), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(g, &wheel);
    } else if (action == QLatin1String("generation")) {
        namedChild<QAction>(g, "Generatepuresine1")->trigger();
    } else if (action == QLatin1String("load")) {
        const QString base = f.dir.filePath(QStringLiteral("other"));
        QFile other(base + QStringLiteral("-s.csv"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        for (int i = 0; i < 50; ++i)
            other.write(QByteArray::number(100 - i * i) + ";V;46000.5;1;1;;;\r\n");
        other.close();
        TGraphFrm::setOpenNameHandler([&](int *filter) {
            *filter = 3;
            return other.fileName();
        });
        namedChild<QAction>(g, "Open1")->trigger();
        TGraphFrm::setOpenNameHandler({});
        QCOMPARE(f.buffer.High(), 49);
    } else {
        namedChild<QAction>(g, qPrintable(action))->trigger();
    }
    const QString after = readoutOf(g).section(u'|', 0, -2);
    QVERIFY2(after != before.section(u'|', 0, -2), qPrintable(after));
    QTest::mouseMove(img, at + QPoint(1, 1));
    QTest::mouseMove(img, at);
    QTRY_COMPARE(readoutOf(g).section(u'|', 0, -2), after);
}

QTEST_MAIN(TestGraphWindow)
#include "test_graphwindow.moc"
