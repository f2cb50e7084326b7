// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/settings.h"
#include "engine/bigary.h"
#include "engine/cycle.h"
#include "engine/readingengine.h"
#include "engine/readinglinkhost.h"
#include "link/scpilink.h"

#include <QCoreApplication>
#include <QElapsedTimer>

// The link, the reading engine and the measuring cycle, wired as the main window wires them.
struct CycleRig
{
    Settings s;
    ScpiLink link{s};
    BigAry buffer;
    ReadingEngine engine{s};
    MeasurementCycle cycle{s, link, engine, buffer};
    ReadingLinkHost linkHost{s};

    CycleRig()
    {
        linkHost.attach(&engine, &cycle);
        link.setHost(&linkHost);
    }

    // Automatic measuring for `ms`, then off with the last cycle finished; the seconds taken.
    double measureFor(int ms)
    {
        QElapsedTimer wall;
        wall.start();
        cycle.automeas1cbClick(true);
        while (wall.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        cycle.automeas1cbClick(false);
        while (cycle.busy())
            QCoreApplication::processEvents();
        return wall.elapsed() / 1000.0;
    }
};
