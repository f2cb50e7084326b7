// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

// Lets a window see each key before the focused control does (an edit would otherwise keep
// Ctrl+Insert, a list F-keys). The handler returns true for keys it took.
class KeyPreview : public QObject
{
public:
    using Handler = std::function<bool(QKeyEvent *)>;
    static void install(QWidget *window, Handler handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyPreview(QWidget *window, Handler handler);
    QWidget *m_window;
    Handler m_handler;
};
