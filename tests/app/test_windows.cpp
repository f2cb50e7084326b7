// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/configdialog.h"
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "engine/bigary.h"
#include "engine/recordingtone.h"
#include "link/scpilink.h"
#include "tempsettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
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
