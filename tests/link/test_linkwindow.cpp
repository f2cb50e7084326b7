// SPDX-License-Identifier: GPL-3.0-or-later
// The link as the user meets it in the main window: keys, buttons, titles, the data file.
#include "app/mainfixture.h"
#include "faultproxy.h"

#include "data/autosaver.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "engine/cycle.h"
#include "engine/mathpage.h"
#include "engine/readingarea.h"
#include "engine/readingcontroller.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

namespace {

struct Window : MainFixture
{
    std::unique_ptr<FaultProxy> proxy;

    // The instrument behind the fault relay; the window shown, not yet connected.
    bool showViaProxy()
    {
        if (!sim.listen(0))
            return false;
        proxy = std::make_unique<FaultProxy>(sim.port());
        if (!proxy->listen())
            return false;
        settings.host1 = QStringLiteral("127.0.0.1");
        settings.port1 = QString::number(proxy->port());
        comm->ShowDevice();
        main->show();
        return QTest::qWaitForWindowExposed(main.get());
    }
    // Shift+F2 to whatever has the keyboard focus in the main window.
    void pressShiftF2()
    {
        main->activateWindow();
        QWidget *target = QApplication::focusWidget();
        QTest::keyClick(target ? target : main.get(), Qt::Key_F2, Qt::ShiftModifier);
    }
    bool connectButtonsEnabled() const
    {
        return find<QPushButton>("connectb1")->isEnabled() &&
               namedChild<QPushButton>(comm.get(), "INITb")->isEnabled();
    }
    void saveAll()
    {
        main->findChild<QAction *>(QStringLiteral("Savealldata1"))->setChecked(true);
        main->Savealldata1Click();
    }
};

} // namespace

class TestLinkWindow : public QObject
{
    Q_OBJECT
private slots:
    void reconnectWhileMeasuringAutomatically()
    {
        Window f;
        f.settings.DataTimeout = 1000;
        // Every reading the instrument serves is 1.5 V.
        f.sim.setReadingSequence({QStringLiteral("+1.50000000E+00")});
        QVERIFY(f.showViaProxy());
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        bool cycleInSequence = false;
        int empty = 0;
        bool pressed = false;
        MeasurementCycle &cycle = f.main->cycle();
        connect(&cycle, &MeasurementCycle::cycleStarted, this, [&] {
            cycleInSequence |= f.link.sequenceRunning();
            // Shift+F2 twice while a reading is under way.
            if (pressed || f.buffer.bigarycnt() < 5)
                return;
            pressed = true;
            QTimer::singleShot(0, &f.link, [&] {
                f.pressShiftF2();
                QTimer::singleShot(50, &f.link, [&] { f.pressShiftF2(); });
            });
        });
        connect(&cycle, &MeasurementCycle::cycleFinished, this, [&](bool got) { empty += !got; });
        QTest::mouseClick(f.find<QCheckBox>("automeas1cb"), Qt::LeftButton);
        QVERIFY(cycle.automatic());
        QTRY_VERIFY_WITH_TIMEOUT(pressed && f.link.connected() && f.buffer.bigarycnt() >= 40,
                                 20000);
        QVERIFY(!cycleInSequence);
        // At most the reading cut by the disconnect came back empty.
        QVERIFY2(empty <= 1, qPrintable(QString::number(empty)));
        int kept = 0;
        for (const measpol &r : f.buffer.records()) {
            if (r.dateTime == 0)
                continue;
            ++kept;
            QCOMPARE(double(r.value1), 1.5);
            QCOMPARE(QString(reinterpret_cast<const QChar *>(r.Lunits1.c), r.Lunits1.size()),
                     QStringLiteral("V="));
        }
        QCOMPARE(kept, int(f.buffer.bigarycnt()));
    }

    void faultsWhileMeasuringAndSaving_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("late reply") << "late";
        QTest::newRow("reply cut by long gaps") << "cut";
        QTest::newRow("runaway reply") << "stream";
        QTest::newRow("reset, then a reconnect") << "reset";
    }
    void faultsWhileMeasuringAndSaving()
    {
        QFETCH(QString, fault);
        Window f;
        f.settings.DataTimeout = 500;
        f.settings.LanTimeout = 150;
        f.link.setMaxLineBytes(1 << 20);
        f.sim.setReadingSequence({QStringLiteral("+1.50000000E+00")});
        QVERIFY(f.showViaProxy());
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        f.saveAll();
        const QString file = f.main->saver().fileName();
        quint32 last = dtime::ticks();
        int maxGap = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            maxGap = std::max(maxGap, dtime::tickDiff(dtime::ticks(), last));
            last = dtime::ticks();
        });
        watch.start(20);
        QTest::mouseClick(f.find<QCheckBox>("automeas1cb"), Qt::LeftButton);
        QTRY_VERIFY(f.buffer.bigarycnt() >= 5);

        if (fault == QLatin1String("late")) {
            f.proxy->delayNextReply(800);
        } else if (fault == QLatin1String("cut")) {
            int cut = 0;
            const auto counting = connect(&f.main->cycle(), &MeasurementCycle::cycleFinished, this,
                                          [&](bool got) { cut += !got; });
            f.sim.setSplit(3, 300);
            QTRY_VERIFY(cut >= 2);
            disconnect(counting);
            f.sim.setSplit(1, 0);
        } else if (fault == QLatin1String("stream")) {
            f.proxy->setEndlessStream(true);
            QTRY_VERIFY(f.proxy->streamedBytes() > 8 << 20);
            f.proxy->setEndlessStream(false);
        } else {
            f.proxy->resetAfter(10);
            QTRY_VERIFY(!f.link.connected());
            QTRY_COMPARE(f.main->windowTitle(), QStringLiteral("Not Connected!"));
            f.pressShiftF2();
            QVERIFY(f.link.connected());
        }
        // Measuring goes on by itself.
        const qint64 after = f.buffer.bigarycnt();
        QTRY_VERIFY_WITH_TIMEOUT(f.buffer.bigarycnt() >= after + 20, 15000);
        f.main->close();
        QVERIFY2(maxGap < 500, qPrintable(QString::number(maxGap)));

        // The file holds readings the instrument served, and nothing else but the mark of
        // the gap, between two readings.
        int readings = 0;
        int gaps = 0;
        int readingsAfterGap = 0;
        const QRegularExpression gapLine(
            QStringLiteral("^# connection lost \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}, "
                           "restored \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
        for (const QString &line : readLines(file)) {
            if (line.startsWith(QLatin1String("# connection"))) {
                QVERIFY2(gapLine.match(line).hasMatch() && readings > 0, qPrintable(line));
                ++gaps;
                continue;
            }
            measpol rec;
            const QByteArray bytes = line.toUtf8();
            const datafile::LineResult r = datafile::parseDataLine(bytes, ';', rec);
            if (r.kind == datafile::LineKind::Comment)
                continue;
            QVERIFY2(r.kind == datafile::LineKind::Stored && rec.value1 == 1.5L, qPrintable(line));
            ++readings;
            readingsAfterGap += gaps;
        }
        QVERIFY(readings >= 25);
        QCOMPARE(gaps, fault == QLatin1String("reset") ? 1 : 0);
        if (gaps)
            QVERIFY(readingsAfterGap >= 20);
    }

    // The loss is noticed at once, so Shift+F2 after a drop connects; and a press while a
    // disconnect is under way is carried out when it ends.
    void lastShiftF2Decides()
    {
        Window f;
        f.settings.DataTimeout = 5000;
        QVERIFY(f.showViaProxy());
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        QTest::mouseClick(f.find<QCheckBox>("automeas1cb"), Qt::LeftButton);
        QTRY_VERIFY(f.buffer.bigarycnt() >= 5);
        f.proxy->resetAfter(10);
        QTRY_VERIFY_WITH_TIMEOUT(!f.link.connected(), 2500);
        f.pressShiftF2();
        QVERIFY(f.link.connected());

        bool duringDisconnect = false;
        QTimer::singleShot(100, &f.link, [&] {
            duringDisconnect = f.link.sequenceRunning();
            f.pressShiftF2();
        });
        f.pressShiftF2();
        QTRY_VERIFY(f.link.connected() && !f.link.sequenceRunning());
        QVERIFY(duringDisconnect);
        const qint64 count = f.buffer.bigarycnt();
        QTRY_VERIFY(f.buffer.bigarycnt() >= count + 5);
    }

    // A reading's answer held back past its read, then delivered right after the next
    // query: it is dropped, and every later reading is the instrument's answer to its own
    // query.
    void heldBackReadingIsNotTakenForTheNext()
    {
        Window f;
        f.settings.DataTimeout = 400;
        f.settings.LanTimeout = 150;
        QStringList values;
        for (int i = 1; i <= 400; ++i)
            values << QString::number(i) + QStringLiteral(".0");
        f.sim.setReadingSequence(values);
        QVERIFY(f.showViaProxy());
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        f.saveAll();
        const QString file = f.main->saver().fileName();
        QTest::mouseClick(f.find<QCheckBox>("automeas1cb"), Qt::LeftButton);
        QTRY_VERIFY(f.buffer.bigarycnt() >= 5);
        f.proxy->holdNextReplyUntilNextCommand();
        const qint64 count = f.buffer.bigarycnt();
        QTRY_VERIFY_WITH_TIMEOUT(f.buffer.bigarycnt() >= count + 10, 10000);
        QTest::mouseClick(f.find<QCheckBox>("automeas1cb"), Qt::LeftButton);
        QTRY_VERIFY(!f.main->cycle().busy());
        QTest::mouseClick(f.find<QPushButton>("measb"), Qt::LeftButton);
        // The reading shown is the answer to the last of the instrument's read queries.
        const qsizetype served = f.sim.commands().filter(QRegularExpression("^read\\?")).size();
        QCOMPARE(double(f.main->reading().state().current), double(served));
        f.main->close();
        long double last = 0;
        for (const QString &line : readLines(file)) {
            measpol rec;
            const QByteArray bytes = line.toUtf8();
            if (datafile::parseDataLine(bytes, ';', rec).kind != datafile::LineKind::Stored)
                continue;
            QVERIFY2(rec.value1 > last, qPrintable(line));
            last = rec.value1;
        }
        QCOMPARE(double(last), double(served));
    }

    void secondConnectIsRefusedWhileOneIsUnderWay()
    {
        Window f;
        f.settings.DataTimeout = 300;
        f.settings.LanTimeout = 100;
        QVERIFY(f.showViaProxy());
        // The instrument takes the connection but answers nothing.
        f.sim.setHung(true);
        f.comm->show();
        bool enabledDuring = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (f.link.sequenceRunning() &&
                (f.find<QPushButton>("connectb1")->isEnabled() ||
                 namedChild<QPushButton>(f.comm.get(), "INITb")->isEnabled()))
                enabledDuring = true;
        });
        probe.start(50);
        QTimer::singleShot(250, &f.link, [&] {
            f.pressShiftF2();
            QTest::mouseClick(namedChild<QPushButton>(f.comm.get(), "INITb"), Qt::LeftButton);
            QTest::mouseClick(f.find<QPushButton>("connectb1"), Qt::LeftButton);
        });
        // A reply left from an earlier conversation must not become the identification.
        f.link.LastRaw = QStringLiteral("+0,\"No error\"");
        QTest::mouseClick(namedChild<QPushButton>(f.comm.get(), "INITb"), Qt::LeftButton);
        QVERIFY(!enabledDuring);
        QVERIFY(f.link.connected());
        QCOMPARE(f.proxy->connections(), 1);
        // The device row under connectb1 did not replace the address being connected to.
        QCOMPARE(namedChild<QLineEdit>(f.comm.get(), "adre")->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(namedChild<QLineEdit>(f.comm.get(), "porte")->text(),
                 QString::number(f.proxy->port()));
        // An instrument that never answered: the identification holds nothing it did not say.
        const QString ids = f.find<QLabel>("instumentids")->text();
        QVERIFY2(ids.startsWith(QStringLiteral("Device:  ")) && !ids.contains(QLatin1Char('+')),
                 qPrintable(ids));
        // The one connection works.
        f.sim.setHung(false);
        f.link.SendCmd(QStringLiteral("syst:err?"));
        QVERIFY(f.link.ReadReply().startsWith(QStringLiteral("+0,\"No error\"")));
    }

    void titleAndConnectCommandsFollowTheLink()
    {
        Window f;
        f.settings.DataTimeout = 500;
        QVERIFY(f.showViaProxy());
        QTRY_COMPARE(f.main->windowTitle(), QStringLiteral("Not Connected!"));
        QTRY_VERIFY(f.connectButtonsEnabled());
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        f.sim.setReadingSequence({QStringLiteral("+2.00000000E+00")});
        QTest::mouseClick(f.find<QPushButton>("measb"), Qt::LeftButton);
        QVERIFY2(f.main->windowTitle().startsWith(QStringLiteral("ORVA ")),
                 qPrintable(f.main->windowTitle()));

        QSignalSpy titles(f.main.get(), &QWidget::windowTitleChanged);
        f.proxy->resetAfter(0);
        f.link.SendCmd(QStringLiteral("*IDN?"));
        QTRY_VERIFY(!f.link.connected());
        QTRY_COMPARE(f.main->windowTitle(), QStringLiteral("Not Connected!"));
        QVERIFY(!titles.isEmpty());
        QCOMPARE(titles.first().first().toString(), QStringLiteral("Connection Lost!"));
        QTRY_VERIFY(f.connectButtonsEnabled());

        // Back, with the same reading as before: the title shows it again.
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        QTest::mouseClick(f.find<QPushButton>("measb"), Qt::LeftButton);
        QVERIFY2(f.main->windowTitle().startsWith(QStringLiteral("ORVA 2.00")),
                 qPrintable(f.main->windowTitle()));
    }

    void instrumentTextsNeverBreakTheDataFile()
    {
        Window f;
        f.sim.instrument().setIdentification(QStringLiteral("ACME"), QStringLiteral("8846A"),
                                             QStringLiteral("1234567"), QStringLiteral("1.0"));
        f.sim.instrument().setCalibrationDate(QStringLiteral("2026-11-30"));
        QVERIFY(f.showViaProxy());
        f.proxy->setReplyRewriter([](QByteArray line) {
            line.replace("ACME", "AC\rME");
            line.replace("8846A", "8846\nA");
            line.replace("2026-11", "2026\x01-11\t");
            line.replace("out of", "out\x01\r of");
            return line;
        });
        f.pressShiftF2();
        QVERIFY(f.link.connected());
        QVERIFY(!f.find<QLabel>("instumentids")->text().contains(QLatin1Char('\n')));
        f.saveAll();
        f.sim.queueError(-222, QStringLiteral("Data out of range"));
        QTest::mouseClick(f.find<QPushButton>("measb"), Qt::LeftButton);
        QCOMPARE(f.find<QLabel>("lasterrs")->text(), QStringLiteral("Data out of range -222"));
        f.comm->show();
        f.comm->flushLog();
        const QStringList log =
            namedChild<QPlainTextEdit>(f.comm.get(), "commlogm")->toPlainText().split('\n');
        for (const QString &l : log) {
            for (const QChar c : l)
                QVERIFY2(c.unicode() >= 0x20, qPrintable(l));
        }
        QVERIFY(log.contains(QStringLiteral("<R ACME,8846A,1234567,1.0")));
        const QString file = f.main->saver().fileName();
        f.main->close();
        const QStringList lines = readLines(file);
        QVERIFY(lines.size() >= 4);
        int heads = 0;
        for (const QString &l : lines) {
            const bool head = l.startsWith(QLatin1Char('#'));
            heads += head;
            // Every line is a head line or a reading; no text broke a line in two.
            QVERIFY2(head || l.front().isDigit() || l.front() == QLatin1Char('+') ||
                         l.front() == QLatin1Char('-'),
                     qPrintable(l));
            for (const QChar c : l)
                QVERIFY2(c.unicode() >= 0x20, qPrintable(l));
        }
        QCOMPARE(heads, 3);
        QVERIFY(lines.join(QLatin1Char('\n')).contains(QStringLiteral("8846A")));
        QVERIFY(lines.join(QLatin1Char('\n')).contains(QStringLiteral("2026-11-30")));
    }
};

QTEST_MAIN(TestLinkWindow)
#include "test_linkwindow.moc"
