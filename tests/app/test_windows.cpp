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

    // A file edited by hand, shown by the dialog, saved with "&Save Configuration" and
    // read by the next start.
    void handEditedFileThroughTheDialog_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("autoConnect");
        QTest::addColumn<int>("lan");
        QTest::addColumn<int>("data");
        QTest::newRow("byte-order mark before the first section")
            << QByteArray("\xEF\xBB\xBF[Devices]\r\nAutoConnect=0\r\nLanTimeout=700\r\n") << false
            << 700 << 5000;
        QTest::newRow("time-outs outside the dialog's ranges")
            << QByteArray("[Devices]\r\nLanTimeout=20000\r\nDataTimeout=0\r\n") << true << 9000
            << 1;
    }
    void handEditedFileThroughTheDialog()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, autoConnect);
        QFETCH(int, lan);
        QFETCH(int, data);
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        {
            QFile f(s.settingsPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        Tconff dlg(s, {});
        QCOMPARE(dlg.findChild<QCheckBox *>(QStringLiteral("autoconcb"))->isChecked(), autoConnect);
        QCOMPARE(dlg.findChild<QSpinBox *>(QStringLiteral("lanud"))->value(), lan);
        QCOMPARE(dlg.findChild<QSpinBox *>(QStringLiteral("dataud"))->value(), data);
        QCOMPARE(s.LanTimeout, lan);
        QCOMPARE(s.DataTimeout, data);
        dlg.findChild<QPushButton *>(QStringLiteral("savec"))->click();
        QVERIFY(m_notices.isEmpty());

        QFile f(s.settingsPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes.count("[Devices]"), 1);
        QVERIFY(bytes.contains("LanTimeout=" + QByteArray::number(lan) + "\r\n"));
        Settings next = freshSettings();
        Tconff again(next, {});
        QCOMPARE(next.AutoConnect, autoConnect);
        QCOMPARE(next.DataTimeout, data);
    }

    void emptiedListsStayEmpty()
    {
        Settings s = freshSettings();
        Tconff dlg(s, {});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (const char *name : {"initmemo", "closememo"}) {
            dlg.findChild<QPlainTextEdit *>(QLatin1String(name))->setFocus();
            QTRY_VERIFY(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        }
        QVERIFY(s.initList.isEmpty());
        QVERIFY(s.closeList.isEmpty());
        dlg.findChild<QPushButton *>(QStringLiteral("savec"))->click();

        Settings next = freshSettings();
        Tconff again(next, {});
        QCOMPARE(next.initList, QStringList());
        QCOMPARE(next.closeList, QStringList());
        QCOMPARE(again.findChild<QPlainTextEdit *>(QStringLiteral("closememo"))->toPlainText(),
                 QString());
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

    // At the start width and a desktop's usual font, every control of every page shows
    // whole, its caption included, without scrolling sideways.
    void pagesFitAtTheStartWidth()
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
        QTabWidget *pages = w.pages();
        for (int i = 0; i < pages->count(); ++i) {
            if (!pages->isTabVisible(i))
                continue;
            pages->setCurrentIndex(i);
            auto *area = qobject_cast<QScrollArea *>(pages->currentWidget());
            QVERIFY(area);
            QTRY_VERIFY(area->widget()->isVisible());
            QTRY_VERIFY(!area->horizontalScrollBar()->isVisible());
            const QRect view = area->viewport()->rect();
            for (QWidget *c : area->widget()->findChildren<QWidget *>()) {
                if (!c->isVisible())
                    continue;
                const QRect r(c->mapTo(area->viewport(), QPoint()), c->size());
                const QByteArray what = pages->tabText(i).toUtf8() + ": " +
                                        c->metaObject()->className() + " " +
                                        c->objectName().toUtf8();
                QVERIFY2(view.contains(r), what.constData());
                if (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLabel *>(c))
                    QVERIFY2(c->width() >= c->sizeHint().width(), what.constData());
            }
        }
        QApplication::setFont(before);
    }

    void mainWindowSkeleton()
    {
        Settings s = freshSettings();
        ScpiLink link(s);
        BigAry buffer;
        RecordingTone tone;
        MainForm w(s, link, buffer, tone);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
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
