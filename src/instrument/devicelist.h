// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/settings.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace devlist {

inline const QString kDefaultPort = QStringLiteral("3490");
// The language text the grid's header row is made of, one cell per line.
inline const QString kDefaultHeader = QStringLiteral("Description\r\nAddress\r\nPort");
inline const QString kListFullText =
    QStringLiteral("Device list is full: at most 128 devices can be stored");

// The port field's text after a change: the integer it denotes, else the default port.
QString portFieldText(const QString &text);
// Header cells from the (escape-expanded) language text; missing cells are empty.
QStringList headerCells(const QString &text);
// The ping label after an echo: "12ms", or "-1ms" when it failed.
QString pingText(int roundTripMs);

} // namespace devlist

// The working copy behind the device grid: rows of description, address and port that the
// operator adds, edits and deletes; the stored table changes only by store().
class DeviceList
{
public:
    // Rows from the stored table: entry 1 always, then every entry up to the last one that
    // has an address, so an entry after a gap is neither hidden nor lost by the next store.
    void fill(const Settings &s);

    int rowCount() const { return int(m_rows.size()); }
    const DeviceEntry &row(int r) const { return m_rows.at(r); }
    // Rows that would become stored entries.
    int addressCount() const;

    // Each refuses (false, with the status text) when the table could not hold the result.
    bool add(const DeviceEntry &entry, QString *status);
    bool update(int r, const DeviceEntry &entry, QString *status);
    bool remove(int r);

    // Rows with an address become entries 1, 2, ...; every later entry is emptied so that a
    // deleted device is not written back (nor left in the file) by the next save.
    void store(Settings &s) const;

private:
    bool fits(const QString &oldAddr, const QString &newAddr, QString *status) const;

    QList<DeviceEntry> m_rows{DeviceEntry{}};
};
