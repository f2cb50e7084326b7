// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakesetup.h"
#include "instrument/settingspage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

QComboBox *list(SettingsPage &p, const char *name)
{
    return p.findChild<QComboBox *>(QLatin1String(name));
}

} // namespace

class TestSettingsPage : public QObject
{
    Q_OBJECT
private slots:
    void controls()
    {
        SettingsPage page;
        for (const char *name :
             {"meastypecb", "rangecb", "resolcb", "sens1cb", "sens2cb", "sens3cb"}) {
            QComboBox *box = list(page, name);
            QVERIFY2(box, name);
            QVERIFY2(!box->isEditable(), name);
        }
        QCOMPARE(page.findChild<QPushButton *>("measch")->text(), QStringLiteral("S&et"));
        QCOMPARE(page.findChild<QPushButton *>("geterrb")->text(), QStringLiteral("Get Err&or"));
        QCOMPARE(page.findChild<QLineEdit *>("displaytexte")->maxLength(), 12);
        for (const char *name : {"instumentids", "termlab", "lasterrs"})
            QVERIFY2(page.findChild<QLabel *>(QLatin1String(name)), name);
        QVERIFY(page.findChild<QCheckBox *>("measseccb")->isHidden());
        QCOMPARE(list(page, "meastypecb")->count(), 14);
        QCOMPARE(list(page, "meastypecb")->itemText(13), QStringLiteral("Ratio V DC     \u00F7"));
    }

    // Choosing a type as the operator does fills every list, selection, hint and visibility.
    void typeChange_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("rangeCount");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QStringList>("sens");  // selected entries; "-" = hidden
        QTest::addColumn<QStringList>("hints"); // of the shown lists
        const QString filterHint = QStringLiteral(" turn filter ON or OFF");
        const QString plcHint = QStringLiteral(" choose number of Power Line Cycles ");
        const QStringList volt{"Filter OFF", "High Impedance OFF", "Power Line Cycl. 10"};
        const QStringList voltHints{filterHint, " use high input impedance ", plcHint};
        const QStringList filterPlc{"Filter OFF", "Power Line Cycl. 10", "-"};
        const QStringList filterPlcHints{filterHint, plcHint, ""};
        const QStringList bandwidth{"Filter Bandwith 20Hz", "-", "-"};
        const QStringList bandwidthHints{" choose filter bandwith ", "", ""};
        const QStringList aperture{"Aperture 0.1 sec", "Voltage Range Auto", "-"};
        const QStringList apertureHints{" choose aperture time ", " choose voltage range ", ""};
        const QStringList none{"-", "-", "-"};
        const QStringList noHints{"", "", ""};
        QTest::newRow("volt dc") << 0 << 8 << "Auto"
                                 << "Auto" << volt << voltHints;
        QTest::newRow("volt ac") << 1 << 8 << "Auto"
                                 << "Auto" << bandwidth << bandwidthHints;
        QTest::newRow("curr dc") << 2 << 11 << "Auto"
                                 << "Auto" << filterPlc << filterPlcHints;
        QTest::newRow("curr ac") << 3 << 11 << "Auto"
                                 << "Auto" << bandwidth << bandwidthHints;
        QTest::newRow("res") << 4 << 12 << "Auto"
                             << "Auto" << filterPlc << filterPlcHints;
        QTest::newRow("fres") << 5 << 12 << "Auto"
                              << "Auto" << filterPlc << filterPlcHints;
        QTest::newRow("continuity") << 6 << 1 << "N/A"
                                    << "N/A" << none << noHints;
        QTest::newRow("diode") << 7 << 2 << "1mA"
                               << "5V" << none << noHints;
        QTest::newRow("frequency") << 8 << 3 << "Auto"
                                   << "Auto" << aperture << apertureHints;
        QTest::newRow("period") << 9 << 3 << "Auto"
                                << "Auto" << aperture << apertureHints;
        QTest::newRow("capacity") << 10 << 12 << "Auto"
                                  << "Auto" << none << noHints;
        QTest::newRow("rtd") << 11 << 3 << "PT385"
                             << "N/A" << filterPlc << filterPlcHints;
        QTest::newRow("rtd 4w") << 12 << 3 << "PT385"
                                << "N/A" << filterPlc << filterPlcHints;
        QTest::newRow("ratio") << 13 << 8 << "Auto"
                               << "Auto" << volt << voltHints;
    }
    void typeChange()
    {
        QFETCH(int, type);
        QFETCH(int, rangeCount);
        QFETCH(QString, range);
        QFETCH(QString, resolution);
        QFETCH(QStringList, sens);
        QFETCH(QStringList, hints);
        SettingsPage page;
        page.show();
        // Start from a type with every list shown and something else selected.
        list(page, "meastypecb")->setCurrentIndex(type == 0 ? 13 : 0);
        list(page, "sens1cb")->setCurrentIndex(0);
        list(page, "rangecb")->setCurrentIndex(3);
        QSignalSpy built(&page, &SettingsPage::configCommandChanged);

        list(page, "meastypecb")->setCurrentIndex(type);

        QCOMPARE(list(page, "rangecb")->count(), rangeCount);
        QCOMPARE(list(page, "rangecb")->currentText(), range);
        QCOMPARE(list(page, "resolcb")->currentText(), resolution);
        const char *const names[] = {"sens1cb", "sens2cb", "sens3cb"};
        for (int i = 0; i < 3; ++i) {
            QComboBox *box = list(page, names[i]);
            QCOMPARE(box->isVisible(), sens[i] != u"-");
            if (sens[i] != u"-") {
                QCOMPARE(box->currentText(), sens[i]);
                QCOMPARE(box->toolTip(), hints[i]);
            }
        }
        // One composition per type change, and it is what the catalogue gives.
        QCOMPARE(built.count(), 1);
        const auto expected =
            meascat::BuildConfigCommand(type, 0, 0, meascat::initialSensSelection(type));
        QCOMPARE(page.configCommands(), expected);
        QCOMPARE(built.first().at(0).toString(), expected.configuration);
        QCOMPARE(built.first().at(1).toString(), expected.option);
    }

    void selectionsCompose()
    {
        SettingsPage page;
        list(page, "meastypecb")->setCurrentIndex(5);
        list(page, "rangecb")->setCurrentText(QStringLiteral("10K"));
        list(page, "resolcb")->setCurrentText(QStringLiteral("1"));
        list(page, "sens1cb")->setCurrentText(QStringLiteral("Filter Both"));
        QSignalSpy built(&page, &SettingsPage::configCommandChanged);
        list(page, "sens2cb")->setCurrentText(QStringLiteral("Power Line Cycl. 1"));
        QCOMPARE(built.count(), 1);
        QCOMPARE(page.BuildConfigCommand().configuration, QStringLiteral("CONF:FRES 1.0E4,1"));
        QCOMPARE(page.measparmText(),
                 QStringLiteral("CONF:FRES 1.0E4,1\r\n"
                                "SENSE:FRES:FILTER ON; FILTER:DIGITAL ON; :FRES:NPLCYCLES 1; "));
        list(page, "rangecb")->setCurrentText(QStringLiteral("1G"));
        QCOMPARE(page.configCommands().configuration, QStringLiteral("CONF:FRES 1.0E9,1"));
    }

    // A read-back shows the instrument's type but keeps the lists as they were.
    void selectMeasTypeKeepsLists()
    {
        SettingsPage page;
        list(page, "meastypecb")->setCurrentIndex(0);
        list(page, "rangecb")->setCurrentText(QStringLiteral("MAX"));
        page.selectMeasType(5);
        QCOMPARE(list(page, "meastypecb")->currentIndex(), 5);
        QCOMPARE(list(page, "rangecb")->count(), 8);
        QCOMPARE(list(page, "rangecb")->currentText(), QStringLiteral("MAX"));
        QCOMPARE(list(page, "sens3cb")->count(), 5);
        page.selectFilter(2);
        QCOMPARE(list(page, "sens1cb")->currentText(), QStringLiteral("Filter Both"));
        page.selectFilter(-1);
        QCOMPARE(list(page, "sens1cb")->currentIndex(), -1);
    }

    void thirdEntries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("range");
        QTest::addColumn<QString>("resolution");
        QTest::newRow("volt") << 0 << "MAX"
                              << "MAX";
        QTest::newRow("frequency") << 8 << "MAX"
                                   << "MAX";
        QTest::newRow("continuity") << 6 << ""
                                    << "";
        QTest::newRow("diode") << 7 << ""
                               << "";
        QTest::newRow("rtd") << 11 << "Cust"
                             << "";
    }
    void thirdEntries()
    {
        QFETCH(int, type);
        QFETCH(QString, range);
        QFETCH(QString, resolution);
        SettingsPage page;
        list(page, "meastypecb")->setCurrentIndex(type);
        page.selectThirdEntries();
        QCOMPARE(list(page, "rangecb")->currentText(), range);
        QCOMPARE(list(page, "resolcb")->currentText(), resolution);
        QCOMPARE(list(page, "rangecb")->currentIndex() == -1, range.isEmpty());
    }

    void buttonsAndFields()
    {
        SettingsPage page;
        page.show();
        QSignalSpy measch(&page, &SettingsPage::measchRequested);
        QSignalSpy geterr(&page, &SettingsPage::geterrRequested);
        QSignalSpy display(&page, &SettingsPage::displayTextEntered);
        QTest::mouseClick(page.findChild<QPushButton *>("measch"), Qt::LeftButton);
        QTest::mouseClick(page.findChild<QPushButton *>("geterrb"), Qt::LeftButton);
        QCOMPARE(measch.count(), 1);
        QCOMPARE(geterr.count(), 1);

        auto *edit = page.findChild<QLineEdit *>("displaytexte");
        QTest::keyClicks(edit, QStringLiteral("it's too long a text"));
        QCOMPARE(display.count(), 0);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(display.count(), 1);
        QCOMPARE(display.first().first().toString(), QStringLiteral("it's too lon"));

        page.setMeasChEnabled(false);
        QTest::mouseClick(page.findChild<QPushButton *>("measch"), Qt::LeftButton);
        QCOMPARE(measch.count(), 1);
    }

    // "S&et" on the real page: what goes out is what the page shows, and the read-back
    // lands in the page's controls.
    void measchOnThePage()
    {
        SettingsPage page;
        list(page, "meastypecb")->setCurrentIndex(4);
        list(page, "rangecb")->setCurrentText(QStringLiteral("10K"));
        list(page, "resolcb")->setCurrentText(QStringLiteral("1"));
        Journal j;
        FakePort port(j);
        FakeHost host(j);
        port.replies = {QStringLiteral("+1.0E+04"), QStringLiteral("\"RES +1.0E+04,+1.0E+00\""),
                        QStringLiteral("1;0"), QStringLiteral("FRON"),
                        QStringLiteral("-222,\"Data out of range\"")};
        setupseq::measchClick(port, page, host);
        QCOMPARE(sentLines(j).mid(0, 3),
                 (QStringList{"syst:rem", "CONF:RES 1.0E4,1",
                              "SENSE:RES:FILTER OFF; :RES:FILTER:DIGITAL OFF; "
                              ":RES:NPLCYCLES 10; "}));
        QCOMPARE(list(page, "sens1cb")->currentText(), QStringLiteral("Filter Analog"));
        QCOMPARE(page.termlab()->text(), QStringLiteral("Front"));
        QCOMPARE(page.lasterrs()->text(), QStringLiteral("Data out of range -222"));
        QVERIFY(page.findChild<QPushButton *>("measch")->isEnabled());
        QVERIFY(page.instumentids()->text().startsWith(u"Device: ORVA 8846A"));
    }
};

QTEST_MAIN(TestSettingsPage)
#include "test_settingspage.moc"
