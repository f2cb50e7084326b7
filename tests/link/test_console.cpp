// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkfixture.h"

#include "link/cmdhistory.h"
#include "link/commwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

namespace {
// Puts the keyboard focus on the command box of the active console and types `text` over
// its contents, as a person would.
bool typeInto(TCommFrm &w, QComboBox *combo, const QString &text)
{
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w))
        return false;
    combo->setFocus();
    if (!QTest::qWaitFor([combo] { return combo->hasFocus(); }))
        return false;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QTest::keyClicks(QApplication::focusWidget(), text);
    return combo->currentText() == text;
}
} // namespace

class TestConsole : public QObject
{
    Q_OBJECT
private slots:
    void history_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("promoted");
        QTest::newRow("new command")
            << QStringList{"conf?"} << "read?" << QStringList{"read?", "conf?"}
            << QStringList{"read?", "conf?"};
        QTest::newRow("other case") << QStringList{"a", "*IDN?"} << "*idn?"
                                    << QStringList{"a", "*IDN?"} << QStringList{"*idn?", "a"};
        QTest::newRow("part of longer entry")
            << QStringList{"x", "conf?"} << "conf" << QStringList{"x", "conf?"}
            << QStringList{"conf", "x", "conf?"};
    }
    void history()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, typed);
        QFETCH(QStringList, added);
        QFETCH(QStringList, promoted);
        QStringList h = before;
        cmdhistory::AddHistory(h, typed);
        QCOMPARE(h, added);
        cmdhistory::PromoteHistory(h, typed);
        QCOMPARE(h, promoted);
    }

    void historyLimits()
    {
        QStringList h;
        for (int i = 0; i < 70; ++i)
            cmdhistory::AddHistory(h, QStringLiteral("cmd%1;").arg(i));
        QCOMPARE(h.size(), 64);
        QCOMPARE(h.first(), QStringLiteral("cmd69;"));
        // Promoting into a full list drops just the 51st entry.
        cmdhistory::PromoteHistory(h, QStringLiteral("new"));
        QCOMPARE(h.size(), 64);
        QCOMPARE(h[49], QStringLiteral("cmd21;"));
        QCOMPARE(h[50], QStringLiteral("cmd19;"));
    }

    void typedCommands_data();
    void typedCommands();

    void consoleWindow()
    {
        QTemporaryDir dir;
        LinkFixture f;
        f.settings.configDir = dir.path() + QLatin1Char('/');
        QVERIFY(f.sim.listen(0));
        f.settings.host1 = QStringLiteral("127.0.0.1");
        f.settings.port1 = QString::number(f.sim.port());
        QFile hist(f.settings.configDir + QStringLiteral("cmdhistory"));
        QVERIFY(hist.open(QIODevice::WriteOnly));
        hist.write("conf?\r\n*IDN?\r\n");
        hist.close();

        {
            TCommFrm w(f.settings, f.link);
            // Lines logged while the console is hidden show once it opens.
            w.AddLog(QStringLiteral("before showing"));
            w.show();
            QTRY_COMPARE(w.findChild<QPlainTextEdit *>(QStringLiteral("commlogm"))->toPlainText(),
                         QStringLiteral("before showing"));
            auto *combo = w.findChild<QComboBox *>(QStringLiteral("datalecb"));
            QCOMPARE(w.history(), (QStringList{"conf?", "*IDN?"}));
            auto *log = w.findChild<QPlainTextEdit *>(QStringLiteral("commlogm"));
            QVERIFY(!log->isEnabled());

            w.findChild<QPushButton *>(QStringLiteral("INITb"))->click();
            QVERIFY(f.link.connected());
            QVERIFY(log->isEnabled());
            QTRY_VERIFY(log->toPlainText().contains(QStringLiteral("  EOL = 0D0A [CRLF]")));
            QVERIFY(!w.findChild<QPushButton *>(QStringLiteral("INITb"))->isEnabled());

            // Ctrl+Enter, typed into the box with the focus, sends, reads the value and
            // shows it.
            f.sim.setReadingSequence({QStringLiteral("+2.50000000E+00")});
            QVERIFY(typeInto(w, combo, QStringLiteral("read?")));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(w.history().first(), QStringLiteral("read?"));
            QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lastvall"))->text(),
                     QStringLiteral("2.5"));
            QCOMPARE(f.host.processRequests, 1);

            // The log keeps the newest 1100 lines.
            // In one go, or shown in two parts: the same 1100 newest lines.
            for (int part : {1101, 600}) {
                w.findChild<QPushButton *>(QStringLiteral("clearlogb"))->click();
                for (int i = 1; i <= 1101; ++i) {
                    w.AddLog(QStringLiteral("line %1").arg(i));
                    if (i == part)
                        w.flushLog();
                }
                w.flushLog();
                const QStringList lines = log->toPlainText().split(QLatin1Char('\n'));
                QCOMPARE(lines.size(), 1100);
                QCOMPARE(lines.first(), QStringLiteral("line 2"));
                QCOMPARE(lines.last(), QStringLiteral("line 1101"));
            }

            // The port field keeps the last valid number.
            auto *port = w.findChild<QLineEdit *>(QStringLiteral("porte"));
            port->setText(QStringLiteral("5025"));
            QCOMPARE(port->text(), QStringLiteral("5025"));
            port->setText(QStringLiteral("50x"));
            QCOMPARE(port->text(), QStringLiteral("5025"));
            port->selectAll();
            QTest::keyClicks(port, QStringLiteral("80a,"));
            QCOMPARE(port->text(), QStringLiteral("80"));

            // Closed while the main window lives: only hidden, still connected.
            w.setMainWindowVisible([] { return true; });
            w.close();
            QVERIFY(!w.isVisible());
            QVERIFY(f.link.connected());
        }
        QVERIFY(hist.open(QIODevice::ReadOnly));
        QCOMPARE(hist.readAll(), QByteArray("read?\r\nconf?\r\n*IDN?\r\n"));
    }
};

void TestConsole::typedCommands_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("reads");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << false;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false;
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << true;
    QTest::newRow("Send, no completion") << 0 << 0 << true;
}

void TestConsole::typedCommands()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, reads);
    QTemporaryDir dir;
    LinkFixture f;
    f.settings.configDir = dir.path() + QLatin1Char('/');
    f.settings.DataTimeout = 300;
    QVERIFY(f.start());
    TCommFrm w(f.settings, f.link);
    w.show();
    auto *combo = w.findChild<QComboBox *>(QStringLiteral("datalecb"));
    // A history entry that starts with what is typed must not complete it.
    QVERIFY(typeInto(w, combo, QStringLiteral("conf?")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(f.sim.commands().contains(QStringLiteral("conf?")));
    f.sim.clearCommands();
    f.link.ReadReply(); // the answer to conf?

    f.sim.setReadingSequence({QStringLiteral("+4.25000000E+00")});
    QVERIFY(typeInto(w, combo, QStringLiteral("conf")));
    if (key)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
    else
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("RunCmd")), Qt::LeftButton);
    QTRY_COMPARE(f.sim.commands(), QStringList{QStringLiteral("conf")});
    if (key)
        QCOMPARE(w.history().first(), QStringLiteral("conf"));
    // The instrument answers "conf" with nothing; a read waits for it, plain Enter does not.
    QCOMPARE(f.logHas(QStringLiteral("<# TIMEOUT")), reads);
}

QTEST_MAIN(TestConsole)
#include "test_console.moc"
