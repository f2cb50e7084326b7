// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakesetup.h"

#include <QTest>

namespace {

const QString kValue = QStringLiteral("+1.00000000E+04");
const QString kNoError = QStringLiteral("+0,\"No error\"");
const QString kHeaderError = QStringLiteral("-113,\"Undefined header\"");

// Every line must go out while the cycle is held: timer off and busy flag set.
void verifyCycleHeldWhileSending(const Journal &j, bool timerAtStart)
{
    bool timer = timerAtStart;
    bool busy = false;
    for (const QString &e : j) {
        if (e == u"host: timer on" || e == u"host: timer off")
            timer = e.endsWith(u"on");
        else if (e == u"host: busy on" || e == u"host: busy off")
            busy = e.endsWith(u"on");
        else if (e.startsWith(u"> "))
            QVERIFY2(!timer && busy, qPrintable(e));
    }
}

} // namespace

class TestSetupSequence : public QObject
{
    Q_OBJECT
private slots:
    // The whole "S&et" run in order: cycle held, configuration before options, read-back,
    // then everything restored.
    void measchFullRun()
    {
        Journal j;
        FakePort port(j);
        FakePage page(j);
        FakeHost host(j);
        host.autoMeas = true;
        host.timerRunning = true;
        host.alternate = true;
        host.autoTemp = true;
        page.commands = {QStringLiteral("CONF:FRES 1.0E4,1"),
                         QStringLiteral("SENSE:FRES:FILTER ON; FILTER:DIGITAL ON; "
                                        ":FRES:NPLCYCLES 1; ")};
        port.replies = {kValue, QStringLiteral("\"FRES +1.0E+04,+1.0E+00\""), QStringLiteral("1;1"),
                        QStringLiteral("FRON"), kNoError};

        setupseq::measchClick(port, page, host);

        const QStringList expected{
            "host: cycle clock restarted",
            "host: secondary cleared",
            "host: autotemp off",
            "page: ids Instrument: ORVA 8846A  Serial number: 1234567  Calibrated: 2025-01-02",
            "page: measch off",
            "host: automeas enabled off",
            "host: timer off",
            "delay 2",
            "host: busy on",
            "host: zero 0",
            "host: automeas off",
            "page: build",
            "> syst:rem",
            "> CONF:FRES 1.0E4,1",
            "delay 2",
            "> SENSE:FRES:FILTER ON; FILTER:DIGITAL ON; :FRES:NPLCYCLES 1; ",
            "delay 2",
            "host: measurement start",
            "page: ids Device: ORVA 8846A  SN: 1234567  Cal: 2025-01-02",
            "> read?",
            "delay 2",
            "read value",
            "host: last period",
            "> conf?",
            "delay 2",
            "read",
            "delay 2",
            "host: parse conf 5",
            "page: type 5",
            "> Filter?; filter:digital?",
            "read",
            "delay 2",
            "page: filter 2",
            "host: autotemp enabled on",
            "host: autotemp handler off",
            "host: process reading queued",
            "> ROUT:TERM?",
            "delay 2",
            "read",
            "page: termlab Front",
            "> syst:err?",
            "delay 2",
            "read",
            "> syst:loc",
            "delay 2",
            "host: automeas on",
            "host: timer on",
            "host: automeas enabled on",
            "host: busy off",
            "host: autotemp on",
            "host: autotemp handler on",
            "page: measch on",
        };
        QCOMPARE(j, expected);
        QVERIFY(port.replies.isEmpty());
    }

    void measch_data()
    {
        QTest::addColumn<bool>("autoMeas");
        QTest::addColumn<bool>("alternate");
        QTest::addColumn<bool>("autoTemp");
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("conf");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<bool>("autoTempAfter");
        const QStringList tail{"ROUT:TERM?", "syst:err?"};
        QTest::newRow("continuity sends no option")
            << false << false << false << "CONF:CONT "
            << ""
            << "\"CONT +1.0E+03,+1.0E-01\""
            << QStringList{"syst:rem", "CONF:CONT ", "read?", "conf?"} + tail << false;
        QTest::newRow("voltage, alternate reading")
            << true << true << true << "CONF:VOLT:DC 10,"
            << "SENSE:VOLT:DC:IMPEDANCE:AUTO OFF; "
            << "\"VOLT +1.0E+01,+3.0E-06\""
            << QStringList{"syst:rem",
                           "CONF:VOLT:DC 10,",
                           "SENSE:VOLT:DC:IMPEDANCE:AUTO OFF; ",
                           "read?",
                           "conf?",
                           "Filter:state?; :filter:digital:state?"} +
                   tail + QStringList{"syst:loc"}
            << false;
        QTest::newRow("resistance keeps temperature on")
            << true << false << true << "CONF:RES "
            << "SENSE:RES:NPLCYCLES 1; "
            << "\"RES +1.0E+04,+1.0E+00\""
            << QStringList{"syst:rem", "CONF:RES ", "SENSE:RES:NPLCYCLES 1; ",
                           "read?",    "conf?",     "Res:Filter:state?; :filter:digital:state?"} +
                   tail
            << true;
        QTest::newRow("resistance, temperature was off")
            << false << false << false << "CONF:RES "
            << "SENSE:RES:NPLCYCLES 1; "
            << "\"RES +1.0E+04,+1.0E+00\""
            << QStringList{"syst:rem", "CONF:RES ", "SENSE:RES:NPLCYCLES 1; ",
                           "read?",    "conf?",     "Res:Filter:state?; :filter:digital:state?"} +
                   tail
            << false;
    }
    void measch()
    {
        QFETCH(bool, autoMeas);
        QFETCH(bool, alternate);
        QFETCH(bool, autoTemp);
        QFETCH(QString, configuration);
        QFETCH(QString, option);
        QFETCH(QString, conf);
        QFETCH(QStringList, sent);
        QFETCH(bool, autoTempAfter);
        Journal j;
        FakePort port(j);
        FakePage page(j);
        FakeHost host(j);
        host.autoMeas = autoMeas;
        host.timerRunning = autoMeas;
        host.alternate = alternate;
        host.autoTemp = autoTemp;
        page.commands = {configuration, option};
        port.replies = {kValue, conf, QStringLiteral("0;0"), QStringLiteral("REAR"), kNoError};
        const bool hasFilterQuery = meascat::filterStateQuery(host.confTypes.value(conf)).size();
        if (!hasFilterQuery)
            port.replies.removeAt(2);

        setupseq::measchClick(port, page, host);

        QCOMPARE(sentLines(j), sent);
        verifyCycleHeldWhileSending(j, autoMeas);
        QCOMPARE(host.autoMeas, autoMeas);
        QCOMPARE(host.timerRunning, autoMeas);
        QVERIFY(host.autoMeasEnabled);
        QVERIFY(!host.busy);
        QVERIFY(page.measch);
        QCOMPARE(host.autoTemp, autoTempAfter);
        QCOMPARE(page.termlab, QStringLiteral("Rear"));
    }

    void readBack_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("termlab");
        QTest::addColumn<QString>("lasterrs");
        QTest::addColumn<bool>("autoTempEnabled");
        const QString volt = QStringLiteral("\"VOLT +1.0E+01,+3.0E-06\"");
        const QString common = QStringLiteral("Filter:state?; :filter:digital:state?");
        QTest::newRow("resistance, both filters, front")
            << true << QStringList{kValue, "\"RES +1.0E+04,+1.0E+00\"", "1;1", "FRON", kNoError}
            << QStringList{"read?", "conf?", "Res:Filter:state?; :filter:digital:state?",
                           "ROUT:TERM?", "syst:err?"}
            << 4 << 2 << "Front"
            << "old error" << true;
        QTest::newRow("voltage, digital, rear, error shown")
            << true << QStringList{kValue, volt, "0;1", "REAR", kHeaderError}
            << QStringList{"read?", "conf?", common, "ROUT:TERM?", "syst:err?"} << 0 << 1 << "Rear"
            << "Undefined header -113" << false;
        QTest::newRow("4-wire, short filter reply")
            << true << QStringList{kValue, "\"FRES +1.0E+04,+1.0E+00\"", "1", "FRONT", kNoError}
            << QStringList{"read?", "conf?", "Filter?; filter:digital?", "ROUT:TERM?", "syst:err?"}
            << 5 << -1 << ""
            << "old error" << true;
        QTest::newRow("frequency asks no filter")
            << true << QStringList{kValue, "\"FREQ +1.0E+01,+3.0E-06\"", "FRON", kNoError}
            << QStringList{"read?", "conf?", "ROUT:TERM?", "syst:err?"} << 8 << -2 << "Front"
            << "old error" << false;
        QTest::newRow("rtd, filter off")
            << true << QStringList{kValue, "\"TEMP:RTD PT100_385\"", "0;0", "REAR", kNoError}
            << QStringList{"read?", "conf?", common, "ROUT:TERM?", "syst:err?"} << 11 << 3 << "Rear"
            << "old error" << false;
        QTest::newRow("unknown function keeps type")
            << true << QStringList{kValue, "\"XYZ\"", "1;0", "FRON", kNoError}
            << QStringList{"read?", "conf?", common, "ROUT:TERM?", "syst:err?"} << 0 << 0 << "Front"
            << "old error" << false;
        QTest::newRow("time-out after conf")
            << true << QStringList{kValue, volt}
            << QStringList{"read?", "conf?", common, "ROUT:TERM?", "syst:err?"} << 0 << -1 << ""
            << "old error" << false;
        QTest::newRow("not connected") << false << QStringList{} << QStringList{} << 0 << -1 << ""
                                       << "old error" << false;
    }
    void readBack()
    {
        QFETCH(bool, connected);
        QFETCH(QStringList, replies);
        QFETCH(QStringList, sent);
        QFETCH(int, type);
        QFETCH(int, filter);
        QFETCH(QString, termlab);
        QFETCH(QString, lasterrs);
        QFETCH(bool, autoTempEnabled);
        Journal j;
        FakePort port(j);
        FakePage page(j);
        FakeHost host(j);
        port.connected = connected;
        port.replies = replies;
        host.autoTemp = true;

        setupseq::ReadBackState(port, page, host);

        QCOMPARE(sentLines(j), sent);
        QCOMPARE(page.type, type);
        QCOMPARE(page.filter, filter);
        QCOMPARE(page.termlab, termlab);
        QCOMPARE(page.lasterrs, lasterrs);
        QCOMPARE(host.autoTempOn, autoTempEnabled);
        // Where temperature is offered the operator's choice stays; elsewhere it goes off.
        QCOMPARE(host.autoTemp, autoTempEnabled);
        QVERIFY(j.contains(QStringLiteral("host: process reading queued")));
        QVERIFY(j.indexOf(QStringLiteral("host: process reading queued")) <
                j.indexOf(QStringLiteral("page: termlab ") + termlab));
        QCOMPARE(page.ids, QStringLiteral("Device: ORVA 8846A  SN: 1234567  Cal: 2025-01-02"));
    }

    void afterConnectSelectsThirdEntriesFirst()
    {
        Journal j;
        FakePort port(j);
        FakePage page(j);
        FakeHost host(j);
        port.replies = {kValue, "\"VOLT +1.0E+01,+3.0E-06\"", "0;0", "FRON", kNoError};
        setupseq::readBackAfterConnect(port, page, host);
        QCOMPARE(j.first(), QStringLiteral("page: third entries"));
        QCOMPARE(sentLines(j).first(), QStringLiteral("read?"));
    }

    void reset()
    {
        Journal j;
        FakePort port(j);
        FakePage page(j);
        FakeHost host(j);
        port.replies = {kHeaderError, kValue, "\"VOLT:AC +1.0E+01,+3.0E-06\"", "FRON", kNoError};
        setupseq::resetDevice(port, page, host);
        const QStringList head{"> *RST",  "delay 5000", "> syst:err?",
                               "delay 2", "read",       "delay 1000"};
        QCOMPARE(j.mid(0, head.size()), head);
        QVERIFY(j.at(head.size()).startsWith(u"page: ids Device: "));
        QCOMPARE(j.mid(j.size() - 2),
                 (QStringList{"page: type change", "host: series buttons enabled"}));
        // The reset's own error answer is not shown; the read-back's "No error" keeps it.
        QCOMPARE(page.lasterrs, QStringLiteral("old error"));
        QCOMPARE(page.type, 1);
        QVERIFY(port.replies.isEmpty());
    }

    void geterrb_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("lasterrs");
        QTest::newRow("empty queue shows 0") << true << kNoError << "No error 0";
        QTest::newRow("error") << true << kHeaderError << "Undefined header -113";
        QTest::newRow("not connected") << false << kNoError << " 65536";
    }
    void geterrb()
    {
        QFETCH(bool, connected);
        QFETCH(QString, reply);
        QFETCH(QString, lasterrs);
        Journal j;
        FakePort port(j);
        FakePage page(j);
        port.connected = connected;
        port.replies = {reply};
        setupseq::geterrbClick(port, page);
        QStringList expected{"page: geterrb off",          "> syst:err?",     "delay 2", "read",
                             "page: lasterrs " + lasterrs, "page: geterrb on"};
        if (!connected)
            expected.removeAt(1);
        QCOMPARE(j, expected);
    }

    void displayText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("journal");
        QTest::newRow("off") << "0" << QStringList{"> DISP 0"};
        QTest::newRow("text") << "Hi" << QStringList{"> DISP 1", "delay 2", "> DISP:TEXT 'Hi'"};
        QTest::newRow("clear") << "" << QStringList{"> DISP 1", "delay 2", "> DISP:TEXT:CLE"};
    }
    void displayText()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, journal);
        Journal j;
        FakePort port(j);
        setupseq::sendDisplayText(port, text);
        QCOMPARE(j, journal);
    }

    // The clock is read for each line, so a date sent just after midnight is the new day's.
    void timeAndDateReadClockPerLine()
    {
        Journal j;
        FakePort port(j);
        QList<QDateTime> clock{QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999)),
                               QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0, 1))};
        setupseq::setTimeAndDate(port, [&] { return clock.takeFirst(); });
        QCOMPARE(j, (QStringList{"> syst:time 23:59:59", "> syst:date 01-01-2000"}));
        QVERIFY(clock.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSetupSequence)
#include "test_setupsequence.moc"
