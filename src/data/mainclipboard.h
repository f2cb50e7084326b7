// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class ChartController;
class QMenu;
class QWidget;
class ReadingArea;
class ReadingEngine;
struct Settings;

// The main window's clipboard commands: the six "Measurement" menu items and the clicks on
// the value `meastext1` and the secondary reading `secreadl` (Alt, Shift, Ctrl pick the
// form, Ctrl winning). The main window adds addMenuItems() to its menu and calls
// Copylastmeasuredvaluetoclipboard1Click() for Ctrl+Insert.
class MainClipboard : public QObject
{
    Q_OBJECT
public:
    MainClipboard(Settings &settings, ReadingEngine &engine, ChartController &chart,
                  ReadingArea *measpan1, QObject *parent = nullptr);

    void addMenuItems(QMenu *menu);

    void Copylastmeasuredvaluetoclipboardcomplete1Click();
    void Copylastmeasuredvaluetoclipboard1Click();
    void copydisplayasimagetoclipboard1Click();
    void Copychartasbitmaptoclipboard1Click();
    void Copychartvaluestoclipboard1Click();
    void Copychartvaluestoclipboardnumbersonly1Click();
    void meastext1Click(Qt::KeyboardModifiers mods);
    void secreadlClick(Qt::KeyboardModifiers mods);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void copyChartValues(bool complete);

    Settings &m_s;
    ReadingEngine &m_engine;
    ChartController &m_chart;
    ReadingArea *m_area;
};
