// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "app/settings.h"
#include "data/clipboardcommands.h"
#include "data/datetime.h"
#include "engine/bigary.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>

namespace {

measpol reading(long double v)
{
    measpol r;
    r.value1 = v;
    r.value2 = sentinel::kEmptyReading;
    r.dateTime = dtime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9, 456)));
    r.range = 10;
    r.resol = 1e-6L;
    r.Lunits1.set(u"Ohm4");
    r.Lunits2.set(u"\u00b5V~");
    return r;
}

void fill(BigAry &buffer, int count)
{
    for (int i = 1; i <= count; ++i)
        buffer.Append(reading(i));
}

// The large graph's side of the copy commands: its caption, "Data" menu, panel and selection.
struct GraphSide
{
    explicit GraphSide(qint64 capacity) : buffer(capacity)
    {
        window.setWindowTitle(QStringLiteral("Graph - x"));
        auto selection = [this] { return std::pair{from, to}; };
        clipcmd::addGraphCopyItems(&data, &window, buffer, selection, &panel, settings);
    }
    void copy(const char *item, qint64 f, qint64 t)
    {
        from = f;
        to = t;
        namedChild<QAction>(&data, item)->trigger();
    }
    QWidget window;
    QMenu data;
    QWidget panel{&window};
    Settings settings;
    BigAry buffer;
    qint64 from = 0;
    qint64 to = 0;
};

const QString kQuestion =
    QStringLiteral("Too much data for SpreadSheet\n\nDo You want to continue?");
const QString kTail = QStringLiteral("\tOhm4\t2024-03-05 14:03:09\t10\t1E-6\t1E-37\t\u00b5V~\r\n");

} // namespace

class TestClipboard : public QObject
{
    Q_OBJECT
private slots:
    void init() { QGuiApplication::clipboard()->setText(QStringLiteral("kept")); }
    void cleanup() { dialogs::setQuestionHandler({}); }

    // Tab-separated, no milliseconds, no trailing tab, the decimal separator put in.
    void completeLine_data()
    {
        QTest::addColumn<QString>("decSep");
        QTest::addColumn<QString>("line");
        QTest::newRow("point") << "." << QStringLiteral("1.5") + kTail;
        QTest::newRow("comma") << "," << QStringLiteral("1,5") + kTail;
    }
    void completeLine()
    {
        QFETCH(QString, decSep);
        QFETCH(QString, line);
        GraphSide g(10);
        g.settings.DecSeparator = decSep;
        g.buffer.Append(reading(1.5L));
        g.copy("copychartasvalues1", 0, 0);
        QCOMPARE(QGuiApplication::clipboard()->text(), line);
    }

    void range_data()
    {
        QTest::addColumn<int>("appended");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QString>("text");
        // A ring of 5 slots after 7 appends holds 3..7 with the oldest in slot 2.
        QTest::newRow("wrapped ring, oldest first")
            << 7 << qint64(0) << qint64(4) << "3\r\n4\r\n5\r\n6\r\n7\r\n";
        QTest::newRow("inner range across the wrap")
            << 7 << qint64(1) << qint64(3) << "4\r\n5\r\n6\r\n";
        QTest::newRow("from above to") << 7 << qint64(3) << qint64(1) << "4\r\n5\r\n6\r\n";
        QTest::newRow("beyond both ends") << 3 << qint64(-5) << qint64(99) << "1\r\n2\r\n3\r\n";
        QTest::newRow("empty buffer leaves the clipboard") << 0 << qint64(0) << qint64(0) << "kept";
        QTest::newRow("wholly outside") << 3 << qint64(5) << qint64(9) << "kept";
    }
    void range()
    {
        QFETCH(int, appended);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QString, text);
        GraphSide g(4);
        fill(g.buffer, appended);
        g.copy("copychartnumonly1", from, to);
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }

    void spreadsheetQuestion_data()
    {
        QTest::addColumn<qint64>("to");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("lines"); // on the clipboard afterwards, 0: unchanged
        QTest::addColumn<bool>("asked");
        QTest::newRow("32001 records need no question") << qint64(32000) << false << 32001 << false;
        QTest::newRow("one more asks, No keeps the clipboard")
            << qint64(32001) << false << 0 << true;
        QTest::newRow("one more asks, Yes copies") << qint64(32001) << true << 32002 << true;
    }
    void spreadsheetQuestion()
    {
        QFETCH(qint64, to);
        QFETCH(bool, yes);
        QFETCH(int, lines);
        QFETCH(bool, asked);
        GraphSide g(100000);
        fill(g.buffer, 40000);
        QStringList questions;
        dialogs::setQuestionHandler([&](const QString &title, const QString &text) {
            questions << title + QLatin1Char('|') + text;
            return yes;
        });
        g.copy("copychartasvalues1", 0, to);
        QCOMPARE(questions,
                 asked ? QStringList{QStringLiteral("Graph - x|") + kQuestion} : QStringList{});
        const QString text = QGuiApplication::clipboard()->text();
        if (lines == 0) {
            QCOMPARE(text, QStringLiteral("kept"));
            return;
        }
        QCOMPARE(text.count(QStringLiteral("\r\n")), lines);
        QVERIFY(text.startsWith(QStringLiteral("1") + kTail));
        QVERIFY(text.endsWith(QString::number(lines) + kTail));
    }

    // The graph panel at its own size in 24 bits; what it shows is the main window's test.
    void panelPicture()
    {
        GraphSide g(10);
        g.panel.setFixedSize(120, 40);
        g.copy("Copycharttoimage1", 0, 0);
        const QImage img = QGuiApplication::clipboard()->image();
        QCOMPARE(img.size(), QSize(120, 40));
        QCOMPARE(img.depth(), 24);
    }
};

QTEST_MAIN(TestClipboard)
#include "test_clipboard.moc"
