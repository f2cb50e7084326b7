// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "app/commandline.h"
#include "app/configdialog.h"
#include "app/dialogs.h"
#include "app/settings.h"
#include "link/commwindow.h"
#include "link/scpilink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {
constexpr int kClientWidth = 650;
constexpr int kClientHeight = 490;
constexpr int kNarrowWidth = 424;
constexpr int kWideWidth = 651;
} // namespace

MainForm::MainForm(Settings &settings, ScpiLink &link, QWidget *parent)
    : QMainWindow(parent), m_s(settings), m_link(link)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(dialogs::kProgramName);

    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(2, 2, 2, 2);
    m_displayPanel = new QFrame(central);
    m_displayPanel->setObjectName(QStringLiteral("Panel1"));
    m_displayPanel->setAutoFillBackground(true);
    QPalette pal = m_displayPanel->palette();
    pal.setColor(QPalette::Window, Qt::black);
    m_displayPanel->setPalette(pal);
    m_displayPanel->setFixedWidth(kNarrowWidth - 4);
    auto *display = new QVBoxLayout(m_displayPanel);
    m_meastext1 = new QLabel(m_displayPanel);
    m_meastext1->setObjectName(QStringLiteral("meastext1"));
    m_meastext1->setStyleSheet(QStringLiteral("color: #00ff00; font-size: 28pt;"));
    display->addWidget(m_meastext1);
    display->addStretch();
    m_datalas = new QLabel(m_displayPanel);
    m_datalas->setObjectName(QStringLiteral("datalas"));
    m_datalas->setStyleSheet(QStringLiteral("color: #a0a0a0;"));
    display->addWidget(m_datalas);
    row->addWidget(m_displayPanel);
    buildPages();
    row->addWidget(m_PageControl1, 1);
    setCentralWidget(central);

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("stb1"));
    const int widths[3] = {100, 150, 100};
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("stb1_%1").arg(i));
        // Long texts must not widen the window past its narrow layout.
        m_panels[i]->setMinimumWidth(widths[i]);
        m_panels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        bar->addWidget(m_panels[i], i == 0 ? 2 : 1);
    }
    setStatusBar(bar);

    buildMenus();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height() + bar->sizeHint().height());
}

void MainForm::buildPages()
{
    m_PageControl1 = new QTabWidget(this);
    m_PageControl1->setObjectName(QStringLiteral("PageControl1"));
    static const char *const kPages[][2] = {{"TabSheet1", "Settings F5"},
                                            {"TabSheet2", "Multi F6"},
                                            {"TabSheet3", "Math F7"},
                                            {"TabSheet4", "Macro F8"},
                                            {"TabSheet5", "Instrument F3"}};
    for (const auto &p : kPages) {
        auto *page = new QWidget(m_PageControl1);
        page->setObjectName(QLatin1String(p[0]));
        m_PageControl1->addTab(page, QLatin1String(p[1]));
    }
    m_PageControl1->setCurrentIndex(0);
}

void MainForm::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    QAction *conf = file->addAction(QStringLiteral("Configuration"));
    conf->setObjectName(QStringLiteral("Configuration1"));
    connect(conf, &QAction::triggered, this, &MainForm::Configuration1Click);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_deviceMenu = menuBar()->addMenu(QStringLiteral("&Device"));
    m_deviceMenu->setObjectName(QStringLiteral("Device1"));
    m_deviceMenu->setToolTipsVisible(true);
    QAction *comm = m_deviceMenu->addAction(QStringLiteral("Communication..."));
    comm->setObjectName(QStringLiteral("Communication1"));
    connect(comm, &QAction::triggered, this, &MainForm::Communication1Click);
    m_Connect1 = m_deviceMenu->addAction(QStringLiteral("Connect [Shift F2]"));
    m_Connect1->setObjectName(QStringLiteral("Connect1"));
    connect(m_Connect1, &QAction::triggered, this, &MainForm::toggleConnection);
    m_measurementMenu = menuBar()->addMenu(QStringLiteral("&Measurement"));
    m_measurementMenu->setObjectName(QStringLiteral("Measurement1"));

    m_more1 = menuBar()->addAction(m_lessCaption);
    m_more1->setObjectName(QStringLiteral("more1"));
    connect(m_more1, &QAction::triggered, this, &MainForm::more1Click);

    m_helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    m_helpMenu->setObjectName(QStringLiteral("Help2"));
    QAction *cmd = m_helpMenu->addAction(QStringLiteral("Command line parameters"));
    cmd->setObjectName(QStringLiteral("Commandlineparameters1"));
    connect(cmd, &QAction::triggered, this, &MainForm::Commandlineparameters1Click);
    m_helpMenu->addSeparator();
    QAction *data = m_helpMenu->addAction(QStringLiteral(" Open folder with data "));
    data->setObjectName(QStringLiteral("Openfolderwithdata1"));
    connect(data, &QAction::triggered, this,
            [this] { openFolder(m_s.DataDir + QStringLiteral("Log")); });
    QAction *cfg = m_helpMenu->addAction(QStringLiteral(" Open folder with configuration"));
    cfg->setObjectName(QStringLiteral("Openfolderwithconfiguration1"));
    connect(cfg, &QAction::triggered, this, [this] { openFolder(m_s.configDir); });
    QAction *prog = m_helpMenu->addAction(QStringLiteral(" Open program installation folder"));
    prog->setObjectName(QStringLiteral("Openprograminstallationfolder1"));
    connect(prog, &QAction::triggered, this, [this] { openFolder(m_s.programDir); });
    m_helpMenu->addSeparator();
    QAction *about = m_helpMenu->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, &MainForm::AboutClick);
}

void MainForm::setStatusPanel(int index, const QString &text)
{
    if (index >= 0 && index < 3)
        m_panels[index]->setText(text);
}

QString MainForm::statusPanel(int index) const
{
    return index >= 0 && index < 3 ? m_panels[index]->text() : QString();
}

void MainForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void MainForm::FormShow()
{
    m_PageControl1->setTabVisible(3, false);
    setStatusPanel(0, QStringLiteral("Press [Shift + F3] for connection to ") + m_s.host1 +
                          QLatin1Char(':') + m_s.port1);
    setStatusPanel(2, m_link.eolStatusText());
}

void MainForm::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_F2 && (e->modifiers() & Qt::ShiftModifier)) {
        toggleConnection();
        e->accept();
        return;
    }
    switch (e->key()) {
    case Qt::Key_F3:
        m_PageControl1->setCurrentIndex(4);
        break;
    case Qt::Key_F5:
        m_PageControl1->setCurrentIndex(0);
        break;
    case Qt::Key_F6:
        m_PageControl1->setCurrentIndex(1);
        break;
    case Qt::Key_F7:
        m_PageControl1->setCurrentIndex(2);
        break;
    case Qt::Key_F8:
        m_PageControl1->setCurrentIndex(3);
        break;
    case Qt::Key_F9:
        more1Click();
        break;
    default:
        QMainWindow::keyPressEvent(e);
        return;
    }
    e->accept();
}

void MainForm::setCommWindow(TCommFrm *comm)
{
    m_comm = comm;
    m_comm->setMainWindowVisible([this] { return isVisible(); });
    connect(m_comm, &TCommFrm::connectHintChanged, this, &MainForm::setConnectHint);
    setConnectHint(m_comm->connectHint());
}

void MainForm::toggleConnection()
{
    if (!m_comm)
        return;
    if (m_link.connected())
        m_comm->QuitCmdClick();
    else
        m_comm->INITbClick();
}

void MainForm::Communication1Click()
{
    if (!m_comm)
        return;
    m_comm->show();
    m_comm->raise();
    m_comm->activateWindow();
}

QString MainForm::measText() const
{
    return m_meastext1->text();
}

void MainForm::setMeasText(const QString &text)
{
    m_meastext1->setText(text);
    m_meastext1->repaint();
}

void MainForm::setConnectCaption(const QString &caption)
{
    m_Connect1->setText(caption);
}

void MainForm::setConnectHint(const QString &hint)
{
    m_Connect1->setToolTip(hint);
}

void MainForm::setDatalas(const QString &text)
{
    m_datalas->setText(text);
}

void MainForm::setAppTitle(const QString &title)
{
    if (m_appTitle == title)
        return;
    m_appTitle = title;
    QGuiApplication::setApplicationDisplayName(title);
}

void MainForm::setEolStatus(const QString &text)
{
    setStatusPanel(2, text);
}

void MainForm::more1Click()
{
    const int extra = width() - centralWidget()->width();
    if (centralWidget()->width() <= 600) {
        m_PageControl1->setVisible(true);
        resize(kWideWidth + extra, height());
        m_more1->setText(m_lessCaption);
    } else {
        m_more1->setText(m_moreCaption);
        m_PageControl1->setVisible(false);
        // Let the layout drop the pages' minimum width before shrinking.
        centralWidget()->layout()->activate();
        layout()->activate();
        resize(kNarrowWidth + extra, height());
    }
}

void MainForm::Configuration1Click()
{
    if (!m_conff)
        return;
    m_conff->show();
    m_conff->raise();
    m_conff->activateWindow();
}

void MainForm::Commandlineparameters1Click()
{
    dialogs::ShowNotice(this, commandline::helpText());
}

void MainForm::AboutClick()
{
    dialogs::ShowNotice(this, dialogs::kProgramName + QStringLiteral(" v ") +
                                  dialogs::versionText() +
                                  QStringLiteral("\n\nMade by Orva Tessel Service\n\n"
                                                 "https://orvatessel.example"));
}

void MainForm::openFolder(const QString &dir)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(dir));
}
