// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class ReadingController;

// The "Math F7" page: zero reference, m·x + b, filter window and limits. Every control
// changes the settings in memory at once.
class MathPage : public QWidget
{
    Q_OBJECT
public:
    explicit MathPage(ReadingController &controller, QWidget *parent = nullptr);

    // Boxes and fields from the loaded settings (first show of the main window).
    void applySettings();
    // The main window's note edit, which the math switch annotates; may stay unset.
    void setNoteEdit(QLineEdit *note) { m_measnote = note; }

    void zerobClick();
    void setzerobClick();
    void math_ena_cbClick();
    void div1_cbClick();
    void math_x_edEnter();
    void math_b_edEnter();
    void filterenacbClick();
    void limecbClick();
    void limitbeepcbClick();

signals:
    void chartRedrawRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showZeroState();
    void showMathEdits();
    void copyCurrentInto(QLineEdit *limitEdit);
    void leaveEdit(QLineEdit *edit);

    ReadingController &m_c;
    QLineEdit *m_measnote = nullptr;
    QString m_savedNote;

    QGroupBox *m_setzerogb;
    QPushButton *m_zerob;
    QPushButton *m_setzerob;
    QLineEdit *m_setzeroe;
    QGroupBox *m_mxb_gb;
    QCheckBox *m_math_ena_cb;
    QCheckBox *m_div1_cb;
    QLineEdit *m_math_x_ed;
    QLineEdit *m_math_b_ed;
    QLineEdit *m_newunitl;
    QGroupBox *m_filtergb;
    QCheckBox *m_filterenacb;
    QLineEdit *m_filterlowle;
    QLineEdit *m_filterhighle;
    QGroupBox *m_limitgb;
    QCheckBox *m_limecb;
    QCheckBox *m_limitbeepcb;
    QLineEdit *m_lowlime;
    QLineEdit *m_higlime;
};
