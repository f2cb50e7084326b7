// SPDX-License-Identifier: GPL-3.0-or-later
#include "../app/mainfixture.h"

#include "graph/graphwindow.h"
#include "lang/applylanguage.h"
#include "lang/langtexts.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTableWidget>

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

    // Each "Menu -> Entry" the operator's guide names is in that menu, as an English
    // user sees it.
    void guideNamesOnlyMenuEntriesThatExist()
    {
        QFile guide(QStringLiteral(TERVAXIS_RESOURCES "/en.help"));
        QVERIFY(guide.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(guide.readAll()).simplified();
        MainFixture f;
        f.settings.useLanguageFiles = false;
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
