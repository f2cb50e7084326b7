// SPDX-License-Identifier: GPL-3.0-or-later
// The install rules, run as `cmake --install` would run them, into a staging folder.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The arguments of an Exec value as a desktop environment reads them: the string escapes
// first, then the quoting rules, then %% as %.
QStringList execArguments(const QString &value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            const QChar c = value[++i];
            unescaped += c == u's'   ? QChar(u' ')
                         : c == u'n' ? QChar(u'\n')
                         : c == u't' ? QChar(u'\t')
                                     : c;
        } else {
            unescaped += value[i];
        }
    }
    QStringList args;
    QString arg;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < unescaped.size() &&
                QStringLiteral("\"`$\\").contains(unescaped[i + 1]))
                arg += unescaped[++i];
            else if (c == u'"')
                quoted = false;
            else
                arg += c;
        } else if (c == u'"') {
            quoted = any = true;
        } else if (c == u' ') {
            if (any || !arg.isEmpty())
                args << arg;
            arg.clear();
            any = false;
        } else {
            if (QStringLiteral("\t\n'\\><~|&;$*?#()`").contains(c))
                return {QStringLiteral("<unquoted reserved character>")};
            arg += c;
        }
    }
    if (quoted)
        return {QStringLiteral("<open quote>")};
    if (any || !arg.isEmpty())
        args << arg;
    for (QString &a : args)
        a.replace(QStringLiteral("%%"), QStringLiteral("%"));
    return args;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void installedEntryAndFonts_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("systemFonts");
        QTest::newRow("prefix with a blank, no system fonts") << "/home/a b/.local" << false;
        QTest::newRow("plain prefix, system fonts") << "/usr/local" << true;
        QTest::newRow("quotes, dollar, percent") << "/home/o'neil/\"x\" $HOME%z" << true;
    }
    void installedEntryAndFonts()
    {
        QFETCH(QString, prefix);
        QFETCH(bool, systemFonts);
        QTemporaryDir stage;
        QTemporaryDir fonts;
        if (systemFonts)
            for (const char *f : {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"})
                QVERIFY(QFile(fonts.filePath(QLatin1String(f))).open(QIODevice::WriteOnly));
        QProcess cmake;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), stage.path());
        cmake.setProcessEnvironment(env);
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start(QStringLiteral(CMAKE_EXE),
                    {QStringLiteral("-DCMAKE_INSTALL_PREFIX=") + prefix,
                     QStringLiteral("-DTERVAXIS_SYSTEM_FONT_DIR=") + fonts.path(),
                     QStringLiteral("-P"), QStringLiteral(INSTALL_SCRIPT)});
        QVERIFY(cmake.waitForFinished(120000));
        QVERIFY2(cmake.exitCode() == 0, cmake.readAll().constData());

        const QString root = stage.path() + prefix;
        for (const char *f : {"/bin/tervaxis", "/share/tervaxis/en.help", "/share/tervaxis/de.help",
                              "/share/tervaxis/kavlang/German.lng"})
            QVERIFY2(QFile::exists(root + QLatin1String(f)), f);
        for (const char *f : {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf"})
            QCOMPARE(QFile::exists(root + QStringLiteral("/share/tervaxis/") + QLatin1String(f)),
                     !systemFonts);

        const QString entry = root + QStringLiteral("/share/applications/tervaxis.desktop");
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString exec;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n'))
            if (line.startsWith(QLatin1String("Exec=")))
                exec = line.mid(5);
        QCOMPARE(execArguments(exec), QStringList{prefix + QStringLiteral("/bin/tervaxis")});

        const QString validate =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validate.isEmpty())
            QSKIP("desktop-file-validate is needed (scripts/deps.sh installs it)");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validate, {entry});
        QVERIFY(check.waitForFinished(30000));
        const QByteArray said = check.readAll();
        QVERIFY2(check.exitCode() == 0 && !said.contains("error"), said.constData());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
