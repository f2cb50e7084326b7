// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/configdialog.h"
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "engine/bigary.h"
#include "engine/recordingtone.h"
#include "graph/graphwindow.h"
#include "link/scpilink.h"
#include "tempcalc/tempcalcf.h"
#include "tempsettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestWindows : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QStringList m_notices;
    Settings freshSettings() { return settingsIn(m_dir); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        dialogs::setNoticeHandler([this](const QString &t) { m_notices << t; });
    }
    void init()
    {
        QFile::remove(freshSettings().settingsPath());
        m_notices.clear();
        dialogs::forgetFolders();
    }

    void fileDialogsStartInTheDataFolder_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("pick"); // a file to take in the other folder
        QTest::newRow("Save Data") << "main"
                                   << "Savedb"
                                   << "";
        QTest::newRow("Save Chart") << "main"
                                    << "SaveGraph1"
                                    << "";
        QTest::newRow("graph Save") << "graph"
                                    << "Save1"
                                    << "";
        QTest::newRow("graph Save selected") << "graph"
                                             << "Saveselecteddataonly1"
                                             << "";
        QTest::newRow("graph Load") << "graph"
                                    << "Open1"
                                    << "pick.csv";
        QTest::newRow("graph Load append") << "graph"
                                           << "Loadappenddata1"
                                           << "pick.csv";
        QTest::newRow("graph Load 884x CSV") << "graph"
                                             << "LoadCSVfromUSB1"
                                             << "pick.csv";
        QTest::newRow("Load probe") << "temperature"
                                    << "Open1"
                                    << "pick.prb";
        QTest::newRow("Save probe") << "temperature"
                                    << "Saveprobe1"
                                    << "";
    }
    // The real dialog opens in the data folder, not in the working directory; taken from
    // another folder once, it opens there the next time.
    void fileDialogsStartInTheDataFolder()
    {
        QFETCH(QString, window);
        QFETCH(QString, command);
        QFETCH(QString, pick);
        Settings s = freshSettings();
        s.DataDir = m_dir.filePath(QStringLiteral("data/"));
        const QString other = m_dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(s.DataDir) && QDir().mkpath(other));
        QVERIFY(QDir::setCurrent(m_dir.path()));
        if (!pick.isEmpty()) {
            QFile f(other + u'/' + pick);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("1;V;46000.5;1;1;;;\r\n");
        }
        ScpiLink link(s);
        BigAry buffer;
        RecordingTone tone;
        MainForm main(s, link, buffer, tone);
        Ttempcalcf temperature(s, link);
        QWidget *owner = window == QLatin1String("main")    ? static_cast<QWidget *>(&main)
                         : window == QLatin1String("graph") ? static_cast<QWidget *>(main.graph())
                                                            : &temperature;
        owner->show();
        auto *action = owner->findChild<QAction *>(command);
        QVERIFY(action);

        // Reads the folder of the dialog that opens, then types a name into it.
        const auto run = [&](const QString &typed) {
            QString folder;
            QTimer poll;
            connect(&poll, &QTimer::timeout, this, [&] {
                auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                if (!dlg || !dlg->isVisible() || !folder.isEmpty())
                    return;
                // The name field has the focus once the dialog is up.
                QWidget *focus = QApplication::focusWidget();
                if (!focus || focus->objectName() != QLatin1String("fileNameEdit"))
                    return;
                folder = dlg->directory().absolutePath();
                if (typed.isEmpty()) {
                    QTest::keyClick(focus, Qt::Key_Escape);
                    return;
                }
                QTest::keyClicks(focus, typed);
                // The button, not Enter, which the name completion may take.
                auto *box = dlg->findChild<QDialogButtonBox *>();
                QPushButton *take = box->button(QDialogButtonBox::Open);
                (take ? take : box->button(QDialogButtonBox::Save))->click();
            });
            poll.start(10);
            action->trigger();
            return folder;
        };
        const QString name = pick.isEmpty() ? QStringLiteral("new-one") : pick;
        QCOMPARE(run(other + u'/' + name), QDir(s.DataDir).absolutePath());
        // A load or save the first dialog started runs on; the next command waits for it.
        QTRY_VERIFY(!main.graph()->jobRunning());
        QCOMPARE(run(QString()), QDir(other).absolutePath());
    }

    void defaultCommandsAreSaved()
    {
        Settings s = freshSettings();
        Tconff dlg(s, {QStringLiteral("/datadir:") + m_dir.path() + QStringLiteral("/data")});
        QCOMPARE(s.DataDir, m_dir.path() + QStringLiteral("/data/"));
        QVERIFY(QDir(s.DataDir).exists());
        auto *memo = dlg.findChild<QPlainTextEdit *>(QStringLiteral("initmemo"));
        QVERIFY(memo);
        QCOMPARE(memo->toPlainText().split(QLatin1Char('\n')), Settings::defaultInitList());

        dlg.findChild<QPushButton *>(QStringLiteral("defcomcb"))->click();
        QCOMPARE(memo->toPlainText().split(QLatin1Char('\n')).size(), 6);
        dlg.findChild<QPushButton *>(QStringLiteral("savec"))->click();
        QVERIFY(m_notices.isEmpty());

        QFile f(s.settingsPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.contains("Init1_5=data:feed rdg_store, \"CALC\"\r\n"));
        QVERIFY(!bytes.contains("Init1_6"));
        QVERIFY(bytes.contains("Close1_2=*RST\r\n"));

        // The next start reads the saved lists back.
        Settings next = freshSettings();
        Tconff again(next, {});
        QCOMPARE(next.initList, Settings::defaultCommandsInitList());
    }

    void editsAreLive()
    {
        Settings s = freshSettings();
        Tconff dlg(s, {QStringLiteral("/noconnect")});
        auto *connectBox = dlg.findChild<QCheckBox *>(QStringLiteral("autoconcb"));
        QVERIFY(connectBox->isChecked()); // shows the file's value, not the switch
        QCOMPARE(s.AutoConnect, false);

        dlg.findChild<QCheckBox *>(QStringLiteral("comamdecs"))->click();
        QCOMPARE(s.DecSeparator, QStringLiteral(","));
        dlg.findChild<QCheckBox *>(QStringLiteral("comamdecs"))->click();
        QCOMPARE(s.DecSeparator, QStringLiteral("."));
        dlg.findChild<QCheckBox *>(QStringLiteral("alternativecb"))->click();
        QCOMPARE(s.AlternativeCMD, 2);

        auto *closeMemo = dlg.findChild<QPlainTextEdit *>(QStringLiteral("closememo"));
        closeMemo->setPlainText(QStringLiteral("/skip\nSYST:LOC\n"));
        QCOMPARE(s.closeList, (QStringList{"/skip", "SYST:LOC"}));
    }

    // A file edited by hand: the dialog shows what is used, and a save keeps it so.
    void handEditedFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("lan");
        QTest::addColumn<QByteArrayList>("saved");
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF[Devices]\r\nLanTimeout=700\r\n") << 700
            << QByteArrayList{"\nLanTimeout=700\r\n"};
        QTest::newRow("outside the ranges")
            << QByteArray("[Devices]\r\nLanTimeout=20000\r\nDataTimeout=0\r\n") << 9000
            << QByteArrayList{"\nLanTimeout=9000\r\n", "\nDataTimeout=1\r\n"};
        QTest::newRow("emptied lists")
            << QByteArray("[Instrument]\r\nInit1_0=\r\nClose1_0=\r\n") << 400
            << QByteArrayList{"\nInit1_0=\r\n", "\nClose1_0=\r\n"};
    }
    void handEditedFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, lan);
        QFETCH(QByteArrayList, saved);
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        QFile f(s.settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        f.close();
        Tconff dlg(s, {});
        QCOMPARE(dlg.findChild<QSpinBox *>(QStringLiteral("lanud"))->value(), lan);
        QCOMPARE(s.LanTimeout, lan);
        dlg.findChild<QPushButton *>(QStringLiteral("savec"))->click();
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes.count("[Devices]"), 1);
        for (const QByteArray &line : saved)
            QVERIFY2(bytes.contains(line), line.constData());
    }

    void upDownBounds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("max");
        QTest::newRow("LAN") << "lanud" << 10 << 9000;
        QTest::newRow("DATA") << "dataud" << 100 << 32000;
    }
    void upDownBounds()
    {
        QFETCH(QString, name);
        QFETCH(int, step);
        QFETCH(int, max);
        Settings s = freshSettings();
        Tconff dlg(s, {});
        auto *ud = dlg.findChild<QSpinBox *>(name);
        QVERIFY(ud);
        ud->setValue(max - step + 1);
        ud->stepUp();
        QCOMPARE(ud->value(), max);
        ud->stepUp();
        QCOMPARE(ud->value(), max);
        ud->setValue(1);
        ud->stepDown();
        QCOMPARE(ud->value(), 1);
        ud->setValue(500);
        ud->stepUp();
        QCOMPARE(ud->value(), 500 + step);
        QCOMPARE(name == QLatin1String("lanud") ? s.LanTimeout : s.DataTimeout, 500 + step);
    }

    void questionBox_data()
    {
        QTest::addColumn<int>("answer"); // 0: Enter on the default, else the button
        QTest::addColumn<bool>("yes");
        QTest::newRow("Enter takes the default No") << 0 << false;
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("No") << int(QMessageBox::No) << false;
    }
    void questionBox()
    {
        QFETCH(int, answer);
        QFETCH(bool, yes);
        QWidget owner;
        owner.show();
        // Look at the real box while it is open, answer it, check after it has closed.
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool noIsDefault = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            if (answer == 0)
                QTest::keyClick(box, Qt::Key_Return);
            else
                box->button(QMessageBox::StandardButton(answer))->click();
        });
        QCOMPARE(dialogs::AskYesNo(&owner, QStringLiteral("Tervaxis"),
                                   QStringLiteral("Do You Want To Reset Device?")),
                 yes);
        QCOMPARE(text, QStringLiteral("Do You Want To Reset Device?"));
        QCOMPARE(title, QStringLiteral("Tervaxis"));
        QCOMPARE(icon, QMessageBox::Question);
        QVERIFY(noIsDefault);
    }

    // At the start size and a desktop's usual font, every control of every page shows
    // whole, its caption included, without scrolling.
    void mainWindowSkeleton()
    {
        const QFont before = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
        Settings s = freshSettings();
        ScpiLink link(s);
        BigAry buffer;
        RecordingTone tone;
        MainForm w(s, link, buffer, tone);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < w.pages()->count(); ++i) {
            auto *area = qobject_cast<QScrollArea *>(w.pages()->widget(i));
            if (!area)
                continue; // the hidden macro page
            w.pages()->setCurrentIndex(i);
            QTRY_VERIFY(!area->horizontalScrollBar()->isVisible());
            for (QWidget *c : area->widget()->findChildren<QWidget *>()) {
                const QByteArray what = c->metaObject()->className() + c->objectName().toUtf8();
                const QRect r(c->mapTo(area->viewport(), QPoint()), c->size());
                QVERIFY2(!c->isVisible() || area->viewport()->rect().contains(r), what);
                if (c->isVisible() &&
                    (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLabel *>(c)))
                    QVERIFY2(c->width() >= c->sizeHint().width(), what);
            }
        }
        QApplication::setFont(before);
        QCOMPARE(w.windowTitle(), QStringLiteral("Tervaxis"));
        auto *pages = w.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->count(), 5);
        QCOMPARE(pages->tabText(4), QStringLiteral("Instrument F3"));
        QVERIFY(!pages->isTabVisible(3));
        QCOMPARE(w.statusPanel(0),
                 QStringLiteral("Press [Shift + F3] for connection to localhost:3490"));

        auto *more = w.findChild<QAction *>(QStringLiteral("more1"));
        QCOMPARE(more->text(), QStringLiteral("Less F9 <"));
        const int startWidth = w.centralWidget()->width();
        QTest::keyClick(&w, Qt::Key_F9);
        QTRY_COMPARE(w.centralWidget()->width(), 460);
        QCOMPARE(more->text(), QStringLiteral("More F9 >"));
        QTest::keyClick(&w, Qt::Key_F9);
        QTRY_COMPARE(w.centralWidget()->width(), startWidth + 1);
        QCOMPARE(more->text(), QStringLiteral("Less F9 <"));

        QTest::keyClick(&w, Qt::Key_F6);
        QCOMPARE(pages->currentIndex(), 1);

        w.findChild<QAction *>(QStringLiteral("Commandlineparameters1"))->trigger();
        QCOMPARE(m_notices.size(), 1);
        QVERIFY(m_notices[0].startsWith(QStringLiteral("Command line parameters:\n\n")));
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
