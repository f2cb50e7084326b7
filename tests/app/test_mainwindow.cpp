// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainfixture.h"

#include "data/autosaver.h"
#include "engine/chartpanel.h"
#include "engine/mathpage.h"
#include "engine/readingarea.h"
#include "engine/readingcontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

int countSent(const sim::Simulator &sim, const QString &cmd)
{
    return static_cast<int>(sim.commands().count(cmd));
}

// Keys go where a keyboard sends them: to the widget that has the focus.
void typeKeys(const QString &text, Qt::Key key = Qt::Key_unknown)
{
    QWidget *w = QApplication::focusWidget();
    QVERIFY(w);
    if (!text.isEmpty()) {
        QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w, text);
    }
    if (key != Qt::Key_unknown)
        QTest::keyClick(w, key);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void consoleReadingReachesDisplay_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("shown");
        QTest::newRow("value") << "+1.23456789E+00"
                               << "V= +1.234568 ";
        QTest::newRow("overload") << "+9.90000000E+37"
                                  << "V=  OVERLOAD";
    }
    void consoleReadingReachesDisplay()
    {
        QFETCH(QString, reply);
        QFETCH(QString, shown);
        MainFixture f;
        QVERIFY(f.connectAndShow());
        f.sim.setReadingSequence({reply});
        f.comm->show();
        auto *combo = f.comm->findChild<QComboBox *>(QStringLiteral("datalecb"));
        combo->setEditText(QStringLiteral("read?"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return, Qt::ControlModifier);
        QTRY_COMPARE(f.main->measText(), shown);
    }

    void automaticMeasuringFillsChartAndBuffer()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        f.find<QCheckBox>("automeas1cb")->setChecked(true);
        QVERIFY(!f.find<QPushButton>("measb")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(f.buffer.bigarycnt() >= 20, 10000);
        f.find<QCheckBox>("automeas1cb")->setChecked(false);
        QTRY_VERIFY(!f.main->cycle().busy());
        QVERIFY(f.find<QPushButton>("measb")->isEnabled());
        QVERIFY(f.main->measText().startsWith(QStringLiteral("V= +1.23")));
        QVERIFY(f.find<QLabel>("mathal")->text().contains(QStringLiteral("Count:")));
    }

    void setConfiguresAndReadsBack()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        auto *type = f.find<QComboBox>("meastypecb");
        type->setCurrentIndex(5); // 4-wire resistance
        auto *range = f.find<QComboBox>("rangecb");
        range->setCurrentIndex(range->findText(QStringLiteral("10K")));
        f.find<QCheckBox>("automeas1cb")->setChecked(true);
        QTRY_VERIFY(f.buffer.bigarycnt() > 0);
        f.sim.clearCommands();
        QTRY_VERIFY(!f.main->cycle().busy());
        f.find<QPushButton>("measch")->click();
        const QStringList cmds = f.sim.commands();
        const int rem = static_cast<int>(cmds.indexOf(QStringLiteral("syst:rem")));
        QVERIFY(rem >= 0);
        QVERIFY2(cmds.value(rem + 1).startsWith(QStringLiteral("CONF:FRES 1.0E4")),
                 qPrintable(cmds.value(rem + 1)));
        QVERIFY(cmds.value(rem + 2).startsWith(QStringLiteral("SENSE:FRES")));
        // The read-back selected the type the instrument reports, and measuring resumes.
        QCOMPARE(type->currentIndex(), 5);
        QVERIFY(f.find<QCheckBox>("automeas1cb")->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(f.main->reading().state().type == 5, 5000);
        QTRY_VERIFY(f.main->measText().contains(QStringLiteral("\u03A94")));
        QVERIFY(f.find<QLabel>("measprop1")->text().startsWith(QStringLiteral("10K")));
        const QString measparm =
            f.comm->findChild<QPlainTextEdit *>(QStringLiteral("measparm"))->toPlainText();
        QVERIFY2(measparm.startsWith(QStringLiteral("CONF:FRES 1.0E4")), qPrintable(measparm));
        QVERIFY(measparm.contains(QStringLiteral("\nSENSE:FRES")));
        f.find<QCheckBox>("automeas1cb")->setChecked(false);
    }

    // A bound typed in that is not exact in binary, and a reading exactly on it; an empty
    // limit text: the filter keeps the reading out.
    void readingOnABound_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("limitText");
        QTest::newRow("high limit") << QStringLiteral("higlime") << "1.1"
                                    << "HIGH";
        QTest::newRow("low limit") << QStringLiteral("lowlime") << "0.3"
                                   << " LOW";
        QTest::newRow("filter bound") << QStringLiteral("filterhighle") << "0.1"
                                      << "";
    }
    void readingOnABound()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, limitText);
        MainFixture f;
        QVERIFY(f.connectAndShow());
        QVERIFY(QTest::qWaitForWindowActive(f.main.get()));
        typeKeys({}, Qt::Key_F7);
        f.find<QCheckBox>(limitText.isEmpty() ? "filterenacb" : "limecb")->setFocus();
        typeKeys({}, Qt::Key_Space);
        f.main->findChild<QLineEdit *>(field)->setFocus();
        typeKeys(typed);
        f.sim.setReadingSequence({typed});
        const qint64 before = f.buffer.bigarycnt();
        typeKeys({}, Qt::Key_F11);
        QCOMPARE(f.main->reading().state().limitText, limitText);
        QCOMPARE(f.buffer.bigarycnt() - before, qint64(limitText.isEmpty() ? 0 : 1));
    }

    // Each reading is shown and recorded once, with the configuration that came with it.
    void readingCarriesItsConfiguration()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        QVERIFY(QTest::qWaitForWindowActive(f.main.get()));
        f.main->findChild<QAction *>(QStringLiteral("Savealldata1"))->trigger();
        typeKeys({}, Qt::Key_F5); // the type list has the focus: 2-wire resistance is 4 down
        for (int i = 0; i < 4; ++i)
            typeKeys({}, Qt::Key_Down);
        auto *ids = f.find<QLabel>("instumentids");
        QString idsWhileSetting;
        QObject::connect(&f.link, &ScpiLink::logLine, ids, [&](const QString &line) {
            if (line.startsWith(QStringLiteral("> CONF:RES")))
                idsWhileSetting = ids->text();
        });
        QTest::mouseClick(f.find<QPushButton>("measch"), Qt::LeftButton);
        QVERIFY(idsWhileSetting.startsWith(QStringLiteral("Instrument: ")));
        QTRY_COMPARE(f.main->saver().stagedCount(), 1);
        f.link.SendCmd(QStringLiteral("CONF:FREQ")); // switched behind the program's back
        typeKeys({}, Qt::Key_F9);                    // narrow: the terminals still show
        typeKeys({}, Qt::Key_F11);
        QCOMPARE(f.find<QLabel>("termlab")->text(), QStringLiteral("Front"));
        QVERIFY(f.find<QLabel>("termlab")->isVisible());
        const QString file = f.main->saver().fileName();
        f.main->findChild<QAction *>(QStringLiteral("Savealldata1"))->trigger();
        const QStringList lines = readLines(file);
        QCOMPARE(lines.size(), qsizetype(3 + 2));
        QCOMPARE(lines[3].section(QLatin1Char(';'), 1, 1), QStringLiteral("Ohm"));
        QCOMPARE(lines[4].section(QLatin1Char(';'), 1, 1), QStringLiteral("Hz"));
    }

    // "S&et" and "Get Err&or" work while measuring automatically at repeat delay 0: carried
    // out between two cycles, and measuring goes on with the new configuration.
    void setupWhileMeasuringAutomatically()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        QVERIFY(QTest::qWaitForWindowActive(f.main.get()));
        QTest::mouseClick(f.find<QCheckBox>("automeas1cb"), Qt::LeftButton);
        QTRY_VERIFY(f.buffer.bigarycnt() >= 5);
        auto *measch = f.find<QPushButton>("measch");
        auto *geterrb = f.find<QPushButton>("geterrb");
        int disabledSeen = 0;
        QObject::connect(&f.main->cycle(), &MeasurementCycle::cycleStarted, measch, [&] {
            QTimer::singleShot(
                0, measch, [&] { disabledSeen += !measch->isEnabled() || !geterrb->isEnabled(); });
        });
        QTRY_VERIFY(f.buffer.bigarycnt() >= 20);
        QCOMPARE(disabledSeen, 0);

        typeKeys({}, Qt::Key_F5); // the type list: 4-wire resistance is 5 down
        for (int i = 0; i < 5; ++i)
            typeKeys({}, Qt::Key_Down);
        f.sim.clearCommands();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
        QTRY_VERIFY(f.sim.commands().contains(QStringLiteral("syst:rem")));
        const qsizetype after = f.buffer.bigarycnt();
        QTRY_VERIFY(f.buffer.bigarycnt() >= after + 5);
        QCOMPARE(f.buffer[f.buffer.bigarypos()].Lunits1.toString(), QStringLiteral("Ohm4"));
        QVERIFY(f.find<QCheckBox>("automeas1cb")->isChecked());

        f.sim.clearCommands();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::AltModifier);
        QTRY_VERIFY(f.sim.commands().contains(QStringLiteral("syst:err?")));
        const qsizetype later = f.buffer.bigarycnt();
        QTRY_VERIFY(f.buffer.bigarycnt() >= later + 5);
    }

    // After math is switched off, the readings carry no value from before the math.
    void noteColumnEmptyWithoutMath()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        f.sim.setReadingSequence({QStringLiteral("+2.00000000E+00")});
        f.main->findChild<QAction *>(QStringLiteral("Savealldata1"))->trigger();
        const QString file = f.main->saver().fileName();
        auto *math = f.find<QCheckBox>("math_ena_cb");
        QTest::mouseClick(math, Qt::LeftButton);
        QVERIFY(math->isChecked());
        QTest::mouseClick(f.find<QPushButton>("measb"), Qt::LeftButton);
        QTest::mouseClick(math, Qt::LeftButton);
        QVERIFY(!math->isChecked());
        QTest::mouseClick(f.find<QPushButton>("measb"), Qt::LeftButton);
        f.main->findChild<QAction *>(QStringLiteral("Savealldata1"))->trigger();
        const QStringList lines = readLines(file);
        QVERIFY(lines.size() >= 5);
        QCOMPARE(lines.at(lines.size() - 2).section(QLatin1Char(';'), 6, 6), QStringLiteral("2"));
        QCOMPARE(lines.last().section(QLatin1Char(';'), 6, 6), QStringLiteral("1E-37"));
    }

    // Started with automatic connect: the page shows what the read-back found, and the
    // chart's labels say nothing while its history holds no reading.
    void startUpWithAutomaticConnect()
    {
        MainFixture f;
        f.sim.instrument().setFilterState(sim::Function::VoltDc, true, true);
        QVERIFY(f.sim.listen(0));
        f.settings.host1 = QStringLiteral("127.0.0.1");
        f.settings.port1 = QString::number(f.sim.port());
        f.comm->ShowDevice();
        f.comm->INITbClick(); // before the window shows, as at start-up
        f.main->show();
        QVERIFY(QTest::qWaitForWindowActive(f.main.get()));
        QCOMPARE(f.find<QComboBox>("sens1cb")->currentText(), QStringLiteral("Filter Both"));
        QCOMPARE(f.find<QComboBox>("rangecb")->currentIndex(), 2);
        QCOMPARE(f.find<QComboBox>("resolcb")->currentIndex(), 2);
        auto labels = [&f] {
            QString all;
            for (const char *name : {"maxlab1", "minlab1", "devlabel", "meanl1"})
                all += f.find<QLabel>(name)->text();
            return all;
        };
        QCOMPARE(labels(), QString());
        typeKeys({}, Qt::Key_F11);
        QVERIFY(!labels().isEmpty());
        f.main->findChild<QAction *>(QStringLiteral("ClearGraph1"))->trigger();
        typeKeys({}, Qt::Key_F7);
        f.find<QLineEdit>("higlime")->setFocus();
        typeKeys(QStringLiteral("7"));
        QCOMPARE(labels(), QString());
    }

    void resetAsksFirst()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        f.sim.clearCommands();
        f.answerYes = false;
        f.main->Reset1Click();
        QCOMPARE(f.questions, QStringList{QStringLiteral("Do You Want To Reset Device?")});
        QCOMPARE(countSent(f.sim, QStringLiteral("*RST")), 0);
        f.answerYes = true;
        f.main->Reset1Click();
        QCOMPARE(countSent(f.sim, QStringLiteral("*RST")), 1);
        QVERIFY(f.sim.commands().contains(QStringLiteral("conf?")));
    }

    void getErrorWithoutConnection()
    {
        MainFixture f;
        f.main->show();
        f.main->geterrbClick();
        QCOMPARE(f.find<QLabel>("lasterrs")->text(), QStringLiteral(" 65536"));
    }

    void automaticSavingWritesBatches()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        auto *save = f.main->findChild<QAction *>(QStringLiteral("Savealldata1"));
        save->setChecked(true);
        f.main->Savealldata1Click();
        const QString file = f.main->saver().fileName();
        QVERIFY(file.startsWith(f.settings.DataDir + QStringLiteral("Log/Data_")));
        QVERIFY(file.endsWith(QStringLiteral("-s.csv")));
        f.find<QCheckBox>("automeas1cb")->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(readLines(file).size() >= 3 + 51, 15000);
        f.find<QCheckBox>("automeas1cb")->setChecked(false);
        QTRY_VERIFY(!f.main->cycle().busy());
        const int staged = f.main->saver().stagedCount();
        const int before = static_cast<int>(readLines(file).size());
        save->setChecked(false);
        f.main->Savealldata1Click();
        // Switching off writes what was staged; the current reading is in it already.
        QCOMPARE(static_cast<int>(readLines(file).size()), before + staged);
        QVERIFY(!f.main->saver().isOn());
        QVERIFY(readLines(file).at(2).startsWith(QLatin1Char('#')));
    }

    void savingStartsWithTheWindow()
    {
        MainFixture f;
        f.settings.AllwaysSaveData = true;
        f.main->show();
        QVERIFY(f.main->saver().isOn());
        QVERIFY(f.main->findChild<QAction *>(QStringLiteral("Savealldata1"))->isChecked());
        QVERIFY(QDir(f.settings.DataDir + QStringLiteral("Log")).exists());
    }

    void closingForcesTheBatch()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        auto *save = f.main->findChild<QAction *>(QStringLiteral("Savealldata1"));
        save->setChecked(true);
        f.main->Savealldata1Click();
        f.find<QPushButton>("measb")->click();
        f.find<QPushButton>("measb")->click();
        QCOMPARE(f.main->saver().stagedCount(), 2);
        const QString file = f.main->saver().fileName();
        f.main->close();
        QCOMPARE(f.questions.last(), QStringLiteral("Do You Want Close?"));
        QVERIFY(!f.link.connected());
        QCOMPARE(readLines(file).size(), qsizetype(3 + 2));
    }

    void seriesFillsChartAndBuffer()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        f.sim.setTimeScale(0);
        auto *count = f.find<QLineEdit>("fetche");
        QCOMPARE(count->text(), QStringLiteral("400"));
        count->setText(QStringLiteral("60"));
        f.find<QLineEdit>("dtrigdelaye")->setText(QStringLiteral("800"));
        f.sim.clearCommands();
        f.find<QPushButton>("fetchinitb")->click();
        QVERIFY(f.sim.commands().contains(QStringLiteral("trig:del 0.8000")));
        QVERIFY(f.sim.commands().contains(QStringLiteral("trig:count 60")));
        const qint64 before = f.buffer.bigarycnt();
        f.find<QPushButton>("fetchgetb")->click();
        QCOMPARE(f.buffer.bigarycnt(), before + 60);
        QCOMPARE(f.find<QPushButton>("fetchgetb")->text(), QStringLiteral("&GET data"));
        QVERIFY(f.find<QPushButton>("measb")->isEnabled());
    }

    void saveDataWritesTheChart()
    {
        MainFixture f;
        QVERIFY(f.connectAndShow());
        f.find<QPushButton>("measb")->click();
        const QString base = f.dir.path() + QStringLiteral("/chart");
        dialogs::setSaveNameHandler([&](const QString &proposed, int *filter) {
            if (!proposed.startsWith(f.settings.DataDir + QStringLiteral("Data_")))
                return QString();
            *filter = 2;
            return base;
        });
        f.main->SavedbClick();
        const QStringList lines = readLines(base + QStringLiteral("-t.txt"));
        QCOMPARE(lines.size(), 2 + 400);
        QVERIFY(lines[1].startsWith(QStringLiteral("# Measurement1 \tunits1 ")));
        QVERIFY(lines.last().startsWith(QStringLiteral("1.23")));

        const QString bmp = f.dir.path() + QStringLiteral("/chart.bmp");
        dialogs::setSaveNameHandler([&](const QString &, int *) { return bmp; });
        f.main->SaveGraph1Click();
        QImage img(bmp);
        QVERIFY(!img.isNull());
        QCOMPARE(img.width(), 448);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
