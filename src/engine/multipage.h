// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "series.h"

#include <QWidget>

class QGroupBox;
class QLineEdit;
class QPushButton;

// The "Multi F6" page: the group `fetchgb` with the count `fetche`, the trigger delay
// `dtrigdelaye`, "&Start" `fetchinitb` and "&GET data" `fetchgetb`. It runs a
// SeriesRunner, handles its own buttons and passes the rest on to the window's host.
class MultiPage : public QWidget, public SeriesHost
{
    Q_OBJECT
public:
    MultiPage(SeriesRunner &runner, QWidget *parent = nullptr);
    ~MultiPage() override;

    // The window side: the automatic-measurement box, the measure button, status bar,
    // error label, beep box, chart, buffer switch and graph refresh.
    void setHost(SeriesHost *host) { m_outer = host ? host : &m_nullHost; }
    SeriesRunner &runner() const { return m_runner; }

    QGroupBox *fetchgb() const { return m_fetchgb; }
    QLineEdit *fetche() const { return m_fetche; }
    QLineEdit *dtrigdelaye() const { return m_dtrigdelaye; }
    QPushButton *fetchinitb() const { return m_fetchinitb; }
    QPushButton *fetchgetb() const { return m_fetchgetb; }

    // The trigger delay edit takes the loaded setting (on the window's first show).
    void applySettings();
    // Both buttons usable again (after a reset of the instrument).
    void enableButtons();

    void fetchinitbClick() { m_runner.fetchinitbClick(); }
    void fetchgetbClick() { m_runner.fetchgetbClick(); }
    void fetcheChange(const QString &text);
    void dtrigdelayeChange(const QString &text);

    // SeriesHost
    void setSeriesControlsEnabled(bool enabled) override;
    void setGetCaption(const QString &caption) override;
    void setStatusPanel(int index, const QString &text) override;
    void setLastErrs(const QString &text) override;
    bool limitBeepChecked() const override;
    void setLimitBeepChecked(bool checked) override;
    void addSeriesReading(int sampleNumber) override;
    void redrawChart() override;
    bool addToBigChart() const override;
    bool autoTemperatureOn() const override;
    void requestGraphRefresh() override;

private:
    SeriesRunner &m_runner;
    SeriesHost m_nullHost;
    SeriesHost *m_outer = &m_nullHost;
    QGroupBox *m_fetchgb;
    QLineEdit *m_fetche;
    QLineEdit *m_dtrigdelaye;
    QPushButton *m_fetchinitb;
    QPushButton *m_fetchgetb;
};
