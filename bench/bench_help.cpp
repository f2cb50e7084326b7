// SPDX-License-Identifier: GPL-3.0-or-later
// The text help window over a 50 MB help file: opening it (F1) and searching as one types.
#include "app/settings.h"
#include "lang/helpwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include "widgetsbenchmain.h"

namespace {

constexpr qsizetype kHelpBytes = 50 << 20;

// The shipped guide's kind of text, repeated to 50 MB, with one word only at the very end.
QTemporaryDir &helpDir()
{
    static QTemporaryDir dir;
    static bool written = [] {
        QByteArray page;
        for (int i = 0; i < 120; ++i)
            page += "Line " + QByteArray::number(i) +
                    ": the meter shows readings, saves them and draws the graph.\r\n";
        QByteArray text;
        text.reserve(kHelpBytes + page.size());
        while (text.size() < kHelpBytes)
            text += page;
        text += "Zyxwvut at the end.\r\n";
        QFile f(dir.filePath(QStringLiteral("en.help")));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }();
    Q_UNUSED(written);
    return dir;
}

Settings &helpSettings()
{
    static Settings s = [] {
        Settings r;
        r.programDir = helpDir().path() + u'/';
        return r;
    }();
    return s;
}

// The longest time the event loop stood still while `done` is not true yet.
template <typename Done>
double longestGap(Done done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        worst = std::max(worst, clock.elapsed() - last);
        last = clock.elapsed();
    }
    return static_cast<double>(worst);
}

// The help window with its text there, the search field empty.
struct ShownHelp
{
    THELPf help{helpSettings()};
    QLineEdit *finde = nullptr;
    QLabel *foundl = nullptr;
    ShownHelp()
    {
        help.show();
        while (!help.textReady())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        finde = help.findChild<QLineEdit *>(QStringLiteral("finde"));
        foundl = help.findChild<QLabel *>(QStringLiteral("foundl"));
        finde->clear();
        QCoreApplication::processEvents();
    }
    // One key into the search field; milliseconds until the position label answers.
    double keystroke(int key)
    {
        foundl->clear();
        QElapsedTimer t;
        t.start();
        QTest::keyClick(finde, static_cast<Qt::Key>(key));
        while (foundl->text().isEmpty() || help.searching())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return static_cast<double>(t.elapsed());
    }
};

// F1: from the show until the window answers events again, and until the text is there.
void BM_HelpOpen(benchmark::State &state)
{
    for (auto _ : state) {
        THELPf help(helpSettings());
        QElapsedTimer t;
        t.start();
        help.show();
        QCoreApplication::processEvents();
        state.counters["shown_ms"] = static_cast<double>(t.elapsed());
        state.counters["longestGap_ms"] = longestGap([&] { return help.textReady(); });
        state.counters["text_ms"] = static_cast<double>(t.elapsed());
    }
}
BENCHMARK(BM_HelpOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// One keystroke into the search field until the position label answers; the word is found
// only at the end of the text, so the first letter searches the whole text.
void BM_HelpKeystroke(benchmark::State &state)
{
    ShownHelp h;
    // Typed afresh each round, so every keystroke but the first can go on from a hit.
    const QString word = QStringLiteral("ZYXWVUT");
    int n = 0;
    double worst = 0;
    for (auto _ : state) {
        if (n % word.size() == 0) {
            state.PauseTiming();
            h.finde->clear();
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
        worst = std::max(worst, h.keystroke(word[n % word.size()].unicode()));
        ++n;
    }
    state.counters["slowest_ms"] = worst;
    state.SetLabel(h.foundl->text().toStdString());
}
BENCHMARK(BM_HelpKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(14);

// A search for a word that is nowhere: the whole text each keystroke.
void BM_HelpKeystrokeMiss(benchmark::State &state)
{
    ShownHelp h;
    double worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        h.finde->setText(QStringLiteral("qq"));
        QCoreApplication::processEvents();
        while (h.help.searching())
            QCoreApplication::processEvents();
        state.ResumeTiming();
        worst = std::max(worst, h.keystroke(Qt::Key_Backspace));
    }
    state.counters["slowest_ms"] = worst;
    state.SetLabel(h.foundl->text().toStdString());
}
BENCHMARK(BM_HelpKeystrokeMiss)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

TERVAXIS_WIDGETS_BENCHMARK_MAIN()
