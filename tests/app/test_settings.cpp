// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"
#include "app/inifile.h"
#include "app/settings.h"
#include "tempsettings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    Settings freshSettings() { return settingsIn(m_dir); }

private slots:
    void initTestCase()
    {
        std::setlocale(LC_ALL, "");
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void init() { QFile::remove(freshSettings().settingsPath()); }

    void iniRoundTripKeepsForeignContent()
    {
        const QByteArray original = "; leading comment\r\n"
                                    "[Foreign]\r\n"
                                    "Alpha=1\r\n"
                                    "\r\n"
                                    "[program]\r\n"
                                    "  lowlimit = 5 \r\n"
                                    "Unknown=keep me\r\n"
                                    "; inner comment\r\n"
                                    "\r\n"
                                    "[Tail]\r\n"
                                    "Zeta=z\r\n";
        IniFile ini;
        ini.loadFromBytes(original);
        QCOMPARE(ini.toBytes(), original);
        QCOMPARE(ini.readFloat(QStringLiteral("PROGRAM"), QStringLiteral("LowLimit"), 0), 5.0);
        QCOMPARE(ini.readString(QStringLiteral("program"), QStringLiteral("unknown"), {}),
                 QStringLiteral("keep me"));
        ini.writeFloat(QStringLiteral("Program"), QStringLiteral("LowLimit"), 0.25);
        ini.writeString(QStringLiteral("Program"), QStringLiteral("NewKey"), QStringLiteral("n"));
        ini.writeString(QStringLiteral("Added"), QStringLiteral("K"), QStringLiteral("v"));
        QCOMPARE(ini.toBytes(), QByteArray("; leading comment\r\n"
                                           "[Foreign]\r\n"
                                           "Alpha=1\r\n"
                                           "\r\n"
                                           "[program]\r\n"
                                           "LowLimit=0.25\r\n"
                                           "Unknown=keep me\r\n"
                                           "; inner comment\r\n"
                                           "NewKey=n\r\n"
                                           "\r\n"
                                           "[Tail]\r\n"
                                           "Zeta=z\r\n"
                                           "[Added]\r\n"
                                           "K=v\r\n"));
        ini.eraseSection(QStringLiteral("foreign"));
        QVERIFY(!ini.hasKey(QStringLiteral("Foreign"), QStringLiteral("Alpha")));
        QVERIFY(ini.hasKey(QStringLiteral("Tail"), QStringLiteral("zeta")));
    }

    void damagedFileLoads()
    {
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk += char(i * 37);
        QByteArray bytes = "[Devices]\nno equals sign here\n" + junk + "\nLanTimeout=abc\n" +
                           "port1=" + QByteArray(1 << 20, 'x') + "\n[Program]\nBufferSize=\n" +
                           "LowLimit=1,5\nHighLimit=7\n";
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        writeFile(s.settingsPath(), bytes);
        settingsio::LoadSettings(s);
        QCOMPARE(s.LanTimeout, 400);
        QCOMPARE(s.BufferSize, 2000000);
        QCOMPARE(s.LowLimit, 0.0);
        QCOMPARE(s.HighLimit, 7.0);
        QCOMPARE(s.port1.size(), 1 << 20);
        QCOMPARE(s.DataTimeout, 5000);
    }

    void loadRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("init");
        QTest::addColumn<int>("bufferSize");
        const QStringList builtIn = Settings::defaultInitList();
        QTest::newRow("no keys keeps built-in") << QByteArray("[Program]\n") << builtIn << 2000000;
        QTest::newRow("empty Init1_0 empties")
            << QByteArray("[Instrument]\nInit1_0=\n") << QStringList() << 2000000;
        QTest::newRow("Init1_1 without Init1_0 appends")
            << QByteArray("[Instrument]\nInit1_1=*CLS\n") << (builtIn + QStringList{"*CLS"})
            << 2000000;
        QTest::newRow("gaps dropped, 100 read, 101 not")
            << QByteArray("[Instrument]\nInit1_0=A\nInit1_5=B\nInit1_100=C\nInit1_101=D\n")
            << QStringList{"A", "B", "C"} << 2000000;
        QTest::newRow("buffer capped")
            << QByteArray("[Program]\nBufferSize=50000000\n") << builtIn << 10000000;
        QTest::newRow("buffer kept")
            << QByteArray("[program]\nbuffersize=1234\n") << builtIn << 1234;
    }
    void loadRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, init);
        QFETCH(int, bufferSize);
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        writeFile(s.settingsPath(), file);
        settingsio::LoadSettings(s);
        QCOMPARE(s.initList, init);
        QCOMPARE(s.closeList, Settings::defaultCloseList());
        QCOMPARE(s.BufferSize, bufferSize);
    }

    void otherEditorsFiles_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR alone") << QByteArray("\r");
    }
    // Written by hand in another editor: its line ends, values in double quotes.
    void otherEditorsFiles()
    {
        QFETCH(QByteArray, lineEnd);
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        const QByteArray dataDir = (m_dir.path() + QStringLiteral("/d q/")).toUtf8();
        const QList<QByteArray> lines = {"; by hand",
                                         "[Devices]",
                                         "host1=\"127.0.0.1\"",
                                         "port1 = \"3491\" ",
                                         "[Program]",
                                         "BufferSize=\"1234\"",
                                         "DataDir=\"" + dataDir + '"',
                                         "Math_mx=\"",
                                         "[Instrument]",
                                         "Init1_0=*CLS",
                                         "Init1_1=SYST:REM"};
        writeFile(s.settingsPath(), lines.join(lineEnd) + lineEnd);
        settingsio::LoadSettings(s);
        QCOMPARE(s.host1, QStringLiteral("127.0.0.1"));
        QCOMPARE(s.port1, QStringLiteral("3491"));
        QCOMPARE(s.BufferSize, 1234);
        QCOMPARE(s.DataDir, QString::fromUtf8(dataDir));
        QCOMPARE(s.Math_mx, QStringLiteral("\""));
        QCOMPARE(s.initList, QStringList({"*CLS", "SYST:REM"}));
    }

    void legacyTextAndCuts()
    {
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        writeFile(s.settingsPath(), "[Program]\r\nMath_units=\xEC\xD9\r\n"
                                    "Loc.help=abcdefghijklmnopqrstuvwxyz\r\nMath_Zero=0.5\r\n");
        settingsio::LoadSettings(s);
        QCOMPARE(s.Math_units, QString::fromUtf8("\u03bc\u03a9"));
        QCOMPARE(s.LocHelp, QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(double(s.zeroRef), 0.5);
    }

    void defaultsWithoutFile()
    {
        Settings s = freshSettings();
        settingsio::LoadSettings(s);
        QVERIFY(QDir(s.configDir).exists());
        QCOMPARE(s.host1, QStringLiteral("localhost"));
        QCOMPARE(s.DataTimeout, 5000);
        QCOMPARE(s.Math_units, QString::fromUtf8("\u03bc\u03a9"));
        QCOMPARE(s.initList, Settings::defaultInitList());
    }

    void saveAndReload()
    {
        Settings s = freshSettings();
        QDir().mkpath(s.configDir);
        writeFile(s.settingsPath(), "[Devices]\r\nhost1=bench-dmm\r\n[Mine]\r\nx=1\r\n"
                                    "[Instrument]\r\nInit1_7=stale\r\n");
        settingsio::LoadSettings(s);
        s.LowLimit = -1.5e-7L;
        s.HighFilter = 12345.678L;
        s.initList = {QStringLiteral("A"), QString(), QStringLiteral("/comment")};
        s.devices[1] = {QStringLiteral("10.0.0.5"), QStringLiteral("3490"), QStringLiteral("one")};
        // Stored by the device list's "Update" before the port was typed in.
        s.devices[2] = {QStringLiteral("noport"), QString(), QStringLiteral("kept")};
        s.Math_units = QString::fromUtf8("\u00b0C");
        s.DataDir = QStringLiteral("/data/here/");
        QString error;
        QVERIFY2(settingsio::SaveSettings(s, &error), qPrintable(error));

        const QByteArray bytes = readFile(s.settingsPath());
        QVERIFY(bytes.contains("LowLimit=-1.5E-7\r\n"));
        QVERIFY(bytes.contains("HighFilter=12345.678\r\n"));
        QVERIFY(bytes.contains("[Mine]\r\nx=1\r\n"));
        QVERIFY(!bytes.contains("stale"));
        QVERIFY(bytes.contains("Init1_1=\r\n"));
        QVERIFY(bytes.contains("DevAddr_2=noport\r\n"));
        QVERIFY(!bytes.contains("DevAddr_3"));
        QVERIFY(!bytes.contains("Loc.help"));

        Settings back = freshSettings();
        settingsio::LoadSettings(back);
        QCOMPARE(back.host1, QStringLiteral("bench-dmm"));
        QCOMPARE(back.LowLimit, -1.5e-7L);
        QCOMPARE(back.HighFilter, 12345.678L);
        QCOMPARE(back.initList, (QStringList{"A", "/comment"}));
        QCOMPARE(back.devices[1].desc, QStringLiteral("one"));
        QCOMPARE(back.devices[2].desc, QStringLiteral("kept"));
        QCOMPARE(back.Math_units, QString::fromUtf8("\u00b0C"));
        QCOMPARE(back.DataDir, QStringLiteral("/data/here/"));
    }

    void deviceListAndAddress()
    {
        Settings s = freshSettings();
        s.devices[3] = {QStringLiteral("a3"), QStringLiteral("1"), QStringLiteral("d3")};
        s.devices[4] = {QStringLiteral("a4"), QStringLiteral("2"), QString()};
        QVERIFY(settingsio::SaveDeviceList(s, nullptr));
        s.devices[3] = {};
        QVERIFY(settingsio::SaveDeviceList(s, nullptr));
        QVERIFY(settingsio::SaveAddress(s, QStringLiteral("h"), QStringLiteral("77"), nullptr));
        Settings back = freshSettings();
        settingsio::LoadSettings(back);
        QCOMPARE(back.devices[3].addr, QString());
        QCOMPARE(back.devices[4].addr, QStringLiteral("a4"));
        QCOMPARE(back.host1, QStringLiteral("h"));
        QCOMPARE(back.port1, QStringLiteral("77"));
        QCOMPARE(back.LanTimeout, 400);
    }

    void unwritableKeepsMemory()
    {
        Settings s = freshSettings();
        s.configDir = QStringLiteral("/proc/no-such-dir/");
        s.LowLimit = 3;
        QString error;
        QVERIFY(!settingsio::SaveSettings(s, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(s.LowLimit, 3.0);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("autoConnect");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<QString>("dataDir");
        QTest::addColumn<bool>("lang");
        QTest::newRow("none") << QStringList{} << true << "localhost"
                              << "3490" << false << "" << true;
        QTest::newRow("noconnect then connect")
            << QStringList{"/noconnect", "/CONNECT"} << true << "localhost"
            << "3490" << false << "" << true;
        QTest::newRow("connect then noconnect")
            << QStringList{"/connect", "/NoConnect"} << false << "localhost"
            << "3490" << false << "" << true;
        QTest::newRow("addr and port")
            << QStringList{"/addr:Dmm-1", "/PORT:5025"} << true << "Dmm-1"
            << "5025" << false << "" << true;
        QTest::newRow("empty addr") << QStringList{"/ADDR:"} << true << ""
                                    << "3490" << false << "" << true;
        QTest::newRow("port with leading char") << QStringList{"x/PORT:77"} << true << "localhost"
                                                << ":77" << false << "" << true;
        QTest::newRow("later wins")
            << QStringList{"/addr:a", "/addr:b", "/autosave", "/nosave"} << true << "b"
            << "3490" << false << "" << true;
        QTest::newRow("equal test is exact")
            << QStringList{"/AUTOSAVE2", "/nolangx"} << true << "localhost"
            << "3490" << false << "" << true;
        QTest::newRow("datadir delimiter")
            << QStringList{"/datadir:/tmp/x", "/autosave", "/NOLANG", "unknown"} << true
            << "localhost"
            << "3490" << true << "/tmp/x/" << false;
        QTest::newRow("empty datadir") << QStringList{"/DATADIR:"} << true << "localhost"
                                       << "3490" << false << "/" << true;
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, autoConnect);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(bool, autoSave);
        QFETCH(QString, dataDir);
        QFETCH(bool, lang);
        Settings s;
        commandline::ParseCommandLineSecond(args, s);
        QCOMPARE(s.AutoConnect, autoConnect);
        QCOMPARE(s.host1, host);
        QCOMPARE(s.port1, port);
        QCOMPARE(s.AllwaysSaveData, autoSave);
        QCOMPARE(s.DataDir, dataDir);
        QCOMPARE(s.useLanguageFiles, lang);
    }

    void configDirSwitch_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("dir");
        QTest::newRow("lower case, delimiter added")
            << QStringList{"/configdir:/tmp/My Config"} << "/tmp/My Config/";
        QTest::newRow("later wins") << QStringList{"/CONFIGDIR:/a/", "/CONFIGDIR:/b"} << "/b/";
        QTest::newRow("empty value") << QStringList{"/CONFIGDIR:"} << "/";
        QTest::newRow("second-pass switches ignored") << QStringList{"/addr:x"} << "/keep/";
    }
    void configDirSwitch()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, dir);
        Settings s;
        s.configDir = QStringLiteral("/keep/");
        commandline::ParseCommandLineFirst(args, s);
        QCOMPARE(s.configDir, dir);
        QCOMPARE(s.host1, QStringLiteral("localhost"));
    }

    void helpTextLines()
    {
        const QStringList lines = commandline::helpText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 13);
        QCOMPARE(lines[1], QString());
        QCOMPARE(lines[3],
                 QStringLiteral("\t\"/configdir:C:\\My Configuration Directory\\Anywhere\""));
        QCOMPARE(lines[7], QStringLiteral("/port:3490  \tTCP port, as set in Multimeter INSTR "
                                          "SETUP"));
        QCOMPARE(lines[12], QStringLiteral("/nolang\t\tDo not load localization"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
