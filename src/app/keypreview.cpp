// SPDX-License-Identifier: GPL-3.0-or-later
#include "keypreview.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

KeyPreview::KeyPreview(QWidget *window, Handler handler)
    : QObject(window), m_window(window), m_handler(std::move(handler))
{
    QCoreApplication::instance()->installEventFilter(this);
}

void KeyPreview::install(QWidget *window, Handler handler)
{
    new KeyPreview(window, std::move(handler));
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type t = event->type();
    if (t != QEvent::KeyPress && t != QEvent::ShortcutOverride)
        return false;
    auto *w = qobject_cast<QWidget *>(watched);
    // Popups and dialogs are windows of their own; their keys stay theirs.
    if (!w || w->window() != m_window)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (t == QEvent::ShortcutOverride) {
        // Keeps an edit's own Ctrl+Insert from overriding the window's.
        if (key->key() == Qt::Key_Insert && (key->modifiers() & Qt::ControlModifier)) {
            key->accept();
            return true;
        }
        return false;
    }
    return m_handler(key);
}
