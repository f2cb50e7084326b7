// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger.h"
#include "loggeroptions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tervaxis"));

    LoggerOptions options;
    const QString error = LoggerOptions::parse(QCoreApplication::arguments().mid(1), options);
    if (error == QLatin1String("help")) {
        std::fputs(LoggerOptions::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tervaxis-log: %s\n\n%s", error.toLocal8Bit().constData(),
                     LoggerOptions::usage().toLocal8Bit().constData());
        return Logger::Usage;
    }
    Logger logger(options);
    const int rc = logger.start();
    if (rc >= 0)
        return rc;
    return QCoreApplication::exec();
}
