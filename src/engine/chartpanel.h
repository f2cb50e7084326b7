// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartstats.h"

#include <QFrame>
#include <QImage>
#include <QObject>
#include <QPointer>

class ArrowLabel;
class QAction;
class QLabel;
class ReadingEngine;
struct Settings;

// The chart panel `grafpan`: the trend chart `grafimg`, the histogram `histoi`, the span,
// maximum, minimum and mean labels and the hover markers. A ChartController fills it.
class ChartPanel : public QFrame
{
    Q_OBJECT
public:
    explicit ChartPanel(int chartHeight, QWidget *parent = nullptr);

    QLabel *grafimg() const { return m_grafimg; }
    QLabel *histoi() const { return m_histoi; }
    QLabel *devlabel() const { return m_devlabel; }
    QLabel *maxlab1() const { return m_maxlab1; }
    QLabel *minlab1() const { return m_minlab1; }
    QLabel *meanl1() const { return m_meanl1; }
    QFrame *columnMarker() const { return m_columnMarker; }
    QFrame *rowMarker() const { return m_rowMarker; }
    QFrame *histogramMarker() const { return m_histMarker; }

    // Where the chart picture sits inside the panel.
    static constexpr QPoint kChartOrigin{2, 2};

private:
    QLabel *m_grafimg;
    QLabel *m_histoi;
    QLabel *m_devlabel;
    QLabel *m_maxlab1;
    QLabel *m_minlab1;
    QLabel *m_meanl1;
    QFrame *m_columnMarker;
    QFrame *m_rowMarker;
    QFrame *m_histMarker;
};

// The mean of the last ten readings `mean10l` with its trend arrow `updowmeai` 3 pixels
// to its left.
class Mean10Box : public QWidget
{
    Q_OBJECT
public:
    explicit Mean10Box(QWidget *parent = nullptr);
    QLabel *mean10l() const { return m_mean10l; }
    ArrowLabel *updowmeai() const { return m_updowmeai; }

private:
    QLabel *m_mean10l;
    ArrowLabel *m_updowmeai;
};

// Owns the chart history, mean of ten and running statistics and shows them in the
// widgets it creates. It installs itself as the reading engine's statistics hooks. The
// main window embeds createChartPanel(), createStatisticsLabel() (`mathal`) and
// createMean10Box(), adds ClearGraph1() and ClearMath1() to its menu, calls
// UpdateChart() from the cycle, addSeriesReading() from a triggered series, and shows
// statusText() in its status bar and holds its countdown on countdownHeld().
class ChartController : public QObject
{
    Q_OBJECT
public:
    ChartController(Settings &settings, ReadingEngine &engine, QObject *parent = nullptr);
    ~ChartController() override;

    ChartStats &stats() { return m_stats; }

    ChartPanel *createChartPanel(QWidget *parent);
    QLabel *createStatisticsLabel(QWidget *parent);
    Mean10Box *createMean10Box(QWidget *parent);
    QAction *ClearGraph1() const { return m_ClearGraph1; }
    QAction *ClearMath1() const { return m_ClearMath1; }

    // With `add` the history moves on and takes the current reading; then chart and
    // histogram are redrawn. False when the current reading is not valid.
    bool UpdateChart(bool add, bool white = false);
    // One reading of a triggered series: the history moves on and, when the reading is
    // valid, takes it with its 1-based number. No redraw.
    void addSeriesReading(int sampleNumber);
    void UpdateMean10(long double v);
    void ShiftMean10();
    void UpdateStatistics(long double x);

    // A chart picture for a file or the clipboard: white background, opaque white labels,
    // the unit after the mean. False (nothing changed) when the chart cannot be redrawn.
    bool prepareChartPicture();
    void endChartPicture();
    // The prepared panel `grafpan` as a 24-bit picture; null when the chart cannot be redrawn.
    QImage chartPicture();

    // Hover handlers, public so they can be driven by column.
    void grafimgMouseMove(int x);
    void grafimgClick();
    void histoiMouseMove(int x);
    void histoiClick();
    void mean10lClick(Qt::KeyboardModifiers mods);

public slots:
    void EraseChart();
    void ClearStatistic();
    void ClearGraph1Click() { EraseChart(); }
    void ClearMath1Click() { ClearStatistic(); }
    void mathalDblClick();

signals:
    void statusText(int panel, const QString &text);
    // The cycle's countdown text must not overwrite a hover text for this long.
    void countdownHeld(int ms);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    ChartInput chartInput() const;
    void showTexts();
    void showPictures();

    Settings &m_s;
    ReadingEngine &m_engine;
    ChartStats m_stats;
    QPointer<ChartPanel> m_panel;
    QPointer<QLabel> m_mathal;
    QPointer<Mean10Box> m_mean10;
    QAction *m_ClearGraph1;
    QAction *m_ClearMath1;
};
