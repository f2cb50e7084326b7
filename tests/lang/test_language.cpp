// SPDX-License-Identifier: GPL-3.0-or-later
#include "../app/mainfixture.h"

#include "graph/graphwindow.h"
#include "lang/applylanguage.h"
#include "lang/langfile.h"
#include "lang/langtable.h"
#include "lang/langtexts.h"
#include "tempcalc/tempcalcf.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QToolButton>

namespace {

QString captionOf(QObject *o)
{
    if (auto *a = qobject_cast<QAction *>(o))
        return a->text();
    if (auto *m = qobject_cast<QMenu *>(o))
        return m->title();
    if (auto *b = qobject_cast<QAbstractButton *>(o))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(o))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(o))
        return g->title();
    return {};
}

QString hintOf(QObject *o)
{
    // An action without a hint reports its caption, which the menu does not show.
    if (auto *a = qobject_cast<QAction *>(o)) {
        QString shown = a->text();
        shown.remove(QStringLiteral("...")).remove(u'&');
        return a->toolTip() == shown ? QString() : a->toolTip();
    }
    if (auto *w = qobject_cast<QWidget *>(o))
        return w->toolTip();
    return {};
}

// Every caption and hint a user can see in the window, by element name.
QMap<QString, QString> visibleTexts(QWidget *window)
{
    QMap<QString, QString> texts;
    for (QObject *o : window->findChildren<QObject *>()) {
        if (o->objectName().isEmpty())
            continue;
        texts[o->objectName() + QStringLiteral(" caption")] = captionOf(o).trimmed();
        texts[o->objectName() + QStringLiteral(" hint")] = hintOf(o).trimmed();
    }
    for (auto *tabs : window->findChildren<QTabWidget *>())
        for (int i = 0; i < tabs->count(); ++i)
            texts[QStringLiteral("tab %1").arg(i)] = tabs->tabText(i);
    if (auto *grid = window->findChild<QTableWidget *>(QStringLiteral("instrumentgrid1")))
        for (int c = 0; c < grid->columnCount(); ++c)
            texts[QStringLiteral("column %1").arg(c)] = grid->horizontalHeaderItem(c)->text();
    return texts;
}

// What a user finds under a name in one window: the commands of its menus (whoever owns
// them) and its own widgets.
QObject *shownElement(QWidget *window, const QString &name)
{
    if (auto *mw = qobject_cast<QMainWindow *>(window)) {
        QList<QAction *> todo = mw->menuBar()->actions();
        while (!todo.isEmpty()) {
            QAction *a = todo.takeFirst();
            if (a->menu()) {
                if (a->menu()->objectName() == name)
                    return a->menu();
                todo << a->menu()->actions();
            } else if (a->objectName() == name) {
                return a;
            }
        }
    }
    for (QWidget *w : window->findChildren<QWidget *>(name))
        if (w->window() == window)
            return w;
    return nullptr;
}

// The caption a user reads for an element: a page's tab, an edit's label, a grid's header.
QString shownCaption(QWidget *window, QObject *o)
{
    auto *w = qobject_cast<QWidget *>(o);
    if (w && !qobject_cast<QMenu *>(w)) {
        for (auto *tabs : window->findChildren<QTabWidget *>())
            for (int i = 0; i < tabs->count(); ++i) {
                auto *area = qobject_cast<QScrollArea *>(tabs->widget(i));
                if (tabs->widget(i) == w || (area && area->widget() == w))
                    return tabs->tabText(i);
            }
        if (auto *grid = qobject_cast<QTableWidget *>(w)) {
            QStringList cells;
            for (int c = 0; c < grid->columnCount(); ++c)
                cells << grid->horizontalHeaderItem(c)->text();
            return cells.join(QStringLiteral("\r\n"));
        }
        if (qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w)) {
            for (QLabel *l : window->findChildren<QLabel *>())
                if (l->buddy() == w)
                    return l->text();
        }
    }
    return captionOf(o);
}

// The Alt key a caption gives, lower case; none for "&&" or no "&".
QChar mnemonicOf(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u' ')
            continue;
        if (text[i + 1] != u'&')
            return text[i + 1].toLower();
        ++i;
    }
    return {};
}

// Keys given twice among the captions, as "key: caption, caption".
QStringList clashes(const QStringList &captions)
{
    QMap<QChar, QStringList> byKey;
    for (const QString &c : captions)
        if (const QChar k = mnemonicOf(c); !k.isNull())
            byKey[k] << c;
    QStringList out;
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it)
        if (it.value().size() > 1)
            out << QString(it.key()) + QStringLiteral(": ") + it.value().join(QStringLiteral(", "));
    return out;
}

// What the keyboard reaches in a window as it shows now: the menu bar's titles and the
// visible controls; and each visible control whose caption does not fit.
QStringList shownCaptions(QWidget *window, QStringList *cut)
{
    QStringList captions;
    if (auto *mw = qobject_cast<QMainWindow *>(window))
        for (QAction *a : mw->menuBar()->actions())
            if (a->isVisible())
                captions << a->text();
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisible() || w->window() != window)
            continue;
        QString text;
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            text = b->text();
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            text = g->title();
        else if (auto *l = qobject_cast<QLabel *>(w); l && l->buddy())
            text = l->text();
        if (text.isEmpty())
            continue;
        captions << text;
        const auto *label = qobject_cast<QLabel *>(w);
        if (!qobject_cast<QGroupBox *>(w) && !(label && label->wordWrap()) &&
            w->width() < w->sizeHint().width())
            *cut << text;
    }
    return captions;
}

// The windows as start-up builds them, a shipped language file applied, at a desktop's
// usual font.
struct DesktopFont
{
    QFont before = QApplication::font();
    DesktopFont() { QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10)); }
    ~DesktopFont() { QApplication::setFont(before); }
};
struct Shipped
{
    DesktopFont font;
    MainFixture f;
    Ttempcalcf temperature{f.settings, f.link};
    LanguageWindows w;
    explicit Shipped(const QString &language)
    {
        f.settings.programDir = QStringLiteral(TERVAXIS_RESOURCES) + u'/';
        f.settings.Language = language;
        f.main->setTemperatureWindow(&temperature);
        w.main = f.main.get();
        w.graph = f.main->graph();
        w.temperature = &temperature;
        ApplyLanguage(languageFilePath(f.settings), w);
    }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { lang::clearTexts(); }

    void fileReachesTheMainWindow_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");
        const QByteArray none;
        QTest::newRow("defaults: erase graph") << none << "ClearGraph1"
                                               << "caption"
                                               << "Erase Graph!";
        QTest::newRow("defaults: empty hint") << none << "Communication1"
                                              << "hint"
                                              << "";
        QTest::newRow("defaults: two blanks") << none << "Savealldata1"
                                              << "caption"
                                              << "  Save all data";
        QTest::newRow("defaults: width toggle") << none << "more1"
                                                << "caption"
                                                << "Less F9 <";
        QTest::newRow("defaults: close question") << none << ""
                                                  << "close question"
                                                  << "Do You Want Close?";
        QTest::newRow("two-line question")
            << QByteArray("[String]\r\nsAplClose = Wirklich beenden?\\nJa/Nein \r\n") << ""
            << "close question"
            << "Wirklich beenden?\r\nJa/Nein";
        QTest::newRow("blanks only through \\s")
            << QByteArray("[string]\nsStatistic=\\s Werte\\s\n") << ""
            << "held sStatistic"
            << "  Werte ";
        QTest::newRow("device columns")
            << QByteArray("[Menu]\nIntr1R=Name\\nIP\\nPort\n") << "instrumentgrid1"
            << "header"
            << "Name|IP|Port";
        QTest::newRow("empty value blanks") << QByteArray("[Menu]\nClearGraph=\n") << "ClearGraph1"
                                            << "caption"
                                            << "";
        QTest::newRow("measnot names measnote")
            << QByteArray("[Menu]\nmeasnot=Hinweis\n") << "measnote"
            << "caption"
            << "Hinweis";
        QTest::newRow("MeasureB names measb")
            << QByteArray("[MENU]\nMEASUREB=Messen F11\nMeasureB-h=eine Messung\n") << "measb"
            << "caption hint"
            << "Messen F11|eine Messung";
        QTest::newRow("labelled edit") << QByteArray("[Menu]\nport1le=P&ort\n") << "port1le"
                                       << "label"
                                       << "P&ort";
        QTest::newRow("tab caption") << QByteArray("[Menu]\nmathtab=Mathe F7\n") << ""
                                     << "tab 2"
                                     << "Mathe F7";
        QTest::newRow("first key wins, comments skipped")
            << QByteArray("Exit=before any section\n[Menu]\n; Exit=comment\nExit=Ende\nexit=x\n")
            << "Exit1"
            << "caption"
            << "Ende";
        QTest::newRow("SetFont without Font") << QByteArray("[LANG]\nSetFont=1\n") << ""
                                              << "font"
                                              << "Trebuchet MS";
        QTest::newRow("Windows-1252 umlauts")
            << QByteArray("[LANG]\r\nCharset=0\r\n[Menu]\r\nExit=Schlie\xdf"
                          "en und \xdc"
                          "berpr\xfc"
                          "fen\r\n")
            << "Exit1"
            << "caption" << QString::fromUtf8("Schließen und Überprüfen");
        // Written by an editor that ends lines with CR alone; Charset read from it too.
        QTest::newRow("CR line ends")
            << QByteArray("; Sprachdatei\r[LANG]\rCharset=204\r[Menu]\rExit=\xc2\xfb\xf5\xee\xe4\r"
                          "ClearGraph=Grafik\r")
            << "Exit1"
            << "caption" << QString::fromUtf8("Выход");
        QTest::newRow("Charset picks Cyrillic")
            << QByteArray("[LANG]\nCharset=204\n[Menu]\nExit=\xc2\xfb\xf5\xee\xe4\n") << "Exit1"
            << "caption" << QString::fromUtf8("Выход");
        static const char kRaw[] = "\x00\x01\xff\xfe[Menu\x00]\nExit=\x00\x02\n";
        QByteArray damaged(kRaw, sizeof kRaw - 1);
        damaged += "[Menu]\nClearGraph=" + QByteArray(1 << 20, 'x') + "\n";
        damaged += QByteArray(4096, '\xff');
        QTest::newRow("damaged file") << damaged << "ClearGraph1"
                                      << "caption"
                                      << "Erase Graph!";
    }
    void fileReachesTheMainWindow()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, element);
        QFETCH(QString, what);
        QFETCH(QString, expected);
        MainFixture f;
        f.settings.programDir = f.dir.path() + QStringLiteral("/prog/");
        f.settings.Language = QStringLiteral("German");
        if (!file.isNull())
            writeFile(languageFilePath(f.settings), file);
        else
            f.settings.useLanguageFiles = false;
        LanguageWindows windows;
        windows.main = f.main.get();
        ApplyLanguage(languageFilePath(f.settings), windows);
        f.main->show();

        QObject *o = element.isEmpty() ? nullptr : f.main->findChild<QObject *>(element);
        QString actual;
        if (what == QLatin1String("caption"))
            actual = captionOf(o);
        else if (what == QLatin1String("hint"))
            actual = hintOf(o);
        else if (what == QLatin1String("caption hint"))
            actual = captionOf(o) + u'|' + hintOf(o);
        else if (what == QLatin1String("label")) {
            for (QLabel *l : f.main->findChildren<QLabel *>())
                if (l->buddy() == o)
                    actual = l->text();
        } else if (what == QLatin1String("header")) {
            QStringList cells;
            auto *grid = qobject_cast<QTableWidget *>(o);
            for (int c = 0; c < grid->columnCount(); ++c)
                cells << grid->horizontalHeaderItem(c)->text();
            actual = cells.join(u'|');
        } else if (what.startsWith(QLatin1String("tab ")))
            actual = f.main->pages()->tabText(what.mid(4).toInt());
        else if (what == QLatin1String("font"))
            actual = f.main->font().family();
        else if (what.startsWith(QLatin1String("held ")))
            actual = lang::text(what.mid(5));
        else if (what == QLatin1String("close question")) {
            f.answerYes = false;
            f.main->close();
            QCOMPARE(f.questions.size(), 1);
            actual = f.questions.first();
        }
        QCOMPARE(actual, expected);
    }

    void startWidthShowsEveryTab_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("German") << "German";
    }
    // At the start width the tab row, the identification line of a real instrument and
    // the terminator panel show whole.
    void startWidthShowsEveryTab()
    {
        QFETCH(QString, language);
        Shipped s(language);
        MainFixture &f = s.f;
        f.main->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.main.get()));
        f.main->setInstrumentIds(
            QStringLiteral("Device: ORVA 8846A  SN: 1234567890  Cal: +2025,+11,+03"));
        f.main->setEolStatus(QStringLiteral("EOL 0D0A CRLF  "));
        QCoreApplication::processEvents();

        QTabBar *bar = f.main->pages()->tabBar();
        for (auto *arrow : bar->findChildren<QToolButton *>())
            QVERIFY2(!arrow->isVisible(), "scroll arrows on the tab row");
        for (int i = 0; i < bar->count(); ++i) {
            if (!bar->isTabVisible(i))
                continue;
            const QRect r = bar->tabRect(i);
            QVERIFY2(bar->rect().contains(r), qPrintable(bar->tabText(i)));
            QVERIFY2(r.width() >= bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                     qPrintable(bar->tabText(i)));
        }
        auto *ids = f.find<QLabel>("instumentids");
        QVERIFY(ids->isVisible());
        QVERIFY(ids->height() >= ids->heightForWidth(ids->width()));
        for (const QString &word : ids->text().split(u' ', Qt::SkipEmptyParts))
            QVERIFY2(ids->fontMetrics().horizontalAdvance(word) <= ids->contentsRect().width(),
                     qPrintable(word));
        // The device list's header words show whole too.
        QHeaderView *header = f.find<QTableWidget>("instrumentgrid1")->horizontalHeader();
        for (int c = 0; c < header->count(); ++c)
            QVERIFY2(header->sectionSize(c) >= header->sectionSizeHint(c),
                     qPrintable(header->model()->headerData(c, Qt::Horizontal).toString()));
        auto *eol = f.find<QLabel>("stb1_2");
        QVERIFY(eol->width() >= eol->fontMetrics().horizontalAdvance(eol->text()));
        QVERIFY(eol->geometry().right() <= f.main->statusBar()->width());
    }

    // German.lng on the real windows, as start-up builds them: every key of the table shows
    // its German text on its element, whichever window owns the element.
    void germanReachesEveryElement()
    {
        Shipped s(QStringLiteral("German"));
        MainFixture &f = s.f;
        Ttempcalcf &temperature = s.temperature;
        LanguageWindows &w = s.w;
        const LangFile german = LangFile::load(languageFilePath(f.settings));
        const QString sections[] = {QStringLiteral("String"), QStringLiteral("Menu")};
        int checked = 0;
        QStringList wrong;
        for (const lang::KeyRow &row : lang::keyTable()) {
            QWidget *window = row.window == lang::Window::Main    ? w.main
                              : row.window == lang::Window::Graph ? w.graph
                                                                  : w.temperature;
            if (!row.element || row.window == lang::Window::None)
                continue;
            const QString section = sections[static_cast<int>(row.section)];
            const QString key = QLatin1String(row.key);
            QObject *o = shownElement(window, QLatin1String(row.element));
            if (!o) {
                wrong << QLatin1String(row.element) + QStringLiteral(": not found");
                continue;
            }
            if (row.flags & lang::Caption) {
                QString expected = german.text(section, key, QStringLiteral("<missing>"));
                if (row.flags & lang::Escaped)
                    expected = lang::expandEscapes(expected);
                if (row.flags & lang::TwoBlanks)
                    expected.prepend(QStringLiteral("  "));
                if (shownCaption(window, o) != expected)
                    wrong << key + QStringLiteral(": ") + shownCaption(window, o);
                ++checked;
            }
            if (row.flags & lang::Hint) {
                const QString hint =
                    german.text(section, key + QStringLiteral("-H"), QStringLiteral("<missing>"));
                if (hintOf(o) != hint)
                    wrong << key + QStringLiteral("-H: ") + hintOf(o);
                ++checked;
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("\n"))));
        QVERIFY2(checked > 200, qPrintable(QString::number(checked)));

        // The held words: the questions and the large graph's statistics.
        TGraphFrm *g = f.main->graph();
        f.answerYes = false;
        namedChild<QAction>(g, "Drop1")->trigger();
        namedChild<QAction>(g, "Deleteselected1")->trigger();
        auto *probes = temperature.findChild<QMenu *>(QStringLiteral("Standartprobes1"));
        for (QAction *a : probes->actions()) {
            if (a->isEnabled() && !a->isSeparator()) {
                a->trigger();
                break;
            }
        }
        QCOMPARE(f.questions.size(), 3);
        QCOMPARE(f.questions[0], german.text(sections[0], QStringLiteral("sClearBuffer"), {}));
        QCOMPARE(f.questions[1], german.text(sections[0], QStringLiteral("sDeleteSelDa"), {}));
        QVERIFY(
            f.questions[2].startsWith(german.text(sections[0], QStringLiteral("sSetProbeDa"), {})));
        measpol r;
        r.value1 = 1.5L;
        r.Lunits1.set(u"V");
        f.buffer.Append(r);
        r.value1 = 2.5L;
        f.buffer.Append(r);
        g->show();
        QVERIFY(QTest::qWaitForWindowExposed(g));
        g->Repaint1Click();
        QString shown = namedChild<QLabel>(g, "totall")->text() + u'\n' +
                        namedChild<QLabel>(g, "millab")->text() + u'\n' +
                        namedChild<QLabel>(g, "meanlab")->text() + u'\n' +
                        namedChild<QLabel>(g, "rmslab")->text() + u'\n' +
                        namedChild<QLabel>(g, "cursorlabel")->text();
        for (const char *k : {"sTotal", "sFrom", "sTo", "sCount", "sMean", "sRms", "sMin", "sMax",
                              "sRange", "sPkPk", "sFirst", "sUnits", "sResol"}) {
            const QString word = german.text(sections[0], QLatin1String(k), {});
            QVERIFY2(QRegularExpression(QStringLiteral("(^|\n)") +
                                        QRegularExpression::escape(word) + QStringLiteral("[ +-]"))
                         .match(shown)
                         .hasMatch(),
                     k);
        }
        QVERIFY(!shown.contains(QLatin1String("Count")));
    }

    void mnemonicsAndCaptions_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "English";
        QTest::newRow("German") << "German";
    }
    // In every menu and on every page each Alt key opens one thing, and every caption
    // shows whole.
    void mnemonicsAndCaptions()
    {
        QFETCH(QString, language);
        Shipped s(language);
        LanguageWindows &w = s.w;
        QStringList problems;
        for (QWidget *window : {w.main, w.graph, w.temperature}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QString name = window->objectName() + QStringLiteral(" ");
            if (auto *mw = qobject_cast<QMainWindow *>(window)) {
                for (QMenu *menu : mw->menuBar()->findChildren<QMenu *>()) {
                    QStringList entries;
                    for (QAction *a : menu->actions())
                        entries << a->text();
                    for (const QString &c : clashes(entries))
                        problems << name + menu->title() + QStringLiteral(" menu ") + c;
                }
            }
            // Each page of the window in turn; the temperature window shows both tabs
            // once its probe entry is clicked.
            if (window == w.temperature)
                namedChild<QAction>(window, "prbfilename")->trigger();
            QList<QTabWidget *> tabs = window->findChildren<QTabWidget *>();
            const int pages = tabs.isEmpty() ? 1 : static_cast<int>(tabs.first()->count());
            for (int i = 0; i < pages; ++i) {
                if (!tabs.isEmpty()) {
                    if (!tabs.first()->isTabVisible(i))
                        continue;
                    tabs.first()->setCurrentIndex(i);
                }
                QCoreApplication::processEvents();
                QStringList cut;
                const QString where =
                    name + (tabs.isEmpty() ? QString() : tabs.first()->tabText(i)) + u' ';
                for (const QString &c : clashes(shownCaptions(window, &cut)))
                    problems << where + c;
                for (const QString &c : cut)
                    problems << where + QStringLiteral("cut: ") + c;
            }
        }

        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    }

    // The shipped English file says what the program says without one.
    void englishFileEqualsTheDefaults()
    {
        MainFixture bare;
        bare.settings.useLanguageFiles = false;
        LanguageWindows w1;
        w1.main = bare.main.get();
        ApplyLanguage(languageFilePath(bare.settings), w1);

        MainFixture english;
        english.settings.programDir = QStringLiteral(TERVAXIS_RESOURCES) + u'/';
        english.settings.Language = QStringLiteral("English");
        LanguageWindows w2;
        w2.main = english.main.get();
        ApplyLanguage(languageFilePath(english.settings), w2);

        const auto a = visibleTexts(bare.main.get());
        const auto b = visibleTexts(english.main.get());
        for (auto it = a.cbegin(); it != a.cend(); ++it)
            QCOMPARE(b.value(it.key()), it.value());
    }

    // Every key of the English file has its German text, read as Windows-1252.
    void germanFileIsComplete()
    {
        const auto keysOf = [](const QString &name) {
            QFile f(QStringLiteral(TERVAXIS_RESOURCES "/kavlang/") + name);
            if (!f.open(QIODevice::ReadOnly))
                return QStringList();
            QStringList keys;
            QString section;
            for (const QByteArray &raw : f.readAll().split('\n')) {
                const QString line = QString::fromLatin1(raw).trimmed();
                if (line.startsWith(u'['))
                    section = line;
                else if (line.contains(u'=') && !line.startsWith(u';'))
                    keys << section + line.left(line.indexOf(u'=')).trimmed().toLower();
            }
            keys.sort();
            return keys;
        };
        const QStringList english = keysOf(QStringLiteral("English.lng"));
        QVERIFY(english.size() > 150);
        const QStringList german = keysOf(QStringLiteral("German.lng"));
        for (const QString &key : english)
            QVERIFY2(german.contains(key), qPrintable(key));
        // A caption with an Alt key in English has one in German too.
        const LangFile en =
            LangFile::load(QStringLiteral(TERVAXIS_RESOURCES "/kavlang/English.lng"));
        const LangFile de =
            LangFile::load(QStringLiteral(TERVAXIS_RESOURCES "/kavlang/German.lng"));
        for (const QString &key : english) {
            if (key.endsWith(QLatin1String("-h")))
                continue;
            const QString section = key.section(u']', 0, 0).mid(1);
            const QString name = key.section(u']', 1);
            if (!mnemonicOf(en.text(section, name, {})).isNull())
                QVERIFY2(!mnemonicOf(de.text(section, name, {})).isNull(), qPrintable(key));
        }

        MainFixture f;
        f.settings.programDir = QStringLiteral(TERVAXIS_RESOURCES) + u'/';
        f.settings.Language = QStringLiteral("German");
        LanguageWindows w;
        w.main = f.main.get();
        w.graph = f.main->graph();
        ApplyLanguage(languageFilePath(f.settings), w);
        QCOMPARE(f.find<QAction>("ClearGraph1")->text(), QString::fromUtf8("Grafik löschen!"));
        // Both windows have a "File1"; each gets its own text.
        QCOMPARE(f.main->menuBar()->findChild<QMenu *>(QStringLiteral("File1"))->title(),
                 QStringLiteral("&Datei"));
        QCOMPARE(w.graph->findChild<QMenu *>(QStringLiteral("File1"))->title(),
                 QStringLiteral("&Datei"));
        QCOMPARE(lang::text(u"sAplClose"), QString::fromUtf8("Möchten Sie das Programm beenden?"));
    }

    void guideNamesOnlyMenuEntriesThatExist_data()
    {
        QTest::addColumn<QString>("guide");
        QTest::addColumn<QString>("language");
        QTest::newRow("en.help") << "en.help"
                                 << "";
        QTest::newRow("de.help") << "de.help"
                                 << "German";
    }
    // Each "Menu -> Entry" the operator's guide names is in that menu, as a user of its
    // language sees it.
    void guideNamesOnlyMenuEntriesThatExist()
    {
        QFETCH(QString, guide);
        QFETCH(QString, language);
        QFile file(QStringLiteral(TERVAXIS_RESOURCES "/") + guide);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll()).simplified();
        MainFixture f;
        f.settings.programDir = QStringLiteral(TERVAXIS_RESOURCES) + u'/';
        f.settings.Language = language;
        f.settings.useLanguageFiles = !language.isEmpty();
        LanguageWindows w;
        w.main = f.main.get();
        ApplyLanguage(languageFilePath(f.settings), w);
        const auto shown = [](QString t) { return t.remove(u'&').trimmed(); };
        QMap<QString, QStringList> menus;
        for (QMenu *m : f.main->findChildren<QMenu *>())
            for (QAction *a : m->actions())
                menus[shown(m->title())] << shown(a->text());
        const QRegularExpression path(QStringLiteral("(\\w+) -> "));
        int checked = 0;
        for (auto it = path.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (!menus.contains(m.captured(1)))
                continue;
            const QString rest = text.mid(m.capturedEnd());
            const QStringList &entries = menus[m.captured(1)];
            const bool found = std::any_of(entries.cbegin(), entries.cend(), [&](const QString &e) {
                return !e.isEmpty() && rest.startsWith(e);
            });
            QVERIFY2(found, qPrintable(m.captured(1) + QStringLiteral(" -> ") + rest.left(40)));
            ++checked;
        }
        QVERIFY(checked > 15);
    }
};

QTEST_MAIN(TestLanguage)
#include "test_language.moc"
