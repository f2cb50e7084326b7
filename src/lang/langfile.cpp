// SPDX-License-Identifier: GPL-3.0-or-later
#include "langfile.h"

#include "data/datafile.h"
#include "data/numtext.h"
#include "data/textcodec.h"

#include <QFile>
#include <QStringDecoder>

namespace {

// A line this long is damage, not a text; it is skipped rather than shown.
constexpr qsizetype kMaxLine = 64 * 1024;
// Nothing a language file holds needs more; the rest of a huge file is not read.
constexpr qint64 kMaxFile = 8 * 1024 * 1024;

QString joined(const QString &section, const QString &key)
{
    return section.toLower() + QLatin1Char('\n') + key.toLower();
}

// The "Charset" value, found in the raw bytes before the code page is known.
int rawCharset(const QByteArray &bytes)
{
    bool inLang = false;
    datafile::LineSplitter lines(bytes.constData(), bytes.constData() + bytes.size());
    const char *b = nullptr;
    const char *e = nullptr;
    while (lines.next(b, e)) {
        const QByteArray line = QByteArray(b, e - b).trimmed();
        if (line.startsWith('[')) {
            inLang = line.toUpper().startsWith("[LANG]");
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inLang || eq < 0 || line.left(eq).trimmed().toLower() != "charset")
            continue;
        return numtext::parseInt(QString::fromLatin1(line.mid(eq + 1).trimmed())).value_or(1);
    }
    return 1;
}

const char *codePageOf(int charset)
{
    switch (charset) {
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 163:
        return "windows-1258";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 222:
        return "windows-874";
    case 238:
        return "windows-1250";
    default:
        return nullptr; // 0 ANSI, 1 default and the rest: Western
    }
}

} // namespace

namespace lang {

QString decodeForCharset(const QByteArray &bytes, int charset)
{
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    if (charset == 161)
        return decodeLegacyText(bytes, LegacyCodepage::Windows1253);
    if (const char *name = codePageOf(charset)) {
        QStringDecoder decoder(name);
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return decodeLegacyText(bytes, LegacyCodepage::Windows1252);
}

QString expandEscapes(QString text)
{
    static const std::pair<QLatin1StringView, QString> kEscapes[] = {
        {QLatin1StringView("\\z"), QString(QChar(0))},
        {QLatin1StringView("\\b"), QString(QChar(8))},
        {QLatin1StringView("\\t"), QStringLiteral("\t")},
        {QLatin1StringView("\\n"), QStringLiteral("\r\n")},
        {QLatin1StringView("\\e"), QString(QChar(27))},
        {QLatin1StringView("\\s"), QStringLiteral(" ")},
    };
    for (const auto &[from, to] : kEscapes)
        text.replace(from, to);
    return text;
}

} // namespace lang

LangFile LangFile::load(const QString &path)
{
    if (path.isEmpty())
        return {};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return fromBytes(f.read(kMaxFile));
}

LangFile LangFile::fromBytes(const QByteArray &bytes)
{
    LangFile file;
    file.m_charset = rawCharset(bytes);
    QString text = lang::decodeForCharset(bytes, file.m_charset);
    // Lines may end in CR LF, LF or CR alone.
    text.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n")).replace(u'\r', u'\n');
    QString section;
    bool inSection = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.size() > kMaxLine)
            continue;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            section = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed().toString();
            inSection = true;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq <= 0)
            continue;
        const QString key = joined(section, line.left(eq).trimmed().toString());
        // The first of two equal keys is the one that counts.
        if (!file.m_values.contains(key))
            file.m_values.insert(key, line.mid(eq + 1).trimmed().toString());
    }
    return file;
}

bool LangFile::has(const QString &section, const QString &key) const
{
    return m_values.contains(joined(section, key));
}

QString LangFile::text(const QString &section, const QString &key, const QString &def) const
{
    return m_values.value(joined(section, key), def);
}

int LangFile::number(const QString &section, const QString &key, int def) const
{
    const auto it = m_values.constFind(joined(section, key));
    if (it == m_values.cend())
        return def;
    return numtext::parseInt(*it).value_or(def);
}
