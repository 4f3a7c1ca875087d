#include "channel/LineBacklog.h"

uint32_t LineByteTimeNs(uint32_t baudRate, uint32_t byteSize, uint32_t parity, uint32_t stopBits)
{
    if (baudRate == 0) return 0;
    // In half bits, for the one and a half stop bits.
    const uint64_t stopHalves = stopBits == 1 ? 3 : stopBits == 2 ? 4 : 2;
    const uint64_t halves =
        2 * (1 + static_cast<uint64_t>(byteSize & 0xFF) + (parity != 0 ? 1 : 0)) + stopHalves;
    return static_cast<uint32_t>(halves * 500000000ULL / baudRate);
}

uint32_t LineBacklog::OnRead(int64_t nowUs, uint32_t read, uint32_t queuedAfter, bool waited)
{
    // The earliest the oldest byte of this read can have arrived.
    int64_t oldest = nowUs;
    while (m_count > 0 && m_looks[m_first].arrived <= m_consumed) {
        m_first = (m_first + 1) % kLooks;
        --m_count;
    }
    if (waited) {
        // It ended a wait on a quiet line: nothing older is left.
        m_count = 0;
    } else if (m_count > 0) {
        oldest = m_looks[m_first].atUs;
    } else if (m_bKnown) {
        // It was not there at the last look.
        oldest = m_lastCheckUs;
    }

    m_consumed += read;
    const uint64_t arrived = m_consumed + queuedAfter;
    const bool more =
        m_count == 0 ? queuedAfter > 0 : arrived > m_looks[(m_first + m_count - 1) % kLooks].arrived;
    if (more) {
        if (m_count == kLooks) {
            m_first = (m_first + 1) % kLooks;
            --m_count;
        }
        // What this look saw first came after the last one, or, after a
        // wait for the first byte, just now.
        m_looks[(m_first + m_count) % kLooks] = Look{waited || !m_bKnown ? nowUs : m_lastCheckUs, arrived};
        ++m_count;
    }
    if (arrived > m_lastArrived) {
        // A span ends, and the next begins, where new bytes were seen: both
        // ends count a delivery of the driver's, so a span holds whole ones.
        if (!m_bKnown || m_spanStartArrived == 0) {
            m_spanStartUs = nowUs;
            m_spanStartArrived = arrived;
        } else if (nowUs - m_spanStartUs >= static_cast<int64_t>(kArrivalSpanUs)) {
            m_spanReports = (arrived - m_spanStartArrived) / kTouchReportLineBytes;
            m_spanUs = nowUs - m_spanStartUs;
            m_spanStartUs = nowUs;
            m_spanStartArrived = arrived;
        }
        m_lastArrived = arrived;
        m_lastArrivalUs = nowUs;
    }
    m_lastCheckUs = nowUs;
    m_bKnown = true;

    const uint64_t reports = (static_cast<uint64_t>(read) + queuedAfter) / kTouchReportLineBytes;
    const uint64_t lineUs = reports * kTouchReportLineBytes * m_byteTimeNs / 1000;
    const uint64_t waitedUs = nowUs > oldest ? static_cast<uint64_t>(nowUs - oldest) : 0;
    uint64_t behind = lineUs < waitedUs ? lineUs : waitedUs;
    // The line brings more than the path hands over, over the span being
    // measured once it is long enough, else over the last whole one.
    uint64_t spanReports = m_spanReports;
    int64_t spanUs = m_spanUs;
    if (m_lastArrivalUs - m_spanStartUs >= static_cast<int64_t>(kArrivalSpanSoonUs)) {
        spanReports = (m_lastArrived - m_spanStartArrived) / kTouchReportLineBytes;
        spanUs = m_lastArrivalUs - m_spanStartUs;
    }
    const bool slower =
        spanUs > 0 && spanReports * static_cast<uint64_t>(m_paceNs) > static_cast<uint64_t>(spanUs) * 1000;
    if (!slower && waitedUs <= kCatchUpHoldUpUs) behind = 0;
    m_readReports = read / kTouchReportLineBytes;
    m_bReadMerged = behind > kCatchUpBacklogUs;
    return behind > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(behind);
}

void LineBacklog::OnHandedOver(int64_t nowUs)
{
    // A merged read hands over a few records for many reports: it says
    // nothing of the pace.
    if (m_bReadMerged || m_readReports == 0 || nowUs < m_lastCheckUs) return;
    const int64_t paceNs = (nowUs - m_lastCheckUs) * 1000 / m_readReports;
    m_paceNs = m_bPaceKnown ? m_paceNs + (paceNs - m_paceNs) / 4 : paceNs;
    m_bPaceKnown = true;
    m_readReports = 0;
}

void LineBacklog::Reset()
{
    m_bKnown = false;
    m_consumed = 0;
    m_first = m_count = 0;
    m_spanReports = 0;
    m_spanUs = 0;
    m_spanStartArrived = 0;
    m_lastArrived = 0;
}
