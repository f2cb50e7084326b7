// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

// Numeric edit fields let through only Backspace, digits, "-", ".", "E" and "e"; a typed ","
// becomes "." and every other printable key is dropped. Navigation and shortcuts pass.
class NumericKeyFilter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Installs one shared filter on `edit`.
    static void install(QObject *edit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
