// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include "app/inifile.h"
#include "data/numtext.h"

#include <QDir>
#include <QLocale>
#include <QStandardPaths>

#include <algorithm>

QStringList Settings::defaultInitList()
{
    return {QStringLiteral("SYST:REM"), QStringLiteral("TRIG:DEL 0"),
            QStringLiteral("TRIG:SOUR IMM"), QStringLiteral("TRIG:COUNT 1"),
            QStringLiteral("SAMP:COUNT 1")};
}

QStringList Settings::defaultCloseList()
{
    return {QStringLiteral("SYST:LOC"), QStringLiteral("SYST:ERROR:BEEPER 1"),
            QStringLiteral("*RST")};
}

QStringList Settings::defaultCommandsInitList()
{
    QStringList l = defaultInitList();
    l << QStringLiteral("data:feed rdg_store, \"CALC\"");
    return l;
}

namespace settingsio {

namespace {

using namespace keys;

QString key(const QString &stem, int n)
{
    return stem + QString::number(n);
}

void readList(const IniFile &ini, const QString &stem, QStringList &list)
{
    static const QString kSentinel = QStringLiteral("~~");
    if (ini.readString(Instrument, key(stem, 0), kSentinel) != kSentinel)
        list.clear();
    for (int n = 0; n < kListLines; ++n) {
        const QString v = ini.readString(Instrument, key(stem, n), QString());
        if (!v.isEmpty())
            list << v;
    }
}

// An emptied list is written as one empty line 0, so it stays empty after a restart
// instead of falling back to the built-in lines.
void writeList(IniFile &ini, const QString &stem, const QStringList &list)
{
    if (list.isEmpty())
        ini.writeString(Instrument, key(stem, 0), QString());
    for (qsizetype i = 0; i < list.size(); ++i)
        ini.writeString(Instrument, key(stem, static_cast<int>(i)), list[i]);
}

void writeDevices(IniFile &ini, const Settings &s)
{
    for (int n = 1; n <= kDeviceCount; ++n) {
        const DeviceEntry &d = s.devices[n];
        // Only an entry the operator deleted is blank; one with an address but no port
        // yet is still a device.
        if (!d.addr.isEmpty() || !d.port.isEmpty()) {
            ini.writeString(DeviceList, key(DevAddr_, n), d.addr);
            ini.writeString(DeviceList, key(DevPort_, n), d.port);
            ini.writeString(DeviceList, key(DevDesc_, n), d.desc);
        } else {
            // A removed device must not come back at the next start.
            ini.deleteKey(DeviceList, key(DevAddr_, n));
            ini.deleteKey(DeviceList, key(DevPort_, n));
            ini.deleteKey(DeviceList, key(DevDesc_, n));
        }
    }
}

bool openForWrite(const Settings &s, IniFile &ini, QString *error)
{
    QDir().mkpath(s.configDir);
    if (!ini.load(s.settingsPath())) {
        if (error)
            *error = QStringLiteral("Cannot read ") + s.settingsPath();
        return false;
    }
    return true;
}

} // namespace

QString withDelimiter(const QString &dir)
{
    if (dir.endsWith(QLatin1Char('/')))
        return dir;
    return dir + QLatin1Char('/');
}

QString defaultConfigDir()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath();
    return withDelimiter(base) + kFolderSuffix;
}

QString defaultDataDir()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        return QString();
    return withDelimiter(docs) + kFolderSuffix;
}

void LoadSettings(Settings &s)
{
    QDir().mkpath(s.configDir);
    IniFile ini;
    ini.load(s.settingsPath());

    s.host1 = ini.readString(Devices, host1, QStringLiteral("localhost"));
    s.port1 = ini.readString(Devices, port1, QStringLiteral("3490"));
    s.AutoConnect = ini.readBool(Devices, AutoConnect, true);

    s.Filter = ini.readBool(Program, Filter, false);
    s.Limit = ini.readBool(Program, Limit, false);
    s.Limit_beep = ini.readBool(Program, Limit_beep, false);
    s.AllwaysSaveData = ini.readBool(Program, AllwaysSaveData, false);
    s.CalculateTemperature = ini.readBool(Program, CalculateTemperature, false);
    s.SendTemToDisplay = ini.readBool(Program, SendTemToDisplay, false);

    // What the dialog can show is what is used and saved.
    s.LanTimeout =
        std::clamp(ini.readInt(Devices, LanTimeout, 400), kLanTimeoutMin, kLanTimeoutMax);
    s.DataTimeout =
        std::clamp(ini.readInt(Devices, DataTimeout, 5000), kDataTimeoutMin, kDataTimeoutMax);

    s.Language = QLocale::languageToString(QLocale::system().language());

    s.DataDir = ini.readString(Program, DataDir, QString());
    s.ComLogDir = ini.readString(Program, ComLogDir, QString());
    s.DataFileExt = ini.readString(Program, DataFileExt, QStringLiteral(".csv"));
    s.DecSeparator = ini.readString(Program, DecSeparator, QStringLiteral("."));
    s.LastProbeFile = ini.readString(Program, LastProbeFile, QString());
    s.GraphRepeatTime = ini.readInt(Program, GraphRepeatTime, 0);
    s.MeasDelayTime = ini.readInt(Program, MeasDelayTime, 0);
    s.MeasRepeatTime = ini.readInt(Program, MeasRepeatTime, 0);
    s.AlternativeCMD = ini.readInt(Program, AlternativeCMD, 1);
    s.BufferSize = ini.readInt(Program, BufferSize, 2000000);
    if (s.BufferSize > kMaxBufferSize)
        s.BufferSize = kMaxBufferSize;
    s.LocHelp = ini.readString(Program, LocHelp, QStringLiteral("en")).left(20);
    s.LocUI = ini.readString(Program, LocUI, QStringLiteral("en")).left(20);
    s.LowLimit = ini.readFloat(Program, LowLimit, 0);
    s.HighLimit = ini.readFloat(Program, HighLimit, 1);
    s.LowFilter = ini.readFloat(Program, LowFilter, 0);
    s.HighFilter = ini.readFloat(Program, HighFilter, 1);

    readList(ini, Init1_, s.initList);
    readList(ini, Close1_, s.closeList);

    for (int n = 1; n <= kDeviceCount; ++n) {
        DeviceEntry &d = s.devices[n];
        d.addr = ini.readString(DeviceList, key(DevAddr_, n), QString());
        d.port = ini.readString(DeviceList, key(DevPort_, n), QString());
        d.desc = ini.readString(DeviceList, key(DevDesc_, n), QString());
    }

    s.Math_mx = ini.readString(Program, Math_mx, QStringLiteral("1"));
    s.Math_mb = ini.readString(Program, Math_mb, QStringLiteral("0"));
    s.Math_units = ini.readString(Program, Math_units, QStringLiteral(u"\u03BC\u03A9"),
                                  LegacyCodepage::Windows1253);
    s.mathZeroText = ini.readString(Program, Math_Zero, QStringLiteral("0"));
    const auto zero = numtext::parseLongDouble(s.mathZeroText);
    s.zeroRef = zero ? *zero : 0;
}

bool SaveSettings(const Settings &s, QString *error)
{
    IniFile ini;
    if (!openForWrite(s, ini, error))
        return false;
    ini.eraseSection(Instrument);

    ini.writeFloat(Program, LowLimit, s.LowLimit);
    ini.writeFloat(Program, HighLimit, s.HighLimit);
    ini.writeFloat(Program, LowFilter, s.LowFilter);
    ini.writeFloat(Program, HighFilter, s.HighFilter);
    ini.writeBool(Devices, AutoConnect, s.AutoConnect);
    ini.writeBool(Program, Filter, s.Filter);
    ini.writeBool(Program, Limit, s.Limit);
    ini.writeBool(Program, Limit_beep, s.Limit_beep);
    ini.writeBool(Program, AllwaysSaveData, s.AllwaysSaveData);
    ini.writeBool(Program, CalculateTemperature, s.CalculateTemperature);
    ini.writeBool(Program, SendTemToDisplay, s.SendTemToDisplay);
    ini.writeInt(Devices, LanTimeout, s.LanTimeout);
    ini.writeInt(Devices, DataTimeout, s.DataTimeout);
    ini.writeString(Program, Language, s.Language);
    ini.writeString(Program, DataDir, s.DataDir);
    ini.writeString(Program, ComLogDir, s.ComLogDir);
    ini.writeString(Program, DataFileExt, s.DataFileExt);
    ini.writeString(Program, DecSeparator, s.DecSeparator);
    ini.writeString(Program, LastProbeFile, s.LastProbeFile);
    ini.writeInt(Program, BufferSize, s.BufferSize);
    ini.writeInt(Program, GraphRepeatTime, s.GraphRepeatTime);
    ini.writeInt(Program, MeasDelayTime, s.MeasDelayTime);
    ini.writeInt(Program, MeasRepeatTime, s.MeasRepeatTime);
    ini.writeInt(Program, AlternativeCMD, s.AlternativeCMD);
    ini.writeString(Program, Math_mx, s.Math_mx);
    ini.writeString(Program, Math_mb, s.Math_mb);
    ini.writeString(Program, Math_units, s.Math_units);
    ini.writeString(Program, Math_Zero, s.mathZeroText);

    writeList(ini, Init1_, s.initList);
    writeList(ini, Close1_, s.closeList);

    writeDevices(ini, s);
    return ini.save(s.settingsPath(), error);
}

bool SaveAddress(const Settings &s, const QString &host, const QString &port, QString *error)
{
    IniFile ini;
    if (!openForWrite(s, ini, error))
        return false;
    ini.writeString(Devices, host1, host);
    ini.writeString(Devices, port1, port);
    return ini.save(s.settingsPath(), error);
}

bool SaveDeviceList(const Settings &s, QString *error)
{
    IniFile ini;
    if (!openForWrite(s, ini, error))
        return false;
    writeDevices(ini, s);
    return ini.save(s.settingsPath(), error);
}

bool fillDefaultDataDir(Settings &s)
{
    if (!s.DataDir.isEmpty())
        return true;
    const QString dir = defaultDataDir();
    if (dir.isEmpty())
        return false;
    s.DataDir = dir;
    return true;
}

bool createDataDir(const Settings &s)
{
    return !s.DataDir.isEmpty() && QDir().mkpath(s.DataDir);
}

} // namespace settingsio
