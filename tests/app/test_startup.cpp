// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "app/splash.h"
#include "app/startup.h"
#include "link/commwindow.h"
#include "link/scpilink.h"
#include "simulator.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace {

// What the operator sees painted while start-up or closing runs.
struct ScreenWatch : QObject
{
    QStringList splashTexts;
    QStringList measTexts;
    QTimer timer;
    QLabel *meastext1 = nullptr;
    ScreenWatch()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *s = qobject_cast<TSplash *>(w); s && s->isVisible())
                    if (splashTexts.isEmpty() || splashTexts.last() != s->text())
                        splashTexts << s->text();
        });
        timer.start(1);
    }
    void watch(MainForm &main)
    {
        meastext1 = main.findChild<QLabel *>(QStringLiteral("meastext1"));
        meastext1->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint &&
            (measTexts.isEmpty() || measTexts.last() != meastext1->text()))
            measTexts << meastext1->text();
        return false;
    }
};

struct StartupFixture
{
    QTemporaryDir dir;
    sim::Simulator sim;
    bool shift = false;
    QStringList questions;
    std::unique_ptr<Startup> app;

    StartupFixture()
    {
        dialogs::setQuestionHandler([this](const QString &, const QString &text) {
            questions << text;
            return true;
        });
        dialogs::setNoticeHandler([](const QString &) {});
    }
    ~StartupFixture()
    {
        dialogs::setQuestionHandler({});
        dialogs::setNoticeHandler({});
    }
    void start(bool connect)
    {
        QVERIFY(sim.listen(0));
        Startup::Options o;
        o.args = {QStringLiteral("/configdir:") + dir.path() + QStringLiteral("/cfg"),
                  QStringLiteral("/DATADIR:") + dir.path() + QStringLiteral("/data"),
                  QStringLiteral("/ADDR:127.0.0.1"),
                  QStringLiteral("/PORT:") + QString::number(sim.port()),
                  connect ? QStringLiteral("/CONNECT") : QStringLiteral("/NOCONNECT")};
        o.programDir = dir.path();
        o.shiftHeld = [this] { return shift; };
        app = std::make_unique<Startup>(o);
        app->start();
    }
    QString logFile() const
    {
        const QDir log(dir.path() + QStringLiteral("/data/Log"));
        const QStringList files = log.entryList(QDir::Files);
        return files.isEmpty() ? QString() : log.filePath(files.first());
    }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void startUpConnectsWhileTheSplashSaysSo_data()
    {
        QTest::addColumn<bool>("shift");
        QTest::newRow("automatic connect") << false;
        QTest::newRow("shift held") << true;
    }
    void startUpConnectsWhileTheSplashSaysSo()
    {
        QFETCH(bool, shift);
        StartupFixture f;
        f.shift = shift;
        ScreenWatch watch;
        f.start(true);
        const QString port = QString::number(f.sim.port());
        QStringList expected = {QStringLiteral("Tervaxis  ") + dialogs::versionText()};
        if (!shift)
            expected << QStringLiteral(" Connecting to: 127.0.0.1:") + port;
        QCOMPARE(watch.splashTexts, expected);
        QVERIFY(!f.app->splash());
        QVERIFY(f.app->mainWindow().isVisible());
        QCOMPARE(f.app->link().connected(), !shift);
        if (shift) {
            QVERIFY(f.sim.commands().isEmpty());
            return;
        }
        // The initialisation list goes out in its order once the link stands.
        const QStringList sent = f.sim.commands();
        qsizetype at = -1;
        for (const QString &cmd : Settings::defaultInitList()) {
            const qsizetype next = sent.indexOf(cmd, at + 1);
            QVERIFY2(next > at, qPrintable(cmd));
            at = next;
        }
        QCOMPARE(f.app->mainWindow().statusPanel(0),
                 QStringLiteral("Press [Shift + F3] for connection to 127.0.0.1:") + port);
    }

    void exitCountsDownSavesAndEndsEveryWindow_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("sessionEnds");
        QTest::newRow("exit connected") << true << false;
        QTest::newRow("exit not connected") << false << false;
        QTest::newRow("session ends") << true << true;
    }
    void exitCountsDownSavesAndEndsEveryWindow()
    {
        QFETCH(bool, connected);
        QFETCH(bool, sessionEnds);
        StartupFixture f;
        f.start(connected);
        MainForm &main = f.app->mainWindow();
        if (connected) {
            // Two readings staged for the automatic data file, not yet written.
            main.findChild<QAction *>(QStringLiteral("Savealldata1"))->trigger();
            auto *measb = main.findChild<QPushButton *>(QStringLiteral("measb"));
            for (int i = 0; i < 2; ++i) {
                const qsizetype before = f.sim.commands().size();
                measb->click();
                QTRY_VERIFY(f.sim.commands().size() > before && measb->isEnabled());
            }
        }
        f.app->commWindow().show();
        f.sim.clearCommands();
        ScreenWatch watch;
        watch.watch(main);
        if (sessionEnds)
            Startup::endSession(main);
        else
            main.findChild<QAction *>(QStringLiteral("Exit1"))->trigger();

        QCOMPARE(f.questions.size(), sessionEnds ? 0 : 1);
        if (!sessionEnds)
            QCOMPARE(f.questions.first(), QStringLiteral("Do You Want Close?"));
        const QStringList countdown = {QStringLiteral("Closing"), QStringLiteral("Closing."),
                                       QStringLiteral("Closing.."), QStringLiteral("Closing..."),
                                       QStringLiteral("Closing *")};
        QCOMPARE(watch.measTexts.mid(watch.measTexts.indexOf(countdown.first()), 5), countdown);
        QVERIFY(!main.isVisible());
        QVERIFY(!f.app->commWindow().isVisible());
        QVERIFY(!f.app->link().connected());
        QVERIFY(QFile::exists(f.dir.path() + QStringLiteral("/cfg/cmdhistory")));
        if (!connected) {
            QVERIFY(f.sim.commands().isEmpty());
            // Saving was off: closing reports no missing file.
            QVERIFY(main.statusPanel(0).startsWith(QStringLiteral("Press [Shift + F3]")));
            return;
        }
        QTRY_COMPARE(f.sim.commands(), Settings::defaultCloseList());
        QFile data(f.logFile());
        QVERIFY(data.open(QIODevice::ReadOnly));
        // Both readings reach the disk, each once.
        QStringList lines = QString::fromUtf8(data.readAll()).split(QStringLiteral("\r\n"));
        lines.removeIf([](const QString &l) { return l.isEmpty() || l.startsWith(u'#'); });
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[1] != lines[0]);
    }

    // A German user's question boxes answer "Ja" and "Nein", as the rest of the window.
    void questionButtonsSpeakTheUsersLanguage()
    {
        const auto buttons = [] {
            QMessageBox box(QMessageBox::Question, dialogs::kProgramName, QStringLiteral("?"),
                            QMessageBox::Yes | QMessageBox::No);
            return box.button(QMessageBox::Yes)->text() + u'/' +
                   box.button(QMessageBox::No)->text();
        };
        // Start-up in a German session has already installed it once.
        const QString before = buttons();
        if (QLocale().language() != QLocale::German)
            QCOMPARE(before, QStringLiteral("&Yes/&No"));
        QTranslator *german = dialogs::installToolkitTranslation(QLocale(QLocale::German));
        QVERIFY2(german, "no German toolkit texts (scripts/deps.sh installs them)");
        QCOMPARE(buttons(), QStringLiteral("&Ja/&Nein"));
        delete german;
        QCOMPARE(buttons(), before);
    }

    void installedProgramFindsItsDataFolder()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/tervaxis/kavlang")));
        QCOMPARE(Startup::dataFolder(prefix.path() + QStringLiteral("/bin")),
                 prefix.path() + QStringLiteral("/share/tervaxis/"));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("build/src")));
        QCOMPARE(Startup::dataFolder(prefix.path() + QStringLiteral("/build/src")),
                 prefix.path() + QStringLiteral("/build/src/"));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
