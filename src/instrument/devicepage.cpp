// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/devicepage.h"

#include "app/dialogs.h"
#include "app/numerickeyfilter.h"
#include "link/pinger.h"

#include <QAbstractItemView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableWidget>

namespace {

// The usual default of a one-shot ICMP echo.
constexpr int kPingTimeoutMs = 4000;

enum Column { kDescColumn = 0, kAddrColumn = 1, kPortColumn = 2, kColumnCount = 3 };

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLineEdit *makeEdit(QWidget *parent, const char *name, const QString &text)
{
    auto *e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

} // namespace

DevicePage::DevicePage(Settings &settings, QWidget *parent) : QWidget(parent), m_settings(settings)
{
    m_pinger = new Pinger(this);

    m_instrumentgrid1 = new QTableWidget(0, kColumnCount, this);
    m_instrumentgrid1->setObjectName(QStringLiteral("instrumentgrid1"));
    m_instrumentgrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_instrumentgrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Cells change only through the edit fields, so the table and the fields never disagree.
    m_instrumentgrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_instrumentgrid1->verticalHeader()->setVisible(false);
    const int widths[kColumnCount] = {88, 91, 35};
    for (int c = 0; c < kColumnCount; ++c)
        m_instrumentgrid1->setColumnWidth(c, widths[c]);
    m_instrumentgrid1->horizontalHeader()->setStretchLastSection(true);
    // Every column stays in view, also with a vertical scroll bar.
    m_instrumentgrid1->setMinimumWidth(
        widths[0] + widths[1] + widths[2] + 2 * m_instrumentgrid1->frameWidth() +
        m_instrumentgrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    setHeaderText(devlist::kDefaultHeader);

    m_descr1le = makeEdit(this, "descr1le", QStringLiteral("My device"));
    m_addr1le = makeEdit(this, "addr1le", QStringLiteral("192.168.1.x"));
    m_port1le = makeEdit(this, "port1le", devlist::kDefaultPort);
    m_port1le->setToolTip(QStringLiteral(" default port is 3490 "));
    NumericKeyFilter::install(m_port1le);

    m_devpingb = makeButton(this, "devpingb", QStringLiteral("Pin&g"));
    m_devpingla = new QLabel(QStringLiteral("Ping -1 ms"), this);
    m_devpingla->setObjectName(QStringLiteral("devpingla"));
    m_connectb1 = makeButton(this, "connectb1", QStringLiteral("&Connect"));
    m_addbtn = makeButton(this, "addbtn", QStringLiteral("Add"));
    m_updatedevb = makeButton(this, "updatedevb", QStringLiteral("Update"));
    m_deleteb = makeButton(this, "deleteb", QStringLiteral("Delete"));

    auto *fields = new QGridLayout;
    const std::pair<QLineEdit *, const char *> labelled[] = {
        {m_descr1le, "&Description"}, {m_addr1le, "Addre&ss"}, {m_port1le, "&Port"}};
    int row = 0;
    for (const auto &[edit, caption] : labelled) {
        auto *label = new QLabel(QLatin1String(caption), this);
        label->setBuddy(edit);
        fields->addWidget(label, row, 0);
        fields->addWidget(edit, row, 1);
        ++row;
    }
    // The page is narrow: the link buttons get a row of their own.
    auto *link = new QHBoxLayout;
    link->addWidget(m_devpingb);
    link->addWidget(m_devpingla, 1);
    link->addWidget(m_connectb1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addbtn);
    buttons->addWidget(m_updatedevb);
    buttons->addWidget(m_deleteb);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_instrumentgrid1, 1);
    layout->addLayout(fields);
    layout->addLayout(link);
    layout->addLayout(buttons);

    connect(m_instrumentgrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previousRow, int) {
                if (row != previousRow)
                    instrumentgrid1SelectCell(row);
            });
    connect(m_addr1le, &QLineEdit::textChanged, this, &DevicePage::addr1leChange);
    connect(m_port1le, &QLineEdit::textChanged, this, &DevicePage::port1leChange);
    connect(m_devpingb, &QPushButton::clicked, this, &DevicePage::devpingbClick);
    connect(m_connectb1, &QPushButton::clicked, this, &DevicePage::connectb1Click);
    connect(m_addbtn, &QPushButton::clicked, this, &DevicePage::addbtnClick);
    connect(m_updatedevb, &QPushButton::clicked, this, &DevicePage::updatedevbClick);
    connect(m_deleteb, &QPushButton::clicked, this, &DevicePage::deletebClick);

    FillDeviceGrid();
}

void DevicePage::setHeaderText(const QString &text)
{
    m_instrumentgrid1->setHorizontalHeaderLabels(devlist::headerCells(text));
}

void DevicePage::setConnected(bool connected)
{
    m_connectb1->setEnabled(!connected);
}

void DevicePage::FillDeviceGrid()
{
    m_list.fill(m_settings);
    showRows();
    // "Update" writes into the selected row, so a row is selected from the start; its cells
    // go into the fields unless it is blank, which keeps the fields' starting texts.
    const QSignalBlocker block(m_instrumentgrid1);
    m_instrumentgrid1->setCurrentCell(0, kDescColumn);
    const DeviceEntry &first = m_list.row(0);
    if (!first.addr.isEmpty() || !first.port.isEmpty() || !first.desc.isEmpty())
        instrumentgrid1SelectCell(0);
}

bool DevicePage::StoreDeviceTable()
{
    m_list.store(m_settings);
    QString error;
    if (!settingsio::SaveDeviceList(m_settings, &error)) {
        dialogs::ShowError(this, error);
        return false;
    }
    return true;
}

void DevicePage::instrumentgrid1SelectCell(int row)
{
    if (row < 0 || row >= m_list.rowCount())
        return;
    const DeviceEntry &d = m_list.row(row);
    m_port1le->setText(d.port); // an empty port turns into the default here
    m_addr1le->setText(d.addr);
    m_descr1le->setText(d.desc);
}

void DevicePage::addbtnClick()
{
    QString status;
    if (!m_list.add(fieldEntry(), &status)) {
        emit statusText(status);
        return;
    }
    showRows();
    selectRow(m_list.rowCount() - 1);
}

void DevicePage::updatedevbClick()
{
    const int row = m_instrumentgrid1->currentRow();
    if (row >= 0 && row < m_list.rowCount()) {
        QString status;
        if (!m_list.update(row, fieldEntry(), &status)) {
            emit statusText(status);
            return;
        }
        showRow(row);
    }
    // With no row left this still stores, so deleting every device can be made permanent.
    StoreDeviceTable();
}

void DevicePage::deletebClick()
{
    const int row = m_instrumentgrid1->currentRow();
    if (!m_list.remove(row))
        return;
    showRows();
    // The fields must show the row that is now selected: left holding the deleted device,
    // a following "Update" would write it over its neighbour.
    selectRow(std::min(row, m_list.rowCount() - 1));
}

void DevicePage::connectb1Click()
{
    const int row = m_instrumentgrid1->currentRow();
    if (row < 0 || row >= m_list.rowCount())
        return;
    const DeviceEntry &d = m_list.row(row);
    m_settings.host1 = d.addr;
    m_settings.port1 = d.port;
    emit connectRequested(d.addr, d.port);
}

void DevicePage::devpingbClick()
{
    m_devpingla->setText(QStringLiteral("Unreachable"));
    m_pinger->ping(m_addr1le->text(), kPingTimeoutMs,
                   [this](int ms) { m_devpingla->setText(devlist::pingText(ms)); });
}

void DevicePage::addr1leChange()
{
    m_devpingla->setText(QStringLiteral("ping..."));
}

void DevicePage::port1leChange()
{
    const QString text = devlist::portFieldText(m_port1le->text());
    if (text != m_port1le->text())
        m_port1le->setText(text);
}

DeviceEntry DevicePage::fieldEntry() const
{
    return DeviceEntry{m_addr1le->text(), m_port1le->text(), m_descr1le->text()};
}

void DevicePage::showRow(int row)
{
    const DeviceEntry &d = m_list.row(row);
    const QString cells[kColumnCount] = {d.desc, d.addr, d.port};
    for (int c = 0; c < kColumnCount; ++c) {
        if (QTableWidgetItem *item = m_instrumentgrid1->item(row, c))
            item->setText(cells[c]);
        else
            m_instrumentgrid1->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

void DevicePage::showRows()
{
    const QSignalBlocker block(m_instrumentgrid1);
    m_instrumentgrid1->setRowCount(m_list.rowCount());
    for (int r = 0; r < m_list.rowCount(); ++r)
        showRow(r);
}

void DevicePage::selectRow(int row)
{
    if (row < 0)
        return;
    {
        const QSignalBlocker block(m_instrumentgrid1);
        m_instrumentgrid1->setCurrentCell(row, kDescColumn);
    }
    instrumentgrid1SelectCell(row);
}
