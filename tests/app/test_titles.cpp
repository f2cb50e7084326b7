// SPDX-License-Identifier: GPL-3.0-or-later
// The titles as the window manager gets them: the windows are real X windows on an Xvfb
// server of the test's own, and xdotool reads their names back.
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "lang/helpwindow.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QMenu>
#include <QMenuBar>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t g_server = 0;
QByteArray g_display;

// Xvfb on a free display; its number comes back through a pipe.
void startServerOnce()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    int fds[2];
    if (xvfb.isEmpty() || ::pipe(fds) != 0)
        return;
    const QByteArray exe = QFile::encodeName(xvfb);
    const QByteArray fd = QByteArray::number(fds[1]);
    g_server = ::fork();
    if (g_server == 0) {
        ::close(fds[0]);
        // Ends with the test, however the test ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(exe.constData(), exe.constData(), "-noreset", "-displayfd", fd.constData(),
                "-screen", "0", "1280x1024x24", "-nolisten", "tcp", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char number[32] = {};
    const ssize_t n = g_server > 0 ? ::read(fds[0], number, sizeof number - 1) : 0;
    ::close(fds[0]);
    if (n > 0)
        g_display = ':' + QByteArray(number, n).trimmed();
}

// Whether the server takes connections on its socket.
bool serverAnswers()
{
    const QByteArray path = "/tmp/.X11-unix/X" + g_display.mid(1);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (g_display.isEmpty() || path.size() >= qsizetype(sizeof addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// Two tests starting their servers at once may race for a display: the loser tries again.
void startServer()
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        startServerOnce();
        for (int i = 0; i < 100 && !serverAnswers() && g_server > 0 &&
                        ::waitpid(g_server, nullptr, WNOHANG) == 0;
             ++i)
            ::usleep(20000);
        // Answering, and from our own server, not one that won the race for the number.
        if (serverAnswers() && g_server > 0 && ::waitpid(g_server, nullptr, WNOHANG) == 0) {
            ::usleep(200000);
            if (::waitpid(g_server, nullptr, WNOHANG) == 0)
                return;
        }
        if (g_server > 0) {
            ::kill(g_server, SIGTERM);
            ::waitpid(g_server, nullptr, 0);
        }
        g_server = 0;
        g_display.clear();
    }
}

QString xName(QWidget *w)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"),
            {QStringLiteral("getwindowname"), QString::number(w->winId())});
    if (!p.waitForFinished(10000))
        return QStringLiteral("<no answer>");
    return QString::fromUtf8(p.readAllStandardOutput()).chopped(1);
}

// A command as the main window's menus offer it, whichever window owns it.
QAction *menuCommand(QMenuBar *bar, const QString &name)
{
    QList<QAction *> todo = bar->actions();
    while (!todo.isEmpty()) {
        QAction *a = todo.takeFirst();
        if (a->objectName() == name)
            return a;
        if (a->menu())
            todo << a->menu()->actions();
    }
    return nullptr;
}

} // namespace

class TestTitles : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Startup> m_app;

private slots:
    void initTestCase()
    {
        if (g_display.isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("Xvfb and xdotool are needed (scripts/deps.sh installs them)");
        dialogs::setNoticeHandler({});
        Startup::Options o;
        o.args = {QStringLiteral("/configdir:") + m_dir.filePath(QStringLiteral("cfg")),
                  QStringLiteral("/datadir:") + m_dir.filePath(QStringLiteral("data")),
                  QStringLiteral("/noconnect"), QStringLiteral("/nolang")};
        o.programDir = m_dir.path();
        o.shiftHeld = [] { return false; };
        m_app = std::make_unique<Startup>(o);
        m_app->start();
    }
    void cleanupTestCase() { m_app.reset(); }

    void windowTitles_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");
        // The main window's caption follows the link ("Not Connected!") and the readings.
        QTest::newRow("main") << ""
                              << "MainForm"
                              << "";
        QTest::newRow("large graph") << "Showdataingraph1"
                                     << "GraphFrm"
                                     << "Tervaxis | Graph";
        QTest::newRow("temperature") << "Temperaturecalculation1"
                                     << "Ttempcalcf"
                                     << "Temperature calculation";
        QTest::newRow("console") << "Communication1"
                                 << ""
                                 << " Communication TCP/IP ";
        QTest::newRow("configuration") << "Configuration1"
                                       << ""
                                       << "Configuration";
        QTest::newRow("help") << "help"
                              << ""
                              << "Tervaxis... - Help";
    }
    void windowTitles()
    {
        QFETCH(QString, command);
        QFETCH(QString, title);
        MainForm &main = m_app->mainWindow();
        if (title.isEmpty())
            title = main.windowTitle();
        if (command == QLatin1String("help"))
            m_app->helpWindow().show();
        else if (!command.isEmpty()) {
            QAction *a = menuCommand(main.menuBar(), command);
            QVERIFY(a);
            a->trigger();
        }
        QWidget *shown = nullptr;
        QTRY_VERIFY([&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->windowTitle() == title)
                    shown = w;
            return shown != nullptr;
        }());
        QTRY_COMPARE(xName(shown), title);
    }

    void boxTitles_data()
    {
        QTest::addColumn<bool>("question");
        QTest::newRow("notice") << false;
        QTest::newRow("question") << true;
    }
    void boxTitles()
    {
        QFETCH(bool, question);
        MainForm &main = m_app->mainWindow();
        QString name;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            const QString n = xName(box);
            if (n.isEmpty())
                return;
            name = n;
            box->done(QMessageBox::No);
        });
        poll.start(20);
        if (question)
            dialogs::AskYesNo(&main, main.windowTitle(), QStringLiteral("Do You Want Close?"));
        else
            dialogs::ShowNotice(&main, QStringLiteral("Tervaxis v 1.0.0.1"));
        // The question carries the main window's caption, the notice the program name.
        QCOMPARE(name, question ? main.windowTitle() : QStringLiteral("Tervaxis"));
    }
};

int main(int argc, char **argv)
{
    startServer();
    if (!g_display.isEmpty()) {
        qputenv("DISPLAY", g_display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    int rc = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Tervaxis"));
        TestTitles t;
        rc = QTest::qExec(&t, argc, argv);
    }
    if (g_server > 0) {
        ::kill(g_server, SIGTERM);
        ::waitpid(g_server, nullptr, 0);
    }
    return rc;
}

#include "test_titles.moc"
