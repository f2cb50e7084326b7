// SPDX-License-Identifier: GPL-3.0-or-later
#include "bigary.h"

#include <algorithm>
#include <cmath>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {
constexpr size_t kMapThreshold = size_t(4) << 20;
}

template <typename T>
void *RecordAllocator<T>::allocateBytes(size_t bytes)
{
#ifdef __linux__
    if (bytes >= kMapThreshold) {
        void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        madvise(p, bytes, MADV_HUGEPAGE);
        return p;
    }
#endif
    return ::operator new(bytes, std::align_val_t(alignof(T)));
}

template <typename T>
void RecordAllocator<T>::deallocateBytes(void *p, size_t bytes)
{
#ifdef __linux__
    if (bytes >= kMapThreshold) {
        munmap(p, bytes);
        return;
    }
#endif
    ::operator delete(p, std::align_val_t(alignof(T)));
}

template struct RecordAllocator<measpol>;
// The noise analysis keeps its running sums the same way.
template struct RecordAllocator<double>;
template struct RecordAllocator<float>;

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
    if (m_held) {
        m_waiting.push_back(record);
        return true;
    }
    ++m_cnt;
    ++m_pos;
    if (m_pos > m_maxbuffer)
        m_pos = 0;
    if (m_pos > High()) {
        // Reserve the whole ring once: the pages are only touched as records arrive, and
        // nothing is ever copied to a larger block while the ring fills.
        if (m_records.size() == m_records.capacity())
            m_records.reserve(
                std::max(static_cast<size_t>(m_maxbuffer) + 1, m_records.capacity() + 1));
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

void BigAry::release()
{
    m_held = false;
    std::vector<measpol> waiting;
    waiting.swap(m_waiting);
    for (const measpol &r : waiting)
        Append(r);
}

void BigAry::swapContents(BigAry &other)
{
    m_records.swap(other.m_records);
    std::swap(m_pos, other.m_pos);
    std::swap(m_cnt, other.m_cnt);
    std::swap(m_max, other.m_max);
    std::swap(m_min, other.m_min);
    // A limit lowered meanwhile below what is now held waits for the next Clear, as a
    // lowered limit always does.
    for (BigAry *b : {this, &other}) {
        if (b->m_maxbuffer < b->High()) {
            b->m_pendingMax = b->m_maxbuffer;
            b->m_maxbuffer = b->High();
        }
    }
}
