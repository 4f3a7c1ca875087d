// How far the receive path is behind the line: the reports waiting for it,
// those of the read in hand and those still queued in the driver, counted in
// the line's own time. Platform-free; the receive thread tells it of every
// read.
#pragma once

#include <cstdint>

// Reports waiting for more than this much of the line's time mean that the
// pointer lags the finger: the path then catches up, merging moves (each run
// of moves between two button events into its last position) and reading
// more at a time. A person wants the pointer under the finger now, not a
// replay of where it was.
constexpr uint32_t kCatchUpBacklogUs = 8000;

// Bytes of a touch report on the line: start marker, length, the four
// payload bytes, checksum and end marker.
constexpr uint32_t kTouchReportLineBytes = 10;

// Time of one byte on the line in ns: a start bit, the data bits, a parity
// bit unless parity is 0 (none), and the stop bits (0 one, 1 one and a half,
// 2 two, as the line settings store them). 0 for a baud rate of 0.
uint32_t LineByteTimeNs(uint32_t baudRate, uint32_t byteSize, uint32_t parity, uint32_t stopBits);

class LineBacklog {
public:
    explicit LineBacklog(uint32_t byteTimeNs) : m_byteTimeNs(byteTimeNs) {}

    // A read that took `read` bytes ended at nowUs; before it the driver
    // reported `queuedBefore` bytes, now `queuedAfter`. `waited`: the read
    // waited for the first byte of a quiet line, which therefore arrived
    // just now. Returns how far behind the waiting reports are, in us: the
    // line time of the whole reports they make up, but never more than the
    // oldest of them can have waited. A driver (a USB adapter, a pty) may
    // hand over many milliseconds of the line at once; that is no backlog
    // until the path leaves it waiting.
    uint32_t OnRead(int64_t nowUs, uint32_t read, uint32_t queuedBefore, uint32_t queuedAfter, bool waited);
    // The line was given up: nothing is waiting.
    void Reset() { m_bKnown = false; }

private:
    uint32_t m_byteTimeNs;
    bool m_bKnown = false;
    int64_t m_lastCheckUs = 0; // when the driver's queue was last looked at
    int64_t m_frontUs = 0;     // the front of the driver's queue arrived no earlier
};
