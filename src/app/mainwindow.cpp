// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "app/commandline.h"
#include "app/configdialog.h"
#include "app/dialogs.h"
#include "app/keypreview.h"
#include "app/numerickeyfilter.h"
#include "app/settings.h"
#include "data/autosaver.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/mainclipboard.h"
#include "engine/bigary.h"
#include "engine/chartpanel.h"
#include "engine/mathpage.h"
#include "engine/measuringsession.h"
#include "engine/multipage.h"
#include "engine/readingarea.h"
#include "engine/readingcontroller.h"
#include "engine/readingformat.h"
#include "graph/graphwindow.h"
#include "instrument/devicecommands.h"
#include "instrument/devicepage.h"
#include "instrument/settingspage.h"
#include "lang/helpwindow.h"
#include "lang/langtexts.h"
#include "link/commwindow.h"
#include "link/scpilink.h"
#include "tempcalc/tempcalcf.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kClientHeight = 490;
// The chart with its histogram beside it is 448 pixels wide; the narrow layout shows
// the whole display panel and the wide one adds the pages.
constexpr int kDisplayWidth = 456;
constexpr int kNarrowWidth = kDisplayWidth + 4;
constexpr int kWideWidth = kNarrowWidth + 227;
// Between the display and a page's contents: layout spacing and the page control's frame.
constexpr int kPageFrame = 12;
constexpr int kPageMacro = 3;

// Pages scroll rather than widen the window past its fixed client width.
QWidget *scrolled(QWidget *page, QWidget *parent)
{
    auto *area = new QScrollArea(parent);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(page);
    return area;
}

// Rewrites a delay edit to the number it took, without echoing the change back.
void showNormalised(QLineEdit *edit, const QString &text, const QString &hint)
{
    if (edit->text() != text) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
    edit->setToolTip(hint);
}
} // namespace

MainForm::MainForm(Settings &settings, ScpiLink &link, BigAry &buffer, ToneOutput &tone,
                   QWidget *parent)
    : QMainWindow(parent), ReadingLinkHost(settings), m_s(settings), m_link(link), m_buffer(buffer),
      m_port(link)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(dialogs::kProgramName);

    m_session = new MeasuringSession(settings, link, buffer, this);
    m_cycle = &m_session->cycle();
    m_series = &m_session->series();
    m_saver = &m_session->saver();
    m_reading = new ReadingController(m_session->engine(), tone, this);
    m_chart = new ChartController(settings, m_reading->engine(), this);
    m_series->setProcessReading([this] { m_reading->ProcessReading(); });
    m_graph = new TGraphFrm(settings, buffer, this);
    m_graph->setWindowFlag(Qt::Window);
    m_graph->setEnvironmentSource([this] { return m_session->environment(); });
    m_graph->setCurrentRecordSource([this] { return m_reading->engine().currentRecord(); });
    connect(m_saver, &AutoSaver::statusText, this, [this](const QString &t) {
        setStatusPanel(0, t);
        statusBar()->repaint();
    });
    connect(m_saver, &AutoSaver::waitHint, this,
            [this](const QString &t) { m_instumentids->setToolTip(t); });
    connect(m_saver, &AutoSaver::directoryProblem, this,
            [this](const QString &t) { dialogs::ShowError(this, t); });
    m_cycle->setHost(this);
    m_cycle->setProcessReading([this] { m_reading->ProcessReading(); });
    attach(&m_reading->engine(), m_cycle);
    connect(m_reading, &ReadingController::titleChanged, this, &MainForm::setAppTitle);
    connect(m_reading, &ReadingController::chartRedrawRequested, this,
            [this] { m_chart->UpdateChart(false); });
    connect(m_chart, &ChartController::statusText, this, &MainForm::setStatusPanel);
    connect(m_chart, &ChartController::countdownHeld, m_cycle, &MeasurementCycle::holdStatus);

    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(2, 2, 2, 2);
    buildDisplay();
    row->addWidget(m_displayPanel);
    buildPages();
    row->addWidget(m_PageControl1, 1);
    // One identification line, at the top of the display; the terminals beside the
    // measure controls, so both show in the narrow layout too.
    m_instumentids = m_settingsPage->instumentids();
    static_cast<QBoxLayout *>(m_displayPanel->layout())->insertWidget(0, m_instumentids);
    m_controlsRow->insertWidget(m_controlsRow->count() - 2, m_settingsPage->termlab());
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
    // The identification line of a real instrument is longer than the display is wide.
    m_instumentids->setWordWrap(true);
    fitStartSize();
    m_reading->readingArea()->setStatusText(QString());
    m_reading->readingArea()->measprop1()->setText(QStringLiteral("Def\n\nDef"));
    KeyPreview::install(this, [this](QKeyEvent *e) { return FormKeyDown(e); });
}

MainForm::~MainForm()
{
    // The cycle and the link must not call back into a half-destroyed window.
    m_cycle->setHost(nullptr);
    m_cycle->casak()->stop();
    m_link.setHost(nullptr);
    // Pages and controllers hook into the reading engine and the series runner, so they go
    // first; children would otherwise die in creation order, engine before its users.
    delete takeCentralWidget();
    delete m_chart;
    delete m_reading;
    delete m_session;
}

void MainForm::buildDisplay()
{
    m_displayPanel = new QFrame(this);
    m_displayPanel->setObjectName(QStringLiteral("Panel1"));
    m_displayPanel->setAutoFillBackground(true);
    QPalette pal = m_displayPanel->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, QColor(0, 255, 0));
    m_displayPanel->setPalette(pal);
    m_displayPanel->setFixedWidth(kDisplayWidth);

    auto *col = new QVBoxLayout(m_displayPanel);
    col->setContentsMargins(4, 4, 4, 4);
    m_area = m_reading->createReadingArea(m_displayPanel);
    col->addWidget(m_area);

    auto *controls = new QHBoxLayout;
    m_measb = new QPushButton(QStringLiteral("Measure  F11"), m_displayPanel);
    m_measb->setObjectName(QStringLiteral("measb"));
    m_measb->setAutoDefault(false);
    m_automeas1cb = new QCheckBox(QStringLiteral("Measure &Automatically"), m_displayPanel);
    m_automeas1cb->setObjectName(QStringLiteral("automeas1cb"));
    m_big_chl = new QLabel(QStringLiteral("Big Chart"), m_displayPanel);
    m_big_chl->setObjectName(QStringLiteral("big_chl"));
    m_big_chl->setCursor(Qt::PointingHandCursor);
    m_big_chl->installEventFilter(this);
    controls->addWidget(m_measb);
    controls->addWidget(m_automeas1cb);
    controls->addStretch();
    m_controlsRow = controls;
    m_autosavel = new QLabel(QStringLiteral("Save"), m_displayPanel);
    m_autosavel->setObjectName(QStringLiteral("autosavel"));
    m_autosavel->setCursor(Qt::PointingHandCursor);
    m_autosavel->installEventFilter(this);
    controls->addWidget(m_autosavel);
    controls->addWidget(m_big_chl);
    col->addLayout(controls);
    col->addWidget(m_chart->createChartPanel(m_displayPanel));
    auto *stats = new QHBoxLayout;
    stats->addWidget(m_chart->createStatisticsLabel(m_displayPanel), 1);
    stats->addWidget(m_chart->createMean10Box(m_displayPanel), 0, Qt::AlignTop);
    col->addLayout(stats);
    col->addStretch();

    m_datalas = new QLabel(m_displayPanel);
    m_datalas->setObjectName(QStringLiteral("datalas"));
    m_datalas->setStyleSheet(QStringLiteral("color: #a0a0a0;"));
    col->addWidget(m_datalas);

    connect(m_measb, &QPushButton::clicked, m_cycle, &MeasurementCycle::measbClick);
    connect(m_automeas1cb, &QCheckBox::toggled, m_cycle, &MeasurementCycle::automeas1cbClick);
}

void MainForm::buildPages()
{
    m_PageControl1 = new QTabWidget(this);
    m_PageControl1->setObjectName(QStringLiteral("PageControl1"));
    m_PageControl1->setUsesScrollButtons(true);
    m_PageControl1->setElideMode(Qt::ElideNone);

    auto *settingsTab = new QWidget(m_PageControl1);
    settingsTab->setObjectName(QStringLiteral("TabSheet1"));
    auto *sl = new QVBoxLayout(settingsTab);
    auto *measpargb = new QGroupBox(QStringLiteral("Measurement"), settingsTab);
    measpargb->setObjectName(QStringLiteral("measpargb"));
    auto *gl = new QVBoxLayout(measpargb);
    gl->setContentsMargins(2, 2, 2, 2);
    m_settingsPage = new SettingsPage(measpargb);
    gl->addWidget(m_settingsPage);
    sl->addWidget(measpargb);
    auto *delays = new QFormLayout;
    m_measdele = new QLineEdit(QStringLiteral("0"), settingsTab);
    m_measdele->setObjectName(QStringLiteral("measdele"));
    m_logtimele = new QLineEdit(QStringLiteral("0"), settingsTab);
    m_logtimele->setObjectName(QStringLiteral("logtimele"));
    NumericKeyFilter::install(m_measdele);
    NumericKeyFilter::install(m_logtimele);
    delays->addRow(QStringLiteral("&Repeat delay ms"), m_measdele);
    delays->addRow(QStringLiteral("Chart de&lay ms"), m_logtimele);
    sl->addLayout(delays);
    auto *measnote = new QLabel(settingsTab);
    measnote->setObjectName(QStringLiteral("measnote"));
    measnote->setWordWrap(true);
    sl->addWidget(measnote);
    sl->addStretch();
    m_PageControl1->addTab(scrolled(settingsTab, m_PageControl1), QStringLiteral("Settings F5"));

    m_multiPage = new MultiPage(*m_series, m_PageControl1);
    m_multiPage->setHost(this);
    m_PageControl1->addTab(scrolled(m_multiPage, m_PageControl1), QStringLiteral("Multi F6"));

    m_mathPage = m_reading->createMathPage(m_PageControl1);
    m_PageControl1->addTab(scrolled(m_mathPage, m_PageControl1), QStringLiteral("Math F7"));

    auto *macro = new QWidget(m_PageControl1);
    macro->setObjectName(QStringLiteral("TabSheet4"));
    m_PageControl1->addTab(macro, QStringLiteral("Macro F8"));

    m_devicePage = new DevicePage(m_s, m_PageControl1);
    m_devicePage->setObjectName(QStringLiteral("instrtab"));
    m_PageControl1->addTab(scrolled(m_devicePage, m_PageControl1), QStringLiteral("Instrument F3"));
    m_PageControl1->setCurrentIndex(0);

    connect(m_measdele, &QLineEdit::textChanged, this, [this](const QString &t) {
        QString hint;
        showNormalised(m_measdele, m_cycle->measdeleChange(t, &hint), hint);
    });
    connect(m_logtimele, &QLineEdit::textChanged, this, [this](const QString &t) {
        QString hint;
        showNormalised(m_logtimele, m_cycle->logtimeleChange(t, &hint), hint);
    });
    connect(m_settingsPage, &SettingsPage::measchRequested, this, &MainForm::measchClick);
    connect(m_settingsPage, &SettingsPage::geterrRequested, this, &MainForm::geterrbClick);
    connect(m_settingsPage, &SettingsPage::displayTextEntered, this,
            [this](const QString &text) { setupseq::sendDisplayText(m_port, text); });
    connect(m_settingsPage, &SettingsPage::configCommandChanged, this,
            [this](const QString &conf, const QString &opt) {
                if (m_comm)
                    m_comm->setMeasparm(conf, opt);
            });
    connect(m_devicePage, &DevicePage::statusText, this,
            [this](const QString &t) { setStatusPanel(0, t); });
    connect(m_devicePage, &DevicePage::connectRequested, this, [this] {
        // During a connect the row must not overwrite the address being connected to.
        if (!m_comm || m_link.connected() || m_link.sequenceRunning())
            return;
        m_comm->ShowDevice();
        m_comm->INITbClick();
    });
    connect(&m_link, &ScpiLink::connectedChanged, m_devicePage, &DevicePage::setConnected);
    connect(m_cycle, &MeasurementCycle::cycleFinished, this, &MainForm::runPendingSetup);
    connect(&m_link, &ScpiLink::sequenceEnded, this, [this] {
        if (m_connectPressPending)
            QMetaObject::invokeMethod(this, &MainForm::Connect1Click, Qt::QueuedConnection);
    });
}

void MainForm::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    file->setToolTipsVisible(true);
    m_Savealldata1 = file->addAction(QStringLiteral("Save all data"));
    m_Savealldata1->setObjectName(QStringLiteral("Savealldata1"));
    m_Savealldata1->setCheckable(true);
    m_Savealldata1->setToolTip(QStringLiteral("Save to file:\n"));
    connect(m_Savealldata1, &QAction::triggered, this, &MainForm::Savealldata1Click);
    QAction *saveData = file->addAction(QStringLiteral("Save Data..."));
    saveData->setObjectName(QStringLiteral("Savedb"));
    connect(saveData, &QAction::triggered, this, &MainForm::SavedbClick);
    QAction *saveChart = file->addAction(QStringLiteral("Save Chart..."));
    saveChart->setObjectName(QStringLiteral("SaveGraph1"));
    connect(saveChart, &QAction::triggered, this, &MainForm::SaveGraph1Click);
    file->addSeparator();
    QAction *conf = file->addAction(QStringLiteral("Configuration"));
    conf->setObjectName(QStringLiteral("Configuration1"));
    connect(conf, &QAction::triggered, this, &MainForm::Configuration1Click);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *device = menuBar()->addMenu(QStringLiteral("&Device"));
    device->setObjectName(QStringLiteral("Instrument1"));
    device->setToolTipsVisible(true);
    m_Connect1 = device->addAction(QStringLiteral("Connect [Shift F2]"));
    m_Connect1->setObjectName(QStringLiteral("Connect1"));
    connect(m_Connect1, &QAction::triggered, this, &MainForm::Connect1Click);
    QAction *comm = device->addAction(QStringLiteral("Communication..."));
    comm->setObjectName(QStringLiteral("Communication1"));
    connect(comm, &QAction::triggered, this, &MainForm::Communication1Click);
    device->addSeparator();
    m_Alternatereading1 = device->addAction(QStringLiteral("Set alternative reading"));
    m_Alternatereading1->setObjectName(QStringLiteral("Alternatereading1"));
    m_Alternatereading1->setCheckable(true);
    connect(m_Alternatereading1, &QAction::triggered, m_cycle,
            &MeasurementCycle::Alternatereading1Click);
    auto command = [this, device](const char *name, const QString &caption,
                                  QLatin1StringView scpi) {
        QAction *a = device->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, scpi] { m_link.SendCmd(scpi); });
        return a;
    };
    m_settimedate1 = device->addAction(QStringLiteral("Set DMM Time and Date from computer !"));
    m_settimedate1->setObjectName(QStringLiteral("settimedate1"));
    connect(m_settimedate1, &QAction::triggered, this, [this] {
        setupseq::setTimeAndDate(m_port, [] { return QDateTime::currentDateTime(); });
    });
    m_Setlocalmode1 = command("Setlocalmode1", QStringLiteral("Set local mode"), devcmd::kLocal);
    m_Setremotemode1 =
        command("Setremotemode1", QStringLiteral("Set remote mode"), devcmd::kRemote);
    m_Setromotemodewithlock1 =
        command("Setromotemodewithlock1", QStringLiteral("Set remote mode with lock"),
                devcmd::kRemoteWithLock);
    device->addSeparator();
    m_Reset1 = device->addAction(QStringLiteral("Reset!"));
    m_Reset1->setObjectName(QStringLiteral("Reset1"));
    connect(m_Reset1, &QAction::triggered, this, &MainForm::Reset1Click);
    connect(device, &QMenu::aboutToShow, this, &MainForm::updateMenuEnabling);

    QMenu *meas = menuBar()->addMenu(QStringLiteral("&Measurement"));
    meas->setObjectName(QStringLiteral("Measurement1"));
    m_AddmeasurementtobigChart1 = meas->addAction(QStringLiteral("Add measurement to big Chart"));
    m_AddmeasurementtobigChart1->setObjectName(QStringLiteral("AddmeasurementtobigChart1"));
    m_AddmeasurementtobigChart1->setCheckable(true);
    m_AddmeasurementtobigChart1->setChecked(true);
    connect(m_AddmeasurementtobigChart1, &QAction::toggled, this, &MainForm::showBigChartState);
    QAction *bigChart = meas->addAction(QStringLiteral("Large Chart"));
    bigChart->setObjectName(QStringLiteral("Showdataingraph1"));
    connect(bigChart, &QAction::triggered, this, [this] {
        m_graph->setVisible(!m_graph->isVisible());
        if (m_graph->isVisible())
            m_graph->raise();
    });
    m_AutoCalculatetemperature1 = meas->addAction(QStringLiteral("Auto Calculate temperature"));
    m_AutoCalculatetemperature1->setObjectName(QStringLiteral("AutoCalculatetemperature1"));
    m_AutoCalculatetemperature1->setCheckable(true);
    m_AutoCalculatetemperature1->setEnabled(false);
    m_AutoCalculatetemperature1->setToolTip(QStringLiteral(
        "Calculate temperature from resistance measurement, math applied to raw value before "
        "calculation"));
    meas->setToolTipsVisible(true);
    connect(m_AutoCalculatetemperature1, &QAction::triggered, this, &MainForm::runAutoTempHandler);
    meas->addSeparator();
    meas->addAction(m_chart->ClearGraph1());
    meas->addAction(m_chart->ClearMath1());
    meas->addSeparator();
    m_clip = new MainClipboard(m_s, m_reading->engine(), *m_chart, m_area, this);
    m_clip->addMenuItems(meas);
    connect(meas, &QMenu::aboutToShow, this, &MainForm::updateMenuEnabling);

    m_more1 = menuBar()->addAction(lang::text(u"Lesss"));
    m_more1->setObjectName(QStringLiteral("more1"));
    connect(m_more1, &QAction::triggered, this, &MainForm::more1Click);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help2"));
    help->setToolTipsVisible(true);
    QAction *helpText = help->addAction(QStringLiteral("Tervaxis Help"));
    helpText->setObjectName(QStringLiteral("Help1"));
    connect(helpText, &QAction::triggered, this, &MainForm::Help1Click);
    QAction *cmd = help->addAction(QStringLiteral("Command line parameters"));
    cmd->setObjectName(QStringLiteral("Commandlineparameters1"));
    connect(cmd, &QAction::triggered, this, &MainForm::Commandlineparameters1Click);
    QAction *info = help->addAction(QStringLiteral("Internal Info"));
    info->setObjectName(QStringLiteral("InternalInfo1"));
    connect(info, &QAction::triggered, this, &MainForm::InternalInfo1Click);
    help->addSeparator();
    QAction *data = help->addAction(QStringLiteral(" Open folder with data "));
    data->setObjectName(QStringLiteral("Openfolderwithdata1"));
    connect(data, &QAction::triggered, this,
            [this] { openFolder(m_s.DataDir + QStringLiteral("Log")); });
    QAction *cfg = help->addAction(QStringLiteral(" Open folder with configuration"));
    cfg->setObjectName(QStringLiteral("Openfolderwithconfiguration1"));
    connect(cfg, &QAction::triggered, this, [this] { openFolder(m_s.configDir); });
    QAction *prog = help->addAction(QStringLiteral(" Open program installation folder"));
    prog->setObjectName(QStringLiteral("Openprograminstallationfolder1"));
    connect(prog, &QAction::triggered, this, [this] { openFolder(m_s.programDir); });
    help->addSeparator();
    QAction *about = help->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, &MainForm::AboutClick);
}

void MainForm::setConfigDialog(Tconff *dialog)
{
    m_conff = dialog;
    if (m_conff)
        m_conff->setCalculateTemperatureSource(
            [this] { return m_AutoCalculatetemperature1->isChecked(); });
}

void MainForm::setCommWindow(TCommFrm *comm)
{
    m_comm = comm;
    m_comm->setMainWindowVisible([this] { return isVisible(); });
    connect(m_comm, &TCommFrm::connectHintChanged, this, &MainForm::setConnectHint);
    setConnectHint(m_comm->connectHint());
    m_comm->setMeasparm(m_settingsPage->configCommands().configuration,
                        m_settingsPage->configCommands().option);
}

void MainForm::setTemperatureWindow(Ttempcalcf *window)
{
    m_tempcalcf = window;
    if (auto *meas = menuBar()->findChild<QMenu *>(QStringLiteral("Measurement1")))
        meas->insertAction(m_AutoCalculatetemperature1, window->Temperaturecalculation1());
    m_reading->engine().autoTemperature = [this](long double ohm) -> std::optional<long double> {
        if (!m_tempcalcf || !autoTemperatureOn())
            return std::nullopt;
        return m_tempcalcf->ConvertReading(ohm);
    };
    connect(window, &Ttempcalcf::probeLineChanged, m_saver, &AutoSaver::setPendingComment);
    m_saver->setPendingComment(window->probeLine());
}

QString MainForm::statusPanel(int index) const
{
    return index >= 0 && index < 3 ? m_panels[index]->text() : QString();
}

QString MainForm::measText() const
{
    return m_area->meastext1()->text();
}

void MainForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void MainForm::fitStartSize()
{
    // Starts wide, one pixel short of what the width toggle gives.
    const QSize pages = sizeForPages();
    m_wideWidth = pages.width();
    resize(m_wideWidth - 1,
           pages.height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

void MainForm::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    // The language's captions decide how wide the tabs are.
    if (e->type() == QEvent::LanguageChange && !m_shown)
        fitStartSize();
}

void MainForm::FormShow()
{
    m_reading->applySettings();
    m_multiPage->applySettings();
    m_PageControl1->setTabVisible(kPageMacro, false);
    fitStartSize();
    m_measdele->setText(QString::number(m_s.MeasRepeatTime));
    m_logtimele->setText(QString::number(m_s.GraphRepeatTime));
    // With the link up, the read-back of the connect has already filled the page.
    if (m_link.connected())
        m_settingsPage->rebuildKeepingReadBack();
    else
        m_settingsPage->meastypecbChange();
    m_chart->EraseChart();
    m_chart->ClearStatistic();
    setStatusPanel(0, QStringLiteral("Press [Shift + F3] for connection to ") + m_s.host1 +
                          QLatin1Char(':') + m_s.port1);
    if (m_s.AllwaysSaveData) {
        m_Savealldata1->setChecked(true);
        Savealldata1Click();
    }
    showBigChartState();
    showSaveState();
    m_devicePage->FillDeviceGrid();
    m_devicePage->setConnected(m_link.connected());
    setStatusPanel(2, m_link.eolStatusText());
    if (m_s.CalculateTemperature) {
        m_AutoCalculatetemperature1->setChecked(true);
        runAutoTempHandler();
    }
}

void MainForm::keyPressEvent(QKeyEvent *e)
{
    if (!FormKeyDown(e))
        QMainWindow::keyPressEvent(e);
}

bool MainForm::FormKeyDown(QKeyEvent *e)
{
    const int key = e->key();
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    // Each test stands alone, so a key with modifiers also does the plain key's action.
    if (key == Qt::Key_F1)
        Help1Click();
    if (key == Qt::Key_F3) {
        m_PageControl1->setCurrentIndex(4);
        m_measb->setFocus();
    }
    if (key == Qt::Key_F5) {
        m_PageControl1->setCurrentIndex(0);
        if (auto *type = m_settingsPage->findChild<QWidget *>(QStringLiteral("meastypecb")))
            type->setFocus();
    }
    if (key == Qt::Key_F6) {
        m_PageControl1->setCurrentIndex(1);
        m_multiPage->fetche()->setFocus();
    }
    if (key == Qt::Key_F7) {
        m_PageControl1->setCurrentIndex(2);
        m_measb->setFocus();
    }
    if (key == Qt::Key_F8) {
        m_PageControl1->setCurrentIndex(3);
        m_measb->setFocus();
    }
    if (key == Qt::Key_F9)
        more1Click();
    if (key == Qt::Key_F11 && m_measb->isEnabled())
        m_measb->click();
    const bool copy = key == Qt::Key_Insert && (e->modifiers() & Qt::ControlModifier);
    if (copy)
        Copylastmeasuredvaluetoclipboard1Click();
    if (key == Qt::Key_F2 && shift)
        Connect1Click();
    const bool handled = key == Qt::Key_F1 || key == Qt::Key_F3 || key == Qt::Key_F5 ||
                         key == Qt::Key_F6 || key == Qt::Key_F7 || key == Qt::Key_F8 ||
                         key == Qt::Key_F9 || key == Qt::Key_F10 || key == Qt::Key_F11 ||
                         (key == Qt::Key_F2 && shift) || copy;
    if (!handled)
        return false;
    e->accept();
    if (QWidget *active = focusWidget(); active && isActiveWindow())
        active->setFocus();
    return true;
}

void MainForm::Help1Click()
{
    const QString chm = m_s.programDir + QStringLiteral("kavolin.chm");
    if (QFile::exists(chm) && QDesktopServices::openUrl(QUrl::fromLocalFile(chm)))
        return;
    if (m_help) {
        m_help->show();
        m_help->raise();
        m_help->activateWindow();
    }
}

void MainForm::updateMenuEnabling()
{
    const bool measure = m_measb->isEnabled();
    for (QAction *a : {m_Alternatereading1, m_Setlocalmode1, m_Setremotemode1,
                       m_Setromotemodewithlock1, m_settimedate1})
        a->setEnabled(measure);
    m_Reset1->setEnabled(m_link.connected());
}

void MainForm::showBigChartState()
{
    const bool on = m_AddmeasurementtobigChart1->isChecked();
    m_big_chl->setStyleSheet(on ? QStringLiteral("color: rgb(0,255,0);")
                                : QStringLiteral("color: rgb(128,128,128);"));
}

void MainForm::showSaveState()
{
    const QColor c = m_saver->indicatorColor();
    m_autosavel->setStyleSheet(
        QStringLiteral("color: rgb(%1,%2,%3);").arg(c.red()).arg(c.green()).arg(c.blue()));
    m_autosavel->setToolTip(m_saver->indicatorHint());
    m_Savealldata1->setToolTip(m_saver->menuHint());
}

void MainForm::Savealldata1Click()
{
    m_session->setSaving(m_Savealldata1->isChecked(), m_conff ? m_conff->defaultFileType() : 2);
    showSaveState();
}

void MainForm::autosavelClick()
{
    m_Savealldata1->setChecked(!m_Savealldata1->isChecked());
    Savealldata1Click();
}

namespace {
const QStringList kSaveFilters = {
    QStringLiteral("Comma separated (*.txt)"), QStringLiteral("Tab separated (*.txt)"),
    QStringLiteral("Semicolon separated (*.csv)"), QStringLiteral("Any file (*)")};
} // namespace

void MainForm::SavedbClick()
{
    int filter = 3;
    const QString proposed =
        m_s.DataDir + QStringLiteral("Data_") +
        dtime::format(QStringLiteral("yyyymmdd-hhnnss"), m_reading->state().timeStamp);
    const QString name = dialogs::GetSaveFileName(this, QStringLiteral("Save Data"), proposed,
                                                  kSaveFilters, &filter);
    if (name.isEmpty())
        return;
    const datafile::FileKind kind = datafile::kindFromFilterIndex(filter);
    datafile::StartInfo info;
    info.readingStamp = m_reading->state().timeStamp;
    info.seriesMs = m_series->seriesDuration();
    info.delayMs = m_s.MeasDelayTime;
    info.repeatMs = m_s.MeasRepeatTime;
    const ChartStats &stats = m_chart->stats();
    QString error;
    const bool ok = datafile::writeChartFile(
        name + datafile::suffixOf(kind), kind, datafile::decimalSeparatorOf(m_s.DecSeparator), info,
        chart::kShown,
        [&stats](int i) {
            const ChartEntry &e = stats.entry(i);
            return datafile::ChartRow{e.rec, static_cast<uint32_t>(e.sampleNumber)};
        },
        &error);
    if (!ok)
        dialogs::ShowError(this, error);
}

void MainForm::SaveGraph1Click()
{
    int filter = 1;
    const QString proposed =
        m_s.DataDir + QStringLiteral("Graph_") +
        dtime::format(QStringLiteral("yyyymmdd-hhnnss"), m_reading->state().timeStamp) +
        QStringLiteral(".bmp");
    QString name = dialogs::GetSaveFileName(
        this, QStringLiteral("Choose filename"), proposed,
        {QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("Any file (*.*)")}, &filter);
    if (name.isEmpty())
        return;
    if (filter == 1 && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".bmp");
    const QImage picture = m_chart->chartPicture();
    if (picture.isNull())
        return;
    if (!picture.save(name, "BMP"))
        dialogs::ShowError(this, QStringLiteral("Cannot write ") + name);
}

void MainForm::Copylastmeasuredvaluetoclipboard1Click()
{
    m_clip->Copylastmeasuredvaluetoclipboard1Click();
}

void MainForm::FormClose()
{
    setMeasText(QStringLiteral("Closing"));
    m_automeas1cb->setChecked(false);
    QCoreApplication::processEvents();
    m_session->stopAndFlush();
    const int pause = m_link.connected() ? 500 : 5;
    for (const char *text : {"Closing.", "Closing..", "Closing...", "Closing *"}) {
        ScpiLink::DelayMs(pause);
        setMeasText(QLatin1String(text));
    }
    m_link.Disconnect();
}

void MainForm::closeEvent(QCloseEvent *e)
{
    if (m_closed) {
        e->accept();
        return;
    }
    if (!m_shutdown && !m_closeConfirmed) {
        // Asked without a nested event loop, so measuring and a termination signal are
        // served while the question is open.
        e->ignore();
        m_inCloseEvent = true;
        askToClose();
        m_inCloseEvent = false;
        if (!m_closeConfirmed)
            return;
    }
    m_closed = true;
    FormClose();
    e->accept();
    emit formClosed();
}

void MainForm::askToClose()
{
    if (m_asking)
        return;
    m_asking = true;
    dialogs::AskYesNoLater(this, windowTitle(), lang::text(u"sAplClose"), [this](bool yes) {
        m_asking = false;
        // The session ended while the question was open: it closes as the session's end does.
        if (!yes && !m_shutdown)
            return;
        m_closeConfirmed = true;
        if (!m_inCloseEvent)
            close();
    });
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_autosavel) {
            autosavelClick();
            return true;
        }
        if (watched == m_big_chl) {
            m_AddmeasurementtobigChart1->toggle();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainForm::Connect1Click()
{
    if (!m_comm)
        return;
    if (m_link.sequenceRunning()) {
        // The last press decides: carried out once the running sequence is over (a second
        // press takes the first back).
        m_connectPressPending = !m_connectPressPending;
        return;
    }
    m_connectPressPending = false;
    if (m_link.connected())
        m_comm->QuitCmdClick();
    else
        m_comm->INITbClick();
    enableSeriesButtons();
}

void MainForm::Communication1Click()
{
    m_measb->setEnabled(true);
    if (!m_comm)
        return;
    m_comm->show();
    m_comm->raise();
    m_comm->activateWindow();
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

void MainForm::InternalInfo1Click()
{
    const ReadingState &st = m_reading->state();
    InternalInfo info;
    info.LastRaw = m_link.LastRaw;
    info.LastData = m_link.LastData;
    info.LastCMD = m_link.LastCMD;
    info.Lunits1 = st.Lunits1;
    info.Lunits2 = st.Lunits2;
    info.Units1 = st.Units1;
    info.Units2 = st.Units2;
    info.high = m_buffer.High();
    info.bigarypos = m_buffer.bigarypos();
    info.bigarycnt = m_buffer.bigarycnt();
    info.maxbuffer = m_buffer.maxbuffer();
    info.recordSize = sizeof(measpol);
    info.configDir = m_s.configDir;
    info.dataDir = m_s.DataDir;
    info.languageName = m_s.Language;
    info.terminator = QString::fromLatin1(m_link.EOL());
    dialogs::ShowNotice(this, internalInfoText(info));
}

void MainForm::Reset1Click()
{
    if (!dialogs::AskYesNo(this, windowTitle(), lang::text(u"sResetDev")))
        return;
    setupseq::resetDevice(m_port, *m_settingsPage, *this);
}

void MainForm::more1Click()
{
    const int extra = width() - centralWidget()->width();
    if (centralWidget()->width() <= 600) {
        m_PageControl1->setVisible(true);
        resize(m_wideWidth + extra, height());
        m_more1->setText(lang::text(u"Lesss"));
    } else {
        m_more1->setText(lang::text(u"Mores"));
        m_PageControl1->setVisible(false);
        // Let the layout drop the pages' minimum width before shrinking.
        centralWidget()->layout()->activate();
        layout()->activate();
        resize(kNarrowWidth + extra, height());
    }
}

QSize MainForm::sizeForPages() const
{
    // At the desktop's font every control of the largest page must show beside the display.
    QSize page;
    for (int i = 0; i < m_PageControl1->count(); ++i) {
        if (auto *area = qobject_cast<QScrollArea *>(m_PageControl1->widget(i)))
            page = page.expandedTo(area->widget()->minimumSizeHint());
    }
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // The tab row too: no caption behind scroll arrows.
    const int tabs = m_PageControl1->tabBar()->sizeHint().width() + kPageFrame;
    return {std::max({kWideWidth, kNarrowWidth + kPageFrame + page.width() + bar,
                      kNarrowWidth + kPageFrame + tabs}),
            std::max(kClientHeight,
                     kPageFrame + m_PageControl1->tabBar()->sizeHint().height() + page.height())};
}

void MainForm::openFolder(const QString &dir)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(dir));
}

// ---- LinkHost

void MainForm::setMeasText(const QString &text)
{
    m_area->setStatusText(text);
    m_area->meastext1()->repaint();
}

void MainForm::setStatusPanel(int index, const QString &text)
{
    if (index < 0 || index >= 3)
        return;
    m_panels[index]->setText(text);
    // The terminator's short text shows whole; the others give way.
    if (index == 2)
        m_panels[2]->setMinimumWidth(
            std::max(100, m_panels[2]->fontMetrics().horizontalAdvance(text) + 8));
}

void MainForm::setConnectCaption(const QString &caption)
{
    m_Connect1->setText(caption);
}

void MainForm::setConnectHint(const QString &hint)
{
    m_Connect1->setToolTip(hint);
}

void MainForm::setConnectButtonEnabled(bool enabled)
{
    m_devicePage->setConnected(!enabled);
}

void MainForm::setDatalas(const QString &text)
{
    m_datalas->setText(text);
}

void MainForm::setAppTitle(const QString &title)
{
    // The title the task bar shows: readings and the link's state alike.
    setWindowTitle(title);
}

void MainForm::setInstrumentIds(const QString &text)
{
    m_settingsPage->setIdentificationLine(text);
}

void MainForm::setEolStatus(const QString &text)
{
    setStatusPanel(2, text);
}

void MainForm::afterConnect()
{
    setupseq::readBackAfterConnect(m_port, *m_settingsPage, *this);
}

void MainForm::requestProcessReading()
{
    m_cycle->postRequest(1);
}

// ---- CycleHost

void MainForm::setSetupButtonsEnabled(bool enabled)
{
    m_settingsPage->setMeasChEnabled(enabled);
    m_settingsPage->setGetErrEnabled(enabled);
}

void MainForm::setMeasButtonEnabled(bool enabled)
{
    m_measb->setEnabled(enabled);
}

void MainForm::setMeasButtonCaption(const QString &caption)
{
    m_measb->setText(caption);
}

bool MainForm::measButtonFocused() const
{
    return m_measb->hasFocus();
}

void MainForm::focusMeasButton()
{
    m_measb->setFocus();
}

void MainForm::setCycleStatus(int index, const QString &text)
{
    setStatusPanel(index, text);
}

void MainForm::setTermLabel(const QString &text)
{
    m_settingsPage->setTerminalText(text);
}

void MainForm::setLastErrs(const QString &text)
{
    m_settingsPage->setLastError(text);
}

void MainForm::setMathLine(const QString &text)
{
    m_area->setMathLine(text);
}

void MainForm::setRangeText(const QString &text)
{
    m_area->measprop1()->setText(text);
}

void MainForm::addToChart(const measpol &)
{
    m_chart->UpdateChart(true);
}

bool MainForm::addToBigChart() const
{
    return m_AddmeasurementtobigChart1->isChecked();
}

bool MainForm::autoTemperatureOn() const
{
    return m_AutoCalculatetemperature1->isChecked() && m_AutoCalculatetemperature1->isEnabled();
}

void MainForm::followMeasurementType(int type)
{
    setupseq::followMeasurementType(*this, type);
}

void MainForm::geterrbClick()
{
    if (m_cycle->busy()) {
        m_pendingErrorQuery = true;
        return;
    }
    setupseq::geterrbClick(m_port, *m_settingsPage);
}

void MainForm::measchClick()
{
    if (m_cycle->busy()) {
        m_pendingSetup = true;
        return;
    }
    setupseq::measchClick(m_port, *m_settingsPage, *this);
}

void MainForm::runPendingSetup()
{
    // Between two cycles: the readings after it carry the new configuration.
    if (std::exchange(m_pendingSetup, false))
        measchClick();
    if (std::exchange(m_pendingErrorQuery, false))
        geterrbClick();
}

void MainForm::selectThirdEntries()
{
    m_settingsPage->selectThirdEntries();
}

void MainForm::readBackState()
{
    setupseq::ReadBackState(m_port, *m_settingsPage, *this);
}

void MainForm::closeMainWindow()
{
    close();
}

// ---- SetupHost

void MainForm::restartCycleClock()
{
    const quint32 now = dtime::ticks();
    m_cycle->setLastEndTick(now);
    m_cycle->setMeasurementStartTick(now);
    m_cycle->setLastPeriod(0);
}

void MainForm::markMeasurementStart()
{
    m_cycle->setMeasurementStartTick(dtime::ticks());
}

void MainForm::takeLastPeriod()
{
    m_cycle->setLastPeriod(dtime::tickDiff(dtime::ticks(), m_cycle->measurementStartTick()));
}

void MainForm::clearSecondaryReading()
{
    m_reading->state().secondary = sentinel::kEmptyReading;
}

void MainForm::setZeroReference(long double value)
{
    m_s.zeroRef = value;
}

bool MainForm::autoMeasChecked() const
{
    return m_automeas1cb->isChecked();
}

void MainForm::setAutoMeasChecked(bool checked)
{
    m_automeas1cb->setChecked(checked);
}

void MainForm::setAutoMeasEnabled(bool enabled)
{
    m_automeas1cb->setEnabled(enabled);
}

void MainForm::setCycleTimerRunning(bool running)
{
    if (running)
        m_cycle->casak()->start();
    else
        m_cycle->casak()->stop();
}

void MainForm::setCycleBusy(bool busy)
{
    m_cycle->setBusy(busy);
}

bool MainForm::autoTempChecked() const
{
    return m_AutoCalculatetemperature1->isChecked();
}

bool MainForm::autoTempEnabled() const
{
    return m_AutoCalculatetemperature1->isEnabled();
}

void MainForm::setAutoTempChecked(bool checked)
{
    m_AutoCalculatetemperature1->setChecked(checked);
}

void MainForm::setAutoTempEnabled(bool enabled)
{
    m_AutoCalculatetemperature1->setEnabled(enabled);
}

void MainForm::runAutoTempHandler()
{
    const bool on = m_AutoCalculatetemperature1->isChecked();
    m_area->setReadingColour(on ? DisplayColour::Magenta : DisplayColour::Green);
    m_area->setSecondaryVisible(on);
    // The resistance of the last conversion is no part of the readings that follow.
    if (!on && !m_reading->state().mathEnabled)
        m_reading->state().secondary = sentinel::kEmptyReading;
}

bool MainForm::alternateReadingChecked() const
{
    return m_Alternatereading1->isChecked();
}

int MainForm::ParseConf(const QString &reply)
{
    m_reading->engine().ParseConf(reply);
    return m_reading->state().type;
}

void MainForm::enableSeriesButtons()
{
    m_multiPage->enableButtons();
}

// ---- SeriesHost

void MainForm::setSeriesControlsEnabled(bool enabled)
{
    m_automeas1cb->setEnabled(enabled);
    m_measb->setEnabled(enabled);
}

bool MainForm::limitBeepChecked() const
{
    return namedLimitBeep()->isChecked();
}

void MainForm::setLimitBeepChecked(bool checked)
{
    namedLimitBeep()->setChecked(checked);
    m_mathPage->limitbeepcbClick();
}

QCheckBox *MainForm::namedLimitBeep() const
{
    return m_mathPage->findChild<QCheckBox *>(QStringLiteral("limitbeepcb"));
}

void MainForm::addSeriesReading(int sampleNumber)
{
    m_chart->addSeriesReading(sampleNumber);
}

void MainForm::redrawChart()
{
    m_chart->UpdateChart(false);
}

void MainForm::requestGraphRefresh()
{
    m_graph->postRefreshRequest();
}

void MainForm::setFetchGroupVisible(bool visible)
{
    m_multiPage->fetchgb()->setVisible(visible);
}
