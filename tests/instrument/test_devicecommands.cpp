// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/devicecommands.h"

#include <QTest>

#include <clocale>

class TestDeviceCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { std::setlocale(LC_ALL, ""); }

    void timeAndDate_data()
    {
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("date");
        QTest::newRow("morning") << QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3))
                                 << "syst:time 09:05:03"
                                 << "syst:date 03-07-2026";
        QTest::newRow("afternoon is 24-hour")
            << QDateTime(QDate(2024, 11, 30), QTime(13, 45, 0)) << "syst:time 13:45:00"
            << "syst:date 11-30-2024";
        QTest::newRow("last second of a year")
            << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) << "syst:time 23:59:59"
            << "syst:date 12-31-1999";
        QTest::newRow("midnight") << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0))
                                  << "syst:time 00:00:00"
                                  << "syst:date 01-01-2000";
        QTest::newRow("milliseconds dropped")
            << QDateTime(QDate(2030, 6, 15), QTime(7, 8, 9, 999)) << "syst:time 07:08:09"
            << "syst:date 06-15-2030";
    }
    void timeAndDate()
    {
        QFETCH(QDateTime, at);
        QFETCH(QString, time);
        QFETCH(QString, date);
        QCOMPARE(devcmd::timeCommand(at), time);
        QCOMPARE(devcmd::dateCommand(at), date);
    }

    void displayText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("zero turns off") << "0" << QStringList{"DISP 0"};
        QTest::newRow("double zero is text") << "00" << QStringList{"DISP 1", "DISP:TEXT '00'"};
        QTest::newRow("blank before zero") << " 0" << QStringList{"DISP 1", "DISP:TEXT ' 0'"};
        QTest::newRow("empty clears") << "" << QStringList{"DISP 1", "DISP:TEXT:CLE"};
        QTest::newRow("plain") << "Hello" << QStringList{"DISP 1", "DISP:TEXT 'Hello'"};
        QTest::newRow("apostrophe doubled")
            << "it's 5" << QStringList{"DISP 1", "DISP:TEXT 'it''s 5'"};
        QTest::newRow("no second command")
            << "';*RST;'" << QStringList{"DISP 1", "DISP:TEXT ''';*RST;'''"};
        QTest::newRow("line break dropped")
            << "a\r\n*RST" << QStringList{"DISP 1", "DISP:TEXT 'a*RST'"};
        QTest::newRow("only control characters") << "\t\n"
                                                 << QStringList{"DISP 1", "DISP:TEXT:CLE"};
        QTest::newRow("latin-1 kept")
            << "25.0 \u00B0C \u00B5" << QStringList{"DISP 1", "DISP:TEXT '25.0 \u00B0C \u00B5'"};
        QTest::newRow("twelve characters")
            << "ABCDEFGHIJKLMN" << QStringList{"DISP 1", "DISP:TEXT 'ABCDEFGHIJKL'"};
        QTest::newRow("twelve apostrophes")
            << QString(13, u'\'')
            << QStringList{"DISP 1", "DISP:TEXT '" + QString(24, u'\'') + "'"};
        QTest::newRow("double quotes untouched")
            << "say \"hi\"" << QStringList{"DISP 1", "DISP:TEXT 'say \"hi\"'"};
    }
    void displayText()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(devcmd::displayTextCommands(text), lines);
    }

    void errorLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("line");
        QTest::newRow("no error") << "No error" << 0 << "No error 0";
        QTest::newRow("negative") << "Undefined header" << -113 << "Undefined header -113";
        QTest::newRow("unparsable reply") << "" << 65536 << " 65536";
    }
    void errorLine()
    {
        QFETCH(QString, text);
        QFETCH(int, code);
        QFETCH(QString, line);
        QCOMPARE(devcmd::errorLine(text, code), line);
    }

    void menuState_data()
    {
        QTest::addColumn<bool>("measb");
        QTest::addColumn<bool>("connected");
        QTest::newRow("idle disconnected") << false << false;
        QTest::newRow("measuring disconnected") << true << false;
        QTest::newRow("connected, measure off") << false << true;
        QTest::newRow("connected") << true << true;
    }
    void menuState()
    {
        QFETCH(bool, measb);
        QFETCH(bool, connected);
        const devcmd::DeviceMenuState s = devcmd::deviceMenuState(measb, connected);
        QCOMPARE(s.alternateReading, measb);
        QCOMPARE(s.localMode, measb);
        QCOMPARE(s.remoteMode, measb);
        QCOMPARE(s.remoteWithLock, measb);
        QCOMPARE(s.timeAndDate, measb);
        QCOMPARE(s.reset, connected);
    }
};

QTEST_GUILESS_MAIN(TestDeviceCommands)
#include "test_devicecommands.moc"
