// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/settings.h"
#include "link/linkhost.h"
#include "link/scpilink.h"
#include "simulator.h"

#include <QStringList>
#include <QTest>

// Records what the link shows in the main window.
class RecordingHost : public LinkHost
{
public:
    QStringList measTexts;
    QStringList datalas;
    QString appTitle;
    QString eolStatus;
    int afterConnectCalls = 0;
    int processRequests = 0;
    long double reading = 0;

    void setMeasText(const QString &t) override { measTexts << t; }
    void setDatalas(const QString &t) override { datalas << t; }
    void setAppTitle(const QString &t) override { appTitle = t; }
    void setEolStatus(const QString &t) override { eolStatus = t; }
    void afterConnect() override { ++afterConnectCalls; }
    void setCurrentReading(long double v) override { reading = v; }
    void requestProcessReading() override { ++processRequests; }
};

// A link connected to an in-process simulator, with its log kept.
struct LinkFixture
{
    Settings settings;
    sim::Simulator sim;
    RecordingHost host;
    ScpiLink link{settings};
    QStringList log;

    LinkFixture()
    {
        settings.LanTimeout = 400;
        settings.DataTimeout = 3000;
        link.setHost(&host);
        QObject::connect(&link, &ScpiLink::logLine, [this](const QString &l) { log << l; });
    }
    bool start() { return sim.listen(0) && link.Connect(QStringLiteral("127.0.0.1"), sim.port()); }
    bool logHas(const QString &part) const
    {
        for (const QString &l : log) {
            if (l.contains(part))
                return true;
        }
        return false;
    }
};
