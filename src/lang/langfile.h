// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// A language file held in memory: sections and keys without regard to case, each line
// trimmed, "key = value" split at the first equals sign.
class LangFile
{
public:
    // A missing or unreadable file, or an empty path, is an empty file.
    static LangFile load(const QString &path);
    static LangFile fromBytes(const QByteArray &bytes);

    bool has(const QString &section, const QString &key) const;
    QString text(const QString &section, const QString &key, const QString &def) const;
    // Unreadable numbers give the default.
    int number(const QString &section, const QString &key, int def) const;
    // The "Charset" of the LANG section, which picked the code page the file was read in.
    int charset() const { return m_charset; }

private:
    QHash<QString, QString> m_values; // "section\nkey" in lower case
    int m_charset = 1;
};

namespace lang {
// "\z" NUL, "\b" backspace, "\t" tab, "\n" CR LF, "\e" escape, "\s" blank, in that order.
QString expandEscapes(QString text);
// Text of a file written for a Windows character set: UTF-8 when it is valid, else the
// code page of the set.
QString decodeForCharset(const QByteArray &bytes, int charset);
} // namespace lang
