// SPDX-License-Identifier: GPL-3.0-or-later
#include "readingcontroller.h"

#include "mathpage.h"
#include "readingarea.h"
#include "tone.h"

ReadingController::ReadingController(ReadingEngine &engine, ToneOutput &tone, QObject *parent)
    : QObject(parent), m_engine(engine), m_tone(tone)
{
}

ReadingArea *ReadingController::createReadingArea(QWidget *parent)
{
    m_area = new ReadingArea(parent);
    return m_area;
}

MathPage *ReadingController::createMathPage(QWidget *parent)
{
    m_page = new MathPage(*this, parent);
    connect(m_page, &MathPage::chartRedrawRequested, this,
            &ReadingController::chartRedrawRequested);
    return m_page;
}

ReadingView ReadingController::ProcessReading()
{
    const ReadingView view = m_engine.ProcessReading();
    if (m_area)
        m_area->render(view);
    // Every time, not only on a change: the link's state texts share the title, so the
    // same reading as before a lost connection must replace "Not Connected!".
    if (view.title) {
        m_title = *view.title;
        emit titleChanged(m_title);
    }
    if (view.beepHz > 0)
        m_tone.beep(view.beepHz, view.beepMs);
    return view;
}

void ReadingController::applySettings()
{
    if (m_page)
        m_page->applySettings();
}
