// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup.h"

#include "app/configdialog.h"
#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "app/splash.h"
#include "app/unixsignals.h"
#include "engine/bigary.h"
#include "engine/cycle.h"
#include "engine/sinetone.h"
#include "graph/graphwindow.h"
#include "lang/applylanguage.h"
#include "lang/helpwindow.h"
#include "link/commwindow.h"
#include "link/scpilink.h"
#include "tempcalc/tempcalcf.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QLocale>
#include <QMenu>
#include <QProxyStyle>
#include <QSessionManager>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

namespace {

constexpr int kHintDelayMs = 200;
constexpr int kHintShowMs = 15000;

// Hints come after 200 ms.
class HintStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return kHintDelayMs;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

// Hints stay 15 s, however short their text.
class HintDuration : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || qobject_cast<QMenu *>(w) || w->toolTip().isEmpty())
            return false;
        const auto *help = static_cast<QHelpEvent *>(event);
        QToolTip::showText(help->globalPos(), w->toolTip(), w, {}, kHintShowMs);
        return true;
    }
};

void setHintLook(QApplication &app)
{
    app.setStyle(new HintStyle);
    QPalette tip = QToolTip::palette();
    tip.setColor(QPalette::ToolTipBase, QColor(0xF0, 0xF0, 0xF0));
    QToolTip::setPalette(tip);
    app.installEventFilter(new HintDuration(&app));
}

// Prints the wall-clock millisecond of a window's first paint, for the start-up benchmark.
class FirstPaintProbe : public QObject
{
public:
    FirstPaintProbe(const char *what, std::function<void()> after, QObject *parent)
        : QObject(parent), m_what(what), m_after(std::move(after))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A widget rendered while hidden is not on screen yet.
        const auto *w = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Paint && !m_done && w && w->isVisible()) {
            m_done = true;
            probeLine(m_what, QDateTime::currentMSecsSinceEpoch());
            if (m_after)
                QTimer::singleShot(0, qApp, m_after);
        }
        return false;
    }
    static void probeLine(const char *what, qint64 value)
    {
        std::fprintf(stderr, "tervaxis-probe %s %lld\n", what, static_cast<long long>(value));
        std::fflush(stderr);
    }

private:
    const char *m_what;
    std::function<void()> m_after;
    bool m_done = false;
};

} // namespace

Startup::Startup(Options options) : m_opt(std::move(options))
{
    if (!m_opt.shiftHeld)
        m_opt.shiftHeld = [] {
            return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
        };
}

Startup::~Startup()
{
    // The console saves its history and the main window unhooks from the link.
    m_comm.reset();
    m_help.reset();
    m_signals.reset();
    delete m_splash;
    m_main.reset();
}

QString Startup::dataFolder(const QString &programDir)
{
    const QString installed =
        QDir::cleanPath(programDir + QStringLiteral("/../share/tervaxis")) + QLatin1Char('/');
    if (QFile::exists(installed + QStringLiteral("kavlang")))
        return installed;
    return settingsio::withDelimiter(programDir);
}

void Startup::registerFonts()
{
    // The display's fixed-pitch fonts: ours when shipped, else the system's copy.
    for (const char *name : {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"}) {
        for (const QString &dir :
             {m_settings->programDir, QStringLiteral("/usr/share/fonts/truetype/dejavu/")}) {
            const QString path = dir + QLatin1String(name);
            if (!QFile::exists(path))
                continue;
            const int id = QFontDatabase::addApplicationFont(path);
            if (id >= 0) {
                m_fonts << id;
                break;
            }
        }
    }
}

void Startup::start()
{
    if (m_opt.probeTimes)
        FirstPaintProbe::probeLine("start", QDateTime::currentMSecsSinceEpoch());
    // 1, 2: built-in values and the application's look.
    m_settings = std::make_unique<Settings>();
    Settings &s = *m_settings;
    s.configDir = m_opt.configDir.isEmpty() ? settingsio::defaultConfigDir()
                                            : settingsio::withDelimiter(m_opt.configDir);
    s.programDir = dataFolder(m_opt.programDir);
    // The application title "Tervaxis..." is the help window's; as Qt's display name it
    // would be appended to every window and box title. The task bar takes the desktop
    // entry's name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tervaxis"));
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        setHintLook(*app);

    // 5 comes first so the splash is on screen at once. The fonts (3), the windows (4), the
    // configuration (6), the console (7) and the language (8) are done while it shows, and
    // the pause runs out 200 ms after it appeared. The splash's digits are in the system's
    // copy of the same font.
    m_splash = new TSplash;
    if (m_opt.probeTimes)
        m_splash->installEventFilter(new FirstPaintProbe("splash", {}, m_splash));
    m_splash->setText(dialogs::kProgramName + QStringLiteral("  ") + dialogs::versionText());
    m_splash->centreOnScreen();
    m_splash->show();
    m_splash->raise();
    QElapsedTimer splashShown;
    splashShown.start();
    while (!m_splash->wasPainted() && splashShown.elapsed() < 100)
        ScpiLink::DelayMs(1);

    // 3
    registerFonts();
    const QString icon = s.programDir + QStringLiteral("tervaxis.png");
    if (QFile::exists(icon))
        QApplication::setWindowIcon(QIcon(icon));

    // 4: the large graph and temperature windows join here.
    m_link = std::make_unique<ScpiLink>(s);
    m_buffer = std::make_unique<BigAry>();
    m_tone = std::make_unique<SineTone>();
    m_main = std::make_unique<MainForm>(s, *m_link, *m_buffer, *m_tone);
    m_link->setHost(m_main.get());
    m_help = std::make_unique<THELPf>(s);
    m_main->setHelpWindow(m_help.get());
    m_temp = std::make_unique<Ttempcalcf>(s, *m_link);
    m_main->setTemperatureWindow(m_temp.get());
    // SIGTERM, SIGINT and SIGHUP end the program as the end of the session does, after the
    // reading in progress.
    m_signals = std::make_unique<UnixSignals>();
    m_signals->setEnding([this] { return m_main->cycle().busy() || m_link->readbusy(); },
                         [this] { endSession(*m_main); });
    QObject::connect(&m_main->cycle(), &MeasurementCycle::cycleFinished, m_signals.get(),
                     &UnixSignals::tryEnding);
    if (m_opt.probeTimes) {
        // Then closing as the session's end does it, timed.
        m_main->installEventFilter(new FirstPaintProbe(
            "main",
            [this] {
                QElapsedTimer closing;
                closing.start();
                endSession(*m_main);
                FirstPaintProbe::probeLine("close-ms", closing.elapsed());
            },
            m_main.get()));
    }

    // 6
    m_conff = new Tconff(s, m_opt.args, m_main.get());
    m_conff->setWindowFlag(Qt::Window);
    m_main->setConfigDialog(m_conff);
    m_buffer->setMaxBuffer(BigAry::maxBufferFromSetting(s.BufferSize));

    // 7
    m_comm = std::make_unique<TCommFrm>(s, *m_link);
    m_main->setCommWindow(m_comm.get());
    m_link->startSupervision();

    // 8
    LanguageWindows windows;
    windows.main = m_main.get();
    windows.graph = m_main->graph();
    windows.temperature = m_temp.get();
    windows.fontTakers = {m_comm.get(), m_conff, m_splash};
    ApplyLanguage(languageFilePath(s), windows);
    if (s.useLanguageFiles)
        dialogs::installToolkitTranslation(QLocale());
    ScpiLink::DelayMs(static_cast<int>(qMax<qint64>(0, 200 - splashShown.elapsed())));

    // 9: the queued click runs inside the pause, with the splash on screen.
    if (!m_opt.shiftHeld() && s.AutoConnect) {
        QMetaObject::invokeMethod(m_comm.get(), &TCommFrm::INITbClick, Qt::QueuedConnection);
        m_splash->setText(QStringLiteral(" Connecting to: ") + s.host1 + QLatin1Char(':') +
                          s.port1);
        m_splash->repaint();
        QCoreApplication::processEvents();
    }

    // 10, 11: the window is laid out and drawn once unseen inside the pause, so showing it
    // finds its styles, layouts and glyphs ready.
    QElapsedTimer pause;
    pause.start();
    m_main->ensurePolished();
    (void)m_main->grab();
    ScpiLink::DelayMs(static_cast<int>(qMax<qint64>(0, 200 - pause.elapsed())));
    m_main->show();
    m_splash->close();
    m_splash->deleteLater();
    m_splash = nullptr;

    // Closing the main window ends the program, whatever else is open.
    QObject::connect(m_main.get(), &MainForm::formClosed, m_main.get(),
                     [this] { closeOtherWindows(); });
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QObject::connect(app, &QGuiApplication::commitDataRequest, m_main.get(),
                         [this](QSessionManager &) { endSession(*m_main); });
    // 12, 13
    m_temp->startUp();
}

void Startup::closeOtherWindows()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != m_main.get() && w->isVisible())
            w->close();
    QCoreApplication::exit(0);
}

void Startup::endSession(MainForm &main)
{
    main.setStatusPanel(0, QStringLiteral("Query End Session"));
    main.setShutdown();
    main.setStatusPanel(0, QStringLiteral("End Session"));
    // An open question or dialog gives way; the close question's answer is then "close".
    dialogs::dismissModalDialogs();
    if (!main.closedForGood())
        main.close();
}

int Startup::run()
{
    start();
    if (m_signals->received()) {
        m_signals->endNow(); // ended while starting
        return 0;
    }
    const int rc = QCoreApplication::exec();
    // 15
    for (int id : m_fonts)
        QFontDatabase::removeApplicationFont(id);
    return rc;
}
