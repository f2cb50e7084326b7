// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs.h"
#include "instrument/devicepage.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "a" -> entry with address a; "" -> empty entry; entries numbered from 1.
void putDevices(Settings &s, const QStringList &addrs)
{
    for (int i = 0; i < addrs.size(); ++i)
        if (!addrs[i].isEmpty())
            s.devices[i + 1] = {addrs[i], QString::number(5000 + i),
                                QStringLiteral("d") + addrs[i]};
}

QStringList gridColumn(DevicePage &p, int column)
{
    auto *grid = p.findChild<QTableWidget *>(QStringLiteral("instrumentgrid1"));
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r)
        out << (grid->item(r, column) ? grid->item(r, column)->text() : QString());
    return out;
}

QLineEdit *edit(DevicePage &p, const char *name)
{
    return p.findChild<QLineEdit *>(QLatin1String(name));
}

void click(DevicePage &p, const char *name)
{
    QTest::mouseClick(p.findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
}

void select(DevicePage &p, int row)
{
    p.findChild<QTableWidget *>(QStringLiteral("instrumentgrid1"))->setCurrentCell(row, 1);
}

void typeDevice(DevicePage &p, const QString &desc, const QString &addr, const QString &port)
{
    edit(p, "descr1le")->setText(desc);
    edit(p, "addr1le")->setText(addr);
    edit(p, "port1le")->setText(port);
}

} // namespace

class TestDeviceList : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    Settings fresh()
    {
        Settings s;
        s.configDir = m_dir.path() + QStringLiteral("/cfg/");
        return s;
    }
    Settings restarted()
    {
        Settings s = fresh();
        settingsio::LoadSettings(s);
        return s;
    }

private slots:
    void init()
    {
        QFile::remove(fresh().settingsPath());
        dialogs::setNoticeHandler({});
    }

    // Stored entries -> grid addresses after filling.
    void fill_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("entries 1, 2, empty 3")
            << QStringList{"a", "b", "", ""} << QStringList{"a", "b"};
        QTest::newRow("empty table") << QStringList{} << QStringList{""};
        QTest::newRow("gap is kept") << QStringList{"a", "", "c"} << QStringList{"a", "", "c"};
        QTest::newRow("empty first") << QStringList{"", "b"} << QStringList{"", "b"};
        QStringList all;
        for (int i = 0; i < kDeviceCount; ++i)
            all << QString::number(i);
        QTest::newRow("all 128") << all << all;
    }
    void fill()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, rows);
        Settings s = fresh();
        putDevices(s, stored);
        QVERIFY(settingsio::SaveDeviceList(s, nullptr));
        Settings loaded = restarted();
        DevicePage page(loaded);
        QCOMPARE(gridColumn(page, 1), rows);
        if (!rows[0].isEmpty()) { // the first row is selected and shown in the fields
            QCOMPARE(gridColumn(page, 0)[0], QStringLiteral("d") + rows[0]);
            QCOMPARE(gridColumn(page, 2)[0], QStringLiteral("5000"));
            QCOMPARE(edit(page, "addr1le")->text(), rows[0]);
        }
    }

    // Typed key by key through the key filter, or pasted whole.
    void portField_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("digits") << "12" << false << "12";
        QTest::newRow("only E and e pass") << "1x2abE" << false << "3490";
        QTest::newRow("other keys dropped") << "7q+" << false << "7";
        QTest::newRow("comma becomes dot") << "12," << false << "3490";
        QTest::newRow("leading zeros") << "0080" << false << "80";
        QTest::newRow("lone minus") << "-" << false << "3490";
        QTest::newRow("emptied") << "" << true << "3490";
        QTest::newRow("pasted blanks") << " 81 " << true << "81";
        QTest::newRow("pasted overflow") << "99999999999" << true << "3490";
        QTest::newRow("pasted fraction") << "80.5" << true << "3490";
    }
    void portField()
    {
        QFETCH(QString, input);
        QFETCH(bool, pasted);
        QFETCH(QString, shown);
        Settings s = fresh();
        DevicePage page(s);
        QLineEdit *port = edit(page, "port1le");
        port->selectAll();
        if (pasted)
            port->setText(input);
        else
            QTest::keyClicks(port, input);
        QCOMPARE(port->text(), shown);
    }

    void editsRoundTripAcrossRestart()
    {
        Settings s = fresh();
        putDevices(s, {"a", "b", "c", "d"});
        s.devices[3].port.clear();
        QVERIFY(settingsio::SaveDeviceList(s, nullptr));
        s = restarted();
        {
            DevicePage page(s);
            select(page, 2);
            QCOMPARE(edit(page, "port1le")->text(), QStringLiteral("3490")); // empty port cell
            select(page, 1);
            click(page, "deleteb");
            // The fields follow the row now selected, so Update cannot resurrect "b" over it.
            QCOMPARE(edit(page, "addr1le")->text(), QStringLiteral("c"));
            select(page, 2);
            click(page, "deleteb"); // the last row: the selection moves up
            QCOMPARE(edit(page, "addr1le")->text(), QStringLiteral("c"));
            typeDevice(page, "new", "n.host", "77");
            click(page, "addbtn");
            QCOMPARE(gridColumn(page, 1), (QStringList{"a", "c", "n.host"}));
            select(page, 0);
            typeDevice(page, "first", "a2", "1");
            click(page, "updatedevb");
            typeDevice(page, "lost", "never.stored", "2");
            click(page, "addbtn"); // added without Update
        }
        QFile file(fresh().settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("DevAddr_4")); // the deleted fourth entry
        Settings again = restarted();
        DevicePage page(again);
        QCOMPARE(gridColumn(page, 0), (QStringList{"first", "dc", "new"}));
        QCOMPARE(gridColumn(page, 1), (QStringList{"a2", "c", "n.host"}));
        QCOMPARE(gridColumn(page, 2), (QStringList{"1", "", "77"}));
    }

    void deletingEverythingIsStored()
    {
        Settings s = fresh();
        putDevices(s, {"a"});
        QVERIFY(settingsio::SaveDeviceList(s, nullptr));
        s = restarted();
        DevicePage page(s);
        click(page, "deleteb");
        QCOMPARE(gridColumn(page, 1), QStringList{});
        click(page, "updatedevb");
        Settings again = restarted();
        QVERIFY(again.devices[1].addr.isEmpty());
    }

    void tableHoldsAtMost128()
    {
        Settings s = fresh();
        QStringList all;
        for (int i = 0; i < kDeviceCount; ++i)
            all << QString::number(i);
        putDevices(s, all);
        DevicePage page(s);
        QSignalSpy status(&page, &DevicePage::statusText);
        typeDevice(page, "x", "one.too.many", "1");
        click(page, "addbtn");
        QCOMPARE(status.size(), 1);
        QCOMPARE(status[0][0].toString(), devlist::kListFullText);
        QCOMPARE(page.deviceList().rowCount(), kDeviceCount);
        typeDevice(page, "x", "", "1"); // a row without address is never stored
        click(page, "addbtn");
        QCOMPARE(page.deviceList().rowCount(), kDeviceCount + 1);
        typeDevice(page, "x", "again.too.many", "1"); // into that blank row
        click(page, "updatedevb");
        QCOMPARE(status.size(), 2);
        QVERIFY(page.deviceList().row(kDeviceCount).addr.isEmpty());
    }

    void connectUsesSelectedRow()
    {
        Settings s = fresh();
        putDevices(s, {"a", "b"});
        DevicePage page(s);
        QSignalSpy spy(&page, &DevicePage::connectRequested);
        select(page, 1);
        typeDevice(page, "ignored", "edited.but.not.updated", "9");
        click(page, "connectb1");
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0], (QVariantList{"b", "5001"}));
        QCOMPARE(s.host1, QStringLiteral("b"));
        QCOMPARE(s.port1, QStringLiteral("5001"));
        page.setConnected(true);
        QVERIFY(!page.findChild<QPushButton *>("connectb1")->isEnabled());
        page.setConnected(false);
        QVERIFY(page.findChild<QPushButton *>("connectb1")->isEnabled());
    }

    void saveFailureIsShown()
    {
        Settings s = fresh();
        s.configDir = QStringLiteral("/proc/no-such-dir/");
        QStringList shown;
        dialogs::setNoticeHandler([&](const QString &t) { shown << t; });
        DevicePage page(s);
        click(page, "updatedevb");
        QCOMPARE(shown.size(), 1);
        QVERIFY(!shown[0].isEmpty());
    }

    void pingAndHeader()
    {
        Settings s = fresh();
        DevicePage page(s);
        auto *label = page.findChild<QLabel *>(QStringLiteral("devpingla"));
        QCOMPARE(label->text(), QStringLiteral("Ping -1 ms"));
        edit(page, "addr1le")->setText(QStringLiteral("127.0.0.1"));
        QCOMPARE(label->text(), QStringLiteral("ping..."));
        click(page, "devpingb");
        QCOMPARE(label->text(), QStringLiteral("Unreachable"));
        static const QRegularExpression kResult(QStringLiteral("^(-1|\\d+)ms$"));
        QTRY_VERIFY_WITH_TIMEOUT(kResult.match(label->text()).hasMatch(), 10000);

        auto *grid = page.findChild<QTableWidget *>(QStringLiteral("instrumentgrid1"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("Address"));
        page.setHeaderText(QStringLiteral("Name\r\nIP\r\nPort"));
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("Name"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("IP"));
    }
};

QTEST_MAIN(TestDeviceList)
#include "test_devicelist.moc"
