// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/linkhost.h"

#include <QMainWindow>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTabWidget;
class ScpiLink;
class TCommFrm;
class Tconff;
struct Settings;

// The main window: the reading display, the pages of controls and the status bar.
class MainForm : public QMainWindow, public LinkHost
{
    Q_OBJECT
public:
    MainForm(Settings &settings, ScpiLink &link, QWidget *parent = nullptr);

    void setConfigDialog(Tconff *dialog) { m_conff = dialog; }
    void setCommWindow(TCommFrm *comm);

    // Status bar panels 0..2.
    QString statusPanel(int index) const;

    QTabWidget *pages() const { return m_PageControl1; }
    QMenu *deviceMenu() const { return m_deviceMenu; }
    QMenu *measurementMenu() const { return m_measurementMenu; }
    QMenu *helpMenu() const { return m_helpMenu; }
    QFrame *displayPanel() const { return m_displayPanel; }

    // Shift+F2 and the Device menu's connect item.
    void toggleConnection();
    void Communication1Click();
    QString appTitle() const { return m_appTitle; }
    QString measText() const;

    // LinkHost
    void setMeasText(const QString &text) override;
    void setStatusPanel(int index, const QString &text) override;
    void setConnectCaption(const QString &caption) override;
    void setConnectHint(const QString &hint) override;
    void setDatalas(const QString &text) override;
    void setAppTitle(const QString &title) override;
    void setEolStatus(const QString &text) override;

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
    ScpiLink &m_link;
    Tconff *m_conff = nullptr;
    TCommFrm *m_comm = nullptr;
    QAction *m_Connect1 = nullptr;
    QLabel *m_meastext1 = nullptr;
    QLabel *m_datalas = nullptr;
    QString m_appTitle;
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
