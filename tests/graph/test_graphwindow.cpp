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
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
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

// A buffer data file of `n` lines with the values 1..n.
QString writeLines(const QTemporaryDir &dir, const QString &name, qint64 n,
                   const QByteArray &head = QByteArray())
{
    QByteArray text = head;
    for (qint64 i = 1; i <= n; ++i)
        text += QByteArray::number(i) + ";V;2024-01-02 03:04:05;006;10;0.001;7;V;\r\n";
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return QString();
    return path;
}

void fillBuffer(BigAry &buf, int n)
{
    for (int i = 0; i < n; ++i) {
        measpol r;
        r.value1 = 100 + i;
        buf.Append(r);
    }
}

QList<double> values(TGraphFrm *g, const BigAry &buf)
{
    QList<double> v;
    for (qint64 i = 0; i <= buf.High(); ++i)
        v << static_cast<double>(g->model().record(i).value1);
    return v;
}

// The graph window shown and holding the keyboard, as after the operator clicked into it.
TGraphFrm *shownActive(MainFixture &f)
{
    TGraphFrm *g = f.main->graph();
    g->show();
    g->activateWindow();
    if (!QTest::qWaitForWindowActive(g))
        qWarning("graph window not active");
    return g;
}

void openWith(const QString &path, int filter)
{
    TGraphFrm::setOpenNameHandler([=](int *f) {
        *f = filter;
        return path;
    });
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
    void loadShowsProgressAndHandsOver();
    void escapeCancelsLoadAndKeepsBuffer_data();
    void escapeCancelsLoadAndKeepsBuffer();
    void commandsWaitWhileLoading();
    void loadInPlaceWhenMemoryIsShort();
    void ownSuffixWinsOverFilter();
    void escapeCancelsSaveAndKeepsOldFile();
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
    QTRY_COMPARE(g->statusText(), QStringLiteral("Saved."));
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
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Loaded:9"));
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
    QTRY_COMPARE(f.notices.size(), 1);
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

// The panel counts while the file loads; afterwards the whole buffer is shown.
void TestGraphWindow::loadShowsProgressAndHandsOver()
{
    MainFixture f;
    f.buffer.setMaxBuffer(100000);
    fillBuffer(f.buffer, 5);
    TGraphFrm *g = f.main->graph();
    g->show();
    QVERIFY(QTest::qWaitForWindowExposed(g));
    const QString path = writeLines(f.dir, QStringLiteral("big.txt"), 50001, "# TYPE:\r\n");
    openWith(path, 3);
    auto *loadpan = namedChild<QLabel>(g, "loadpan");
    namedChild<QAction>(g, "Open1")->trigger();
    QVERIFY(loadpan->isVisible());
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Loaded:50000"));
    QVERIFY(!loadpan->isVisible());
    // The last count the panel showed: line 50000 of the counted ones.
    QCOMPARE(loadpan->text(), QStringLiteral(" Loading:  48.8Ki  :  +50.00100000K"));
    QCOMPARE(f.buffer.High(), 50000);
    QCOMPARE(f.buffer.bigarycnt(), 50000);
    QCOMPARE(static_cast<double>(f.buffer.maximum()), 50001.0);
    QCOMPARE(g->toIndex(), 50000);
    QVERIFY(namedChild<QLabel>(g, "millab")->text().endsWith(QLatin1String("\nLines: 50000")));
    QCOMPARE(namedChild<QLabel>(g, "totall")->text(), QStringLiteral("Total     50001"));
    QCOMPARE(static_cast<double>(g->model().primary().max), 50001.0);
    TGraphFrm::setOpenNameHandler({});
}

void TestGraphWindow::escapeCancelsLoadAndKeepsBuffer_data()
{
    QTest::addColumn<bool>("append");
    QTest::newRow("replace") << false;
    QTest::newRow("append") << true;
}

// Esc (or the panel's Cancel) before the records were handed over: the buffer, the
// caption and the selected file are as they were.
void TestGraphWindow::escapeCancelsLoadAndKeepsBuffer()
{
    QFETCH(bool, append);
    MainFixture f;
    fillBuffer(f.buffer, 7);
    TGraphFrm *g = shownActive(f);
    const QList<double> before = values(g, f.buffer);
    const QString title = g->windowTitle();
    openWith(writeLines(f.dir, QStringLiteral("c.txt"), 20000), 3);
    namedChild<QAction>(g, append ? "Loadappenddata1" : "Open1")->trigger();
    QTRY_COMPARE(QApplication::focusWidget(), namedChild<QWidget>(g, "loadcancelb"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Load cancelled"));
    QVERIFY(!namedChild<QLabel>(g, "loadpan")->isVisible());
    QCOMPARE(values(g, f.buffer), before);
    QCOMPARE(f.buffer.bigarypos(), 6);
    QCOMPARE(f.buffer.bigarycnt(), 7);
    QCOMPARE(static_cast<double>(f.buffer.maximum()), 106.0);
    QCOMPARE(g->windowTitle(), title);
    QVERIFY(g->selectedFile().isEmpty());
    // The next load runs as usual.
    namedChild<QAction>(g, "Open1")->trigger();
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Loaded:999"));
    TGraphFrm::setOpenNameHandler({});
}

// While a load runs, commands that would write the buffer are refused with a word why,
// and a reading taken meanwhile goes in after the loaded records.
void TestGraphWindow::commandsWaitWhileLoading()
{
    MainFixture f;
    QVERIFY(f.connectAndShow());
    TGraphFrm *g = f.main->graph();
    g->show();
    openWith(writeLines(f.dir, QStringLiteral("w.txt"), 500), 3);
    namedChild<QAction>(g, "Open1")->trigger();
    f.questions.clear();
    namedChild<QAction>(g, "Drop1")->trigger();
    QCOMPARE(g->statusText(), QStringLiteral(" Busy loading a file - Esc cancels"));
    QVERIFY(f.questions.isEmpty());
    namedChild<QAction>(g, "Loadappenddata1")->trigger();
    QCOMPARE(g->statusText(), QStringLiteral(" Busy loading a file - Esc cancels"));
    f.find<QPushButton>("measb")->click();
    QTRY_VERIFY(!namedChild<QLabel>(g, "loadpan")->isVisible());
    QTRY_COMPARE(f.buffer.High(), 500);
    const QList<double> v = values(g, f.buffer);
    for (int i = 0; i < 500; ++i)
        QCOMPARE(v[i], i + 1.0);
    QCOMPARE(f.buffer.bigarypos(), 500);
    TGraphFrm::setOpenNameHandler({});
}

// No memory for a second buffer: the operator is asked, and "No" loads nothing.
void TestGraphWindow::loadInPlaceWhenMemoryIsShort()
{
    MainFixture f;
    fillBuffer(f.buffer, 3);
    TGraphFrm *g = f.main->graph();
    graphload::setAvailableMemoryForTests(1000);
    openWith(writeLines(f.dir, QStringLiteral("m.txt"), 40), 3);
    f.answerYes = false;
    namedChild<QAction>(g, "Open1")->trigger();
    QCOMPARE(f.questions.size(), 1);
    QVERIFY(f.questions[0].startsWith(QLatin1String("Not enough memory")));
    QCOMPARE(f.buffer.High(), 2);
    QVERIFY(g->selectedFile().isEmpty());
    f.answerYes = true;
    namedChild<QAction>(g, "Loadappenddata1")->trigger();
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Loaded:42"));
    graphload::setAvailableMemoryForTests(-1);
    QCOMPARE(values(g, f.buffer).mid(0, 5), QList<double>({100, 101, 102, 1, 2}));
    QCOMPARE(f.buffer.High(), 42);
    TGraphFrm::setOpenNameHandler({});
}

void TestGraphWindow::ownSuffixWinsOverFilter()
{
    MainFixture f;
    TGraphFrm *g = f.main->graph();
    // Written the way this program writes with a decimal comma, chosen with the comma filter.
    const QString own = f.dir.filePath(QStringLiteral("x-s.csv"));
    QFile file(own);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# TYPE:\r\n0,5;V;2024-01-02 03:04:05;006;10;0,001;7;V;\r\n"
               "1,5;V;2024-01-02 03:04:05;007;10;0,001;8;V;\r\n");
    file.close();
    openWith(own, 1);
    namedChild<QAction>(g, "Open1")->trigger();
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Loaded:1"));
    QCOMPARE(values(g, f.buffer), QList<double>({0.5, 1.5}));
    QCOMPARE(g->model().record(1).Lunits1.toString(), QStringLiteral("V"));

    // Without an own suffix the filter decides; nothing reads, and the status says so.
    const QString other = f.dir.filePath(QStringLiteral("y.txt"));
    QVERIFY(QFile::copy(own, other));
    openWith(other, 2);
    namedChild<QAction>(g, "Open1")->trigger();
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Loaded:0 - 2 lines could not be read"));
    TGraphFrm::setOpenNameHandler({});
}

void TestGraphWindow::escapeCancelsSaveAndKeepsOldFile()
{
    MainFixture f;
    fillBuffer(f.buffer, 900);
    TGraphFrm *g = shownActive(f);
    const QString base = f.dir.filePath(QStringLiteral("old"));
    QFile old(base + QStringLiteral("-s.csv"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    dialogs::setSaveNameHandler([&](const QString &, int *filter) {
        *filter = 3;
        return base;
    });
    namedChild<QAction>(g, "Save1")->trigger();
    QTRY_COMPARE(QApplication::focusWidget(), namedChild<QWidget>(g, "loadcancelb"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_COMPARE(g->statusText(), QStringLiteral(" Save cancelled"));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
    old.close();
    QVERIFY(!QFile::exists(old.fileName() + QStringLiteral(".part")));
    QVERIFY(g->selectedFile().isEmpty());
    namedChild<QAction>(g, "Save1")->trigger();
    QTRY_COMPARE(g->statusText(), QStringLiteral("Saved."));
    QCOMPARE(readLines(old.fileName()).size(), 3 + 900);
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
        QTRY_VERIFY(!g->jobRunning());
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
