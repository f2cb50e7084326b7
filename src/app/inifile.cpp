// SPDX-License-Identifier: GPL-3.0-or-later
#include "inifile.h"

#include "data/datafile.h"
#include "data/numtext.h"

#include <QFile>
#include <QSaveFile>

IniFile::Line IniFile::parseLine(QByteArray raw)
{
    Line l;
    l.raw = std::move(raw);
    const QByteArray &r = l.raw;
    qsizetype i = 0;
    while (i < r.size() && (r[i] == ' ' || r[i] == '\t'))
        ++i;
    if (i < r.size() && r[i] == '[') {
        const qsizetype close = r.indexOf(']', i);
        if (close >= 0) {
            l.header = true;
            l.name = QString::fromUtf8(r.mid(i + 1, close - i - 1).trimmed()).toLower();
            return l;
        }
    }
    const qsizetype eq = r.indexOf('=');
    if (eq >= 0)
        l.name = QString::fromUtf8(r.left(eq).trimmed()).toLower();
    return l;
}

bool IniFile::load(const QString &path)
{
    m_lines.clear();
    QFile f(path);
    if (!f.exists())
        return true;
    if (!f.open(QIODevice::ReadOnly))
        return false;
    loadFromBytes(f.readAll());
    return true;
}

void IniFile::loadFromBytes(const QByteArray &bytes)
{
    m_lines.clear();
    // An editor's byte-order mark would hide the first section's header.
    const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    // Lines may end in CR LF, LF or CR alone, whichever editor wrote the file.
    datafile::LineSplitter lines(bytes.constData() + start, bytes.constData() + bytes.size());
    const char *b = nullptr;
    const char *e = nullptr;
    while (lines.next(b, e))
        m_lines.push_back(parseLine(QByteArray(b, e - b)));
}

QByteArray IniFile::toBytes() const
{
    QByteArray out;
    for (const Line &l : m_lines) {
        out += l.raw;
        out += "\r\n";
    }
    return out;
}

bool IniFile::save(const QString &path, QString *error) const
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = toBytes();
    if (f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        return false;
    }
    return true;
}

IniFile::Found IniFile::find(const QString &section, const QString &key) const
{
    Found r;
    const QString lowSection = section.toLower();
    const QString lowKey = key.toLower();
    const qsizetype n = static_cast<qsizetype>(m_lines.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (!m_lines[i].header)
            continue;
        if (r.section >= 0) {
            r.sectionEnd = i;
            break;
        }
        if (m_lines[i].name == lowSection)
            r.section = i;
    }
    if (r.section < 0)
        return r;
    if (r.sectionEnd < 0)
        r.sectionEnd = n;
    if (lowKey.isEmpty())
        return r;
    for (qsizetype i = r.section + 1; i < r.sectionEnd; ++i) {
        if (m_lines[i].name == lowKey) {
            r.key = i;
            break;
        }
    }
    return r;
}

const QByteArray *IniFile::rawValue(const QString &section, const QString &key) const
{
    const Found f = find(section, key);
    return f.key >= 0 ? &m_lines[f.key].raw : nullptr;
}

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    return rawValue(section, key) != nullptr;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def,
                            LegacyCodepage cp) const
{
    const QByteArray *line = rawValue(section, key);
    if (!line)
        return def;
    const qsizetype eq = line->indexOf('=');
    QByteArray value = line->mid(eq + 1).trimmed();
    // host1="127.0.0.1": the quotes are the INI habit, not part of the value.
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return decodeLegacyText(value, cp);
}

int IniFile::readInt(const QString &section, const QString &key, int def) const
{
    const auto v = numtext::parseInt(readString(section, key, QString()));
    return v ? *v : def;
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInt(section, key, def ? 1 : 0) != 0;
}

long double IniFile::readFloat(const QString &section, const QString &key, long double def) const
{
    const auto v = numtext::parseLongDouble(readString(section, key, QString()));
    return v ? *v : def;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    QByteArray raw = key.toUtf8() + '=' + value.toUtf8();
    // A line end inside a value would split the key; keep the file's structure.
    raw.replace('\r', ' ').replace('\n', ' ');
    const Found f = find(section, key);
    if (f.key >= 0) {
        m_lines[f.key] = parseLine(std::move(raw));
        return;
    }
    if (f.section < 0) {
        m_lines.push_back(parseLine('[' + section.toUtf8() + ']'));
        m_lines.push_back(parseLine(std::move(raw)));
        return;
    }
    // New keys go after the section's last non-blank line, before any blank separator.
    qsizetype last = f.section;
    for (qsizetype i = f.section + 1; i < f.sectionEnd; ++i) {
        if (!m_lines[i].raw.trimmed().isEmpty())
            last = i;
    }
    m_lines.insert(m_lines.begin() + last + 1, parseLine(std::move(raw)));
}

void IniFile::writeInt(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::writeFloat(const QString &section, const QString &key, long double value)
{
    writeString(section, key, numtext::formatGeneral(value));
}

void IniFile::deleteKey(const QString &section, const QString &key)
{
    const Found f = find(section, key);
    if (f.key >= 0)
        m_lines.erase(m_lines.begin() + f.key);
}

void IniFile::eraseSection(const QString &section)
{
    const Found f = find(section, QString());
    if (f.section < 0)
        return;
    m_lines.erase(m_lines.begin() + f.section, m_lines.begin() + f.sectionEnd);
}
