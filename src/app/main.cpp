// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tervaxis"));

    Startup::Options options;
    options.args = QApplication::arguments().mid(1);
    options.programDir = QApplication::applicationDirPath();
    options.probeTimes = qEnvironmentVariableIsSet("TERVAXIS_STARTUP_PROBE");
    Startup startup(options);
    return startup.run();
}
