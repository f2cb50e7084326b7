// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainclipboard.h"

#include "app/settings.h"
#include "data/clipboardcommands.h"
#include "data/datafile.h"
#include "engine/chartpanel.h"
#include "engine/readingarea.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>

MainClipboard::MainClipboard(Settings &settings, ReadingEngine &engine, ChartController &chart,
                             ReadingArea *measpan1, QObject *parent)
    : QObject(parent), m_s(settings), m_engine(engine), m_chart(chart), m_area(measpan1)
{
    m_area->meastext1()->installEventFilter(this);
    m_area->secreadl()->installEventFilter(this);
}

void MainClipboard::addMenuItems(QMenu *menu)
{
    using Handler = void (MainClipboard::*)();
    const struct
    {
        const char *name;
        const char *caption;
        Handler handler;
    } items[] = {
        {"Copylastmeasuredvaluetoclipboardcomplete1",
         "Copy last measured value to clipboard - complete",
         &MainClipboard::Copylastmeasuredvaluetoclipboardcomplete1Click},
        {"Copylastmeasuredvaluetoclipboard1",
         "Copy last measured value to clipboard - number only [CTRL + Ins]",
         &MainClipboard::Copylastmeasuredvaluetoclipboard1Click},
        {"copydisplayasimagetoclipboard1", "Copy display as image to clipboard",
         &MainClipboard::copydisplayasimagetoclipboard1Click},
        {"Copychartasbitmaptoclipboard1", "Copy chart as image to clipboard",
         &MainClipboard::Copychartasbitmaptoclipboard1Click},
        {"Copychartvaluestoclipboard1", "Copy chart values to clipboard - complete",
         &MainClipboard::Copychartvaluestoclipboard1Click},
        {"Copychartvaluestoclipboardnumbersonly1", "Copy chart values to clipboard - numbers only",
         &MainClipboard::Copychartvaluestoclipboardnumbersonly1Click},
    };
    for (const auto &item : items) {
        QAction *a = menu->addAction(QLatin1String(item.caption));
        a->setObjectName(QLatin1String(item.name));
        connect(a, &QAction::triggered, this, item.handler);
    }
}

void MainClipboard::Copylastmeasuredvaluetoclipboardcomplete1Click()
{
    QGuiApplication::clipboard()->setText(clipexport::recordText(
        m_chart.stats().entry(chart::kShown - 1).rec, clipexport::Form::Complete,
        datafile::decimalSeparatorOf(m_s.DecSeparator)));
}

void MainClipboard::Copylastmeasuredvaluetoclipboard1Click()
{
    meastext1Click(Qt::NoModifier);
}

void MainClipboard::copydisplayasimagetoclipboard1Click()
{
    clipcmd::copyPanelImage(m_area);
}

void MainClipboard::Copychartasbitmaptoclipboard1Click()
{
    const QImage picture = m_chart.chartPicture();
    if (!picture.isNull())
        QGuiApplication::clipboard()->setImage(picture);
}

void MainClipboard::copyChartValues(bool complete)
{
    const ChartStats &stats = m_chart.stats();
    QGuiApplication::clipboard()->setText(clipexport::listText(
        chart::kShown, [&stats](int i) -> const measpol & { return stats.entry(i).rec; },
        complete ? clipexport::Form::Complete : clipexport::Form::NumbersOnly,
        datafile::decimalSeparatorOf(m_s.DecSeparator)));
}

void MainClipboard::Copychartvaluestoclipboard1Click()
{
    copyChartValues(true);
}

void MainClipboard::Copychartvaluestoclipboardnumbersonly1Click()
{
    copyChartValues(false);
}

void MainClipboard::meastext1Click(Qt::KeyboardModifiers mods)
{
    const ReadingState &st = m_engine.state();
    QGuiApplication::clipboard()->setText(
        clipboardValueText(st.processed, st.Lunits1, mods, m_s.DecSeparator));
}

void MainClipboard::secreadlClick(Qt::KeyboardModifiers mods)
{
    const ReadingState &st = m_engine.state();
    QGuiApplication::clipboard()->setText(
        clipboardValueText(st.secondary, st.Lunits2, mods, m_s.DecSeparator));
}

bool MainClipboard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *label = static_cast<QWidget *>(watched);
        if (mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            if (watched == m_area->meastext1())
                meastext1Click(mouse->modifiers());
            else if (watched == m_area->secreadl())
                secreadlClick(mouse->modifiers());
        }
    }
    return QObject::eventFilter(watched, event);
}
