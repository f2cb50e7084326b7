// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "readingengine.h"

#include <QFrame>
#include <QLabel>

// The up/down indicator: its text is "t" (up) or "u" (down) as in a symbol font; it
// paints the arrow itself so no such font is needed.
class ArrowLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The black reading panel: value, bar, secondary reading, range, math line, trend arrow.
class ReadingArea : public QFrame
{
    Q_OBJECT
public:
    explicit ReadingArea(QWidget *parent = nullptr);

    void render(const ReadingView &view);
    void setSecondaryVisible(bool visible);
    // Value and bar until the next reading: automatic temperature on or off.
    void setReadingColour(DisplayColour c);
    void setMathLine(const QString &text);
    void setStatusText(const QString &text); // "Connecting...", "Closing" and the like
    static QColor colour(DisplayColour c);

    QLabel *meastext1() const { return m_meastext1; }
    QLabel *measlab1() const { return m_measlab1; }
    QLabel *secreadl() const { return m_secreadl; }
    QLabel *measprop1() const { return m_measprop1; }
    QLabel *mathala() const { return m_mathala; }
    QLabel *updownl1() const { return m_updownl1; }

private:
    static void setColour(QLabel *label, DisplayColour c);

    QLabel *m_meastext1;
    QLabel *m_measlab1;
    QLabel *m_secreadl;
    QLabel *m_measprop1;
    QLabel *m_mathala;
    ArrowLabel *m_updownl1;
};
