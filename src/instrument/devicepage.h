// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "instrument/devicelist.h"

#include <QWidget>

class Pinger;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The "Instrument F3" page: the device grid with its edit fields, ping, add, update, delete
// and connect. It never connects by itself: the owner wires connectRequested() to the link
// and reports the link state back through setConnected().
class DevicePage : public QWidget
{
    Q_OBJECT
public:
    explicit DevicePage(Settings &settings, QWidget *parent = nullptr);

    // Header row from the escape-expanded language text, one cell per line.
    void setHeaderText(const QString &text);
    // "&Connect" is usable only while no connection is open.
    void setConnected(bool connected);

    const DeviceList &deviceList() const { return m_list; }

public slots:
    void FillDeviceGrid();
    // Rewrites the device table from the grid and saves it; false when the file failed.
    bool StoreDeviceTable();

    void instrumentgrid1SelectCell(int row);
    void addbtnClick();
    void updatedevbClick();
    void deletebClick();
    void connectb1Click();
    void devpingbClick();

signals:
    // host1 and port1 are already set to these.
    void connectRequested(const QString &host, const QString &port);
    void statusText(const QString &text);

private:
    void addr1leChange();
    void port1leChange();
    DeviceEntry fieldEntry() const;
    void showRow(int row);
    void showRows();
    void selectRow(int row);

    Settings &m_settings;
    DeviceList m_list;
    Pinger *m_pinger = nullptr;
    QTableWidget *m_instrumentgrid1 = nullptr;
    QLineEdit *m_descr1le = nullptr;
    QLineEdit *m_addr1le = nullptr;
    QLineEdit *m_port1le = nullptr;
    QPushButton *m_devpingb = nullptr;
    QLabel *m_devpingla = nullptr;
    QPushButton *m_connectb1 = nullptr;
    QPushButton *m_addbtn = nullptr;
    QPushButton *m_updatedevb = nullptr;
    QPushButton *m_deleteb = nullptr;
};
