// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"
#include "lang/helpwindow.h"
#include "testutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

struct HelpFixture
{
    QTemporaryDir dir;
    Settings settings;
    std::unique_ptr<THELPf> help;

    explicit HelpFixture(const QByteArray *text)
    {
        settings.programDir = dir.path() + u'/';
        if (text) {
            QFile f(settings.programDir + QStringLiteral("en.help"));
            f.open(QIODevice::WriteOnly);
            f.write(*text);
        }
        help = std::make_unique<THELPf>(settings);
        help->show();
        help->activateWindow();
    }
    QString found() const { return namedChild<QLabel>(help.get(), "foundl")->text(); }
    QString selected() const
    {
        return namedChild<QTextEdit>(help.get(), "red1")->textCursor().selectedText();
    }
    int selectionStart() const
    {
        return namedChild<QTextEdit>(help.get(), "red1")->textCursor().selectionStart();
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
        const QString text = namedChild<QTextEdit>(&help, "red1")->toPlainText();
        QTEST(text.section(u'\n', 0, 0), "firstLine");
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
    }

    void searchAsTypedThenNext()
    {
        const QByteArray text("xx ABC yy abc");
        HelpFixture f(&text);
        auto *finde = namedChild<QLineEdit>(f.help.get(), "finde");
        QCOMPARE(finde->text(), QStringLiteral(" text to find "));
        finde->setFocus();
        finde->selectAll();
        QTRY_COMPARE(QApplication::focusWidget(), finde);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abc"));
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
        auto *red1 = namedChild<QTextEdit>(f.help.get(), "red1");
        QTextCursor c = red1->textCursor();
        c.setPosition(0);
        red1->setTextCursor(c);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(f.found(), QStringLiteral("4"));

        finde->setFocus();
        finde->clear();
        QCOMPARE(f.found(), QStringLiteral("not found!"));
        QTest::keyClicks(finde, QStringLiteral("zz"));
        QCOMPARE(f.found(), QStringLiteral("not found!"));
    }

    void missingFileShowsItsPath()
    {
        HelpFixture f(nullptr);
        QCOMPARE(namedChild<QTextEdit>(f.help.get(), "red1")->toPlainText(),
                 QStringLiteral("File Error: ") + f.settings.programDir +
                     QStringLiteral("en.help"));
    }

    void wrapFollowsTheBox()
    {
        const QByteArray text(QByteArray(2000, 'w') + " end");
        HelpFixture f(&text);
        auto *red1 = namedChild<QTextEdit>(f.help.get(), "red1");
        auto *wrap = namedChild<QCheckBox>(f.help.get(), "wrapcb");
        QCOMPARE(red1->lineWrapMode(), QTextEdit::NoWrap);
        QTest::mouseClick(wrap, Qt::LeftButton);
        QCOMPARE(red1->lineWrapMode(), QTextEdit::WidgetWidth);
        QTest::mouseClick(wrap, Qt::LeftButton);
        QCOMPARE(red1->lineWrapMode(), QTextEdit::NoWrap);
    }
};

QTEST_MAIN(TestHelp)
#include "test_help.moc"
