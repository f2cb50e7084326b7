// SPDX-License-Identifier: GPL-3.0-or-later
#include "numerickeyfilter.h"

#include <QApplication>
#include <QKeyEvent>

void NumericKeyFilter::install(QObject *edit)
{
    static NumericKeyFilter *shared = new NumericKeyFilter(qApp);
    edit->installEventFilter(shared);
}

bool NumericKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    if (text.isEmpty() || !text[0].isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    const QChar c = text[0];
    if (c == QLatin1Char(',')) {
        QKeyEvent dot(QEvent::KeyPress, Qt::Key_Period, key->modifiers(), QStringLiteral("."));
        QCoreApplication::sendEvent(watched, &dot);
        return true;
    }
    const bool allowed = c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.') ||
                         c == QLatin1Char('E') || c == QLatin1Char('e');
    return !allowed;
}
