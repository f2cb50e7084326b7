// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "graph/noiseanalysis.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

class BigAry;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;
struct Settings;

// Paints the log-log deviation plot of a result into rect; nothing but the background for
// a result without points.
void drawAllanPlot(QPainter &p, const QRect &rect, const noise::NoiseResult &r,
                   const QString &decSep);

// The noise window of the large graph: Allan deviation, drift and noise figures of the
// graph's selection, following it while open.
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

    const noise::NoiseResult &result() const { return m_result; }
    bool busy() const { return m_job != nullptr; }

    bool saveCsv(const QString &path, QString *error);
    // The plot as the PNG file holds it.
    QImage plotImage(const QSize &size = QSize(900, 600)) const;

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
    void showResult();
    void copytablebClick();
    void savecsvbClick();
    void saveplotbClick();
    QString decSep() const;
    QString shown(double v, const QString &unit) const;
    QString spread(double v, const QString &unit) const; // a ± figure: no "+"
    QString plain(double v, int digits = 6) const;

    const BigAry &m_buffer;
    SelectionFn m_selection;
    const Settings &m_settings;
    std::unique_ptr<noise::NoiseAnalysis> m_job;
    noise::NoiseResult m_result;
    QElapsedTimer m_lastStart;
    QTimer m_throttle; // the 330 ms pacing
    QTimer m_slice;    // runs the computation between events
    bool m_stale = true;
    bool m_computedOnce = false;

    QLabel *m_summary;
    QLabel *m_figures;
    QWidget *m_plot;
    QTableWidget *m_table;
    QCheckBox *m_steps;
    QPushButton *m_copy;
    QPushButton *m_saveCsv;
    QPushButton *m_savePlot;
};
