// SPDX-License-Identifier: GPL-3.0-or-later
#include "applylanguage.h"

#include "app/settings.h"
#include "instrument/devicelist.h"
#include "lang/langfile.h"
#include "lang/langtable.h"
#include "lang/langtexts.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

namespace {

using lang::KeyRow;

const QString kLang = QStringLiteral("LANG");
const QString kSection[] = {QStringLiteral("String"), QStringLiteral("Menu")};

// The window's own element, nearest first. The windows it owns (the large graph is the
// main window's child) have elements of the same names and rows of their own.
QObject *findElement(QWidget *window, const char *name)
{
    const QString n = QLatin1String(name);
    QList<QObject *> level = {window};
    while (!level.isEmpty()) {
        QList<QObject *> next;
        for (QObject *o : std::as_const(level)) {
            if (o->objectName() == n)
                return o;
            for (QObject *c : o->children()) {
                auto *w = qobject_cast<QWidget *>(c);
                if (!w || !w->isWindow() || qobject_cast<QMenu *>(w))
                    next << c;
            }
        }
        level = std::move(next);
    }
    // Commands another window owns but this one's menus offer.
    if (auto *mw = qobject_cast<QMainWindow *>(window)) {
        QList<QAction *> todo = mw->menuBar()->actions();
        while (!todo.isEmpty()) {
            QAction *a = todo.takeFirst();
            if (a->objectName() == n)
                return a;
            if (a->menu())
                todo << a->menu()->actions();
        }
    }
    return nullptr;
}

// The tab a page sits on, also when the page is wrapped in a scroll area.
bool setTabCaption(QWidget *w, const QString &text)
{
    QWidget *page = w;
    if (auto *area = qobject_cast<QScrollArea *>(
            w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
        area && area->widget() == w)
        page = area;
    QWidget *stack = page->parentWidget();
    auto *tabs = qobject_cast<QTabWidget *>(stack ? stack->parentWidget() : nullptr);
    const int index = tabs ? tabs->indexOf(page) : -1;
    if (index < 0)
        return false;
    tabs->setTabText(index, text);
    return true;
}

// The label that names an edit or a list.
QLabel *labelOf(QWidget *field)
{
    for (QLabel *l : field->window()->findChildren<QLabel *>())
        if (l->buddy() == field)
            return l;
    if (auto *form = qobject_cast<QFormLayout *>(
            field->parentWidget() ? field->parentWidget()->layout() : nullptr))
        return qobject_cast<QLabel *>(form->labelForField(field));
    return nullptr;
}

void setCaption(QObject *o, const QString &text)
{
    if (auto *a = qobject_cast<QAction *>(o))
        return a->setText(text);
    if (auto *m = qobject_cast<QMenu *>(o))
        return m->setTitle(text);
    auto *w = qobject_cast<QWidget *>(o);
    if (!w || setTabCaption(w, text))
        return;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->setText(text);
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        g->setTitle(text);
    else if (auto *l = qobject_cast<QLabel *>(w))
        l->setText(text);
    else if (QLabel *label = labelOf(w))
        label->setText(text);
}

void setHint(QObject *o, const QString &text)
{
    if (auto *a = qobject_cast<QAction *>(o))
        return a->setToolTip(text);
    if (auto *m = qobject_cast<QMenu *>(o))
        m->menuAction()->setToolTip(text);
    if (auto *w = qobject_cast<QWidget *>(o))
        w->setToolTip(text);
}

void setGridHeader(QObject *o, const QString &text)
{
    auto *grid = qobject_cast<QTableWidget *>(o);
    if (!grid)
        return;
    grid->setHorizontalHeaderLabels(devlist::headerCells(text));
    // A longer word than the designed column takes widens that column.
    QHeaderView *header = grid->horizontalHeader();
    for (int c = 0; c < grid->columnCount(); ++c)
        header->resizeSection(c, std::max(header->sectionSize(c), header->sectionSizeHint(c)));
}

QWidget *windowOf(lang::Window w, const LanguageWindows &windows)
{
    switch (w) {
    case lang::Window::Main:
        return windows.main;
    case lang::Window::Graph:
        return windows.graph;
    case lang::Window::Temperature:
        return windows.temperature;
    case lang::Window::None:
        break;
    }
    return nullptr;
}

void applyRow(const LangFile &file, const KeyRow &row, const LanguageWindows &windows)
{
    const QString section = kSection[static_cast<int>(row.section)];
    const QString key = QLatin1String(row.key);
    const bool designed = row.caption == nullptr;
    QString caption = file.text(section, key, QString::fromUtf8(row.caption));
    if (row.flags & lang::Escaped)
        caption = lang::expandEscapes(caption);
    if (row.flags & lang::Held)
        lang::hold(key, caption);
    QWidget *window = windowOf(row.window, windows);
    QObject *element = window && row.element ? findElement(window, row.element) : nullptr;
    if (!element)
        return;
    if ((row.flags & lang::Caption) && !(designed && !file.has(section, key))) {
        if (row.flags & lang::GridHeader)
            setGridHeader(element, caption);
        else
            setCaption(element,
                       (row.flags & lang::TwoBlanks) ? QStringLiteral("  ") + caption : caption);
    }
    if (row.flags & lang::Hint)
        setHint(element,
                file.text(section, key + QStringLiteral("-H"), QString::fromUtf8(row.hint)));
}

// Character set, face and smoothing of the main window, handed on to the other windows.
void applyFonts(const LangFile &file, const LanguageWindows &windows)
{
    QWidget *main = windows.main;
    if (!main)
        return;
    QFont font = main->font();
    if (file.number(kLang, QStringLiteral("SetFont"), 0) != 0)
        font.setFamily(file.text(kLang, QStringLiteral("Font"), QStringLiteral("Trebuchet MS")));
    const bool smooth = file.number(kLang, QStringLiteral("AntiAlias"), 0) != 0;
    if (smooth)
        font.setStyleStrategy(QFont::PreferAntialias);
    main->setFont(font);
    if (smooth) {
        const auto smoothen = [](QWidget *w, const char *name) {
            if (!w)
                return;
            if (auto *l = w->findChild<QWidget *>(QLatin1String(name))) {
                QFont f = l->font();
                f.setStyleStrategy(QFont::PreferAntialias);
                l->setFont(f);
            }
        };
        for (const char *n :
             {"mathal", "mathala", "big_chl", "autosavel", "meastext1", "measprop1", "termlab"})
            smoothen(main, n);
        for (const char *n : {"cursorlabel", "meanlab", "rmslab", "totall", "millab"})
            smoothen(windows.graph, n);
    }
    if (auto *label = main->findChild<QLabel *>(QStringLiteral("lasterrs")))
        label->clear();
    QList<QWidget *> takers = windows.fontTakers;
    if (auto *mw = qobject_cast<QMainWindow *>(main))
        takers << mw->menuBar();
    takers << main->findChild<QStatusBar *>(QStringLiteral("stb1")) << windows.graph;
    if (windows.graph)
        takers << windows.graph->findChild<QWidget *>(QStringLiteral("GrafStatusBar"));
    for (QWidget *w : takers)
        if (w)
            w->setFont(font);
}

} // namespace

QString languageFilePath(const Settings &s)
{
    if (!s.useLanguageFiles)
        return {};
    return s.programDir + QStringLiteral("kavlang/") + s.Language + QStringLiteral(".lng");
}

void ApplyLanguage(const QString &path, const LanguageWindows &windows)
{
    ApplyLanguage(LangFile::load(path), windows);
}

void ApplyLanguage(const LangFile &file, const LanguageWindows &windows)
{
    applyFonts(file, windows);
    for (const KeyRow &row : lang::keyTable())
        applyRow(file, row, windows);
    // Windows that compose texts from the held words take them up now.
    for (QWidget *w : {windows.main, windows.graph, windows.temperature}) {
        if (w) {
            QEvent changed(QEvent::LanguageChange);
            QCoreApplication::sendEvent(w, &changed);
        }
    }
}
