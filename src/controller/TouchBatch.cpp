#include "controller/TouchBatch.h"

namespace {

constexpr uint32_t kMouseUpFlags = kMouseLeftUp | kMouseRightUp | kMouseMiddleUp;

bool PureMove(const InjectRecord& r)
{
    return (r.flags & (kMouseDownFlags | kMouseUpFlags)) == 0;
}

} // namespace

void TouchBatch::Add(const InjectRecord* records, int count)
{
    if (records == nullptr) return;
    // The records of one report stay together when they fit at all. A
    // batch that merges makes room by merging before it hands anything over.
    if (m_bMerging && m_nHeld + count > kCapacity) MergeMoves();
    if (m_nHeld + count > kCapacity) Flush();
    for (int i = 0; i < count; ++i) {
        if (m_bMerging && m_nHeld == kCapacity) MergeMoves();
        if (m_nHeld == kCapacity) Flush();
        m_Held[m_nHeld++] = records[i];
    }
    if (!m_bHolding) Flush();
}

bool TouchBatch::DeliverPendingUp()
{
    for (int refusals = 0; refusals < kAttempts; ++refusals) {
        if (m_sink(m_context, &m_PendingUp, 1) > 0) {
            m_bUpPending = false;
            return true;
        }
        m_pause(m_context);
    }
    return false;
}

void TouchBatch::DropBehindPendingUp(int from)
{
    // One record releases every button that is owed an up; its position
    // stays that of the first, where the system last saw the touch.
    for (int i = from; i < m_nHeld; ++i)
        m_PendingUp.flags |= m_Held[i].flags & kMouseUpFlags;
    m_nHeld = 0;
}

void TouchBatch::MergeMoves()
{
    const int held = m_nHeld;
    int kept = 0;
    for (int i = 0; i < m_nHeld; ++i) {
        // A move followed by another move is left out: the button state is
        // the same for both, and the later position is the one that counts.
        if (PureMove(m_Held[i]) && i + 1 < held && PureMove(m_Held[i + 1])) continue;
        m_Held[kept++] = m_Held[i];
    }
    m_nHeld = kept;
    if (kept < held) m_nMerged.fetch_add(static_cast<uint64_t>(held - kept), std::memory_order_relaxed);
}

void TouchBatch::Flush()
{
    if (m_bMerging) MergeMoves();
    if (m_bUpPending && !DeliverPendingUp()) {
        DropBehindPendingUp(0);
        return;
    }
    int next = 0;
    int refusals = 0;
    while (next < m_nHeld) {
        int took = m_sink(m_context, m_Held + next, m_nHeld - next);
        if (took > m_nHeld - next) took = m_nHeld - next;
        if (took > 0) {
            next += took;
            refusals = 0;
            continue;
        }
        m_pause(m_context);
        if (++refusals < kAttempts) continue;
        if ((m_Held[next].flags & kMouseUpFlags) != 0) {
            m_PendingUp = m_Held[next];
            m_bUpPending = true;
            DropBehindPendingUp(next + 1);
            return;
        }
        ++next; // given up: the records behind it still go
        refusals = 0;
    }
    m_nHeld = 0;
}

void TouchBatch::End()
{
    Flush();
    m_bHolding = false;
    m_bMerging = false;
}
