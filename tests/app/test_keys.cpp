// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainfixture.h"

#include "lang/helpwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabWidget>

// The main window's keyboard table, typed into whatever control has the focus.
class TestKeys : public QObject
{
    Q_OBJECT
private slots:
    void keyTable_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("effect");
        const int none = Qt::NoModifier;
        QTest::newRow("F3") << int(Qt::Key_F3) << none << 4 << "measb"
                            << "";
        QTest::newRow("Shift+F3 also shows page 4")
            << int(Qt::Key_F3) << int(Qt::ShiftModifier) << 4 << "measb"
            << "";
        QTest::newRow("F5") << int(Qt::Key_F5) << none << 0 << "meastypecb"
                            << "";
        QTest::newRow("F6") << int(Qt::Key_F6) << none << 1 << "fetche"
                            << "";
        QTest::newRow("F7") << int(Qt::Key_F7) << none << 2 << "measb"
                            << "";
        QTest::newRow("F8") << int(Qt::Key_F8) << none << 3 << "measb"
                            << "";
        // The edit leaves the screen with the pages; the focus moves on to the measure button.
        QTest::newRow("F9 narrows") << int(Qt::Key_F9) << none << 0 << "measb"
                                    << "narrow";
        QTest::newRow("F10 discarded") << int(Qt::Key_F10) << none << 0 << "measdele"
                                       << "";
        QTest::newRow("F11 measures") << int(Qt::Key_F11) << none << 0 << "measdele"
                                      << "measure";
        QTest::newRow("Ctrl+Insert copies, not the edit")
            << int(Qt::Key_Insert) << int(Qt::ControlModifier) << 0 << "measdele"
            << "copy";
        QTest::newRow("Shift+F2 disconnects")
            << int(Qt::Key_F2) << int(Qt::ShiftModifier) << 0 << "measdele"
            << "disconnect";
        QTest::newRow("F2 alone does nothing") << int(Qt::Key_F2) << none << 0 << "measdele"
                                               << "";
        QTest::newRow("F1 help") << int(Qt::Key_F1) << none << 0 << ""
                                 << "help";
    }
    void keyTable()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, page);
        QFETCH(QString, focus);
        QFETCH(QString, effect);
        MainFixture f;
        THELPf help(f.settings);
        f.main->setHelpWindow(&help);
        QVERIFY(f.connectAndShow());
        f.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.main.get()));
        auto *start = f.find<QLineEdit>("measdele");
        start->setFocus();
        start->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        const qsizetype sent = f.sim.commands().size();
        const int width = f.main->centralWidget()->width();

        QWidget *target = QApplication::focusWidget();
        QVERIFY(target);
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        QCOMPARE(f.main->pages()->currentIndex(), page);
        if (!focus.isEmpty()) {
            QVERIFY(QApplication::focusWidget());
            QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        }
        QVERIFY(!f.main->menuBar()->activeAction());
        QCOMPARE(help.isVisible(), effect == QLatin1String("help"));
        QCOMPARE(f.link.connected(), effect != QLatin1String("disconnect"));
        // The reading as number text, not the edit's selected "0".
        const QString clip = QGuiApplication::clipboard()->text();
        if (effect == QLatin1String("copy"))
            QVERIFY2(clip.size() > 3 && f.main->measText().contains(clip), qPrintable(clip));
        else
            QCOMPARE(clip, QStringLiteral("before"));
        if (effect == QLatin1String("measure"))
            QTRY_VERIFY(f.sim.commands().size() > sent);
        else if (effect != QLatin1String("disconnect"))
            QCOMPARE(f.sim.commands().size(), sent);
        const bool narrow = effect == QLatin1String("narrow");
        QCOMPARE(f.main->findChild<QAction *>(QStringLiteral("more1"))->text(),
                 narrow ? QStringLiteral("More F9 >") : QStringLiteral("Less F9 <"));
        QCOMPARE(f.main->centralWidget()->width() < width, narrow);
    }
};

QTEST_MAIN(TestKeys)
#include "test_keys.moc"
