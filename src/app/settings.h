// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <array>

// Settings-file section and key names, in one place.
namespace keys {
inline const QString Devices = QStringLiteral("Devices");
inline const QString Program = QStringLiteral("Program");
inline const QString Instrument = QStringLiteral("Instrument");
inline const QString DeviceList = QStringLiteral("Device-list");

inline const QString host1 = QStringLiteral("host1");
inline const QString port1 = QStringLiteral("port1");
inline const QString AutoConnect = QStringLiteral("AutoConnect");
inline const QString Filter = QStringLiteral("Filter");
inline const QString Limit = QStringLiteral("Limit");
inline const QString Limit_beep = QStringLiteral("Limit_beep");
inline const QString AllwaysSaveData = QStringLiteral("AllwaysSaveData");
inline const QString CalculateTemperature = QStringLiteral("CalculateTemperature");
inline const QString SendTemToDisplay = QStringLiteral("SendTemToDisplay");
inline const QString LanTimeout = QStringLiteral("LanTimeout");
inline const QString DataTimeout = QStringLiteral("DataTimeout");
inline const QString Language = QStringLiteral("Language");
inline const QString DataDir = QStringLiteral("DataDir");
inline const QString ComLogDir = QStringLiteral("ComLogDir");
inline const QString DataFileExt = QStringLiteral("DataFileExt");
inline const QString DecSeparator = QStringLiteral("DecSeparator");
inline const QString LastProbeFile = QStringLiteral("LastProbeFile");
inline const QString GraphRepeatTime = QStringLiteral("GraphRepeatTime");
inline const QString MeasDelayTime = QStringLiteral("MeasDelayTime");
inline const QString MeasRepeatTime = QStringLiteral("MeasRepeatTime");
inline const QString AlternativeCMD = QStringLiteral("AlternativeCMD");
inline const QString BufferSize = QStringLiteral("BufferSize");
inline const QString LocHelp = QStringLiteral("Loc.help");
inline const QString LocUI = QStringLiteral("Loc.UI");
inline const QString LowLimit = QStringLiteral("LowLimit");
inline const QString HighLimit = QStringLiteral("HighLimit");
inline const QString LowFilter = QStringLiteral("LowFilter");
inline const QString HighFilter = QStringLiteral("HighFilter");
inline const QString Init1_ = QStringLiteral("Init1_");
inline const QString Close1_ = QStringLiteral("Close1_");
inline const QString DevAddr_ = QStringLiteral("DevAddr_");
inline const QString DevPort_ = QStringLiteral("DevPort_");
inline const QString DevDesc_ = QStringLiteral("DevDesc_");
inline const QString Math_mx = QStringLiteral("Math_mx");
inline const QString Math_mb = QStringLiteral("Math_mb");
inline const QString Math_units = QStringLiteral("Math_units");
inline const QString Math_Zero = QStringLiteral("Math_Zero");
} // namespace keys

// One instrument of the device list.
struct DeviceEntry
{
    QString addr;
    QString port;
    QString desc;
};

inline constexpr int kDeviceCount = 128;
inline constexpr int kListLines = 101; // Init1_0..Init1_100
inline constexpr int kMaxBufferSize = 10000000;
// The configuration dialog's ranges of the two time-outs.
inline constexpr int kLanTimeoutMin = 1;
inline constexpr int kLanTimeoutMax = 9000;
inline constexpr int kDataTimeoutMin = 1;
inline constexpr int kDataTimeoutMax = 32000;

// Everything that survives a restart, with the built-in values in effect before the
// file is read.
struct Settings
{
    QString host1 = QStringLiteral("localhost");
    QString port1 = QStringLiteral("3490");
    bool AutoConnect = true;
    bool Filter = false;
    bool Limit = false;
    bool Limit_beep = false;
    bool AllwaysSaveData = false;
    bool CalculateTemperature = false;
    bool SendTemToDisplay = false;
    int LanTimeout = 400;
    int DataTimeout = 3000;
    QString Language;
    QString DataDir;
    QString ComLogDir;
    QString DataFileExt = QStringLiteral(".csv");
    QString DecSeparator = QStringLiteral(".");
    QString LastProbeFile;
    int GraphRepeatTime = 0;
    int MeasDelayTime = 0;
    int MeasRepeatTime = 0;
    int AlternativeCMD = 1;
    int BufferSize = 2000000;
    QString LocHelp = QStringLiteral("en");
    QString LocUI = QStringLiteral("en");
    // Held with the readings' precision, so a reading exactly on a bound compares equal.
    long double LowLimit = 0;
    long double HighLimit = 1;
    long double LowFilter = 0;
    long double HighFilter = 1;
    QStringList initList = defaultInitList();
    QStringList closeList = defaultCloseList();
    std::array<DeviceEntry, kDeviceCount + 1> devices; // entries 1..128; 0 unused
    QString Math_mx = QStringLiteral("1");
    QString Math_mb = QStringLiteral("0");
    QString Math_units = QStringLiteral(u"\u03BC\u03A9");
    QString mathZeroText = QStringLiteral("0"); // the zero field's text, written as Math_Zero
    long double zeroRef = 0;

    bool useLanguageFiles = true;

    // Directories, each ending with "/".
    QString configDir;
    QString programDir;

    QString settingsPath() const { return configDir + QStringLiteral("Kavolin.ini"); }

    static QStringList defaultInitList();
    static QStringList defaultCloseList();
    // The set "Set default commands" puts in: one initialisation line more.
    static QStringList defaultCommandsInitList();
};

namespace settingsio {

inline const QString kFolderSuffix = QStringLiteral("Orva Tessel Service/Tervaxis/");
inline const QString kNoDocumentsError =
    QStringLiteral("Could not find MyDocuments folder location.");

QString defaultConfigDir();
// Empty when the documents folder is unknown.
QString defaultDataDir();
QString withDelimiter(const QString &dir);

// Reads the file in the fixed order; a missing file leaves the defaults.
void LoadSettings(Settings &s);
// Each returns false with the file error in `error` when the file could not be written;
// the values in memory stay as they are.
bool SaveSettings(const Settings &s, QString *error);
bool SaveAddress(const Settings &s, const QString &host, const QString &port, QString *error);
bool SaveDeviceList(const Settings &s, QString *error);

// DataDir := documents default when empty; false (with kNoDocumentsError) when unknown.
bool fillDefaultDataDir(Settings &s);
bool createDataDir(const Settings &s);

} // namespace settingsio
