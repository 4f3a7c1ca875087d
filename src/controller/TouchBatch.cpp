#include "controller/TouchBatch.h"

void TouchBatch::Add(const InjectRecord* records, int count)
{
    if (records == nullptr) return;
    // The records of one report stay together when they fit at all.
    if (m_nHeld + count > kCapacity) Flush();
    for (int i = 0; i < count; ++i) {
        if (m_nHeld == kCapacity) Flush();
        m_Held[m_nHeld++] = records[i];
    }
    if (!m_bHolding) Flush();
}

void TouchBatch::Flush()
{
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
        if (++refusals == kAttempts) {
            ++next; // given up: the records behind it still go
            refusals = 0;
        }
    }
    m_nHeld = 0;
}

void TouchBatch::End()
{
    Flush();
    m_bHolding = false;
}
