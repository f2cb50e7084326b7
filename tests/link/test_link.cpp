// SPDX-License-Identifier: GPL-3.0-or-later
#include "linkfixture.h"

#include "data/datetime.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

using Term = sim::Simulator::Terminator;
Q_DECLARE_METATYPE(Term)

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void eolDetection_data()
    {
        QTest::addColumn<Term>("term");
        QTest::addColumn<QByteArray>("eol");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("status");
        QTest::newRow("CR LF") << Term::CrLf << QByteArray("\r\n") << "  EOL = 0D0A [CRLF]"
                               << "EOL 0D0A CRLF  ";
        QTest::newRow("CR") << Term::Cr << QByteArray("\r") << "  EOL = 0D [CR]"
                            << "EOL 0D CR  ";
        QTest::newRow("LF") << Term::Lf << QByteArray("\n") << "  EOL = 0A [LF]"
                            << "EOL 0A LF  ";
        QTest::newRow("none") << Term::None << QByteArray(5, ' ') << ""
                              << "";
    }
    void eolDetection()
    {
        QFETCH(Term, term);
        QFETCH(QByteArray, eol);
        QFETCH(QString, logLine);
        QFETCH(QString, status);
        LinkFixture f;
        f.settings.LanTimeout = 100;
        f.sim.setTerminator(term);
        QVERIFY(f.start());
        QCOMPARE(f.link.EOL(), eol);
        QCOMPARE(f.host.eolStatus, status);
        if (!logLine.isEmpty())
            QVERIFY(f.log.contains(logLine));
        QCOMPARE(f.host.afterConnectCalls, 1);

        // Every later read ends at the terminator, or by the line time-out without one.
        f.link.SendCmd(QStringLiteral("*IDN?"));
        const QString reply = f.link.ReadReply();
        QVERIFY2(reply.startsWith(f.link.maker), qPrintable(reply));
        QVERIFY(!reply.contains(QLatin1Char('\r')) && !reply.contains(QLatin1Char('\n')));
        f.link.SendCmd(QStringLiteral("syst:err?"));
        QCOMPARE(f.link.ReadReply(), QStringLiteral("+0,\"No error\""));
    }

    void connectSequence()
    {
        LinkFixture f;
        f.settings.initList = {QStringLiteral("SYST:REM"), QStringLiteral("/TRIG:DEL 0"),
                               QStringLiteral("TRIG:SOUR IMM/x")};
        f.settings.closeList = {QStringLiteral("/no"), QStringLiteral("SYST:LOC")};
        const QString longField(80, QLatin1Char('M'));
        f.sim.instrument().setIdentification(longField, QStringLiteral("8846A"),
                                             QStringLiteral("1234567"), QStringLiteral("1.0"));
        f.sim.instrument().setCalibrationDate(QStringLiteral("2026,11,30") + QString(60, 'x'));
        QVERIFY(f.start());
        QCOMPARE(f.link.maker, longField.left(50));
        QCOMPARE(f.link.model, QStringLiteral("8846A"));
        QCOMPARE(f.link.serial, QStringLiteral("1234567"));
        QCOMPARE(f.link.caldate.size(), 50);
        QCOMPARE(f.host.measTexts.first(), QStringLiteral("Connecting..."));
        QVERIFY(f.log.contains(QStringLiteral("127.0.0.1")));
        // The drains after the lists expect nothing: finding nothing is no error.
        QSignalSpy status(&f.link, &ScpiLink::socketStatus);
        f.link.ReadReply(true);
        QVERIFY(status.isEmpty());
        QVERIFY2(!f.log.join(QLatin1Char('\n')).contains(QLatin1String("Error")),
                 qPrintable(f.log.join(QLatin1Char('\n'))));

        f.link.Disconnect();
        QVERIFY(!f.link.connected());
        const QStringList expected = {QStringLiteral("*ESE?"),    QStringLiteral("IDN 0"),
                                      QStringLiteral("*IDN?"),    QStringLiteral("CAL:DATE?"),
                                      QStringLiteral("SYST:REM"), QStringLiteral("TRIG:SOUR IMM/x"),
                                      QStringLiteral("SYST:LOC")};
        QTRY_COMPARE(f.sim.commands(), expected);
        QCOMPARE(f.host.measTexts.last(), QStringLiteral("Disconnect..."));
        QVERIFY(!f.log.join(QLatin1Char('\n')).contains(QLatin1String("Error")));
    }

    void connectFailure_data()
    {
        QTest::addColumn<bool>("outOfRange");
        QTest::newRow("nobody listening") << false;
        QTest::newRow("port beyond 65535") << true;
    }
    void connectFailure()
    {
        QFETCH(bool, outOfRange);
        LinkFixture f;
        QVERIFY(f.sim.listen(0));
        const quint16 port = f.sim.port();
        if (!outOfRange)
            f.sim.close();
        // 65536 more than the listening port would wrap round onto it.
        const int target = outOfRange ? port + 65536 : port;
        QVERIFY(!f.link.Connect(QStringLiteral("127.0.0.1"), target));
        QCOMPARE(f.sim.clientCount(), 0);
        QVERIFY(!f.link.connected());
        QVERIFY(f.log.contains(QStringLiteral("*** connection failure ***")));
        QCOMPARE(f.host.measTexts.last(), QStringLiteral("not connected"));
        // Not connected: sends are skipped, reads return at once.
        f.link.SendCmd(QStringLiteral("*IDN?"));
        QCOMPARE(f.link.ReadValue(), QString());
        QVERIFY(f.logHas(QStringLiteral("<# Not Connected")));
        QCOMPARE(double(f.host.reading), 1e-37);
    }

    void slowReplyInPiecesIsNotCut()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 100;
        f.sim.setLatency(0);
        f.sim.setSplit(4, 150);
        f.link.SendCmd(QStringLiteral("*IDN?"));
        const QString reply = f.link.ReadReply();
        QCOMPARE(reply.count(QLatin1Char(',')), 3);
        QVERIFY(!f.logHas(QStringLiteral("TIMEOUT")));
    }

    void silentInstrumentTimesOut()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 300;
        f.sim.setSilentQueries({QStringLiteral("read?")});
        f.link.SendCmd(QStringLiteral("read?"));
        QElapsedTimer t;
        t.start();
        QCOMPARE(f.link.ReadReply(), QString());
        // The wait budget is the data time-out in milliseconds of real time.
        QVERIFY2(t.elapsed() >= 300 && t.elapsed() <= 300 + 400,
                 qPrintable(QString::number(t.elapsed())));
        QVERIFY(f.logHas(QStringLiteral(" <R TIMEOUT ")));
        QVERIFY(f.link.readelapsed > f.settings.DataTimeout);
    }

    void nestedReadIsBusy()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.sim.setLatency(250);
        QString inner = QStringLiteral("unset");
        QTimer::singleShot(60, [&] { inner = f.link.ReadReply(); });
        f.link.SendCmd(QStringLiteral("syst:err?"));
        QCOMPARE(f.link.ReadReply(), QStringLiteral("+0,\"No error\""));
        QCOMPARE(inner, QString());
        QVERIFY(f.logHas(QStringLiteral(" <R READ BUSY")));
    }

    void disconnectDuringWait()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 30000;
        f.settings.closeList.clear();
        f.sim.setSilentQueries({QStringLiteral("read?")});
        QTimer::singleShot(100, [&] { f.link.Disconnect(); });
        f.link.SendCmd(QStringLiteral("read?"));
        QElapsedTimer t;
        t.start();
        QCOMPARE(f.link.ReadReply(), QString());
        QVERIFY(t.elapsed() < 5000);
        QVERIFY(!f.link.readbusy());
    }

    void lostPeerIsDetected()
    {
        LinkFixture f;
        QVERIFY(f.start());
        QSignalSpy lost(&f.link, &ScpiLink::connectionLost);
        f.link.startSupervision();
        f.sim.close();
        QVERIFY(lost.wait(3000));
        QVERIFY(!f.link.connected());
        // The time stamp directly followed by the event.
        const QRegularExpression lostLine(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d{3}<> Connection LOST \\*\\*\\*$"));
        QCOMPARE(f.log.filter(lostLine).size(), 1);
        QCOMPARE(f.host.datalas.last(), QStringLiteral("Connection Lost"));
        QCOMPARE(f.host.appTitle, QStringLiteral("Connection Lost!"));
        // Reconnecting works once the instrument is back.
        QVERIFY(f.sim.listen(0));
        QVERIFY(f.link.Connect(QStringLiteral("127.0.0.1"), f.sim.port()));
    }

    void hungInstrumentKeepsEventLoop()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.settings.DataTimeout = 1500;
        f.sim.setHung(true);
        quint32 last = dtime::ticks();
        int maxGap = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const quint32 now = dtime::ticks();
            maxGap = std::max(maxGap, dtime::tickDiff(now, last));
            last = now;
        });
        probe.start(50);
        f.link.SendCmd(QStringLiteral("read?"));
        QCOMPARE(f.link.ReadReply(), QString());
        QVERIFY2(maxGap < 200, qPrintable(QString::number(maxGap)));
        QVERIFY(f.logHas(QStringLiteral("TIMEOUT")));
    }

    void endlessReplyIsBounded()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.link.setMaxLineBytes(1 << 20);
        QVERIFY(f.sim.streamWithoutTerminator(3 << 20) > 0);
        QCOMPARE(f.link.ReadReply(), QString());
        QVERIFY(f.logHas(QStringLiteral("<R Error: Reply longer than 1048576 bytes dropped")));
        // The rest of the runaway stream was thrown away: the next reply is clean.
        f.link.SendCmd(QStringLiteral("syst:err?"));
        const QString reply = f.link.ReadReply();
        QVERIFY2(reply.endsWith(QStringLiteral("\"No error\"")), qPrintable(reply.right(40)));
        QVERIFY(f.link.connected());
    }

    void readValueInterprets_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("logged");
        QTest::newRow("number") << "+1.25000000E+00"
                                << " <# 1.25";
        QTest::newRow("overload") << "+9.90000000E+37"
                                  << " <# OVERLOAD!";
        QTest::newRow("garbage") << "#$%"
                                 << " <# VALUE UNKNOWN";
    }
    void readValueInterprets()
    {
        QFETCH(QString, value);
        QFETCH(QString, logged);
        LinkFixture f;
        QVERIFY(f.start());
        f.sim.setReadingSequence({value});
        f.link.SendCmd(QStringLiteral("read?"));
        QCOMPARE(f.link.ReadValue(), value);
        QCOMPARE(f.link.LastData, value);
        QVERIFY(f.log.contains(QStringLiteral("<  ") + value));
        QVERIFY(f.logHas(logged));
        QCOMPARE(f.host.processRequests, 1);
    }

    void nextFieldSplits()
    {
        LinkFixture f;
        QVERIFY(f.start());
        f.sim.setReadingSequence({QStringLiteral("+1.00000000E+00")});
        f.link.SendCmd(QStringLiteral("read?;conf?;syst:err?"));
        QVERIFY(!f.link.ReadReply().isEmpty());
        QCOMPARE(f.link.NextField(), QStringLiteral("+1.00000000E+00"));
        QVERIFY(f.link.NextField().startsWith(QLatin1Char('"')));
        QCOMPARE(f.link.NextField(), QStringLiteral("+0,\"No error\""));
        QCOMPARE(f.link.NextField(), QString());
        QVERIFY(f.log.contains(QStringLiteral("<O +1.00000000E+00")));
    }

    void parseSystErr_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("no error") << "+0,\"No error\"" << 0 << "No error";
        QTest::newRow("error") << "-113,\"Undefined header\"" << -113 << "Undefined header";
        QTest::newRow("empty") << "" << 65536 << "";
        QTest::newRow("no comma") << "garbage" << 65536 << "garbage";
        QTest::newRow("not integer") << "1.5,\"x\"" << 65536 << "x";
        QTest::newRow("letters") << "abc,\"Msg, with comma\"" << 65536 << "Msg, with comma";
    }
    void parseSystErr()
    {
        QFETCH(QString, raw);
        QFETCH(int, code);
        QFETCH(QString, text);
        Settings s;
        ScpiLink link(s);
        link.LastRaw = raw;
        link.ParseSystErr();
        QCOMPARE(link.errcode, code);
        QCOMPARE(link.errtext, text);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
