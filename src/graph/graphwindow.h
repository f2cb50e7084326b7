// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/autosaver.h"
#include "graph/graphloader.h"
#include "graph/graphmodel.h"
#include "graph/testsignals.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>

struct Settings;
class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QShortcut;
class QScrollBar;
class QStatusBar;
class QTimer;

// The picture of the graph; mouse and wheel go to the window.
class GraphImage : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    QImage image;

protected:
    void paintEvent(QPaintEvent *) override;
};

// The large graph window over the whole buffer: it draws what GraphModel computed, loads
// and saves buffer files, deletes the selection and generates test signals.
class TGraphFrm : public QMainWindow
{
    Q_OBJECT
public:
    TGraphFrm(Settings &settings, BigAry &buffer, QWidget *parent = nullptr);
    ~TGraphFrm() override;
    // A load or save runs (the buffer's commands wait).
    bool jobRunning() const { return m_job != Job::None; }

    // Head lines of saved files and the reading the test signals carry.
    void setEnvironmentSource(std::function<AutoSaver::Environment()> source);
    void setCurrentRecordSource(std::function<measpol()> source);

    // The measurement cycle's refresh request (code 51), posted to this window.
    static constexpr int kRefreshCode = 51;
    void postRefreshRequest();

    // For commands that other windows add to this one.
    GraphModel &model() { return m_model; }
    QMenu *dataMenu() const { return m_Data1; }
    // Separators in "Data" where the clipboard entries and the analysis window go.
    QAction *clipboardPlace() const { return m_clipboardPlace; }
    QAction *analysisPlace() const { return m_analysisPlace; }
    qint64 fromIndex() const { return m_model.from(); }
    qint64 toIndex() const { return m_model.to(); }
    QWidget *panel1() const;
    QString statusText() const;
    QString selectedFile() const { return m_selectedFile; }

    QString sGenerate = QStringLiteral("Generate data to Graph?");

    // Open dialog replacement for tests: returns the path, sets the 1-based filter.
    using OpenNameHandler = std::function<QString(int *filterIndex)>;
    static void setOpenNameHandler(OpenNameHandler h);
    // The automatic refresh waits this long between two refreshes.
    void setAutoRefreshInterval(int ms) { m_autoRefreshMs = ms; }

public slots:
    void Repaint1Click();
    void ZoomIN1Click();
    void ZoomOUT1Click();
    void VerticalIN1Click();
    void VerticalOUT1Click();
    void UP1Click();
    void Down1Click();
    void Open1Click();
    void Loadappenddata1Click();
    void LoadCSVfromUSB1Click();
    void Save1Click();
    void Saveselecteddataonly1Click();
    void selectedfile1Click();
    void Drop1Click();
    void Deleteselected1Click();
    void milion1Click();
    void Generatepuresine1Click();
    void Generateonesinevawe1Click();
    void N6values1Click();

signals:
    // After every rescale, with the new visible range.
    void rescaled(qint64 from, qint64 to);

protected:
    bool event(QEvent *e) override;
    void changeEvent(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

private:
    void attachDataCommands();
    void buildMenus();
    void buildWidgets();
    void FormResize();
    void Rescale(qint64 from, qint64 to, bool fromScrollBar = false);
    void Draw();
    void CursorReadout(int x, int y);
    void rebuildAndDraw();
    void rescaleAll();
    void autoRefresh();
    void vertikalsbScroll(int position);
    void ImgrafMouseDown(QMouseEvent *e);
    void showCrossHair(bool on);
    void histogramHover(int x);
    void rangeEditEnter(QLineEdit *edit, bool isFrom);
    void rangeEditExit(QLineEdit *edit, bool isFrom);
    void rangeEditReturn(QLineEdit *edit, bool isFrom);
    void load(graphload::Format format, graphload::Mode mode);
    void loadFinished(const graphload::Result &r);
    void save(bool selectedOnly);
    // Loading and saving run on other threads; the buffer is theirs meanwhile.
    enum class Job { None, Load, Save };
    bool refusedWhileBusy();
    void beginJob(Job job);
    void endJob(bool restoreName);
    void cancelJob();
    void generate(testsignals::Signal signal);
    void selectFile(const QString &path);
    void setStatus(const QString &text);
    QString openFileName(int *filterIndex);

    Settings &m_s;
    BigAry &m_buf;
    GraphModel m_model;
    std::function<AutoSaver::Environment()> m_environment;
    std::function<measpol()> m_current;
    QString m_selectedFile;
    bool m_busy = false;
    Job m_job = Job::None;
    std::unique_ptr<graphload::LoadJob> m_loadJob;
    std::unique_ptr<graphload::SaveJob> m_saveJob;
    // The caption and selected file a cancelled load or save gives back.
    struct Named
    {
        QString title;
        QString menuText;
        QString file;
    } m_before;

    // Pacing.
    uint32_t m_nextDraw = 0;
    QTimer *m_drawLater = nullptr;
    uint32_t m_nextRefresh = 0;
    bool m_refreshed = false;
    qint64 m_lastRefreshCount = 0;
    // The buffer as the last rescale saw it.
    qint64 m_seenCount = -1;
    qint64 m_seenPos = -1;
    bool m_seenShown = false; // the range was last set while the window showed
    int m_autoRefreshMs = 30000;
    int m_cursorX = 0;
    int m_cursorY = 0;

    QMenu *m_Data1 = nullptr;
    QAction *m_clipboardPlace = nullptr;
    QAction *m_analysisPlace = nullptr;
    QAction *m_selectedfile1 = nullptr;
    QAction *m_zoomlevel1 = nullptr;
    QAction *m_Autoupdate1 = nullptr;
    QAction *m_ShowStatistic1 = nullptr;
    QAction *m_SecGraph1 = nullptr;
    QAction *m_N2pixel1 = nullptr;
    QList<QAction *> m_hiddenItems;

    QFrame *m_Panel1 = nullptr;
    GraphImage *m_Imgraf = nullptr;
    QLabel *m_maxlab1 = nullptr;
    QLabel *m_minlab1 = nullptr;
    QLabel *m_maxlab2 = nullptr;
    QLabel *m_minlab2 = nullptr;
    QLabel *m_loadpan = nullptr;
    QPushButton *m_loadcancelb = nullptr;
    QShortcut *m_cancelKey = nullptr;
    QPointer<QWidget> m_focusBefore;
    QFrame *m_bevelx1 = nullptr;
    QFrame *m_bevelx2 = nullptr;
    QFrame *m_bevely1 = nullptr;
    QFrame *m_bevely2 = nullptr;
    QFrame *m_histbevel = nullptr;
    QScrollBar *m_vertikalsb = nullptr;
    QGroupBox *m_StatGB = nullptr;
    QLabel *m_totall = nullptr;
    QLineEdit *m_fromle = nullptr;
    QLineEdit *m_tole = nullptr;
    QLabel *m_millab = nullptr;
    QLabel *m_meanlab = nullptr;
    QLabel *m_rmslab = nullptr;
    QLabel *m_cursorlabel = nullptr;
    QLabel *m_seclabel = nullptr;
    QLabel *m_bhistoi = nullptr;
    QStatusBar *m_GrafStatusBar = nullptr;
};
