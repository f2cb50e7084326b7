// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "app/settings.h"
#include "link/linkhost.h"
#include "link/scpilink.h"
#include "simulator.h"
#include "tempcalc/tempcalcf.h"
#include "tempcalc/tempformula.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The window with its message boxes and dialogs answered, linked to a simulator.
struct Fixture
{
    QTemporaryDir dir;
    Settings settings;
    sim::Simulator sim;
    LinkHost host;
    ScpiLink link{settings};
    Ttempcalcf w{settings, link};
    QStringList notices, questions, questionTitles;
    bool answerYes = true;
    QString fileName; // what the open and save dialogs answer

    Fixture()
    {
        link.setHost(&host);
        dialogs::setNoticeHandler([this](const QString &t) { notices << t; });
        dialogs::setQuestionHandler([this](const QString &title, const QString &text) {
            questionTitles << title;
            questions << text;
            return answerYes;
        });
        dialogs::setSaveNameHandler([this](const QString &, int *) { return fileName; });
        Ttempcalcf::setOpenNameHandler([this] { return fileName; });
    }
    ~Fixture()
    {
        dialogs::setNoticeHandler({});
        dialogs::setQuestionHandler({});
        dialogs::setSaveNameHandler({});
        Ttempcalcf::setOpenNameHandler({});
    }
    template <typename T = QLineEdit>
    T *find(const char *name) const
    {
        return namedChild<T>(&w, name);
    }
    QString text(const char *name) const { return find(name)->text(); }
    void trigger(const char *action) { find<QAction>(action)->trigger(); }
    // Types into the field as a person does: focus it, select all, type, Enter.
    void type(const char *name, const QString &keys)
    {
        w.show();
        w.activateWindow();
        QLineEdit *e = find(name);
        e->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), e);
        e->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), keys);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    void writeFile(const char *name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    QByteArray readFile(const char *name) const
    {
        QFile f(path(name));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    bool connect()
    {
        return sim.listen(0) && link.Connect(QStringLiteral("127.0.0.1"), sim.port());
    }
};

} // namespace

class TestTempcalcf : public QObject
{
    Q_OBJECT
private slots:
    void enterConvertsWithTheCreationProbe()
    {
        Fixture f;
        QCOMPARE(f.text("coefale"), QStringLiteral("3.9077462E-003"));
        QCOMPARE(f.text("coefble"), QStringLiteral("-5.7746150E-007"));
        QCOMPARE(f.text("coefcle"), QStringLiteral("-4.1822550E-012"));
        QCOMPARE(f.text("alphale"), QStringLiteral("0.00385"));
        QCOMPARE(f.text("constB1le"), QStringLiteral("4777.517"));
        f.type("resistle", QStringLiteral("90.1693126727978"));
        QCOMPARE(f.text("calcultle"), QStringLiteral("-25.062000"));
        QVERIFY(f.w.statusText().startsWith(QStringLiteral("Calculations: 16")));
        QVERIFY(f.find<QLabel>("reserrorl")->text().endsWith(QChar(0x03A9)));
        QVERIFY(std::fabs(f.w.RBack() - 90.1693126727978L) < 1e-3L);
    }

    void typedResistance_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("temperature");
        QTest::addColumn<QString>("status");
        QTest::newRow("comma") << "90,5"
                               << "90.5"
                               << "-24.222099"
                               << "Calculations: ";
        QTest::newRow("letters dropped") << "9x0.5 a"
                                         << "90.5"
                                         << "-24.222099"
                                         << "Calculations: ";
        QTest::newRow("far above the range") << "800"
                                             << "800"
                                             << "-300.000000"
                                             << " Not calculated ";
        QTest::newRow("not a number") << "-"
                                      << "0"
                                      << "-300.000000"
                                      << "Calculations: 0";
    }
    void typedResistance()
    {
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(QString, temperature);
        QFETCH(QString, status);
        Fixture f;
        f.type("resistle", keys);
        QCOMPARE(f.text("resistle"), shown);
        QCOMPARE(f.text("calcultle"), temperature);
        QVERIFY2(f.w.statusText().startsWith(status), qPrintable(f.w.statusText()));
        QVERIFY(!f.find<QLabel>("resatal")->text().contains(QLatin1String("N")));
    }

    void zerosStopTheCalculation()
    {
        Fixture f;
        f.type("deltale", QStringLiteral("0"));
        f.find<QPushButton>("abcctn")->click();
        QCOMPARE(f.w.statusText(), QStringLiteral(" Not calculated "));
        QCOMPARE(f.text("coefale"), QStringLiteral("3.9077462E-003"));
        const QString before = f.text("calcultle");
        f.type("R0LE", QStringLiteral("0"));
        QCOMPARE(f.text("calcultle"), before);
        QCOMPARE(f.text("R0LE"), QStringLiteral("0"));
    }

    void alwaysCalculateTakesTypedAlpha()
    {
        Fixture f;
        f.find<QCheckBox>("allcalccb")->setChecked(true);
        f.type("alphale", QStringLiteral("3.9e-3"));
        QCOMPARE(f.text("alphale"), QStringLiteral("0.0039"));
        QCOMPARE(f.text("coefale"), QStringLiteral("3.9584961E-003"));
    }

    void catalogueEntries()
    {
        Fixture f;
        f.answerYes = false;
        f.trigger("DIN437601");
        QCOMPARE(f.questions, QStringList{QStringLiteral(
                                  "Do You Want To Set Probe Values?\n\nindustrial ABC - DIN 43760, "
                                  "alpha 3850")});
        QCOMPARE(f.questionTitles, QStringList{QStringLiteral("Temperature calculation")});
        QCOMPARE(f.text("coefale"), QStringLiteral("3.9077462E-003"));
        QCOMPARE(f.find<QAction>("prbfilename")->text(), QStringLiteral("selected probe"));

        f.answerYes = true;
        f.find<QCheckBox>("allcalccb")->setChecked(true);
        f.trigger("ITS901");
        f.trigger("DIN437601");
        QCOMPARE(f.text("coefale"), QStringLiteral("3.9080000E-003"));
        QCOMPARE(f.text("coefcle"), QStringLiteral("-4.2735000E-012"));
        QCOMPARE(f.text("betale"), QStringLiteral("0.10863"));
        QCOMPARE(f.text("deltale"), QStringLiteral("1.4999"));
        QVERIFY(!f.find<QCheckBox>("allcalccb")->isChecked());
        QCOMPARE(f.find<QAction>("prbfilename")->text(), QStringLiteral("DIN 43760 - alpha 3850"));
        QVERIFY(f.w.probeLine().endsWith(QStringLiteral("\tFile: DIN 43760 - alpha 3850")));

        // A thermistor entry derives A, B, C again from alpha, beta and delta.
        f.trigger("N100kthermistor1");
        QCOMPARE(f.questions.last(),
                 QStringLiteral("Do You Want To Set Probe Values?\n100k thermistor"));
        QCOMPARE(f.text("coefale"), QStringLiteral("3.9077462E-003"));
        auto *tabs = f.find<QTabWidget>("formulapage");
        QCOMPARE(tabs->currentIndex(), int(Ttempcalcf::SthTab));
        QVERIFY(!tabs->isTabVisible(Ttempcalcf::CvdTab));
        f.type("resistle", QStringLiteral("100000"));
        QVERIFY(f.text("calcultle").startsWith(QStringLiteral("24.")) ||
                f.text("calcultle").startsWith(QStringLiteral("25.")));

        // The probe name shows both tabs; the other one converts at once.
        f.trigger("prbfilename");
        QVERIFY(tabs->isTabVisible(Ttempcalcf::CvdTab));
        tabs->setCurrentIndex(Ttempcalcf::CvdTab);
        f.type("resistle", QStringLiteral("138.5055"));
        QCOMPARE(f.text("calcultle").left(5), QStringLiteral("100.0"));
    }

    void probeFilesRoundTrip_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Callendar-Van Dusen") << int(Ttempcalcf::CvdTab) << "coefble"
                                             << "-5.775e-7"
                                             << "[Probe]\r\nFormulaType=1\r\nRes-0=100\r\n"
                                                "Con-A=0.0039077462\r\nCon-B=-5.775E-7\r\n"
                                                "Con-C=-4.182255E-12\r\nAlpha=0.00385\r\n"
                                                "Beta=0.10863\r\nDelta=1.4999\r\n";
        QTest::newRow("thermistor") << int(Ttempcalcf::SthTab) << "constA0le"
                                    << "1,5e-3"
                                    << "[Probe]\r\nFormulaType=2\r\nconsA0=0.0015\r\n"
                                       "consA1=0.0002257075\r\nconsA2=9.469611E-7\r\n"
                                       "consA3=5.252617E-8\r\nconsB0=-5.380125\r\n"
                                       "consB1=4777.517\r\nconsB2=-120146.8\r\n"
                                       "consB3=-2168775\r\n";
    }
    void probeFilesRoundTrip()
    {
        QFETCH(int, tab);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        Fixture f;
        f.w.ShowTab(Ttempcalcf::Tab(tab));
        f.type(field.toLatin1().constData(), value);
        f.fileName = f.path("p1"); // the default extension is added
        f.trigger("Saveprobe1");
        QCOMPARE(QString::fromUtf8(f.readFile("p1.prb")), expected);
        QCOMPARE(f.find<QAction>("prbfilename")->text(), QStringLiteral("p1.prb"));
        const QString before = f.text("calcultle");

        Fixture g;
        g.fileName = f.path("p1.prb");
        g.trigger("Open1");
        QCOMPARE(g.settings.LastProbeFile, g.fileName);
        QCOMPARE(g.find<QTabWidget>("formulapage")->currentIndex(), tab);
        QCOMPARE(g.text(field.toLatin1().constData()), f.text(field.toLatin1().constData()));
        g.find<QPushButton>("tempcalbtn")->click();
        QCOMPARE(g.text("calcultle"), before);
        QVERIFY(g.notices.isEmpty());
    }

    void savingKeepsTheRestOfTheFile()
    {
        Fixture f;
        f.writeFile("old.prb", "; mine\r\n[Other]\r\nx=1\r\n[Probe]\r\nFormulaType=2\r\n");
        f.fileName = f.path("old.prb");
        f.trigger("Saveprobe1");
        const QString saved = QString::fromUtf8(f.readFile("old.prb"));
        QVERIFY(saved.startsWith(QStringLiteral("; mine\r\n[Other]\r\nx=1\r\n[Probe]\r\n"
                                                "FormulaType=1\r\nRes-0=100\r\n")));
        f.fileName.clear();
        f.trigger("Open1"); // cancelled: no file at the next start
        QVERIFY(f.settings.LastProbeFile.isEmpty());
    }

    void unusualProbeFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        // Empty: no message. Else the message names this (after the "Failed." line).
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("a0");
        QTest::addColumn<QString>("a1");
        QTest::addColumn<QString>("r0");
        const QString initialA0 = QStringLiteral("0.001153805");
        const QString initialA1 = QStringLiteral("0.0002257075");
        QTest::newRow("no formula type") << QByteArray("[Probe]\nconsA0=1\n") << "Failed."
                                         << "x.prb" << initialA0 << initialA1 << "100";
        QTest::newRow("formula type 3") << QByteArray("[Probe]\nFormulaType=3\nconsA0=1\n") << ""
                                        << "x.prb" << initialA0 << initialA1 << "100";
        QTest::newRow("only consA0") << QByteArray("[probe]\n FormulaType = 2 \nconsA0=0.5\n") << ""
                                     << "x.prb"
                                     << "0.5"
                                     << "0"
                                     << "100";
        QTest::newRow("CR line ends, as an old editor writes")
            << QByteArray("; probe\r[Probe]\rFormulaType=2\rconsA0=0.5\rconsA1=0.25\r") << ""
            << "x.prb"
            << "0.5"
            << "0.25"
            << "100";
        // A damaged file never becomes the probe in use.
        QTest::newRow("damaged: a value beyond every range")
            << (QByteArray("[Probe]\nFormulaType=2\nconsA0=1e999\nconsA1=x1\nconsA2=") +
                QByteArray(1 << 20, '7') + QByteArray("\n\x00\xff\xfe\x01\nconsA3=2\n", 15))
            << "(consA0) is not a usable number."
            << "selected probe" << initialA0 << initialA1 << "100";
        QTest::newRow("damaged: R0 negative")
            << QByteArray("[Probe]\nFormulaType=1\nRes-0=-100\nCon-A=3.9083E-3\n")
            << "(Res-0) must be a number above 0."
            << "selected probe" << initialA0 << initialA1 << "100";
        QTest::newRow("damaged: R0 missing")
            << QByteArray("[Probe]\nFormulaType=1\nCon-A=3.9083E-3\n")
            << "(Res-0) must be a number above 0."
            << "selected probe" << initialA0 << initialA1 << "100";
    }
    void unusualProbeFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, notice);
        QFETCH(QString, caption);
        QFETCH(QString, a0);
        QFETCH(QString, a1);
        QFETCH(QString, r0);
        Fixture f;
        f.settings.LastProbeFile = f.path("before.prb");
        f.writeFile("x.prb", content);
        f.fileName = f.path("x.prb");
        f.trigger("Open1");
        QCOMPARE(f.notices.size(), notice.isEmpty() ? 0 : 1);
        if (!notice.isEmpty()) {
            QVERIFY2(f.notices[0].startsWith(QStringLiteral("Load probe from file:\n") +
                                             f.fileName + QStringLiteral("\n  Failed.")),
                     qPrintable(f.notices[0]));
            QVERIFY2(f.notices[0].contains(notice), qPrintable(f.notices[0]));
        }
        QCOMPARE(f.find<QAction>("prbfilename")->text(), caption);
        QCOMPARE(f.text("constA0le"), a0);
        QCOMPARE(f.text("constA1le"), a1);
        QCOMPARE(f.text("R0LE"), r0);
        QVERIFY(f.w.probeLine().contains(QStringLiteral("\tFile: ") + caption));
        // A refused file is not loaded at the next start either.
        if (caption != QLatin1String("x.prb"))
            QCOMPARE(f.settings.LastProbeFile, f.path("before.prb"));
        // Whatever was loaded, a conversion shows a number.
        f.type("resistle", QStringLiteral("10000"));
        QVERIFY(!f.text("calcultle").contains(QLatin1String("N")));
    }

    // Constants typed into the window are refused the same way: the field is named and the
    // probe in use stays, for the automatic conversion too.
    void typedUnusableConstantsAreRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("named");
        QTest::newRow("R0 negative, Calculate temperature")
            << "R0LE"
            << "-100"
            << "tempcalbtn"
            << "R0 - resistance at 0 \u00B0C (Res-0)";
        QTest::newRow("R0 zero, Calculate A, B, C") << "R0LE"
                                                    << "0"
                                                    << "abcctn"
                                                    << "(Res-0)";
        QTest::newRow("A beyond range") << "coefale"
                                        << "1E999"
                                        << "tempcalbtn"
                                        << "(Con-A)";
    }
    void typedUnusableConstantsAreRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QString, named);
        Fixture f;
        const long double before = f.w.ConvertReading(90.1693126727978L);
        f.w.show();
        QLineEdit *e = f.find(field.toLatin1().constData());
        e->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), e);
        e->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), typed);
        f.find<QPushButton>(button.toLatin1().constData())->click();
        QCOMPARE(f.notices.size(), 1);
        QVERIFY2(f.notices[0].contains(named), qPrintable(f.notices[0]));
        QCOMPARE(f.w.ConvertReading(90.1693126727978L), before);
        // A failed reading has no temperature, whatever the probe.
        QCOMPARE(f.w.ConvertReading(-1.1e-39L), kNoTemperature);
    }

    void displaySending()
    {
        Fixture f;
        QVERIFY(f.connect());
        f.settings.SendTemToDisplay = true;
        f.w.startUp();
        QVERIFY(f.w.sendsToDisplay());
        f.type("resistle", QStringLiteral("90.1693126727978"));
        f.type("resistle", QStringLiteral("5"));
        f.trigger("Sendtemperaturetoinstrumentdisplay1"); // off: clears once
        f.type("resistle", QStringLiteral("90"));
        f.trigger("Sendtemperaturetoinstrumentdisplay1"); // on: nothing until the next one
        QVERIFY(f.settings.SendTemToDisplay);
        QTRY_COMPARE(f.sim.commands().filter(QStringLiteral("DISP:")),
                     (QStringList{QStringLiteral("DISP:TEXT ' -25.0620 \u00B0C'"),
                                  QStringLiteral("DISP:TEXT '-300.0000 \u00B0C'"),
                                  QStringLiteral("DISP:TEXT:CLE")}));
        QCOMPARE(f.sim.instrument().displayText(), QString());
    }

    void closingOnlyHides()
    {
        Fixture f;
        f.w.Temperaturecalculation1()->trigger();
        QVERIFY(f.w.isVisible());
        f.trigger("Closetcf");
        QVERIFY(!f.w.isVisible());
        f.w.Temperaturecalculation1()->trigger();
        f.w.close();
        QVERIFY(!f.w.isVisible());
        f.w.Temperaturecalculation1()->trigger();
        QVERIFY(f.w.isVisible());
    }
};

QTEST_MAIN(TestTempcalcf)
#include "test_tempcalcf.moc"
