// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic temperature from the main window's menu to the display, the data file and
// the instrument's display, against the simulator.
#include "app/mainfixture.h"

#include "data/autosaver.h"
#include "data/numtext.h"
#include "engine/mathpage.h"
#include "engine/readingarea.h"
#include "engine/readingcontroller.h"
#include "tempcalc/tempcalcf.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QStringList fileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

QColor textColour(const QLabel *l)
{
    return l->palette().color(QPalette::WindowText);
}

} // namespace

class TestAutoTemperature : public QObject
{
    Q_OBJECT
private slots:
    void resistanceReadingsBecomeTemperatures()
    {
        MainFixture f;
        Ttempcalcf temp(f.settings, f.link);
        f.main->setTemperatureWindow(&temp);
        QVERIFY(f.connectAndShow());
        auto *autoTemp = f.main->findChild<QAction *>(QStringLiteral("AutoCalculatetemperature1"));
        QVERIFY(!autoTemp->isEnabled());

        f.find<QComboBox>("meastypecb")->setCurrentIndex(5); // 4-wire resistance
        f.find<QPushButton>("measch")->click();
        QVERIFY(autoTemp->isEnabled());
        autoTemp->trigger();
        auto *area = f.main->reading().readingArea();
        QCOMPARE(textColour(area->meastext1()), QColor(0xFF, 0x00, 0xFF));
        QVERIFY(area->secreadl()->isVisible());

        auto *save = f.main->findChild<QAction *>(QStringLiteral("Savealldata1"));
        save->setChecked(true);
        f.main->Savealldata1Click();
        temp.findChild<QAction *>(QStringLiteral("Sendtemperaturetoinstrumentdisplay1"))->trigger();
        f.sim.clearCommands();
        f.find<QCheckBox>("automeas1cb")->setChecked(true);
        const QString file = f.main->saver().fileName();
        QTRY_VERIFY_WITH_TIMEOUT(fileLines(file).size() >= 3 + 1 + 51, 15000);
        f.find<QCheckBox>("automeas1cb")->setChecked(false);
        QTRY_VERIFY(!f.main->cycle().busy());

        // The simulator's PT100 sweeps between -10 and 50 degrees.
        const ReadingState &st = f.main->reading().state();
        QCOMPARE(st.Lunits1, QStringLiteral("cDeg"));
        QVERIFY2(st.processed > -11 && st.processed < 51, qPrintable(f.main->measText()));
        QVERIFY(st.secondary > 96 && st.secondary < 120);
        QVERIFY(f.main->measText().startsWith(QStringLiteral("\u00B0C ")));
        QVERIFY2(area->secreadl()->text().startsWith(QStringLiteral("\u03A94 +1")),
                 qPrintable(area->secreadl()->text()));
        QCOMPARE(temp.findChild<QLineEdit *>(QStringLiteral("resistle"))->text(),
                 numtext::formatGeneral(st.secondary));
        const measpol &last = f.buffer[f.buffer.bigarypos()];
        QVERIFY(last.value1 > -11 && last.value1 < 51 && last.value2 > 96);
        QCOMPARE(last.Lunits1.toString(), QStringLiteral("cDeg"));

        const QStringList lines = fileLines(file);
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^#T! \tR0 100\tRTDA "))).size(),
                 1);
        QVERIFY(lines.last().contains(QStringLiteral("cDeg")));

        // Every reading's temperature went to the instrument's display, the degree sign as
        // one Latin-1 byte.
        const QStringList cmds = f.sim.commands();
        const qsizetype reads = cmds.filter(QStringLiteral("read?")).size();
        const QStringList shown = cmds.filter(QStringLiteral("DISP:TEXT '"));
        QVERIFY(reads > 10);
        QVERIFY2(shown.size() >= reads - 1 && shown.size() <= reads, qPrintable(shown.join(',')));
        QVERIFY(shown.last().endsWith(QStringLiteral(" \u00B0C'")));
        QCOMPARE(f.sim.instrument().displayText().size(), 12);

        f.find<QComboBox>("meastypecb")->setCurrentIndex(0); // DC voltage
        f.find<QPushButton>("measch")->click();
        QVERIFY(!autoTemp->isChecked());
        QVERIFY(!autoTemp->isEnabled());
        QCOMPARE(textColour(area->meastext1()), QColor(0x00, 0xFF, 0x00));
        QVERIFY(!area->secreadl()->isVisible());
        f.find<QPushButton>("measb")->click();
        QVERIFY(f.main->measText().startsWith(QStringLiteral("V= ")));
    }
};

QTEST_MAIN(TestAutoTemperature)
#include "test_autotemperature.moc"
