// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainfixture.h"

#include "data/datetime.h"
#include "engine/chartstats.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>

namespace {

QString clipText()
{
    return QGuiApplication::clipboard()->text();
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

// Connects, optionally switches math on (m = 2) on the Math page, and takes one reading of
// 1.23456789 V with F11.
void measure(MainFixture &f, bool math)
{
    f.settings.Math_mx = QStringLiteral("2");
    QVERIFY(f.connectAndShow());
    f.sim.setReadingSequence({QStringLiteral("+1.23456789E+00")});
    f.find<QPushButton>("measb")->setFocus();
    if (math) {
        pressKey(Qt::Key_F7);
        auto *box = f.find<QCheckBox>("math_ena_cb");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QVERIFY(box->isChecked());
        f.find<QPushButton>("measb")->setFocus();
    }
    pressKey(Qt::Key_F11);
    QTRY_VERIFY(f.main->measText().contains(math ? QStringLiteral("+2.469136")
                                                 : QStringLiteral("+1.234568")));
}

void trigger(MainFixture &f, const char *action)
{
    namedChild<QAction>(f.main.get(), action)->trigger();
}

} // namespace

class TestMainClipboard : public QObject
{
    Q_OBJECT
private slots:
    void init() { QGuiApplication::clipboard()->setText(QStringLiteral("kept")); }

    void clickWithModifiers_data()
    {
        QTest::addColumn<bool>("math");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("mods");
        QTest::addColumn<QString>("decSep");
        QTest::addColumn<QString>("text");
        const int alt = Qt::AltModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        QTest::newRow("value") << false << "meastext1" << 0 << "."
                               << "1.23456789";
        QTest::newRow("value, decimal comma") << false << "meastext1" << 0 << ","
                                              << "1,23456789";
        QTest::newRow("alt: display form") << false << "meastext1" << alt << ","
                                           << "+1,234568 ";
        QTest::newRow("shift: tab and unit") << false << "meastext1" << shift << "."
                                             << "1.23456789\tV=";
        QTest::newRow("alt and ctrl: blank and unit") << false << "meastext1" << alt + ctrl << "."
                                                      << "1.23456789 V=";
        QTest::newRow("math: processed value") << true << "meastext1" << shift << "."
                                               << "2.46913578\t\u03BC\u03A9";
        QTest::newRow("secondary, ctrl") << true << "secreadl" << ctrl << "."
                                         << "1.23456789 V=";
        QTest::newRow("secondary, all three: ctrl wins")
            << true << "secreadl" << alt + shift + ctrl << ","
            << "1,23456789 V=";
    }
    void clickWithModifiers()
    {
        QFETCH(bool, math);
        QFETCH(QString, label);
        QFETCH(int, mods);
        QFETCH(QString, decSep);
        QFETCH(QString, text);
        MainFixture f;
        measure(f, math);
        f.settings.DecSeparator = decSep;
        auto *target = f.main->findChild<QLabel *>(label);
        QVERIFY(target && target->isVisible());
        QTest::mouseClick(target, Qt::LeftButton, Qt::KeyboardModifiers(mods));
        QCOMPARE(clipText(), text);
    }

    void lastReadingAndChartValues()
    {
        MainFixture f;
        measure(f, false);
        pressKey(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(clipText(), QStringLiteral("1.23456789"));

        trigger(f, "Copylastmeasuredvaluetoclipboardcomplete1");
        const QString last = clipText();
        const QStringList fields = last.chopped(2).split(QLatin1Char('\t'));
        QVERIFY(last.endsWith(QStringLiteral("\r\n")));
        QCOMPARE(fields.size(), 7);
        QCOMPARE(fields.mid(0, 2),
                 (QStringList{QStringLiteral("1.23456789"), QStringLiteral("V=")}));
        const double stamp = f.buffer[f.buffer.bigarypos()].dateTime;
        QCOMPARE(fields[2], dtime::format(QStringLiteral("yyyy-mm-dd hh:nn:ss"), stamp));

        trigger(f, "Copychartvaluestoclipboard1");
        QStringList lines = clipText().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), chart::kShown + 1);
        QCOMPARE(lines[chart::kShown - 1] + QStringLiteral("\r\n"), last);

        trigger(f, "Copychartvaluestoclipboardnumbersonly1");
        lines = clipText().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), chart::kShown + 1);
        QCOMPARE(lines[0], QStringLiteral("1E-37"));
        QCOMPARE(lines[chart::kShown - 1], QStringLiteral("1.23456789"));
    }

    void emptyChartHistory()
    {
        MainFixture f;
        f.main->show();
        trigger(f, "Copychartvaluestoclipboardnumbersonly1");
        QCOMPARE(clipText(), QStringLiteral("1E-37\r\n").repeated(chart::kShown));
    }

    void pictures()
    {
        MainFixture f;
        measure(f, false);
        auto *display = f.find<QWidget>("measpan1");
        trigger(f, "copydisplayasimagetoclipboard1");
        QImage img = QGuiApplication::clipboard()->image();
        QCOMPARE(img.size(), display->size());
        QCOMPARE(img.pixelColor(1, 1), QColor(Qt::black));

        // The chart picture has its labels on white; the window gives them their own
        // background again.
        auto *chartPanel = f.find<QWidget>("grafpan");
        trigger(f, "Copychartasbitmaptoclipboard1");
        img = QGuiApplication::clipboard()->image();
        QCOMPARE(img.size(), chartPanel->size());
        QCOMPARE(img.depth(), 24);
        auto *mean = f.find<QLabel>("meanl1");
        QVERIFY(mean->text().endsWith(QStringLiteral("V= ")));
        const QPoint inLabel = mean->geometry().topLeft() + QPoint(1, 1);
        QCOMPARE(img.pixelColor(inLabel), QColor(Qt::white));
        QCOMPARE(chartPanel->grab().toImage().pixelColor(inLabel), chart::kButtonFace);
    }
};

QTEST_MAIN(TestMainClipboard)
#include "test_mainclipboard.moc"
