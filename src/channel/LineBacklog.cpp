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

uint32_t LineBacklog::OnRead(int64_t nowUs, uint32_t read, uint32_t queuedBefore, uint32_t queuedAfter,
                             bool waited)
{
    // The earliest the oldest byte of this read can have arrived.
    int64_t oldest = nowUs;
    if (!waited && m_bKnown) oldest = queuedBefore == 0 ? m_lastCheckUs : m_frontUs;
    // What stays queued came after the oldest byte of this read, and after
    // the last look at the queue when this read took all that it held.
    m_frontUs = oldest;
    if (!waited && m_bKnown && read >= queuedBefore && m_lastCheckUs > m_frontUs) m_frontUs = m_lastCheckUs;
    m_lastCheckUs = nowUs;
    m_bKnown = true;

    const uint64_t reports = (static_cast<uint64_t>(read) + queuedAfter) / kTouchReportLineBytes;
    const uint64_t lineUs = reports * kTouchReportLineBytes * m_byteTimeNs / 1000;
    const uint64_t waitedUs = nowUs > oldest ? static_cast<uint64_t>(nowUs - oldest) : 0;
    const uint64_t behind = lineUs < waitedUs ? lineUs : waitedUs;
    return behind > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(behind);
}
