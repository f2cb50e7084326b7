// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BigAry;
class MainForm;
class QApplication;
class QWidget;
class ScpiLink;
class SineTone;
class TCommFrm;
class THELPf;
class Tconff;
class TSplash;
class Ttempcalcf;
class UnixSignals;
struct Settings;

// The program from its first window to its last: creates the windows in order, reads the
// settings and the language, connects, shows the main window, and ends everything when the
// main window closes.
class Startup
{
public:
    struct Options
    {
        QStringList args;   // command-line switches, without the program name
        QString programDir; // executable's folder; the data folder is found from it
        QString configDir;  // empty: the per-user default
        // Shift at start keeps the program offline; tests put their own answer here.
        std::function<bool()> shiftHeld;
        // Prints when the splash and the main window were first painted, then closes
        // as at the end of a session and prints how long that took.
        bool probeTimes = false;
    };

    explicit Startup(Options options);
    ~Startup();

    // Start-up up to the message loop; the main window is shown afterwards.
    void start();
    // start(), the message loop, then the fonts go.
    int run();

    MainForm &mainWindow() { return *m_main; }
    TCommFrm &commWindow() { return *m_comm; }
    THELPf &helpWindow() { return *m_help; }
    Settings &settings() { return *m_settings; }
    ScpiLink &link() { return *m_link; }
    BigAry &buffer() { return *m_buffer; }
    // The splash while start-up runs; null once the main window shows.
    TSplash *splash() const { return m_splash; }

    // Where the language, help and font files are: the installed share folder when the
    // program runs from a bin folder beside it, else the program's own folder.
    static QString dataFolder(const QString &programDir);
    // The operating system ends the session: close without asking, keep what is staged.
    static void endSession(MainForm &main);

private:
    void registerFonts();
    void closeOtherWindows();

    Options m_opt;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<ScpiLink> m_link;
    std::unique_ptr<BigAry> m_buffer;
    std::unique_ptr<SineTone> m_tone;
    std::unique_ptr<MainForm> m_main;
    std::unique_ptr<THELPf> m_help;
    std::unique_ptr<TCommFrm> m_comm;
    std::unique_ptr<Ttempcalcf> m_temp;
    std::unique_ptr<UnixSignals> m_signals;
    Tconff *m_conff = nullptr; // child of the main window
    TSplash *m_splash = nullptr;
    QList<int> m_fonts;
};
