// SPDX-License-Identifier: GPL-3.0-or-later
#include "readingarea.h"

#include "readingformat.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>

void ArrowLabel::paintEvent(QPaintEvent *)
{
    const QString t = text();
    if (t != QLatin1String("t") && t != QLatin1String("u"))
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(3, 3, -3, -3);
    const qreal side = std::min(r.width(), r.height());
    const QRectF box(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    QPainterPath path;
    if (t == QLatin1String("t")) {
        path.moveTo(box.center().x(), box.top());
        path.lineTo(box.bottomRight());
        path.lineTo(box.bottomLeft());
    } else {
        path.moveTo(box.topLeft());
        path.lineTo(box.topRight());
        path.lineTo(box.center().x(), box.bottom());
    }
    path.closeSubpath();
    p.fillPath(path, palette().color(QPalette::WindowText));
}

ReadingArea::ReadingArea(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("measpan1"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, colour(DisplayColour::Green));
    setPalette(pal);

    auto label = [this](const char *name, int points, bool bold) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        QFont f(QStringLiteral("DejaVu Sans Mono"), points, bold ? QFont::Bold : QFont::Normal);
        f.setStyleHint(QFont::Monospace);
        l->setFont(f);
        return l;
    };
    m_meastext1 = label("meastext1", 30, true);
    m_meastext1->setToolTip(
        QStringLiteral(" measured value (Click - copy to clipboard)  [CTRL + Ins]"));
    m_measlab1 = label("measlab1", 9, false);
    m_measlab1->setText(emptyBar());
    m_secreadl = label("secreadl", 14, false);
    m_secreadl->setVisible(false);
    m_measprop1 = label("measprop1", 9, false);
    m_measprop1->setText(QStringLiteral("Def\n\nDef"));
    m_measprop1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_mathala = label("mathala", 9, false);
    m_updownl1 = new ArrowLabel(this);
    m_updownl1->setObjectName(QStringLiteral("updownl1"));
    m_updownl1->setFixedSize(22, 22);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->addWidget(m_meastext1, 0, 0, 1, 2);
    grid->addWidget(m_updownl1, 0, 2, Qt::AlignTop);
    grid->addWidget(m_measprop1, 0, 3, 2, 1);
    grid->addWidget(m_measlab1, 1, 0, 1, 3);
    grid->addWidget(m_secreadl, 2, 0);
    grid->addWidget(m_mathala, 2, 1, 1, 3, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
}

QColor ReadingArea::colour(DisplayColour c)
{
    switch (c) {
    case DisplayColour::Red:
        return QColor(0xFF, 0x00, 0x00);
    case DisplayColour::Magenta:
        return QColor(0xFF, 0x00, 0xFF);
    case DisplayColour::Grey:
        return QColor(0x80, 0x80, 0x80);
    case DisplayColour::Green:
        break;
    }
    return QColor(0x00, 0xFF, 0x00);
}

void ReadingArea::setColour(QLabel *label, DisplayColour c)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour(c));
    label->setPalette(pal);
}

void ReadingArea::render(const ReadingView &view)
{
    m_meastext1->setText(view.meastext1);
    setColour(m_meastext1, view.valueColour);
    m_measlab1->setText(view.measlab1);
    setColour(m_measlab1, view.barColour);
    if (view.secreadl)
        m_secreadl->setText(*view.secreadl);
    m_mathala->setText(view.mathala);
    m_measprop1->setText(view.measprop1);
    m_updownl1->setText(view.updownl1);
    setColour(m_updownl1, view.valueColour);
}

void ReadingArea::setReadingColour(DisplayColour c)
{
    setColour(m_meastext1, c);
    setColour(m_measlab1, c);
}

void ReadingArea::setSecondaryVisible(bool visible)
{
    m_secreadl->setVisible(visible);
}

void ReadingArea::setMathLine(const QString &text)
{
    m_mathala->setText(text);
}

void ReadingArea::setStatusText(const QString &text)
{
    m_meastext1->setText(text);
}
