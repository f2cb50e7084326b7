// SPDX-License-Identifier: GPL-3.0-or-later
#include "instrument/devicelist.h"

#include "data/numtext.h"

#include <QRegularExpression>

#include <algorithm>

namespace devlist {

QString portFieldText(const QString &text)
{
    const std::optional<int> port = numtext::parseInt(text);
    return port ? QString::number(*port) : kDefaultPort;
}

QStringList headerCells(const QString &text)
{
    static const QRegularExpression kLineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList cells = text.split(kLineBreak);
    while (cells.size() < 3)
        cells << QString();
    return cells.mid(0, 3);
}

QString pingText(int roundTripMs)
{
    return QString::number(roundTripMs < 0 ? -1 : roundTripMs) + QStringLiteral("ms");
}

} // namespace devlist

void DeviceList::fill(const Settings &s)
{
    int last = 1;
    for (int n = 1; n <= kDeviceCount; ++n) {
        if (!s.devices[n].addr.isEmpty())
            last = n;
    }
    m_rows.clear();
    for (int n = 1; n <= last; ++n)
        m_rows << s.devices[n];
}

int DeviceList::addressCount() const
{
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(),
                             [](const DeviceEntry &d) { return !d.addr.isEmpty(); }));
}

bool DeviceList::fits(const QString &oldAddr, const QString &newAddr, QString *status) const
{
    const bool grows = oldAddr.isEmpty() && !newAddr.isEmpty();
    if (grows && addressCount() >= kDeviceCount) {
        if (status)
            *status = devlist::kListFullText;
        return false;
    }
    return true;
}

bool DeviceList::add(const DeviceEntry &entry, QString *status)
{
    if (!fits(QString(), entry.addr, status))
        return false;
    m_rows << entry;
    return true;
}

bool DeviceList::update(int r, const DeviceEntry &entry, QString *status)
{
    if (r < 0 || r >= rowCount() || !fits(m_rows.at(r).addr, entry.addr, status))
        return false;
    m_rows[r] = entry;
    return true;
}

bool DeviceList::remove(int r)
{
    if (r < 0 || r >= rowCount())
        return false;
    m_rows.removeAt(r);
    return true;
}

void DeviceList::store(Settings &s) const
{
    int n = 0;
    for (const DeviceEntry &d : m_rows) {
        // add() and update() keep the count within the table; this only guards the array.
        if (!d.addr.isEmpty() && n < kDeviceCount)
            s.devices[++n] = d;
    }
    while (n < kDeviceCount)
        s.devices[++n] = DeviceEntry{};
}
