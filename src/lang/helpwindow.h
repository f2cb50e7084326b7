// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
struct Settings;

// The text help window: the operator's guide with a search as you type and word wrap.
class THELPf : public QWidget
{
    Q_OBJECT
public:
    explicit THELPf(const Settings &settings, QWidget *parent = nullptr);

    QString helpFilePath() const;
    void findeChange();
    void nextbClick();
    void red1SelectionChange();
    void wrapcbClick();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void FormShow();
    void selectAt(qsizetype at);

    const Settings &m_s;
    QTextEdit *m_red1 = nullptr;
    QLineEdit *m_finde = nullptr;
    QPushButton *m_nextb = nullptr;
    QLabel *m_foundl = nullptr;
    QCheckBox *m_wrapcb = nullptr;
    qsizetype m_position = 0;
};
