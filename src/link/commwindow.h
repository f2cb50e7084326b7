// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class Pinger;
class ScpiLink;
struct Settings;

// The communication window: address and port, connect and disconnect, typed SCPI commands
// with their history, and the log of everything that crosses the link.
class TCommFrm : public QWidget
{
    Q_OBJECT
public:
    TCommFrm(Settings &settings, ScpiLink &link, QWidget *parent = nullptr);
    ~TCommFrm() override;

    // Whether the main window is visible decides between hiding and closing for good.
    void setMainWindowVisible(std::function<bool()> visible) { m_mainVisible = std::move(visible); }

    void AddLog(const QString &line);
    // Puts the queued log lines into the memo now.
    void flushLog();
    void ShowDevice();
    void setMeasparm(const QString &configCmd, const QString &optionCmd);

    void INITbClick();
    void QuitCmdClick();
    void RunCmdClick();
    void ReaddatabClick();
    void clearlogbClick();
    void savehostbClick();
    void pinglClick();

    QStringList history() const;
    QString address() const;
    QString port() const;
    // Hint for the main menu's connect item: " Connect to: host:port ".
    QString connectHint() const;

signals:
    void connectHintChanged(const QString &hint);
    void connectEnabledChanged(bool enabled);

protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    void FormCreate();
    void datalecbKeyPress(bool ctrl);
    void adreChange();
    void porteChange();
    void setHistory(const QStringList &h);
    void sendTyped();
    void startPing();
    QString historyPath() const;

    Settings &m_s;
    ScpiLink &m_link;
    std::function<bool()> m_mainVisible;
    Pinger *m_pinger = nullptr;
    QLineEdit *m_adre = nullptr;
    QLineEdit *m_porte = nullptr;
    QPushButton *m_savehostb = nullptr;
    QComboBox *m_datalecb = nullptr;
    QPushButton *m_RunCmd = nullptr;
    QPushButton *m_Readdatab = nullptr;
    QPushButton *m_clearlogb = nullptr;
    QPushButton *m_INITb = nullptr;
    QPushButton *m_QuitCmd = nullptr;
    QPlainTextEdit *m_commlogm = nullptr;
    QLabel *m_lastvall = nullptr;
    QPlainTextEdit *m_measparm = nullptr;
    QLabel *m_pingl = nullptr;
    QStatusBar *m_cmstb = nullptr;
    QTimer *m_readtimer = nullptr;
    int m_lastValidPort = 3490;
    std::deque<QString> m_pendingLog;
    bool m_pendingOverflow = false;
    bool m_flushQueued = false;
};
