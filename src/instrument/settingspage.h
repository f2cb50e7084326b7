// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "instrument/catalogue.h"
#include "instrument/setupsequence.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Settings F5" page: measurement type, range, resolution and option lists, the set
// and error buttons, the display text field and the instrument's identification, terminal
// and last-error labels. The owner wires the button signals to the link.
class SettingsPage : public QWidget, public SetupPage
{
    Q_OBJECT
public:
    explicit SettingsPage(QWidget *parent = nullptr);

    int measType() const;
    meascat::SensSelection sensSelection() const;
    QString rangeEntry() const;
    QString resolutionEntry() const;
    // The last composed commands, as sending uses them.
    const meascat::ConfigCommands &configCommands() const { return m_commands; }
    // The console's measparm text: configuration command, CR LF, option command.
    QString measparmText() const;

    // The labels live here; the owner lays out the identification and terminal labels.
    QLabel *instumentids() const { return m_instumentids; }
    QLabel *termlab() const { return m_termlab; }
    QLabel *lasterrs() const { return m_lasterrs; }

    // SetupPage
    meascat::ConfigCommands BuildConfigCommand() override;
    void selectMeasType(int type) override;
    void selectFilter(int index) override;
    void setTerminalText(const QString &text) override;
    void setLastError(const QString &text) override;
    void setIdentificationLine(const QString &text) override;
    void setMeasChEnabled(bool enabled) override;
    void setGetErrEnabled(bool enabled) override;
    void selectThirdEntries() override;

    // The lists of the type shown, keeping the range, resolution and filter entries that a
    // read-back selected in the lists there were before.
    void rebuildKeepingReadBack();

public slots:
    void meastypecbChange() override;

signals:
    void measchRequested();
    void geterrRequested();
    // Enter in the display text field.
    void displayTextEntered(const QString &text);
    void configCommandChanged(const QString &configuration, const QString &option);

private:
    void fillList(QComboBox *box, QStringView entries, int selected);

    QComboBox *m_meastypecb = nullptr;
    QComboBox *m_rangecb = nullptr;
    QComboBox *m_resolcb = nullptr;
    QComboBox *m_sens[meascat::kSensCount] = {};
    QCheckBox *m_measseccb = nullptr;
    QPushButton *m_measch = nullptr;
    QPushButton *m_geterrb = nullptr;
    QLineEdit *m_displaytexte = nullptr;
    QLabel *m_instumentids = nullptr;
    QLabel *m_termlab = nullptr;
    QLabel *m_lasterrs = nullptr;
    meascat::ConfigCommands m_commands;
};
