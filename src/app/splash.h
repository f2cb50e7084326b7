// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;

// The start-up splash: our picture with one text line under it, on top and centred.
class TSplash : public QWidget
{
    Q_OBJECT
public:
    explicit TSplash(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;
    void centreOnScreen();
    bool wasPainted() const { return m_paintedOnce; }

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QLabel *m_text = nullptr;
    bool m_paintedOnce = false;
};
