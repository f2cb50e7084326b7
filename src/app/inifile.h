// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/textcodec.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// INI text held whole in memory. Writes change keys in place, so sections, keys and
// comments this program does not know survive every save byte for byte.
class IniFile
{
public:
    // A missing file gives an empty one; false only when the file exists but can't be read.
    bool load(const QString &path);
    void loadFromBytes(const QByteArray &bytes);
    // Atomic: a crash or a full disk leaves the old file or the new one.
    bool save(const QString &path, QString *error = nullptr) const;
    QByteArray toBytes() const;

    bool hasKey(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def,
                       LegacyCodepage cp = LegacyCodepage::Windows1252) const;
    int readInt(const QString &section, const QString &key, int def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    long double readFloat(const QString &section, const QString &key, long double def) const;

    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInt(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);
    void writeFloat(const QString &section, const QString &key, long double value);
    void deleteKey(const QString &section, const QString &key);
    void eraseSection(const QString &section);

private:
    struct Found
    {
        qsizetype section = -1;    // line of the header
        qsizetype sectionEnd = -1; // one past the section's last line
        qsizetype key = -1;
    };
    Found find(const QString &section, const QString &key) const;
    const QByteArray *rawValue(const QString &section, const QString &key) const;

    struct Line
    {
        QByteArray raw; // without the line end
        bool header = false;
        QString name; // section or key, lower case; empty for other lines
    };
    static Line parseLine(QByteArray raw);

    std::vector<Line> m_lines;
};
