// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"
#include "lang/helpwindow.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeHelp(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(text), text.size());
}

struct HelpFixture
{
    QTemporaryDir dir;
    Settings settings;
    std::unique_ptr<THELPf> help;

    explicit HelpFixture(const QByteArray *text, bool wait = true)
    {
        settings.programDir = dir.path() + u'/';
        if (text)
            writeHelp(settings.programDir + QStringLiteral("en.help"), *text);
        help = std::make_unique<THELPf>(settings);
        help->show();
        help->activateWindow();
        if (wait)
            QTRY_VERIFY(help->textReady());
    }
    QPlainTextEdit *red1() const { return namedChild<QPlainTextEdit>(help.get(), "red1"); }
    QLineEdit *finde() const { return namedChild<QLineEdit>(help.get(), "finde"); }
    QString found() const { return namedChild<QLabel>(help.get(), "foundl")->text(); }
    QString selected() const { return red1()->textCursor().selectedText(); }
    int selectionStart() const { return red1()->textCursor().selectionStart(); }
    // Keys to the search field as the operator types them.
    void type(const QString &keys)
    {
        finde()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), finde());
        for (const QChar c : keys) {
            if (c.unicode() < 0x80)
                QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
            else // a key of a German keyboard
                QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
        }
    }
};

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT
private slots:
    void guideFollowsTheDesktopLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("English desktop") << "English"
                                         << "en"
                                         << "TERVAXIS - OPERATOR'S GUIDE";
        QTest::newRow("German desktop") << "German"
                                        << "en"
                                        << "TERVAXIS - BEDIENUNGSANLEITUNG";
        QTest::newRow("Slovak desktop") << "Slovak"
                                        << "en"
                                        << "TERVAXIS - OPERATOR'S GUIDE";
        QTest::newRow("German chosen in the settings") << "English"
                                                       << "de"
                                                       << "TERVAXIS - BEDIENUNGSANLEITUNG";
    }
    // The shipped guides: the German one on a German desktop, as the language file.
    void guideFollowsTheDesktopLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, stem);
        Settings s;
        s.programDir = QStringLiteral(TERVAXIS_RESOURCES "/");
        s.Language = language;
        s.LocHelp = stem;
        THELPf help(s);
        help.show();
        auto *red1 = namedChild<QPlainTextEdit>(&help, "red1");
        // The guide is read in the background; the window says so meanwhile.
        QTRY_VERIFY(red1->toPlainText() != QLatin1String("Loading..."));
        const QString text = red1->toPlainText();
        QTEST(text.section(u'\n', 0, 0), "firstLine");
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
    }

    void searchAsTypedThenNext()
    {
        const QByteArray text("xx ABC yy abc");
        HelpFixture f(&text);
        QCOMPARE(f.finde()->text(), QStringLiteral(" text to find "));
        f.finde()->setFocus();
        f.finde()->selectAll();
        f.type(QStringLiteral("abc"));
        QCOMPARE(f.found(), QStringLiteral("4"));
        QCOMPARE(f.selected(), QStringLiteral("ABC"));

        auto *next = namedChild<QPushButton>(f.help.get(), "nextb");
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(f.found(), QStringLiteral("11"));
        QCOMPARE(f.selected(), QStringLiteral("abc"));
        QCOMPARE(f.selectionStart(), 10);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(f.found(), QStringLiteral("not found!"));
        QCOMPARE(f.selected(), QStringLiteral("abc"));

        // A click into the text makes Next search on from there.
        QTextCursor c = f.red1()->textCursor();
        c.setPosition(0);
        f.red1()->setTextCursor(c);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(f.found(), QStringLiteral("4"));

        f.finde()->setFocus();
        f.finde()->clear();
        QCOMPARE(f.found(), QStringLiteral("not found!"));
        QTest::keyClicks(f.finde(), QStringLiteral("zz"));
        QCOMPARE(f.found(), QStringLiteral("not found!"));
        QTest::keyClick(f.finde(), Qt::Key_Backspace);
        QTest::keyClick(f.finde(), Qt::Key_Backspace);
        QTest::keyClicks(f.finde(), QStringLiteral("Y"));
        QCOMPARE(f.found(), QStringLiteral("8"));
    }

    void missingFileShowsItsPath()
    {
        HelpFixture f(nullptr);
        QCOMPARE(f.red1()->toPlainText(), QStringLiteral("File Error: ") + f.settings.programDir +
                                              QStringLiteral("en.help"));
    }

    void wrapFollowsTheBox()
    {
        const QByteArray text(QByteArray(2000, 'w') + " end");
        HelpFixture f(&text);
        auto *wrap = namedChild<QCheckBox>(f.help.get(), "wrapcb");
        QCOMPARE(f.red1()->lineWrapMode(), QPlainTextEdit::NoWrap);
        QTest::mouseClick(wrap, Qt::LeftButton);
        QCOMPARE(f.red1()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QTest::mouseClick(wrap, Qt::LeftButton);
        QCOMPARE(f.red1()->lineWrapMode(), QPlainTextEdit::NoWrap);
    }

    // Files from other editors: Windows-1252 instead of UTF-8, lines ending in CR alone.
    void otherEditorsFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("at");
        QTest::newRow("Windows-1252")
            << QByteArray("Gr\xfc\xdf"
                          "e \x80 und \xc4rger")
            << QString::fromUtf8("Grüße € und Ärger") << QString::fromUtf8("ärg") << "13";
        QTest::newRow("CR line ends")
            << QByteArray("one\rtwo\rthree\r") << QStringLiteral("one\ntwo\nthree\n")
            << QStringLiteral("three") << "9";
        // ß has no one-letter upper case; the hit after it is still where it stands.
        QTest::newRow("UTF-8, CR LF")
            << QByteArray("\xc3\x9f\r\nstra\xc3\x9f"
                          "e\r\n")
            << QString::fromUtf8("ß\nstraße\n") << QStringLiteral("E") << "8";
    }
    void otherEditorsFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QFETCH(QString, find);
        QFETCH(QString, at);
        HelpFixture f(&bytes);
        QCOMPARE(f.red1()->toPlainText(), shown);
        f.finde()->selectAll();
        f.type(find);
        QCOMPARE(f.found(), at);
        QCOMPARE(f.selected().toUpper(), find.toUpper());
    }

    // F1 shows the window at once; the text follows, and what was typed meanwhile is
    // looked for as soon as it is there.
    void loadingThenTypedSearch()
    {
        QByteArray text;
        for (int i = 0; i < 200000; ++i)
            text += "line " + QByteArray::number(i) + " of the operator's guide\n";
        text += "Zyxwvut\n";
        HelpFixture f(&text, false);
        QCOMPARE(f.red1()->toPlainText(), QStringLiteral("Loading..."));
        QSignalSpy loaded(f.help.get(), &THELPf::textLoaded);
        f.finde()->selectAll();
        f.type(QStringLiteral("zyxw"));
        QTRY_VERIFY(f.help->textReady());
        QTRY_COMPARE(f.found(), QString::number(text.size() - 7));
        QCOMPARE(f.selected(), QStringLiteral("Zyxw"));
        // One more letter goes on from the hit; a letter that breaks it finds nothing.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("v"));
        QTRY_COMPARE(f.selected(), QStringLiteral("Zyxwv"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("q"));
        QTRY_COMPARE(f.found(), QStringLiteral("not found!"));
        QCOMPARE(loaded.size(), 1);
    }

    // Read once; shown again, the file is read again only when it changed on disk.
    void readOnceUntilChanged()
    {
        const QByteArray text("first version");
        HelpFixture f(&text);
        QSignalSpy loaded(f.help.get(), &THELPf::textLoaded);
        f.help->hide();
        f.help->show();
        QCoreApplication::processEvents();
        QVERIFY(f.help->textReady());
        QCOMPARE(loaded.size(), 0);
        f.help->hide();
        writeHelp(f.help->helpFilePath(), "the second, longer version");
        f.help->show();
        QTRY_COMPARE(loaded.size(), 1);
        QCOMPARE(f.red1()->toPlainText(), QStringLiteral("the second, longer version"));
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
