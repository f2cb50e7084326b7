// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "graph/noiseanalysis.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

class BigAry;
class QCheckBox;
class QComboBox;
class QFontMetrics;
class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;
struct Settings;

// What the deviation plot shows besides the result.
struct PlotOptions
{
    noise::DeviationSet shown = noise::bit(noise::Deviation::Allan);
    noise::BoundModel model = noise::BoundModel::Identified;
    QString caption; // under the axis; none when empty
};

// Where the plot puts its frame, its points and its texts, so none of them is cut.
struct PlotLayout
{
    QRectF frame;                // the axes' box
    std::vector<QPointF> points; // every point drawn, of every shown deviation
    std::vector<QRectF> labels;  // every text drawn
    double x(double tau) const { return frame.left() + (std::log10(tau) - x0) * xScale; }
    double y(double v) const { return frame.bottom() - (std::log10(v) - y0) * yScale; }
    double x0 = 0, y0 = 0, xScale = 1, yScale = 1; // log10 at the frame's corner, px per decade
    int firstDecadeX = 0, lastDecadeX = 0, firstDecadeY = 0, lastDecadeY = 0;
};
PlotLayout layoutPlot(const QRect &rect, const noise::NoiseResult &r, const PlotOptions &o,
                      const QFontMetrics &fm);
// A decade as the axes write it: 10 with the exponent raised.
QString decadeLabel(int exponent);

// Paints the log-log deviation plot of a result into rect; nothing but the background for
// a result without points.
void drawAllanPlot(QPainter &p, const QRect &rect, const noise::NoiseResult &r,
                   const PlotOptions &o);

// The noise window of the large graph: the deviations, noise types, drift and noise
// figures of the graph's selection, following it while open. The buffer is read between
// events; the deviations are computed on a thread of their own over the running sums.
class NoiseWindow : public QWidget
{
    Q_OBJECT

public:
    // The graph's current selection, chronological from/to.
    using SelectionFn = std::function<std::pair<qint64, qint64>()>;

    NoiseWindow(const BigAry &buffer, SelectionFn selection, const Settings &settings,
                QWidget *parent = nullptr);
    ~NoiseWindow() override;

    // Puts "Noise analysis..." into the graph's Data menu and returns the (hidden) window
    // the command opens; the graph owns it.
    static NoiseWindow *attach(QMenu *dataMenu, const BigAry &buffer, SelectionFn selection,
                               const Settings &settings, QWidget *graph);
    // The name of the file the buffer came from, for the plot's caption.
    void setSourceName(std::function<QString()> name) { m_sourceName = std::move(name); }

    const noise::NoiseResult &result() const { return m_result; }
    bool busy() const { return m_job != nullptr; }
    noise::BoundModel boundModel() const;
    PlotOptions plotOptions() const;

    bool saveCsv(const QString &path, QString *error);
    // The plot as the PNG file holds it, with its caption.
    QImage plotImage(const QSize &size = QSize(1000, 650)) const;

public slots:
    // The graph calls this after every rescale; recomputes at most every 330 ms.
    void selectionChanged();
    // "Noise analysis...": show the window on the current selection.
    void Noiseanalysis1Click();

signals:
    void computed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restart();
    void runSlice();
    void startWorker();
    void workerDone(quint64 generation);
    void stopWorker();
    void showResult();
    void fillTable();
    void copytablebClick();
    void savecsvbClick();
    void saveplotbClick();
    QString caption() const;
    QString decSep() const;
    QString shown(double v, const QString &unit) const;
    QString spread(double v, const QString &unit) const; // a ± figure: no "+"
    QString plain(double v, int digits = 6) const;

    const BigAry &m_buffer;
    SelectionFn m_selection;
    const Settings &m_settings;
    std::function<QString()> m_sourceName;
    std::unique_ptr<noise::NoiseAnalysis> m_job;
    std::thread m_worker;
    quint64 m_generation = 0;
    noise::NoiseResult m_result;
    quint64 m_resultVersion = 0;
    struct TableKey
    {
        quint64 version = ~quint64(0);
        noise::DeviationSet shown = 0;
        noise::BoundModel model = noise::BoundModel::Identified;
        bool operator==(const TableKey &) const = default;
    } m_tableKey;
    QElapsedTimer m_lastStart;
    QTimer m_throttle; // the 330 ms pacing
    QTimer m_slice;    // reads the buffer between events
    bool m_stale = true;
    bool m_computedOnce = false;

    QLabel *m_summary;
    QLabel *m_figures;
    QWidget *m_plot;
    QTableWidget *m_table;
    QLabel *m_model;
    QCheckBox *m_show[noise::kDeviations];
    QCheckBox *m_steps;
    QComboBox *m_bounds;
    QPushButton *m_copy;
    QPushButton *m_saveCsv;
    QPushButton *m_savePlot;
};
