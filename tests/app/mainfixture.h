// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/dialogs.h"
#include "app/mainwindow.h"
#include "app/settings.h"
#include "engine/bigary.h"
#include "engine/recordingtone.h"
#include "link/commwindow.h"
#include "link/scpilink.h"
#include "simulator.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QTest>

// The whole main window against an in-process simulator, with message boxes answered.
struct MainFixture
{
    QTemporaryDir dir;
    Settings settings;
    sim::Simulator sim;
    ScpiLink link{settings};
    BigAry buffer{1000};
    RecordingTone tone;
    std::unique_ptr<MainForm> main;
    std::unique_ptr<TCommFrm> comm;
    QStringList notices;
    QStringList questions;
    bool answerYes = true;

    MainFixture()
    {
        settings.configDir = dir.path() + QStringLiteral("/cfg/");
        settings.DataDir = dir.path() + QStringLiteral("/data/");
        settings.DataTimeout = 2000;
        dialogs::setNoticeHandler([this](const QString &t) { notices << t; });
        dialogs::setQuestionHandler([this](const QString &, const QString &text) {
            questions << text;
            return answerYes;
        });
        main = std::make_unique<MainForm>(settings, link, buffer, tone);
        link.setHost(main.get());
        comm = std::make_unique<TCommFrm>(settings, link);
        main->setCommWindow(comm.get());
        link.startSupervision();
    }
    ~MainFixture()
    {
        main->cycle().automeas1cbClick(false);
        dialogs::setNoticeHandler({});
        dialogs::setQuestionHandler({});
        dialogs::setSaveNameHandler({});
        link.setHost(nullptr);
    }
    bool connectAndShow()
    {
        if (!sim.listen(0))
            return false;
        settings.host1 = QStringLiteral("127.0.0.1");
        settings.port1 = QString::number(sim.port());
        comm->ShowDevice();
        main->show();
        comm->INITbClick();
        return link.connected();
    }
    template <typename T>
    T *find(const char *name) const
    {
        return namedChild<T>(main.get(), name);
    }
};
