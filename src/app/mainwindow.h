// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/cycle.h"
#include "engine/readinglinkhost.h"
#include "engine/series.h"
#include "instrument/linkport.h"
#include "instrument/setupsequence.h"

#include <QMainWindow>
#include <QPointer>

class AutoSaver;
class BigAry;
class ChartController;
class DevicePage;
class MainClipboard;
class MathPage;
class MeasuringSession;
class MultiPage;
class QAction;
class QCheckBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class ReadingArea;
class ReadingController;
class ScpiLink;
class SettingsPage;
class TCommFrm;
class TGraphFrm;
class Ttempcalcf;
class THELPf;
class Tconff;
class ToneOutput;
struct Settings;

// The main window: the reading display, the pages of controls and the status bar. It is
// the host the link, the cycle and the set-up sequences report to.
class MainForm : public QMainWindow,
                 public ReadingLinkHost,
                 public CycleHost,
                 public SetupHost,
                 public SeriesHost
{
    Q_OBJECT
public:
    MainForm(Settings &settings, ScpiLink &link, BigAry &buffer, ToneOutput &tone,
             QWidget *parent = nullptr);
    ~MainForm() override;

    void setConfigDialog(Tconff *dialog);
    void setCommWindow(TCommFrm *comm);
    // Places the temperature window's command and hooks its conversion into the readings.
    void setTemperatureWindow(Ttempcalcf *window);
    void setHelpWindow(THELPf *help) { m_help = help; }

    QString statusPanel(int index) const;
    QTabWidget *pages() const { return m_PageControl1; }
    ReadingController &reading() { return *m_reading; }
    SeriesRunner &series() { return *m_series; }
    ChartController &chart() { return *m_chart; }
    MeasurementCycle &cycle() { return *m_cycle; }
    SettingsPage *settingsPage() const { return m_settingsPage; }
    QString appTitle() const { return windowTitle(); }
    QString measText() const;

    // Shift+F2 and the Device menu's connect item.
    void Connect1Click();
    void Communication1Click();
    void Configuration1Click();
    void Commandlineparameters1Click();
    void AboutClick();
    void Help1Click();
    // The keyboard table; true when the key was one of its keys.
    bool FormKeyDown(QKeyEvent *e);
    void InternalInfo1Click();
    void Reset1Click();
    void more1Click();
    void Savealldata1Click();
    void autosavelClick();
    void SavedbClick();
    void SaveGraph1Click();
    // Ctrl+Insert and its menu item.
    void Copylastmeasuredvaluetoclipboard1Click();
    AutoSaver &saver() { return *m_saver; }
    TGraphFrm *graph() const { return m_graph; }
    // Closing: the pending batch goes to disk before the link closes.
    void FormClose();
    void setShutdown() { m_shutdown = true; }
    MeasuringSession &session() { return *m_session; }
    // True once the window has run its closing (countdown, batch, close list).
    bool closedForGood() const { return m_closed; }

signals:
    // Closing has run to its end: the program ends.
    void formClosed();

public:
    // LinkHost
    void setMeasText(const QString &text) override;
    void setStatusPanel(int index, const QString &text) override;
    void setConnectCaption(const QString &caption) override;
    void setConnectHint(const QString &hint) override;
    void setConnectButtonEnabled(bool enabled) override;
    void setDatalas(const QString &text) override;
    void setAppTitle(const QString &title) override;
    void setInstrumentIds(const QString &text) override;
    void setEolStatus(const QString &text) override;
    void afterConnect() override;
    void requestProcessReading() override;

    // CycleHost
    void setSetupButtonsEnabled(bool enabled) override;
    void setMeasButtonEnabled(bool enabled) override;
    void setMeasButtonCaption(const QString &caption) override;
    bool measButtonFocused() const override;
    void focusMeasButton() override;
    void setCycleStatus(int index, const QString &text) override;
    void setTermLabel(const QString &text) override;
    void setLastErrs(const QString &text) override;
    void setMathLine(const QString &text) override;
    void setRangeText(const QString &text) override;
    void addToChart(const measpol &record) override;
    bool addToBigChart() const override;
    bool autoTemperatureOn() const override;
    void followMeasurementType(int type) override;
    void geterrbClick() override;
    void measchClick() override;
    void selectThirdEntries() override;
    void readBackState() override;
    void closeMainWindow() override;

    // SetupHost
    void restartCycleClock() override;
    void markMeasurementStart() override;
    void takeLastPeriod() override;
    void clearSecondaryReading() override;
    void setZeroReference(long double value) override;
    bool autoMeasChecked() const override;
    void setAutoMeasChecked(bool checked) override;
    void setAutoMeasEnabled(bool enabled) override;
    void setCycleTimerRunning(bool running) override;
    void setCycleBusy(bool busy) override;
    bool autoTempChecked() const override;
    bool autoTempEnabled() const override;
    void setAutoTempChecked(bool checked) override;
    void setAutoTempEnabled(bool enabled) override;
    void runAutoTempHandler() override;
    bool alternateReadingChecked() const override;
    int ParseConf(const QString &reply) override;
    void enableSeriesButtons() override;
    void holdReadingRequests(bool hold) override { m_cycle->holdReadingRequests(hold); }

    // SeriesHost
    void setSeriesControlsEnabled(bool enabled) override;
    bool limitBeepChecked() const override;
    void setLimitBeepChecked(bool checked) override;
    void addSeriesReading(int sampleNumber) override;
    void redrawChart() override;
    void requestGraphRefresh() override;
    void setFetchGroupVisible(bool visible) override;

protected:
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void buildDisplay();
    void buildPages();
    void buildMenus();
    void FormShow();
    void openFolder(const QString &dir);
    // Client size at which every page shows whole.
    QSize sizeForPages() const;
    void fitStartSize();
    void updateMenuEnabling();
    void showBigChartState();
    void showSaveState();
    QCheckBox *namedLimitBeep() const;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *e) override;
    void askToClose();
    void runPendingSetup();

    Settings &m_s;
    ScpiLink &m_link;
    BigAry &m_buffer;
    ReadingController *m_reading = nullptr;
    ChartController *m_chart = nullptr;
    SeriesRunner *m_series = nullptr;
    MeasuringSession *m_session = nullptr;
    MultiPage *m_multiPage = nullptr;
    AutoSaver *m_saver = nullptr;
    MainClipboard *m_clip = nullptr;
    TGraphFrm *m_graph = nullptr;
    QAction *m_Savealldata1 = nullptr;
    QLabel *m_autosavel = nullptr;
    MeasurementCycle *m_cycle = nullptr;
    LinkPort m_port;
    Tconff *m_conff = nullptr;
    TCommFrm *m_comm = nullptr;
    QPointer<Ttempcalcf> m_tempcalcf; // may go before the main window
    THELPf *m_help = nullptr;
    bool m_shown = false;
    bool m_shutdown = false;       // the session ends: close without asking
    bool m_asking = false;         // the close question is open
    bool m_closeConfirmed = false; // answered Yes (or the session ends)
    bool m_inCloseEvent = false;
    bool m_closed = false;
    int m_wideWidth = 0; // client width of the wide layout

    QFrame *m_displayPanel = nullptr;
    ReadingArea *m_area = nullptr;
    QPushButton *m_measb = nullptr;
    QCheckBox *m_automeas1cb = nullptr;
    QLabel *m_big_chl = nullptr;
    QLabel *m_datalas = nullptr;
    QLabel *m_instumentids = nullptr; // the settings page's, shown in the display
    QHBoxLayout *m_controlsRow = nullptr;
    QTabWidget *m_PageControl1 = nullptr;
    SettingsPage *m_settingsPage = nullptr;
    MathPage *m_mathPage = nullptr;
    DevicePage *m_devicePage = nullptr;
    QLineEdit *m_measdele = nullptr;
    QLineEdit *m_logtimele = nullptr;
    QLabel *m_panels[3] = {};

    QAction *m_Connect1 = nullptr;
    QAction *m_Alternatereading1 = nullptr;
    QAction *m_AddmeasurementtobigChart1 = nullptr;
    QAction *m_AutoCalculatetemperature1 = nullptr;
    bool m_connectPressPending = false; // Shift+F2 during a connect or disconnect
    // "S&et" and "Get Err&or" clicked during a cycle, carried out when it ends.
    bool m_pendingSetup = false;
    bool m_pendingErrorQuery = false;
    QAction *m_Setlocalmode1 = nullptr;
    QAction *m_Setremotemode1 = nullptr;
    QAction *m_Setromotemodewithlock1 = nullptr;
    QAction *m_settimedate1 = nullptr;
    QAction *m_Reset1 = nullptr;
    QAction *m_more1 = nullptr;
};
