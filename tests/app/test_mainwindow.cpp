// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainfixture.h"

#include "data/autosaver.h"
#include "engine/mathpage.h"
#include "engine/readingarea.h"
#include "engine/readingcontroller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

int countSent(const sim::Simulator &sim, const QString &cmd)
{
    return static_cast<int>(sim.commands().count(cmd));
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
        // Switching off writes what was staged and the current reading once more.
        QCOMPARE(static_cast<int>(readLines(file).size()), before + staged + 1);
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
        QCOMPARE(readLines(file).size(), qsizetype(3 + 3));
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
            if (!proposed.startsWith(QStringLiteral("Data_")))
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
