// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <QtGlobal>

// Number fields of instrument replies and the display forms of readings. None of this
// follows the user's locale: "." inside, the decimal separator setting only on output.

// Normalises a numeric reply field: control characters, "+" signs, exponent leading
// zeros and thousands commas.
QString CleanNumber(QStringView text);

// A cleaned field as a number, or `failure` when it is not one.
long double convertNumber(QStringView cleaned, long double failure);

// Engineering form with SI prefix: "+12.34560 ", "+1.230000m", "±0".
QString FormatValue(long double x, QStringView decSep = u".");
// The same prefix and scaling with a printf-like "%[0][w][.p]f" or "%…e"; a leading "+" in
// the format shows "+" for values of zero or more. Not cut.
QString FormatPrefixed(QStringView format, long double x, QStringView decSep = u".");
// Long form for graph labels and read-outs: 8 to 11 decimals, 12 characters + prefix.
QString FormatLong(long double x, QStringView decSep = u".");
// The long form right-aligned in 14 characters.
QString FormatLongAligned(long double x, QStringView decSep = u".");

inline constexpr int kBarLength = 50;
inline constexpr QChar kBarBlock = QChar(0x2588);  // █
inline constexpr QChar kBarFiller = QChar(0x2261); // ≡
// The 50-character bar of value v against range r.
QString barText(long double v, long double range);
QString emptyBar();
QString fullBar();

bool FilterPass(long double value, bool enabled, long double low, long double high);

// The value field of a reading reply as NextField with parsing takes it.
struct ValueField
{
    long double value = 0;
    QString cleaned;
    // Exact log lines, in order.
    QStringList log;
    // The console's last-value label shows `value` (it is valid).
    bool showLastValue = false;
    // Not a number: drain a stray reply with a quick read.
    bool drainRead = false;
};
// `stamp` is the "hh:mm:ss:zzz" time stamp of the log lines.
ValueField interpretValueField(QStringView field, const QString &stamp, QStringView decSep = u".");

// The log text after "<# " for a value taken by ReadValue.
QString valueLogText(long double x, QStringView decSep = u".");

// What the Internal Info box lists.
struct InternalInfo
{
    QString LastRaw, LastData, LastCMD;
    QString Lunits1, Lunits2, Units1, Units2;
    qint64 high = 0, bigarypos = -1, bigarycnt = 0, maxbuffer = 0;
    qint64 recordSize = 0;
    QString languageFile, autoDataFile, configDir, dataDir, languageName;
    QString terminator; // "\r\n", "\r" or "\n"
};
QString internalInfoText(const InternalInfo &info);
// Bytes in binary-prefixed form: "0 B", "1.50 KiB", "915.53 MiB".
QString binaryPrefixed(qint64 bytes);
