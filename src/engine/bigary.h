// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measpol.h"

#include <QtGlobal>

#include <vector>

inline constexpr qint64 kMaxBufferLimit = 10000000;

// Big blocks come straight from the kernel with transparent huge pages asked for: filling
// a ten-million-record ring then costs a few hundred page faults instead of a quarter
// million. Reserved but untouched memory stays virtual.
template <typename T>
struct RecordAllocator
{
    using value_type = T;
    RecordAllocator() = default;
    template <typename U>
    RecordAllocator(const RecordAllocator<U> &)
    {
    }
    T *allocate(size_t n) { return static_cast<T *>(allocateBytes(n * sizeof(T))); }
    void deallocate(T *p, size_t n) { deallocateBytes(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const RecordAllocator<U> &) const
    {
        return true;
    }

    static void *allocateBytes(size_t bytes);
    static void deallocateBytes(void *p, size_t bytes);
};

using MeasRecords = std::vector<measpol, RecordAllocator<measpol>>;

// The ring of kept readings: appended by the cycle and the series, drawn and rewritten by
// the large graph, written to files. Records live by value in one contiguous array.
class BigAry
{
public:
    explicit BigAry(qint64 maxbuffer = 2000000);

    // BufferSize setting -> capacity limit: above 10 000 000 is lowered, below 0 raised.
    static qint64 maxBufferFromSetting(qint64 bufferSize);

    // A larger limit applies at once; a smaller one than the records already held would
    // break the time order, so it waits for the next Clear.
    void setMaxBuffer(qint64 maxbuffer);
    qint64 maxbuffer() const { return m_maxbuffer; }

    void Clear();
    // Over-range readings (and NaN, which is no reading at all) are not stored.
    // Returns whether the record was stored.
    bool Append(const measpol &record);

    // Chronological index (0 = oldest, High() = newest) -> slot.
    qint64 Slot(qint64 i) const
    {
        const qint64 high = High();
        return i >= high - m_pos ? i - (high - m_pos) : i + m_pos + 1;
    }

    qint64 High() const { return static_cast<qint64>(m_records.size()) - 1; }
    qint64 bigarypos() const { return m_pos; }
    qint64 bigarycnt() const { return m_cnt; }
    long double maximum() const { return m_max; }
    long double minimum() const { return m_min; }

    measpol &operator[](qint64 slot) { return m_records[static_cast<size_t>(slot)]; }
    const measpol &operator[](qint64 slot) const { return m_records[static_cast<size_t>(slot)]; }

    // For the graph's loaders and deletion, which rewrite the buffer in place.
    MeasRecords &records() { return m_records; }
    void setBookkeeping(qint64 bigarypos, qint64 bigarycnt)
    {
        m_pos = bigarypos;
        m_cnt = bigarycnt;
    }
    void setExtremes(long double maximum, long double minimum)
    {
        m_max = maximum;
        m_min = minimum;
    }

    // While the graph loads or saves on another thread, readings wait here and go in,
    // in their order, when release() says the buffer is free again.
    void hold() { m_held = true; }
    void release();
    bool held() const { return m_held; }
    qsizetype waiting() const { return static_cast<qsizetype>(m_waiting.size()); }

    // Exchanges records, bookkeeping and extremes with another buffer; each keeps its limit.
    void swapContents(BigAry &other);

private:
    MeasRecords m_records;
    qint64 m_pos = -1;
    qint64 m_cnt = 0;
    qint64 m_maxbuffer;
    qint64 m_pendingMax = -1;
    long double m_max = -1e38L;
    long double m_min = 1e38L;
    bool m_held = false;
    std::vector<measpol> m_waiting;
};
