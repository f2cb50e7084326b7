// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

using sim::Simulator;

namespace {

constexpr int waitMs = 10000;

// A bare client: collects every byte the simulator sends.
class Peer
{
public:
    explicit Peer(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            received += socket.readAll();
            ++reads;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool waitConnected()
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                               waitMs);
    }
    void sendLines(const QStringList &lines)
    {
        for (const QString &l : lines)
            socket.write(l.toLatin1() + "\r\n");
    }
    bool waitForBytes(qsizetype n)
    {
        return QTest::qWaitFor([&] { return received.size() >= n; }, waitMs);
    }
    bool waitForLines(qsizetype n)
    {
        return QTest::qWaitFor([&] { return received.count("\r\n") >= n; }, waitMs);
    }
    QStringList lines() const
    {
        QStringList l = QString::fromLatin1(received).split(QStringLiteral("\r\n"));
        l.removeLast(); // after the last terminator
        return l;
    }

    QTcpSocket socket;
    QByteArray received;
    int reads = 0;
};

} // namespace

// The simulator as the program's own tests use it: over a real socket on 127.0.0.1.
class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void terminators_data();
    void terminators();
    void commandLog();
    void seriesHoldsLaterCommands();
    void scaledSeriesEndsAtOnce();
    void seedMakesReadingsRepeat();
    void cannedReply();
    void silentQuery();
    void hungInstrument();
    void splitReply();
    void latencyKeepsOrder();
    void garbageValues();
    void dropAfterLines();
    void errorAfterCommand();
    void closeDropsClientsAndListensAgain();
    void streamWithoutTerminator();
    void overlongLineIsRefused();
    void slowReaderGetsEverything();
};

void TestSim::replies_data()
{
    QTest::addColumn<QStringList>("sequence");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("expected");

    const QStringList one = {QStringLiteral("+1.23456789E+00")};
    const QString noError = QStringLiteral("+0,\"No error\"");

    QTest::newRow("value, configuration and error in one line")
        << one << QStringList{"read?;conf?;syst:err?"}
        << QStringList{"+1.23456789E+00;\"VOLT +1.000000E+01,+3.000000E-06\";" + noError};
    QTest::newRow("connect sequence")
        << one << QStringList{"*ESE?", "IDN 0", "*IDN?", "CAL:DATE?"}
        << QStringList{"+0", "ORVA,8846S,SIM00001,1.0-SIM", "2025-11-03"};
    QTest::newRow("2-wire resistance") << one << QStringList{"CONF:RES 1.0E4,1", "conf?"}
                                       << QStringList{"\"RES +1.000000E+04,+1.000000E+00\""};
    QTest::newRow("4-wire resistance") << one << QStringList{"CONF:FRES 1.0E4,1", "conf?"}
                                       << QStringList{"\"FRES +1.000000E+04,+1.000000E+00\""};
    QTest::newRow("range snaps up to 400m")
        << one << QStringList{"CONF:CURR:DC 0.4,1.0e-6", "conf?"}
        << QStringList{"\"CURR +4.000000E-01,+1.000000E-06\""};
    QTest::newRow("range with trailing comma")
        << one << QStringList{"CONF:VOLT:DC 10,", "conf?"}
        << QStringList{"\"VOLT +1.000000E+01,+3.000000E-06\""};
    QTest::newRow("AC voltage, automatic range")
        << one << QStringList{"CONF:VOLT:AC", "conf?"}
        << QStringList{"\"VOLT:AC +1.000000E+00,+3.000000E-07\""};
    QTest::newRow("AC current") << one << QStringList{"conf:curr:ac 0.05", "conf?"}
                                << QStringList{"\"CURR:AC +1.000000E-01,+3.000000E-08\""};
    QTest::newRow("ratio at maximum") << one << QStringList{"CONF:VOLT:DC:RATIO MAX,MAX", "conf?"}
                                      << QStringList{"\"VOLT:RAT +1.000000E+03,+1.000000E-01\""};
    QTest::newRow("RTD probe") << one << QStringList{"CONF:TEMP:RTD PT100_392", "conf?"}
                               << QStringList{"\"TEMP:RTD +1.000000E+02,+3.000000E-05\""};
    QTest::newRow("4-wire RTD") << one << QStringList{"CONF:TEMP:FRTD PT100_385", "conf?"}
                                << QStringList{"\"TEMP:FRTD +1.000000E+02,+3.000000E-05\""};
    QTest::newRow("diode 10 V") << one << QStringList{"CONF:DIOD 0,1", "conf?"}
                                << QStringList{"\"DIOD +1.000000E+01,+3.000000E-06\""};
    QTest::newRow("continuity, blank after the function")
        << one << QStringList{"CONF:CONT ", "conf?;syst:err?"}
        << QStringList{"\"CONT +1.000000E+03,+3.000000E-04\";" + noError};
    QTest::newRow("frequency options")
        << one
        << QStringList{"CONF:FREQ", "SENSE:FREQ:APERTURE 0.1; :FREQ:VOLT:RANGE:AUTO ON; ",
                       "conf?;syst:err?"}
        << QStringList{"\"FREQ +1.000000E+01,+3.000000E-04\";" + noError};
    QTest::newRow("period option without trailing blank")
        << one
        << QStringList{"CONF:PER", "SENSE:PER:APERTURE 1; :PER:VOLT:RANGE:AUTO ON;", "syst:err?"}
        << QStringList{noError};

    QTest::newRow("DC filter analogue")
        << one
        << QStringList{"SENSE:VOLT:DC:FILTER ON; :VOLT:DC:FILTER:DIGITAL OFF; "
                       ":VOLT:DC:IMPEDANCE:AUTO OFF; :VOLT:DC:NPLCYCLES 10; ",
                       "Filter:state?; :filter:digital:state?", "syst:err?"}
        << QStringList{"1;0", noError};
    // The second command has no leading colon: it continues the FRES path.
    QTest::newRow("4-wire filter both, relative path")
        << one
        << QStringList{"CONF:FRES", "SENSE:FRES:FILTER ON; FILTER:DIGITAL ON; :FRES:NPLCYCLES 1; ",
                       "Filter?; filter:digital?", "syst:err?"}
        << QStringList{"1;1", noError};
    QTest::newRow("resistance filter digital")
        << one
        << QStringList{"CONF:RES", "SENSE:RES:FILTER OFF; :RES:FILTER:DIGITAL ON; ",
                       "Res:Filter:state?; :filter:digital:state?"}
        << QStringList{"0;1"};
    QTest::newRow("RTD shares the resistance filter")
        << one
        << QStringList{"SENSE:RES:FILTER ON; :RES:FILTER:DIGITAL ON; ", "CONF:TEMP:RTD PT100_385",
                       "Filter:state?; :filter:digital:state?"}
        << QStringList{"1;1"};
    QTest::newRow("bad filter value") << one << QStringList{"SENSE:RES:FILTER MAYBE", "syst:err?"}
                                      << QStringList{"-224,\"Illegal parameter value\""};

    QTest::newRow("undefined header queues one error")
        << one << QStringList{"bogus:cmd;*ESE?", "syst:err?", "syst:err?"}
        << QStringList{"+0", "-113,\"Undefined header\"", noError};
    QTest::newRow("settings answer nothing")
        << one
        << QStringList{"syst:rem",      "syst:rwl",    "syst:time 09:05:03", "syst:date 03-07-2026",
                       "DISP 0",        "DISP 1",      "DISP:TEXT '00'",     "DISP:TEXT:CLE",
                       "trig:sour imm", "zero:auto 0", "samp:count 1",       "trig:del 0.8000",
                       "*RST",          "syst:loc",    "syst:err?"}
        << QStringList{noError};
    QTest::newRow("terminals") << one << QStringList{"ROUT:TERM?"} << QStringList{"FRON"};
    QTest::newRow("display text with a quoted semicolon")
        << one << QStringList{"DISP:TEXT 'a;b'", "DISP:TEXT?"} << QStringList{"\"a;b\""};
    QTest::newRow("display text too long")
        << one << QStringList{"DISP:TEXT 'ABCDEFGHIJKLM'", "syst:err?"}
        << QStringList{"-223,\"Too much data\""};
    QTest::newRow("bad time") << one << QStringList{"syst:time 9-5", "syst:err?"}
                              << QStringList{"-224,\"Illegal parameter value\""};

    QTest::newRow("overload beyond the fixed range")
        << QStringList{} << QStringList{"CONF:VOLT:DC MIN", "read?"}
        << QStringList{"+9.90000000E+37"};
    QTest::newRow("sequence repeats its last entry")
        << QStringList{"+1.00000000E+00", "+9.90000000E+37"}
        << QStringList{"read?", "read?", "read?"}
        << QStringList{"+1.00000000E+00", "+9.90000000E+37", "+9.90000000E+37"};
    QTest::newRow("series fetched comma separated")
        << QStringList{"+1.00000000E+00", "+2.00000000E+00", "+3.00000000E+00"}
        << QStringList{"trig:count 3", "init", "syst:err?", "fetch?", "fetch?"}
        << QStringList{noError, "+1.00000000E+00,+2.00000000E+00,+3.00000000E+00",
                       "+1.00000000E+00,+2.00000000E+00,+3.00000000E+00"};
    QTest::newRow("read takes the whole series")
        << QStringList{"+1.00000000E+00", "+2.00000000E+00"} << QStringList{"samp:count 2", "read?"}
        << QStringList{"+1.00000000E+00,+2.00000000E+00"};
    QTest::newRow("alternative reading commands")
        << QStringList{"+1.00000000E+00", "+2.00000000E+00"}
        << QStringList{"TRIG:COUNT 1", "init;fetch?;conf?;syst:err?", "fetch3?;conf?;syst:err?"}
        << QStringList{"+1.00000000E+00;\"VOLT +1.000000E+01,+3.000000E-06\";" + noError,
                       "+2.00000000E+00;\"VOLT +1.000000E+01,+3.000000E-06\";" + noError};
    QTest::newRow("configuring resets the trigger count")
        << one << QStringList{"trig:count 400", "CONF:VOLT:DC", "trig:count?"}
        << QStringList{"+1.00000000E+00"};
    QTest::newRow("fetch without a series")
        << one << QStringList{"fetch?;syst:err?"} << QStringList{";-230,\"Data stale\""};
    QTest::newRow("too many triggers")
        << one << QStringList{"trig:count 50001", "syst:err?", "trig:count?"}
        << QStringList{"-222,\"Data out of range\"", "+1.00000000E+00"};
}

void TestSim::replies()
{
    QFETCH(QStringList, sequence);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, expected);

    Simulator simulator;
    simulator.setReadingSequence(sequence);
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    // A last query proves no stray reply came before it.
    peer.sendLines(sent + QStringList{"*OPC?"});
    expected << QStringLiteral("1");
    QVERIFY(peer.waitForLines(expected.size()));
    QCOMPARE(peer.lines(), expected);
}

void TestSim::terminators_data()
{
    QTest::addColumn<Simulator::Terminator>("terminator");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("CR LF") << Simulator::Terminator::CrLf << QByteArray("+0\r\n");
    QTest::newRow("CR") << Simulator::Terminator::Cr << QByteArray("+0\r");
    QTest::newRow("LF") << Simulator::Terminator::Lf << QByteArray("+0\n");
    QTest::newRow("none") << Simulator::Terminator::None << QByteArray("+0");
}

void TestSim::terminators()
{
    QFETCH(Simulator::Terminator, terminator);
    QFETCH(QByteArray, reply);

    Simulator simulator;
    simulator.setTerminator(terminator);
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"*ESE?", "*ESE?"});
    QVERIFY(peer.waitForBytes(2 * reply.size()));
    QCOMPARE(peer.received, reply + reply);
}

void TestSim::commandLog()
{
    Simulator simulator;
    QVERIFY(simulator.listen());
    QSignalSpy spy(&simulator, &Simulator::commandReceived);
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    // LF alone ends a line too; an empty line is not a command.
    peer.socket.write("*IDN?\r\nsyst:rem\n\r\nCONF:RES 10,1\r\nconf?\n");
    QTRY_COMPARE(spy.count(), 4);
    const QStringList expected{"*IDN?", "syst:rem", "CONF:RES 10,1", "conf?"};
    QCOMPARE(simulator.commands(), expected);
    QCOMPARE(spy.at(2).at(0).toString(), QStringLiteral("CONF:RES 10,1"));
    QVERIFY(peer.waitForLines(2));
    QCOMPARE(simulator.instrument().function(), sim::Function::Res);
    QCOMPARE(simulator.instrument().remoteState(), sim::RemoteState::Remote);
    simulator.clearCommands();
    QVERIFY(simulator.commands().isEmpty());
}

void TestSim::seriesHoldsLaterCommands()
{
    Simulator simulator;
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"trig:del 0.0500", "trig:count 4", "*OPC?"});
    QVERIFY(peer.waitForLines(1));
    QElapsedTimer clock;
    clock.start();
    // The answer to the error query marks the end of the series.
    peer.sendLines({"init", "syst:err?"});
    QVERIFY(peer.waitForLines(2));
    QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
    peer.sendLines({"fetch?"});
    QVERIFY(peer.waitForLines(3));
    QCOMPARE(peer.lines().at(2).split(QLatin1Char(',')).size(), 4);
    for (const QString &v : peer.lines().at(2).split(QLatin1Char(',')))
        QVERIFY2(sim::scpi::parseNumber(v), qPrintable(v));
}

void TestSim::scaledSeriesEndsAtOnce()
{
    Simulator simulator;
    simulator.setTimeScale(0);
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"trig:del 0.8000", "trig:sour imm", "zero:auto 0", "samp:count 1",
                    "trig:count 400", "syst:err?", "init", "syst:err?", "TRIG:COUNT 1", "fetch?"});
    QVERIFY(peer.waitForLines(3));
    QCOMPARE(peer.lines().at(2).count(QLatin1Char(',')), 399);
    QCOMPARE(simulator.instrument().triggerDelay(), 0.8);
    QCOMPARE(simulator.instrument().triggerCount(), 1);
    QCOMPARE(simulator.instrument().seriesReadings().size(), 400);
}

void TestSim::seedMakesReadingsRepeat()
{
    const auto readings = [](quint32 seed) {
        Simulator simulator;
        simulator.setSeed(seed);
        if (!simulator.listen())
            return QStringList();
        Peer peer(simulator.port());
        if (!peer.waitConnected())
            return QStringList();
        peer.sendLines({"read?", "read?", "read?", "read?"});
        return peer.waitForLines(4) ? peer.lines() : QStringList();
    };
    const QStringList first = readings(7);
    QCOMPARE(first.size(), 4);
    QCOMPARE(readings(7), first);
    QVERIFY(readings(8) != first);
    QVERIFY(first.at(0) != first.at(1)); // noisy, not constant
}

void TestSim::cannedReply()
{
    Simulator simulator;
    simulator.setCannedReply(QStringLiteral("Filter:state?; :filter:digital:state?"),
                             QStringLiteral("1"));
    simulator.setCannedReply(QStringLiteral("CONF:RES"), QStringLiteral("REARX"));
    simulator.setCannedReply(QStringLiteral("syst:err?"), QString());
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"FILTER:STATE?; :FILTER:DIGITAL:STATE?", " conf:res ", "syst:err?", "conf?"});
    QVERIFY(peer.waitForLines(4));
    // The canned CONF:RES was answered, not executed.
    QCOMPARE(peer.lines(), (QStringList{"1", "REARX", "", "\"VOLT +1.000000E+01,+3.000000E-06\""}));
    QCOMPARE(simulator.commands().size(), 4);
}

void TestSim::silentQuery()
{
    Simulator simulator;
    simulator.setSilentQueries({QStringLiteral("READ?")});
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    // Replies keep their order, so "+0" alone proves the first line got nothing.
    peer.sendLines({"read?;conf?;syst:err?", "*ESE?"});
    QVERIFY(peer.waitForLines(1));
    QCOMPARE(peer.received, QByteArray("+0\r\n"));
    QCOMPARE(simulator.commands().size(), 2);
}

void TestSim::hungInstrument()
{
    Simulator simulator;
    simulator.setHung(true);
    QVERIFY(simulator.listen());
    QSignalSpy spy(&simulator, &Simulator::commandReceived);
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"*IDN?"});
    QVERIFY(spy.wait(waitMs));
    simulator.setHung(false);
    peer.sendLines({"*ESE?"});
    QVERIFY(peer.waitForLines(1));
    QCOMPARE(peer.received, QByteArray("+0\r\n"));
}

void TestSim::splitReply()
{
    Simulator simulator;
    simulator.setSplit(4, 40);
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    QElapsedTimer clock;
    clock.start();
    peer.sendLines({"*IDN?"});
    QVERIFY(peer.waitForLines(1));
    QCOMPARE(peer.lines(), QStringList{"ORVA,8846S,SIM00001,1.0-SIM"});
    QVERIFY2(clock.elapsed() >= 3 * 40, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(peer.reads >= 2, qPrintable(QString::number(peer.reads)));
}

void TestSim::latencyKeepsOrder()
{
    Simulator simulator;
    simulator.setLatency(60);
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    QElapsedTimer clock;
    clock.start();
    peer.sendLines({"*ESE?", "ROUT:TERM?", "*OPC?"});
    QVERIFY(peer.waitForLines(3));
    QVERIFY(clock.elapsed() >= 60);
    QCOMPARE(peer.lines(), (QStringList{"+0", "FRON", "1"}));
}

void TestSim::garbageValues()
{
    Simulator simulator;
    simulator.setGarbage(true);
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"read?;conf?;syst:err?", "trig:count 2", "init", "fetch?"});
    QVERIFY(peer.waitForLines(2));
    const QStringList fields = peer.lines().at(0).split(QLatin1Char(';'));
    QCOMPARE(fields.size(), 3); // the field structure survives
    QVERIFY(!sim::scpi::parseNumber(fields.at(0)));
    const QStringList series = peer.lines().at(1).split(QLatin1Char(','));
    QCOMPARE(series.size(), 2);
    QVERIFY(!sim::scpi::parseNumber(series.at(1)));
}

void TestSim::dropAfterLines()
{
    Simulator simulator;
    simulator.setDropAfter(2);
    QVERIFY(simulator.listen());
    {
        Peer peer(simulator.port());
        QVERIFY(peer.waitConnected());
        QSignalSpy lost(&peer.socket, &QTcpSocket::disconnected);
        peer.sendLines({"*ESE?", "ROUT:TERM?", "*IDN?"});
        QVERIFY(lost.wait(waitMs));
        QCOMPARE(peer.received, QByteArray("+0\r\nFRON\r\n"));
        QCOMPARE(simulator.commands().size(), 2);
    }
    // Counted per connection: the next one is served again.
    Peer again(simulator.port());
    QVERIFY(again.waitConnected());
    again.sendLines({"*ESE?"});
    QVERIFY(again.waitForLines(1));
    QCOMPARE(again.received, QByteArray("+0\r\n"));
}

void TestSim::errorAfterCommand()
{
    Simulator simulator;
    simulator.setErrorAfter(QStringLiteral("conf:"), -221, QStringLiteral("Settings conflict"));
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.sendLines({"conf?", "syst:err?", "CONF:VOLT:DC 10", "syst:err?", "syst:err?"});
    QVERIFY(peer.waitForLines(4));
    QCOMPARE(peer.lines(), (QStringList{"\"VOLT +1.000000E+01,+3.000000E-06\"", "+0,\"No error\"",
                                        "-221,\"Settings conflict\"", "+0,\"No error\""}));
}

void TestSim::closeDropsClientsAndListensAgain()
{
    Simulator simulator;
    QVERIFY(simulator.listen());
    const quint16 port = simulator.port();
    Peer peer(port);
    QVERIFY(peer.waitConnected());
    QTRY_COMPARE(simulator.clientCount(), 1);
    QSignalSpy lost(&peer.socket, &QTcpSocket::disconnected);
    simulator.close();
    QVERIFY(!simulator.isListening());
    QCOMPARE(simulator.clientCount(), 0);
    QVERIFY(lost.wait(waitMs));

    QVERIFY(simulator.listen(port));
    Peer again(port);
    QVERIFY(again.waitConnected());
    again.sendLines({"*ESE?"});
    QVERIFY(again.waitForLines(1));
}

void TestSim::streamWithoutTerminator()
{
    Simulator simulator;
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    QTRY_COMPARE(simulator.clientCount(), 1);
    constexpr qint64 total = 3'000'000;
    QCOMPARE(simulator.streamWithoutTerminator(total), 1);
    QVERIFY(peer.waitForBytes(total));
    QCOMPARE(peer.received.size(), total);
    QVERIFY(!peer.received.contains('\r'));
    QVERIFY(!peer.received.contains('\n'));
}

void TestSim::overlongLineIsRefused()
{
    Simulator simulator;
    QVERIFY(simulator.listen());
    Peer peer(simulator.port());
    QVERIFY(peer.waitConnected());
    peer.socket.write(QByteArray(Simulator::maxLineBytes + 5000, 'A'));
    peer.sendLines({"", "syst:err?", "syst:err?"});
    QVERIFY(peer.waitForLines(2));
    QCOMPARE(peer.lines(), (QStringList{"-363,\"Input buffer overrun\"", "+0,\"No error\""}));
    QCOMPARE(simulator.commands(), (QStringList{"syst:err?", "syst:err?"}));
}

void TestSim::slowReaderGetsEverything()
{
    Simulator simulator;
    simulator.setReadingSequence({QStringLiteral("+1.00000000E+00")});
    QVERIFY(simulator.listen());
    QTcpSocket socket;
    socket.setReadBufferSize(4096);
    socket.connectToHost(QHostAddress::LocalHost, simulator.port());
    QVERIFY(socket.waitForConnected(waitMs));
    // 30 replies of 800 kB: far more than the simulator holds for one peer.
    constexpr int fetches = 30;
    QByteArray lines = "trig:count 50000\r\ninit\r\n";
    for (int i = 0; i < fetches; ++i)
        lines += "fetch?\r\n";
    socket.write(lines);
    QTRY_VERIFY(simulator.commands().size() >= 3);

    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    socket.setReadBufferSize(0); // a capped client buffer would not signal again
    received += socket.readAll();
    const bool all = QTest::qWaitFor([&] { return received.count("\r\n") >= fetches; }, 20000);
    QVERIFY(all);
    const QList<QByteArray> replies = received.split('\n');
    QCOMPARE(replies.size(), fetches + 1);
    for (int i = 0; i < fetches; ++i)
        QCOMPARE(replies.at(i).size(), 50000 * 16); // 49999 commas and the CR
    QCOMPARE(simulator.commands().size(), fetches + 2);
}

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
