// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "readingengine.h"

#include <QObject>
#include <QPointer>

class MathPage;
class QWidget;
class ReadingArea;
class ToneOutput;
struct Settings;

// Shows the current reading (the engine is the measuring session's) and connects it to the reading
// area, the Math page and the tone. The main window embeds createReadingArea() in its display panel
// and createMathPage() as the "Math F7" page, calls applySettings() on its first show, and runs
// ProcessReading() for request 1 (the link's ReadValue posts it); the cycle calls
// engine().ParseConf() and ProcessReading() directly. Title changes arrive through
// titleChanged() for the window to show.
class ReadingController : public QObject
{
    Q_OBJECT
public:
    ReadingController(ReadingEngine &engine, ToneOutput &tone, QObject *parent = nullptr);

    ReadingEngine &engine() { return m_engine; }
    ReadingState &state() { return m_engine.state(); }
    Settings &settings() { return m_engine.settings(); }

    ReadingArea *createReadingArea(QWidget *parent);
    MathPage *createMathPage(QWidget *parent);
    ReadingArea *readingArea() const { return m_area; }
    MathPage *mathPage() const { return m_page; }

    // Processes the current value and shows it; beeps when the limit test asks.
    ReadingView ProcessReading();
    // Puts the loaded settings into the page's boxes and fields.
    void applySettings();

    QString title() const { return m_title; }

signals:
    void titleChanged(const QString &title);
    // The limit settings changed: the small chart should be redrawn.
    void chartRedrawRequested();

private:
    ReadingEngine &m_engine;
    ToneOutput &m_tone;
    QPointer<ReadingArea> m_area;
    QPointer<MathPage> m_page;
    QString m_title;
};
