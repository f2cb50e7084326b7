// SPDX-License-Identifier: GPL-3.0-or-later
// The text help window over a 50 MB help file: opening it (F1) and searching as one types.
#include "app/settings.h"
#include "lang/helpwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <benchmark/benchmark.h>

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

// F1: from the show until the window answers events again, and until the text is there.
void BM_HelpOpen(benchmark::State &state)
{
    for (auto _ : state) {
        THELPf help(helpSettings());
        QElapsedTimer t;
        t.start();
        help.show();
        QCoreApplication::processEvents();
        const double shown = static_cast<double>(t.elapsed());
        auto *red1 = help.findChild<QTextEdit *>(QStringLiteral("red1"));
        while (red1->document()->characterCount() < kHelpBytes / 2)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.counters["shown_ms"] = shown;
        state.counters["text_ms"] = static_cast<double>(t.elapsed());
    }
}
BENCHMARK(BM_HelpOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// One keystroke into the search field, answered in the position label; the word is found
// only at the end of the text, so the whole text is searched.
void BM_HelpKeystroke(benchmark::State &state)
{
    THELPf help(helpSettings());
    help.show();
    auto *red1 = help.findChild<QTextEdit *>(QStringLiteral("red1"));
    while (red1->document()->characterCount() < kHelpBytes / 2)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    auto *finde = help.findChild<QLineEdit *>(QStringLiteral("finde"));
    auto *foundl = help.findChild<QLabel *>(QStringLiteral("foundl"));
    finde->clear();
    QCoreApplication::processEvents();
    const QString word = QStringLiteral("zyxwvut");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        finde->setText(word.left(n % word.size()));
        foundl->clear();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QTest::keyClick(finde, word[n % word.size()].toLatin1());
        while (foundl->text().isEmpty())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ++n;
    }
    state.SetLabel(foundl->text().toStdString());
}
BENCHMARK(BM_HelpKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(14);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
