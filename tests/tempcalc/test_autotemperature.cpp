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
#include <QSignalSpy>

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

// The data lines of a data file on disk: value, unit, date, ms, range, resolution, value
// before conversion, its unit. The loader would skip the "no temperature" lines.
QList<measpol> fileRecords(const QString &path)
{
    QFile f(path);
    QList<measpol> out;
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> field = line.trimmed().split(';');
        if (line.startsWith('#') || field.size() != 8)
            continue;
        measpol rec;
        rec.value1 = numtext::parseLongDouble(QString::fromLatin1(field[0])).value_or(-1);
        rec.Lunits1.set(QString::fromUtf8(field[1]));
        rec.value2 = numtext::parseLongDouble(QString::fromLatin1(field[6])).value_or(-1);
        rec.Lunits2.set(QString::fromUtf8(field[7]));
        out << rec;
    }
    return out;
}

// The main window with the temperature window, in 4-wire resistance with automatic
// temperature on and every reading saved.
struct TemperatureFixture : MainFixture
{
    Ttempcalcf temp{settings, link};
    QAction *autoTemp = nullptr;
    QAction *save = nullptr;

    bool start()
    {
        main->setTemperatureWindow(&temp);
        if (!connectAndShow())
            return false;
        autoTemp = main->findChild<QAction *>(QStringLiteral("AutoCalculatetemperature1"));
        save = main->findChild<QAction *>(QStringLiteral("Savealldata1"));
        find<QComboBox>("meastypecb")->setCurrentIndex(5);
        find<QPushButton>("measch")->click();
        autoTemp->trigger();
        save->trigger();
        return autoTemp->isChecked() && main->saver().isOn();
    }
    // Saving off writes what is staged; the file as it is on disk.
    QList<measpol> saved()
    {
        const QString file = main->saver().fileName();
        save->trigger();
        return fileRecords(file);
    }
};

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

    // An open or overloaded sensor, or a failed reading, is no temperature for a thermistor
    // either: it is recorded as "no temperature" and counted as no reading.
    void invalidResistanceIsNoTemperature_data()
    {
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("resistance"); // served last, a real one
        QTest::addColumn<double>("celsius");
        QTest::newRow("RTD") << QString() << "+1.38505540E+02" << 100.0;
        QTest::newRow("thermistor") << "N10kthermistor1"
                                    << "+1.00000000E+04" << 25.0;
    }
    void invalidResistanceIsNoTemperature()
    {
        QFETCH(QString, probe);
        QFETCH(QString, resistance);
        QFETCH(double, celsius);
        TemperatureFixture f;
        QVERIFY(f.start());
        if (!probe.isEmpty())
            f.temp.findChild<QAction *>(probe)->trigger();
        const QStringList served = {QStringLiteral("+9.90000000E+37"),
                                    QStringLiteral("1E4000"),
                                    QStringLiteral("1E-40"),
                                    QStringLiteral("-1.00000000E+02"),
                                    QStringLiteral("+0.00000000E+00"),
                                    QStringLiteral("NOT A NUMBER"),
                                    resistance};
        f.sim.setReadingSequence(served);
        const qsizetype before = f.buffer.bigarycnt();
        for (qsizetype i = 0; i < served.size(); ++i)
            f.find<QPushButton>("measb")->click();
        // Only the last one is a resistance.
        QCOMPARE(f.buffer.bigarycnt(), before + 1);
        const QList<measpol> recs = f.saved();
        QVERIFY2(recs.size() >= served.size(), qPrintable(QString::number(recs.size())));
        const QList<measpol> ours = recs.mid(recs.size() - served.size());
        for (qsizetype i = 0; i + 1 < ours.size(); ++i) {
            QVERIFY2(ours[i].value1 == 1e-38L, qPrintable(served[i] + QStringLiteral(" gave ") +
                                                          numtext::formatGeneral(ours[i].value1)));
            QCOMPARE(ours[i].Lunits1.toString(), QStringLiteral("cDeg"));
        }
        QVERIFY2(std::fabs(ours.last().value1 - celsius) < 0.5,
                 qPrintable(numtext::formatGeneral(ours.last().value1)));
    }

    // The instrument leaves resistance behind the program's back: from the first reading
    // in the new function on, nothing is converted, and the readings carry their own unit.
    void leavingResistanceEndsTheConversion_data()
    {
        QTest::addColumn<bool>("console");
        QTest::newRow("typed in the console") << true;
        QTest::newRow("at the front panel") << false;
    }
    void leavingResistanceEndsTheConversion()
    {
        QFETCH(bool, console);
        TemperatureFixture f;
        QVERIFY(f.start());
        f.temp.findChild<QAction *>(QStringLiteral("Sendtemperaturetoinstrumentdisplay1"))
            ->trigger();
        f.find<QCheckBox>("automeas1cb")->setChecked(true);
        QTRY_VERIFY(f.buffer.bigarycnt() >= 5);
        if (console) {
            f.comm->show();
            f.comm->activateWindow();
            auto *combo = f.comm->findChild<QComboBox *>(QStringLiteral("datalecb"));
            combo->setFocus();
            QTRY_VERIFY(QApplication::focusWidget() &&
                        (QApplication::focusWidget() == combo ||
                         QApplication::focusWidget()->parent() == combo));
            combo->lineEdit()->selectAll();
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("CONF:VOLT:DC"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else {
            f.sim.setFunction(sim::Function::VoltDc);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f.autoTemp->isEnabled(), 10000);
        f.sim.clearCommands();
        const qsizetype count = f.buffer.bigarycnt();
        QTRY_VERIFY(f.buffer.bigarycnt() >= count + 5);
        f.find<QCheckBox>("automeas1cb")->setChecked(false);
        QTRY_VERIFY(!f.main->cycle().busy());

        QVERIFY(!f.autoTemp->isChecked());
        auto *area = f.main->reading().readingArea();
        QCOMPARE(textColour(area->meastext1()), QColor(0x00, 0xFF, 0x00));
        QVERIFY(!area->secreadl()->isVisible());
        QVERIFY(f.sim.commands().filter(QStringLiteral("DISP:TEXT")).isEmpty());
        QVERIFY(f.main->measText().startsWith(QStringLiteral("V= ")));

        // In the file: temperatures, then volts, and no volt ever converted.
        const QList<measpol> recs = f.saved();
        qsizetype firstVolt = -1;
        for (qsizetype i = 0; i < recs.size(); ++i) {
            const QString unit = recs[i].Lunits1.toString();
            if (firstVolt < 0 && unit == QLatin1String("V="))
                firstVolt = i;
            if (firstVolt >= 0) {
                QCOMPARE(unit, QStringLiteral("V="));
                QVERIFY(sentinel::isValid(recs[i].value1));
            } else {
                QCOMPARE(unit, QStringLiteral("cDeg"));
            }
        }
        QVERIFY(firstVolt > 0 && recs.size() - firstVolt >= 5);
    }

    // A triggered series is converted and labelled as the cycle's readings are.
    void seriesReadingsAreTemperatures()
    {
        TemperatureFixture f;
        QVERIFY(f.start());
        f.main->setFocus();
        auto *count = f.find<QLineEdit>("fetche");
        count->setText(QStringLiteral("20"));
        QSignalSpy ended(&f.main->series(), &SeriesRunner::seriesEnded);
        f.find<QPushButton>("fetchinitb")->click();
        QTRY_VERIFY_WITH_TIMEOUT(ended.size() == 1, 20000);
        QSignalSpy fetched(&f.main->series(), &SeriesRunner::fetchEnded);
        f.find<QPushButton>("fetchgetb")->click();
        QTRY_COMPARE(fetched.size(), 1);
        QCOMPARE(fetched[0][0].value<qsizetype>(), qsizetype(20));
        QVERIFY2(f.main->measText().startsWith(QStringLiteral("\u00B0C ")),
                 qPrintable(f.main->measText()));

        const QList<measpol> recs = f.saved();
        QVERIFY(recs.size() >= 20);
        for (const measpol &r : recs.mid(recs.size() - 20)) {
            QCOMPARE(r.Lunits1.toString(), QStringLiteral("cDeg"));
            QCOMPARE(r.Lunits2.toString(), QStringLiteral("Ohm4"));
            QVERIFY(r.value1 > -11 && r.value1 < 51);
            QVERIFY(r.value2 > 96 && r.value2 < 120);
        }
    }
};

QTEST_MAIN(TestAutoTemperature)
#include "test_autotemperature.moc"
