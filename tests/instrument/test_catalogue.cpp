// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/catalogue.h"

#include <QTest>

using Sens = QList<int>;

namespace {
meascat::SensSelection toSelection(const Sens &s)
{
    return {s.value(0, -1), s.value(1, -1), s.value(2, -1)};
}
} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void captions_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("scpi");
        QTest::newRow("0") << 0 << "Voltage DC     DC V"
                           << "VOLT:DC";
        QTest::newRow("1") << 1 << "Voltage AC     AC V"
                           << "VOLT:AC";
        QTest::newRow("2") << 2 << "Current DC     DC A"
                           << "CURR:DC";
        QTest::newRow("3") << 3 << "Current AC     AC A"
                           << "CURR:AC";
        QTest::newRow("4") << 4 << "Resistance 2w  Ohm"
                           << "RES";
        QTest::newRow("5") << 5 << "Resistance 4w  Ohm"
                           << "FRES";
        QTest::newRow("6") << 6 << "Continuity     Ohm c"
                           << "CONT";
        QTest::newRow("7") << 7 << "Diode          V"
                           << "DIOD";
        QTest::newRow("8") << 8 << "Frequency      Hz"
                           << "FREQ";
        QTest::newRow("9") << 9 << "Period         s"
                           << "PER";
        QTest::newRow("10") << 10 << "Capacity       F"
                            << "CAP";
        QTest::newRow("11") << 11 << "Temperature    \u00B0"
                            << "TEMP:RTD";
        QTest::newRow("12") << 12 << "Temperature 4w \u00B0"
                            << "TEMP:FRTD";
        QTest::newRow("13") << 13 << "Ratio V DC     \u00F7"
                            << "VOLT:DC:RATIO";
    }
    void captions()
    {
        QFETCH(int, type);
        QFETCH(QString, caption);
        QFETCH(QString, scpi);
        const QStringList all = meascat::captions();
        QCOMPARE(all.size(), meascat::kTypeCount);
        QCOMPARE(all.at(type), caption);
        QVERIFY(meascat::function(type));
        QCOMPARE(meascat::function(type)->scpi.toString(), scpi);
    }

    // What a type change composes, before the operator touches anything.
    void typeChangeCommands_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("option");
        QTest::newRow("volt dc") << 0 << "CONF:VOLT:DC "
                                 << "SENSE:VOLT:DC:FILTER OFF; :VOLT:DC:FILTER:DIGITAL OFF; "
                                    ":VOLT:DC:IMPEDANCE:AUTO OFF; :VOLT:DC:NPLCYCLES 10; ";
        QTest::newRow("volt ac") << 1 << "CONF:VOLT:AC "
                                 << "SENSE:VOLT:AC:BANDWIDTH 20; ";
        QTest::newRow("curr dc") << 2 << "CONF:CURR:DC "
                                 << "SENSE:CURR:DC:FILTER OFF; :CURR:DC:FILTER:DIGITAL OFF; "
                                    ":CURR:DC:NPLCYCLES 10; ";
        QTest::newRow("curr ac") << 3 << "CONF:CURR:AC "
                                 << "SENSE:CURR:AC:BANDWIDTH 20; ";
        QTest::newRow("res") << 4 << "CONF:RES "
                             << "SENSE:RES:FILTER OFF; :RES:FILTER:DIGITAL OFF; "
                                ":RES:NPLCYCLES 10; ";
        QTest::newRow("fres") << 5 << "CONF:FRES "
                              << "SENSE:FRES:FILTER OFF; FILTER:DIGITAL OFF; :FRES:NPLCYCLES 10; ";
        QTest::newRow("continuity") << 6 << "CONF:CONT "
                                    << "";
        QTest::newRow("diode") << 7 << "CONF:DIOD 0,0"
                               << "";
        QTest::newRow("frequency") << 8 << "CONF:FREQ "
                                   << "SENSE:FREQ:APERTURE 0.1; :FREQ:VOLT:RANGE:AUTO ON; ";
        QTest::newRow("period") << 9 << "CONF:PER "
                                << "SENSE:PER:APERTURE 0.1; :PER:VOLT:RANGE:AUTO ON;";
        QTest::newRow("capacity") << 10 << "CONF:CAP "
                                  << "";
        QTest::newRow("rtd") << 11 << "CONF:TEMP:RTD PT100_385"
                             << "SENSE:RES:FILTER OFF; :RES:FILTER:DIGITAL OFF; "
                                ":TEMP:RTD:NPLCYCLES 10; ";
        QTest::newRow("rtd 4w") << 12 << "CONF:TEMP:FRTD PT100_385"
                                << "SENSE:FRES:FILTER OFF; :FRES:FILTER:DIGITAL OFF; "
                                   ":TEMP:FRTD:NPLCYCLES 10; ";
        QTest::newRow("ratio") << 13 << "CONF:VOLT:DC:RATIO "
                               << "SENSE:VOLT:DC:FILTER OFF; :VOLT:DC:FILTER:DIGITAL OFF; "
                                  ":VOLT:DC:IMPEDANCE:AUTO OFF; :VOLT:DC:NPLCYCLES 10; ";
    }
    void typeChangeCommands()
    {
        QFETCH(int, type);
        QFETCH(QString, configuration);
        QFETCH(QString, option);
        const auto c = meascat::BuildConfigCommand(type, 0, 0, meascat::initialSensSelection(type));
        QCOMPARE(c.configuration, configuration);
        QCOMPARE(c.option, option);
    }

    void selections_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<Sens>("sens");
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QString>("option");
        QTest::newRow("fres 10K both plc 1")
            << 5 << "10K"
            << "1" << Sens{2, 2} << "CONF:FRES 1.0E4,1"
            << "SENSE:FRES:FILTER ON; FILTER:DIGITAL ON; :FRES:NPLCYCLES 1; ";
        QTest::newRow("fres digital plc 100") << 5 << "1G"
                                              << "100K" << Sens{1, 4} << "CONF:FRES 1.0E9,1.0E5"
                                              << "SENSE:FILTER:DIGITAL ON; :FRES:NPLCYCLES 100; ";
        QTest::newRow("fres analog plc 0.02")
            << 5 << "100"
            << "10K" << Sens{0, 0} << "CONF:FRES 100,1.0E4"
            << "SENSE:FRES:FILTER ON; FILTER:DIGITAL OFF; :FRES:NPLCYCLES 0.02; ";
        QTest::newRow("res 10K") << 4 << "10K"
                                 << "1" << Sens{1, 1} << "CONF:RES 1.0E4,1"
                                 << "SENSE:RES:FILTER:DIGITAL ON; :RES:NPLCYCLES 0.2; ";
        QTest::newRow("res 1M is not 1m") << 4 << "1M"
                                          << "1m" << Sens{3, 3} << "CONF:RES 1.0E6,0.001"
                                          << "SENSE:RES:FILTER OFF; :RES:FILTER:DIGITAL OFF; "
                                             ":RES:NPLCYCLES 10; ";
        QTest::newRow("rtd pt392") << 11 << "PT392"
                                   << "N/A" << Sens{0, 1} << "CONF:TEMP:RTD PT100_392"
                                   << "SENSE:RES:FILTER ON; :RES:FILTER:DIGITAL OFF; "
                                      ":TEMP:RTD:NPLCYCLES 0.2; ";
        QTest::newRow("rtd 4w custom digital")
            << 12 << "Cust"
            << "N/A" << Sens{1, 2} << "CONF:TEMP:FRTD CUST1"
            << "SENSE:FRES:FILTER:DIGITAL ON; :TEMP:FRTD:NPLCYCLES 1; ";
        QTest::newRow("diode 0.1mA 10V") << 7 << "0.1mA"
                                         << "10V" << Sens{} << "CONF:DIOD 1,1"
                                         << "";
        QTest::newRow("current 400m 1u")
            << 2 << "400m"
            << "1\u00B5" << Sens{2, 4} << "CONF:CURR:DC 0.4,1.0e-6"
            << "SENSE:CURR:DC:FILTER ON; :CURR:DC:FILTER:DIGITAL ON; :CURR:DC:NPLCYCLES 100; ";
        QTest::newRow("current 100u 100p") << 3 << "100\u00B5"
                                           << "100p" << Sens{0} << "CONF:CURR:AC 1.0e-4,1.0e-10"
                                           << "SENSE:CURR:AC:BANDWIDTH 3; ";
        QTest::newRow("volt dc every option on")
            << 0 << "1000"
            << "100n" << Sens{0, 0, 0} << "CONF:VOLT:DC 1000,1.0e-7"
            << "SENSE:VOLT:DC:FILTER ON; :VOLT:DC:FILTER:DIGITAL OFF; "
               ":VOLT:DC:IMPEDANCE:AUTO ON; :VOLT:DC:NPLCYCLES 0.02; ";
        QTest::newRow("ratio digital")
            << 13 << "100m"
            << "10\u00B5" << Sens{1, 1, 2} << "CONF:VOLT:DC:RATIO 0.1,1.0e-5"
            << "SENSE:VOLT:DC:FILTER:DIGITAL ON; "
               ":VOLT:DC:IMPEDANCE:AUTO OFF; :VOLT:DC:NPLCYCLES 1; ";
        QTest::newRow("volt ac 200Hz") << 1 << "MIN"
                                       << "MAX" << Sens{2} << "CONF:VOLT:AC MIN,MAX"
                                       << "SENSE:VOLT:AC:BANDWIDTH 200; ";
        QTest::newRow("frequency MIN") << 8 << "MAX"
                                       << "MIN" << Sens{0, 1} << "CONF:FREQ MAX,MIN"
                                       << "SENSE:FREQ:APERTURE 0.01; :FREQ:VOLT:RANGE MIN; ";
        QTest::newRow("frequency 1000") << 8 << "Auto"
                                        << "Auto" << Sens{2, 7} << "CONF:FREQ "
                                        << "SENSE:FREQ:APERTURE 1; :FREQ:VOLT:RANGE 1000; ";
        QTest::newRow("period 100m") << 9 << "Auto"
                                     << "Auto" << Sens{2, 3} << "CONF:PER "
                                     << "SENSE:PER:APERTURE 1; :PER:VOLT:RANGE 0.1; ";
        QTest::newRow("capacity") << 10 << "1\u00B5"
                                  << "10p" << Sens{} << "CONF:CAP 1.0e-6,1.0e-11"
                                  << "";
        QTest::newRow("auto range keeps resolution")
            << 0 << "Auto"
            << "1m" << Sens{3, 1, 3} << "CONF:VOLT:DC 0.001"
            << "SENSE:VOLT:DC:FILTER OFF; "
               ":VOLT:DC:FILTER:DIGITAL OFF; "
               ":VOLT:DC:IMPEDANCE:AUTO OFF; "
               ":VOLT:DC:NPLCYCLES 10; ";
        QTest::newRow("auto resolution keeps comma")
            << 0 << "10"
            << "Auto" << Sens{3, 1, 3} << "CONF:VOLT:DC 10,"
            << "SENSE:VOLT:DC:FILTER OFF; :VOLT:DC:FILTER:DIGITAL OFF; "
               ":VOLT:DC:IMPEDANCE:AUTO OFF; :VOLT:DC:NPLCYCLES 10; ";
        // After a connect the lists of another type may still be shown: MAX fits them all.
        QTest::newRow("connect MAX MAX") << 5 << "MAX"
                                         << "MAX" << Sens{2, 2} << "CONF:FRES MAX,MAX"
                                         << "SENSE:FRES:FILTER ON; FILTER:DIGITAL ON; "
                                            ":FRES:NPLCYCLES 1; ";
        QTest::newRow("no selection: impedance off only")
            << 0 << ""
            << "" << Sens{-1, -1, -1} << "CONF:VOLT:DC "
            << "SENSE:VOLT:DC:IMPEDANCE:AUTO OFF; ";
        QTest::newRow("indexes of a longer list") << 4 << "10"
                                                  << "10" << Sens{7, 7} << "CONF:RES 10,10"
                                                  << "";
        QTest::newRow("no option selected sends none") << 1 << "1"
                                                       << "1m" << Sens{-1} << "CONF:VOLT:AC 1,0.001"
                                                       << "";
        QTest::newRow("lower-case k is unknown") << 4 << "10k"
                                                 << "1k" << Sens{3, 3} << "CONF:RES "
                                                 << "SENSE:RES:FILTER OFF; "
                                                    ":RES:FILTER:DIGITAL OFF; "
                                                    ":RES:NPLCYCLES 10; ";
        QTest::newRow("type below range") << -1 << "10"
                                          << "1" << Sens{0, 0, 0} << ""
                                          << "";
        QTest::newRow("type above range") << 14 << "10"
                                          << "1" << Sens{0, 0, 0} << ""
                                          << "";
    }
    void selections()
    {
        QFETCH(int, type);
        QFETCH(QString, range);
        QFETCH(QString, resolution);
        QFETCH(Sens, sens);
        QFETCH(QString, configuration);
        QFETCH(QString, option);
        const auto c = meascat::BuildConfigCommand(type, range, resolution, toSelection(sens));
        QCOMPARE(c.configuration, configuration);
        QCOMPARE(c.option, option);
    }

    void rangeTexts_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("text");
        const char *const rows[][2] = {{"MIN", "MIN,"},
                                       {"MAX", "MAX,"},
                                       {"1n", "1.0e-9,"},
                                       {"10n", "1.0e-8,"},
                                       {"100n", "1.0e-7,"},
                                       {"1\u00B5", "1.0e-6,"},
                                       {"10\u00B5", "1.0e-5,"},
                                       {"100\u00B5", "1.0e-4,"},
                                       {"1m", "0.001,"},
                                       {"10m", "0.01,"},
                                       {"100m", "0.1,"},
                                       {"400m", "0.4,"},
                                       {"1", "1,"},
                                       {"3", "3,"},
                                       {"10", "10,"},
                                       {"100", "100,"},
                                       {"1000", "1000,"},
                                       {"1K", "1000,"},
                                       {"10K", "1.0E4,"},
                                       {"100K", "1.0E5,"},
                                       {"1M", "1.0E6,"},
                                       {"10M", "1.0E7,"},
                                       {"100M", "1.0E8,"},
                                       {"1G", "1.0E9,"},
                                       {"1mA", "0,"},
                                       {"0.1mA", "1,"},
                                       {"PT385", "PT100_385"},
                                       {"PT392", "PT100_392"},
                                       {"Cust", "CUST1"},
                                       {"N/A", ""},
                                       {"Auto", ""},
                                       {"1\u03BC", ""},
                                       {"1k", ""},
                                       {"max", ""},
                                       {"", ""}};
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]);
    }
    void rangeTexts()
    {
        QFETCH(QString, entry);
        QFETCH(QString, text);
        QCOMPARE(meascat::rangeText(entry).toString(), text);
    }

    void resolutionTexts_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("text");
        const char *const rows[][2] = {{"MIN", "MIN"},
                                       {"MAX", "MAX"},
                                       {"1p", "1.0e-12"},
                                       {"10p", "1.0e-11"},
                                       {"100p", "1.0e-10"},
                                       {"1n", "1.0e-9"},
                                       {"10n", "1.0e-8"},
                                       {"100n", "1.0e-7"},
                                       {"1\u00B5", "1.0e-6"},
                                       {"10\u00B5", "1.0e-5"},
                                       {"100\u00B5", "1.0e-4"},
                                       {"1m", "0.001"},
                                       {"10m", "0.01"},
                                       {"100m", "0.1"},
                                       {"1", "1"},
                                       {"10", "10"},
                                       {"100", "100"},
                                       {"1K", "1000"},
                                       {"10K", "1.0E4"},
                                       {"100K", "1.0E5"},
                                       {"5V", "0"},
                                       {"10V", "1"},
                                       {"N/A", ""},
                                       {"Auto", ""},
                                       {"1M", ""},
                                       {"1000", ""}};
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]);
    }
    void resolutionTexts()
    {
        QFETCH(QString, entry);
        QFETCH(QString, text);
        QCOMPARE(meascat::resolutionText(entry).toString(), text);
    }

    // Every entry a list offers must stand for a parameter; only the automatic and the
    // not-applicable entries may add nothing.
    void everyListEntryHasText_data()
    {
        QTest::addColumn<int>("type");
        for (int t = 0; t < meascat::kTypeCount; ++t)
            QTest::addRow("%d", t) << t;
    }
    void everyListEntryHasText()
    {
        QFETCH(int, type);
        const meascat::MeasFunction *f = meascat::function(type);
        QVERIFY(f);
        const auto silent = [](const QString &e) { return e == u"Auto" || e == u"N/A"; };
        for (const QString &e : meascat::splitList(f->ranges))
            QVERIFY2(silent(e) != !meascat::rangeText(e).isEmpty(), qPrintable(e));
        for (const QString &e : meascat::splitList(f->resolutions))
            QVERIFY2(silent(e) != !meascat::resolutionText(e).isEmpty(), qPrintable(e));
        // Every entry of every option list contributes its own text.
        for (int box = 0; box < meascat::kSensCount; ++box) {
            if (!f->sens[box])
                continue;
            const int n = int(meascat::splitList(f->sens[box]->entries).size());
            QStringList seen;
            for (int i = 0; i < n; ++i) {
                auto sel = meascat::initialSensSelection(type);
                sel[box] = i;
                const QString opt = meascat::BuildConfigCommand(type, 0, 0, sel).option;
                QVERIFY2(!seen.contains(opt), qPrintable(opt));
                seen.append(opt);
            }
        }
    }

    void filterSelection_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("index");
        QTest::newRow("analog") << "1;0" << 0;
        QTest::newRow("digital") << "0;1" << 1;
        QTest::newRow("both") << "1;1" << 2;
        QTest::newRow("off") << "0;0" << 3;
        QTest::newRow("one field") << "1" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("trailing blank") << "1;1 " << -1;
        QTest::newRow("comma") << "1,1" << -1;
        QTest::newRow("three fields") << "1;1;1" << -1;
        QTest::newRow("signed") << "+1;+1" << -1;
        QTest::newRow("words") << "ON;OFF" << -1;
    }
    void filterSelection()
    {
        QFETCH(QString, reply);
        QFETCH(int, index);
        QCOMPARE(meascat::filterSelection(reply), index);
    }

    void filterQuery_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("query");
        const QString common = QStringLiteral("Filter:state?; :filter:digital:state?");
        for (int t : {0, 2, 11, 12, 13})
            QTest::addRow("%d", t) << t << common;
        QTest::newRow("4") << 4 << "Res:Filter:state?; :filter:digital:state?";
        QTest::newRow("5") << 5 << "Filter?; filter:digital?";
        for (int t : {1, 3, 6, 7, 8, 9, 10, -1, 14})
            QTest::addRow("%d", t) << t << QString();
    }
    void filterQuery()
    {
        QFETCH(int, type);
        QFETCH(QString, query);
        QCOMPARE(meascat::filterStateQuery(type).toString(), query);
    }

    void terminal_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("front") << "FRON"
                               << "Front";
        QTest::newRow("rear") << "REAR"
                              << "Rear";
        QTest::newRow("longer") << "FRONT"
                                << "";
        QTest::newRow("lower case") << "rear"
                                    << "";
        QTest::newRow("with terminator") << "REAR\r"
                                         << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void terminal()
    {
        QFETCH(QString, reply);
        QFETCH(QString, text);
        QCOMPARE(meascat::terminalText(reply), text);
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
