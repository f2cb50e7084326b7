// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QStatusBar;
struct Settings;

// The configuration dialog. Creating it parses the command line and reads the settings
// file; every edit is live in memory, and "&Save Configuration" is the one full write.
class Tconff : public QDialog
{
    Q_OBJECT
public:
    Tconff(Settings &settings, const QStringList &args, QWidget *parent = nullptr);

    // The main window's "Auto Calculate temperature" state, read when saving.
    void setCalculateTemperatureSource(std::function<bool()> source);

    // Index of the hidden file-kind list: automatic saving takes its file kind from it.
    int defaultFileType() const;
    void defcomcbClick();
    void savecClick();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void buildUi();
    void FormCreate(const QStringList &args);
    void showLists();
    void LanTimEChange(int v);
    void DatTimEChange(int v);
    void comamdecsClick(bool checked);
    void allalldatasavecbClick(bool checked);
    void alternativecbClick(bool checked);
    void Button1Click();

    Settings &m_s;
    std::function<bool()> m_calcTemp;
    QSpinBox *m_lanud = nullptr;
    QSpinBox *m_dataud = nullptr;
    QCheckBox *m_autoconcb = nullptr;
    QCheckBox *m_comamdecs = nullptr;
    QCheckBox *m_allalldatasavecb = nullptr;
    QCheckBox *m_alternativecb = nullptr;
    QPlainTextEdit *m_initmemo = nullptr;
    QPlainTextEdit *m_closememo = nullptr;
    QPushButton *m_defcomcb = nullptr;
    QPushButton *m_savec = nullptr;
    QGroupBox *m_filegb = nullptr;
    QComboBox *m_deffiletypecb = nullptr;
    QLineEdit *m_savefilese = nullptr;
    QStatusBar *m_stabar1 = nullptr;
};

// Memo text <-> list of lines, the way a memo counts them (a final line end adds no line).
QStringList memoLines(const QString &text);
