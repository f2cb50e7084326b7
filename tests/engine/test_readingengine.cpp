// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"
#include "engine/readingengine.h"
#include "engine/readingformat.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestReadingEngine : public QObject
{
    Q_OBJECT
private slots:
    void parseConf_data();
    void parseConf();
    void parseConfKeepsTypeOnUnknown();
    void classify_data();
    void classify();
    void zeroAndMath_data();
    void zeroAndMath();
    void reciprocalOfZero();
    void mathLine_data();
    void mathLine();
    void limitBeeps_data();
    void limitBeeps();
    void limitText_data();
    void limitText();
    void updown();
    void hooks();
    void decimalSeparator();
};

void TestReadingEngine::parseConf_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("units1");
    QTest::addColumn<QString>("lunits1");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("resol");
    QTest::newRow("VOLT") << "\"VOLT +1.00000000E+01,+3.00000000E-06\"" << 0 << "V="
                          << "V=" << 10.0 << 3e-6;
    QTest::newRow("VOLT:AC after VOLT")
        << "\"VOLT:AC +1.00000000E+00,+1.00000000E-06\"" << 1 << "V~"
        << "V~" << 1.0 << 1e-6;
    QTest::newRow("CURR") << "\"CURR +1.0E-01,+1.0E-07\"" << 2 << "A="
                          << "A=" << 0.1 << 1e-7;
    QTest::newRow("CURR:AC") << "\"CURR:AC +1.0E+00,+1.0E-06\"" << 3 << "A~"
                             << "A~" << 1.0 << 1e-6;
    QTest::newRow("RES") << "\"RES +1.0E+03,+1.0E-03\"" << 4 << QStringLiteral(u"\u03A9 ") << "Ohm"
                         << 1000.0 << 1e-3;
    QTest::newRow("FRES over RES") << "\"FRES +1.0E+03,+1.0E-03\"" << 5
                                   << QStringLiteral(u"\u03A94") << "Ohm4" << 1000.0 << 1e-3;
    QTest::newRow("CONT") << "\"CONT\"" << 6 << QStringLiteral(u"\u03A9c") << "OhmC" << 0.0 << 0.0;
    QTest::newRow("DIOD") << "\"DIOD\"" << 7 << "Vd"
                          << "Vd" << 0.0 << 0.0;
    QTest::newRow("FREQ") << "\"FREQ +3.0E+00,+1.0E-04\"" << 8 << "Hz"
                          << "Hz" << 3.0 << 1e-4;
    QTest::newRow("PER") << "\"PER +3.0E+00,+1.0E-04\"" << 9 << "s "
                         << "s " << 3.0 << 1e-4;
    QTest::newRow("CAP") << "\"CAP +1.0E-06,+1.0E-09\"" << 10 << "F "
                         << "F " << 1e-6 << 1e-9;
    QTest::newRow("TEMP:RTD") << "\"TEMP:RTD +8.5E+01,+1.0E-02\"" << 11
                              << QStringLiteral(u"\u00B0c") << "deg." << 85.0 << 0.01;
    QTest::newRow("TEMP:FRTD") << "\"TEMP:FRTD +8.5E+01,+1.0E-02\"" << 12
                               << QStringLiteral(u"\u00B0C") << "Deg4" << 85.0 << 0.01;
    QTest::newRow("VOLT:RAT over VOLT") << "\"VOLT:RAT +1.0E+01,+1.0E-05\"" << 13 << "/"
                                        << "Rat." << 10.0 << 1e-5;
    QTest::newRow("lower case") << "\"volt:ac 10,0.001\"" << 1 << "V~"
                                << "V~" << 10.0 << 0.001;
    QTest::newRow("range only") << "\"FREQ 3\"" << 8 << "Hz"
                                << "Hz" << 3.0 << 0.0;
    QTest::newRow("not numbers") << "\"VOLT AUTO,DEF\"" << 0 << "V="
                                 << "V=" << 0.0 << 0.0;
}

void TestReadingEngine::parseConf()
{
    QFETCH(QString, reply);
    QFETCH(int, type);
    QFETCH(QString, units1);
    QFETCH(QString, lunits1);
    QFETCH(double, range);
    QFETCH(double, resol);
    Settings s;
    ReadingEngine e(s);
    e.state().type = 99;
    e.ParseConf(reply);
    QCOMPARE(e.state().type, type);
    QCOMPARE(e.state().Units1, units1);
    QCOMPARE(e.state().Lunits1, lunits1);
    QCOMPARE(static_cast<double>(e.state().range), range);
    QCOMPARE(static_cast<double>(e.state().resol), resol);
}

void TestReadingEngine::parseConfKeepsTypeOnUnknown()
{
    Settings s;
    ReadingEngine e(s);
    e.ParseConf(u"\"FRES +1.0E+03,+1.0E-03\"");
    e.state().Units1 = QStringLiteral("mV");
    e.ParseConf(u"\"XYZ +2.0E+00,+1.0E-03\"");
    QCOMPARE(e.state().type, 5);
    QCOMPARE(e.state().Units1, QStringLiteral("mV"));
    QCOMPARE(e.state().Lunits1, QStringLiteral("mV"));
    QCOMPARE(static_cast<double>(e.state().range), 2.0);
}

void TestReadingEngine::classify_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("units");
    QTest::addColumn<int>("cls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QString>("title");
    const QString empty = emptyBar();
    const QString full = fullBar();
    const QString ohmC = QStringLiteral(u"\u03A9c");
    QTest::newRow("value") << 1.2345678 << "V=" << int(ReadingClass::Value) << "V= +1.234568 "
                           << barText(1.2345678L, 10) << "ORVA 1.23 V=";
    QTest::newRow("zero") << 0.0 << "V=" << int(ReadingClass::Value)
                          << QStringLiteral(u"V= \u00B10") << empty << "ORVA 0.00 V=";
    QTest::newRow("limit 1e37") << 1e37 << "V=" << int(ReadingClass::Value)
                                << "V= " + FormatValue(1e37) << full
                                << "ORVA " + FormatPrefixed(u"%0.2f", 1e37) + "V=";
    QTest::newRow("overload") << 9.9e37 << "V=" << int(ReadingClass::Overload) << "V=  OVERLOAD"
                              << empty << "";
    QTest::newRow("negative overload")
        << -9.9e37 << "V=" << int(ReadingClass::Overload) << "V=  OVERLOAD" << empty << "";
    QTest::newRow("open") << 9.9e37 << ohmC << int(ReadingClass::Open) << ohmC + "  OPEN" << full
                          << "ORVA <OPEN>";
    QTest::newRow("unreadable") << -1.1e-39 << "V=" << int(ReadingClass::Underload)
                                << "V=  UNDERLOAD" << empty << "";
    QTest::newRow("empty marker") << 1e-37 << "V=" << int(ReadingClass::Underload)
                                  << "V=  UNDERLOAD" << empty << "";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN()
                         << "V=" << int(ReadingClass::Overload) << "V=  OVERLOAD" << empty << "";
}

void TestReadingEngine::classify()
{
    QFETCH(double, v);
    QFETCH(QString, units);
    QFETCH(int, cls);
    QFETCH(QString, text);
    QFETCH(QString, bar);
    QFETCH(QString, title);
    Settings s;
    ReadingEngine e(s);
    e.state().current = v;
    e.state().range = 10;
    e.state().Units1 = units;
    e.state().Lunits1 = units;
    const ReadingView view = e.ProcessReading();
    QCOMPARE(int(view.cls), cls);
    QCOMPARE(view.meastext1, text);
    QCOMPARE(view.measlab1, bar);
    QCOMPARE(view.title.value_or(QString()), title);
    QCOMPARE(view.measprop1, QStringLiteral("10 \n\n0 "));
    QVERIFY(!view.secreadl);
    QCOMPARE(view.beepHz, 0);
}

void TestReadingEngine::zeroAndMath_data()
{
    QTest::addColumn<double>("zero");
    QTest::addColumn<bool>("math");
    QTest::addColumn<bool>("reciprocal");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("secondary");
    QTest::addColumn<double>("secondaryValue");
    // current 3, m 2, b 1, Units1 "V=", Units2 "V=", math unit "mV".
    QTest::newRow("plain") << 0.0 << false << false << "V= +3.000000 "
                           << "" << 0.0;
    QTest::newRow("zero") << 1.0 << false << false << "V= +2.000000 "
                          << "V= +3.000000 " << 0.0;
    QTest::newRow("math") << 0.0 << true << false << "mV +7.000000 "
                          << "V= +3.000000 " << 3.0;
    QTest::newRow("zero then math") << 1.0 << true << false << "mV +5.000000 "
                                    << "V= +2.000000 " << 2.0;
    QTest::newRow("reciprocal") << 0.0 << true << true << "mV +142.85714m"
                                << "V= +3.000000 " << 3.0;
}

void TestReadingEngine::zeroAndMath()
{
    QFETCH(double, zero);
    QFETCH(bool, math);
    QFETCH(bool, reciprocal);
    QFETCH(QString, text);
    QFETCH(QString, secondary);
    QFETCH(double, secondaryValue);
    Settings s;
    s.zeroRef = zero;
    s.Math_units = QStringLiteral("mV");
    ReadingEngine e(s);
    ReadingState &st = e.state();
    st.current = 3;
    st.range = 10;
    st.Units1 = st.Units2 = st.Lunits1 = QStringLiteral("V=");
    st.mathEnabled = math;
    st.m = 2;
    st.b = 1;
    st.reciprocal = reciprocal;
    const ReadingView view = e.ProcessReading();
    QCOMPARE(view.meastext1, text);
    QCOMPARE(view.secreadl.value_or(QString()), secondary);
    QCOMPARE(static_cast<double>(st.secondary), secondaryValue);
    // The current value now holds what is shown.
    QCOMPARE(st.current, st.processed);
}

void TestReadingEngine::reciprocalOfZero()
{
    Settings s;
    ReadingEngine e(s);
    e.state().current = 0;
    e.state().mathEnabled = true;
    e.state().reciprocal = true;
    const ReadingView view = e.ProcessReading();
    QCOMPARE(e.state().processed, 1e38L);
    QCOMPARE(view.cls, ReadingClass::Overload);
}

void TestReadingEngine::mathLine_data()
{
    QTest::addColumn<double>("zero");
    QTest::addColumn<bool>("math");
    QTest::addColumn<bool>("reciprocal");
    QTest::addColumn<QString>("line");
    QTest::newRow("nothing") << 0.0 << false << false << "";
    QTest::newRow("zero") << 1.5 << false << false << "zero=1.5  ";
    QTest::newRow("math") << 0.0 << true << false << "x=2  b=-0.25";
    QTest::newRow("reciprocal") << 0.0 << true << true << " 1 / ( x=2  b=-0.25 )";
    QTest::newRow("both") << -1e-7 << true << false << "zero=-1E-7  x=2  b=-0.25";
    QTest::newRow("reciprocal flag without math") << 0.0 << false << true << "";
}

void TestReadingEngine::mathLine()
{
    QFETCH(double, zero);
    QFETCH(bool, math);
    QFETCH(bool, reciprocal);
    QFETCH(QString, line);
    Settings s;
    s.zeroRef = zero;
    ReadingEngine e(s);
    e.state().mathEnabled = math;
    e.state().reciprocal = reciprocal;
    e.state().m = 2;
    e.state().b = -0.25L;
    QCOMPARE(e.mathLine(), line);
    QCOMPARE(e.ProcessReading().mathala, line);
}

using Doubles = QList<double>;
using Ints = QList<int>;

void TestReadingEngine::limitBeeps_data()
{
    QTest::addColumn<Doubles>("values");
    QTest::addColumn<Ints>("beepOn");
    QTest::addColumn<Ints>("beeps");
    // Limits 1 and 2.
    QTest::newRow("enter and leave")
        << Doubles{1.5, 1.55, 3, 3.1, 5, 1.5, 1.9} << Ints{1, 1, 1, 1, 1, 1, 1}
        << Ints{0, 0, 900, 0, 900, 450, 0};
    QTest::newRow("first reading out of limits")
        << Doubles{0.5, 0.52} << Ints{1, 1} << Ints{900, 0};
    QTest::newRow("bounds are out")
        << Doubles{1.5, 1, 2, 2.02} << Ints{1, 1, 1, 1} << Ints{0, 900, 900, 0};
    QTest::newRow("overload skips the test")
        << Doubles{3, 9.9e37, 3.05} << Ints{1, 1, 1} << Ints{900, 0, 0};
    QTest::newRow("no beep while switched off")
        << Doubles{3, 5, 1.5} << Ints{0, 0, 0} << Ints{0, 0, 0};
    // The pass beep stays armed when the return happened silently.
    QTest::newRow("armed pass beep waits for a jump")
        << Doubles{3, 1.5, 1.6, 1.2, 1.1} << Ints{1, 0, 1, 1, 1} << Ints{900, 0, 0, 450, 0};
    QTest::newRow("zero reading is a state change only")
        << Doubles{3, 0, 0, 1.5} << Ints{1, 1, 1, 1} << Ints{900, 0, 0, 450};
}

void TestReadingEngine::limitBeeps()
{
    QFETCH(Doubles, values);
    QFETCH(Ints, beepOn);
    QFETCH(Ints, beeps);
    Settings s;
    s.Limit = true;
    s.LowLimit = 1;
    s.HighLimit = 2;
    ReadingEngine e(s);
    e.state().range = 10;
    Ints heard;
    for (int i = 0; i < values.size(); ++i) {
        s.Limit_beep = beepOn[i] != 0;
        e.state().current = values[i];
        const ReadingView view = e.ProcessReading();
        heard << view.beepHz;
        if (view.beepHz)
            QCOMPARE(view.beepMs, 100);
    }
    QCOMPARE(heard, beeps);
}

void TestReadingEngine::limitText_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("colour");
    QTest::newRow("inside") << 1.5 << "PASS" << int(DisplayColour::Green);
    QTest::newRow("low bound") << 1.0 << " LOW" << int(DisplayColour::Red);
    QTest::newRow("high bound") << 2.0 << "HIGH" << int(DisplayColour::Red);
    QTest::newRow("below") << -5.0 << " LOW" << int(DisplayColour::Red);
}

void TestReadingEngine::limitText()
{
    QFETCH(double, v);
    QFETCH(QString, text);
    QFETCH(int, colour);
    Settings s;
    s.Limit = true;
    s.LowLimit = 1;
    s.HighLimit = 2;
    ReadingEngine e(s);
    e.state().current = v;
    const ReadingView view = e.ProcessReading();
    QCOMPARE(e.state().limitText, text);
    QCOMPARE(int(view.valueColour), colour);
    QCOMPARE(int(e.state().chartTextColour), colour);
    QCOMPARE(view.barColour, DisplayColour::Green);
}

void TestReadingEngine::updown()
{
    Settings s;
    ReadingEngine e(s);
    QStringList arrows;
    for (double v : {1.0, 2.0, 2.0, -1.0}) {
        e.state().current = v;
        arrows << e.ProcessReading().updownl1;
    }
    QCOMPARE(arrows, (QStringList{"t", "t", "", "u"}));
}

void TestReadingEngine::hooks()
{
    Settings s;
    s.Filter = true;
    s.LowFilter = 0;
    s.HighFilter = 10;
    ReadingEngine e(s);
    QList<double> mean, stats, saved;
    int shifts = 0;
    e.updateMean10 = [&](long double v) { mean << double(v); };
    e.updateStatistics = [&](long double v) { stats << double(v); };
    e.shiftMean10 = [&] { ++shifts; };
    e.autoSave = [&](const measpol &r) { saved << double(r.value1); };
    for (double v : {5.0, 20.0, 9.9e37, -1e-39}) {
        e.state().current = v;
        e.ProcessReading();
    }
    QCOMPARE(mean, (QList<double>{5, 20, 9.9e37, -1e-39}));
    QCOMPARE(stats, QList<double>{5});
    QCOMPARE(shifts, 2);
    QCOMPARE(saved.size(), 4);

    e.autoTemperature = [](long double ohm) -> std::optional<long double> {
        return ohm > 50 ? std::optional<long double>(ohm - 100) : std::optional<long double>(-400);
    };
    e.state().current = 110;
    ReadingView view = e.ProcessReading();
    QCOMPARE(static_cast<double>(e.state().processed), 10.0);
    QCOMPARE(static_cast<double>(e.state().secondary), 110.0);
    QCOMPARE(view.barColour, DisplayColour::Magenta);
    e.state().current = 10;
    view = e.ProcessReading();
    QCOMPARE(view.cls, ReadingClass::Underload);
}

void TestReadingEngine::decimalSeparator()
{
    Settings s;
    s.DecSeparator = QStringLiteral(",");
    ReadingEngine e(s);
    e.state().current = 1.5;
    e.state().range = 0.1L;
    e.state().Lunits1 = QStringLiteral("V=");
    const ReadingView view = e.ProcessReading();
    QCOMPARE(view.meastext1, QStringLiteral(" +1,500000 "));
    QCOMPARE(*view.title, QStringLiteral("ORVA 1,50 V="));
}

QTEST_GUILESS_MAIN(TestReadingEngine)
#include "test_readingengine.moc"
