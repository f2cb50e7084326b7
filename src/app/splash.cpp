// SPDX-License-Identifier: GPL-3.0-or-later
#include "splash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr int kPictureWidth = 360;
constexpr int kPictureHeight = 150;

// A bench meter's face: a dark display with a green reading.
void paintPicture(QPainter &p, const QRect &r)
{
    p.fillRect(r, QColor(40, 44, 52));
    const QRect display = r.adjusted(24, 22, -24, -46);
    p.setPen(QPen(QColor(120, 128, 140), 2));
    p.setBrush(Qt::black);
    p.drawRoundedRect(display, 6, 6);
    QFont digits(QStringLiteral("DejaVu Sans Mono"));
    digits.setStyleHint(QFont::Monospace);
    digits.setPixelSize(display.height() * 2 / 3);
    digits.setBold(true);
    p.setFont(digits);
    p.setPen(QColor(0, 255, 0));
    p.drawText(display.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("+8.8840 V"));
    const int knobY = r.bottom() - 24;
    p.setPen(Qt::NoPen);
    const QColor knobs[] = {QColor(200, 60, 50), QColor(30, 30, 30), QColor(230, 230, 230)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(knobs[i]);
        p.drawEllipse(QPoint(r.right() - 40 - i * 34, knobY), 9, 9);
    }
}
} // namespace

TSplash::TSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("TSplash"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto *col = new QVBoxLayout(this);
    col->setContentsMargins(0, kPictureHeight, 0, 0);
    col->setSpacing(0);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("splashtext"));
    m_text->setFrameShape(QFrame::Panel);
    m_text->setFrameShadow(QFrame::Sunken);
    m_text->setMargin(3);
    col->addWidget(m_text);
    setFixedWidth(kPictureWidth);
    setFixedHeight(kPictureHeight + m_text->sizeHint().height());
}

void TSplash::setText(const QString &text)
{
    m_text->setText(text);
}

QString TSplash::text() const
{
    return m_text->text();
}

void TSplash::centreOnScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void TSplash::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintPicture(p, QRect(0, 0, width(), kPictureHeight));
    if (!m_paintedOnce) {
        m_paintedOnce = true;
        emit painted();
    }
}
