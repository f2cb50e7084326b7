// SPDX-License-Identifier: GPL-3.0-or-later
#include "bigary.h"

#include <algorithm>
#include <cmath>

BigAry::BigAry(qint64 maxbuffer) : m_maxbuffer(maxBufferFromSetting(maxbuffer))
{
    Clear();
}

qint64 BigAry::maxBufferFromSetting(qint64 bufferSize)
{
    return std::clamp<qint64>(bufferSize, 0, kMaxBufferLimit);
}

void BigAry::setMaxBuffer(qint64 maxbuffer)
{
    maxbuffer = maxBufferFromSetting(maxbuffer);
    if (maxbuffer >= High()) {
        m_maxbuffer = maxbuffer;
        m_pendingMax = -1;
    } else {
        m_pendingMax = maxbuffer;
    }
}

void BigAry::Clear()
{
    if (m_pendingMax >= 0) {
        m_maxbuffer = m_pendingMax;
        m_pendingMax = -1;
    }
    m_records.assign(1, measpol{});
    m_pos = -1;
    m_cnt = 0;
    m_max = -1e38L;
    m_min = 1e38L;
}

bool BigAry::Append(const measpol &record)
{
    const long double v = record.value1;
    if (!(std::fabs(v) <= 1e37L))
        return false;
    ++m_cnt;
    ++m_pos;
    if (m_pos > m_maxbuffer)
        m_pos = 0;
    if (m_pos > High()) {
        // Grow geometrically, but never past the ring's size: at ten million records a
        // doubling beyond it would reserve half a gigabyte for nothing.
        if (m_records.size() == m_records.capacity()) {
            const size_t limit = static_cast<size_t>(m_maxbuffer) + 1;
            m_records.reserve(std::min(limit, std::max<size_t>(m_records.capacity() * 2, 4096)));
        }
        m_records.push_back(record);
    } else {
        m_records[static_cast<size_t>(m_pos)] = record;
    }
    if (v > m_max)
        m_max = v;
    if (v < m_min)
        m_min = v;
    return true;
}
