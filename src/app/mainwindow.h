// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTabWidget;
class Tconff;
struct Settings;

// The main window: the reading display, the pages of controls and the status bar.
class MainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainForm(Settings &settings, QWidget *parent = nullptr);

    void setConfigDialog(Tconff *dialog) { m_conff = dialog; }

    // Status bar panels 0..2.
    void setStatusPanel(int index, const QString &text);
    QString statusPanel(int index) const;

    QTabWidget *pages() const { return m_PageControl1; }
    QMenu *deviceMenu() const { return m_deviceMenu; }
    QMenu *measurementMenu() const { return m_measurementMenu; }
    QMenu *helpMenu() const { return m_helpMenu; }
    QFrame *displayPanel() const { return m_displayPanel; }

    void more1Click();
    void Configuration1Click();
    void Commandlineparameters1Click();
    void AboutClick();

protected:
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void buildMenus();
    void buildPages();
    void FormShow();
    void openFolder(const QString &dir);

    Settings &m_s;
    Tconff *m_conff = nullptr;
    bool m_shown = false;
    QFrame *m_displayPanel = nullptr;
    QTabWidget *m_PageControl1 = nullptr;
    QLabel *m_panels[3] = {};
    QMenu *m_deviceMenu = nullptr;
    QMenu *m_measurementMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QAction *m_more1 = nullptr;
    QString m_moreCaption = QStringLiteral("More F9 >");
    QString m_lessCaption = QStringLiteral("Less F9 <");
};
