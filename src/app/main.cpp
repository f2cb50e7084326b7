// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/configdialog.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "app/unixsignals.h"
#include "engine/bigary.h"
#include "engine/sinetone.h"
#include "link/commwindow.h"
#include "link/scpilink.h"
#include "tempcalc/tempcalcf.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QSessionManager>

namespace {

// The display's fixed-pitch fonts: shipped next to the program, else the system's copy.
QList<int> registerFonts(const QString &programDir)
{
    QList<int> ids;
    for (const char *name : {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"}) {
        for (const QString &dir :
             {programDir, QStringLiteral("/usr/share/fonts/truetype/dejavu/")}) {
            const QString path = dir + QLatin1String(name);
            if (!QFile::exists(path))
                continue;
            const int id = QFontDatabase::addApplicationFont(path);
            if (id >= 0) {
                ids << id;
                break;
            }
        }
    }
    return ids;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tervaxis"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tervaxis..."));

    Settings settings;
    settings.configDir = settingsio::defaultConfigDir();
    settings.programDir = QApplication::applicationDirPath() + QLatin1Char('/');

    const QList<int> fonts = registerFonts(settings.programDir);

    ScpiLink link(settings);
    BigAry bigAry;
    SineTone tone;
    MainForm main(settings, link, bigAry, tone);
    link.setHost(&main);
    Ttempcalcf tempcalcf(settings, link);
    main.setTemperatureWindow(&tempcalcf);
    // SIGTERM, SIGINT and SIGHUP end the program as the end of the session does.
    UnixSignals unixSignals;
    unixSignals.setEnding([&] { return main.cycle().busy() || link.readbusy(); },
                          [&main] {
                              main.setShutdown();
                              if (main.close())
                                  QCoreApplication::exit(0);
                          });
    QObject::connect(&main.cycle(), &MeasurementCycle::cycleFinished, &unixSignals,
                     &UnixSignals::tryEnding);
    QStringList args = QApplication::arguments();
    args.removeFirst();
    Tconff conff(settings, args, &main);
    conff.setWindowFlag(Qt::Window);
    main.setConfigDialog(&conff);
    bigAry.setMaxBuffer(BigAry::maxBufferFromSetting(settings.BufferSize));

    TCommFrm comm(settings, link);
    main.setCommWindow(&comm);
    link.startSupervision();

    // Holding Shift while starting keeps the program offline.
    const bool shift = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
    if (!shift && settings.AutoConnect)
        comm.INITbClick();
    ScpiLink::DelayMs(200);

    // Logging off or shutting down closes without the question.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &main,
                     [&main](QSessionManager &) { main.setShutdown(); });
    int rc = 0;
    if (unixSignals.received()) {
        unixSignals.endNow(); // ended while starting
    } else {
        main.show();
        tempcalcf.startUp();
        rc = app.exec();
    }
    for (int id : fonts)
        QFontDatabase::removeApplicationFont(id);
    return rc;
}
