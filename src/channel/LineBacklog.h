// How far the receive path is behind the line: the reports waiting for it,
// those of the read in hand and those still queued in the driver, counted in
// the line's own time. Platform-free; the receive thread tells it of every
// read.
#pragma once

#include <cstdint>

// Reports waiting for more than this much of the line's time, which have
// waited that long, while the line brings more than the path can hand over,
// mean that the pointer lags the finger and falls further behind: the path
// then catches up, merging moves (each run of moves between two button
// events into its last position) and reading more at a time. A person wants
// the pointer under the finger now, not a replay of where it was.
constexpr uint32_t kCatchUpBacklogUs = 8000;
// While the path hands over faster than the line brings, a group of reports
// that a pty or USB adapter delivers at once drains before the next, and the
// last of it has waited for the others; only a hold-up that left the oldest
// waiting this long is caught up.
constexpr uint32_t kCatchUpHoldUpUs = 2 * kCatchUpBacklogUs;
// The line's pace is measured over spans of this long, from a look at newly
// arrived bytes to another; once the span being measured is a third of that
// long (three deliveries of 20 ms), it speaks for itself.
constexpr uint32_t kArrivalSpanUs = 200000;
constexpr uint32_t kArrivalSpanSoonUs = 60000;

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

    // A read that took `read` bytes ended at nowUs, and the driver then
    // held `queuedAfter` bytes. `waited`: the read waited for the first
    // byte of a quiet line, which therefore arrived just now. Returns how
    // far behind the waiting reports are, in us: the line time of the whole
    // reports they make up, but never more than the oldest of them can have
    // waited: since the look at the driver's queue before the first that
    // saw it. A driver (a USB adapter, a pty) may hand over many
    // milliseconds of the line at once; that is no backlog until the path
    // leaves it waiting.
    // 0 while the path keeps up: while handing over what arrived in the
    // last span of the line (kArrivalSpanUs), at the pace of the last reads
    // that were not merged, takes less than the span, unless the oldest
    // waited more than kCatchUpHoldUpUs. A short hold-up of the system then
    // costs a moment's lag, not positions; a path that is slower than the
    // line (a loaded machine, an injection that costs milliseconds, a line
    // faster than any real one) catches up.
    uint32_t OnRead(int64_t nowUs, uint32_t read, uint32_t queuedAfter, bool waited);
    // The records of the last read were handed over at nowUs.
    void OnHandedOver(int64_t nowUs);
    // The line was given up, or bytes were dropped: nothing is waiting.
    void Reset();

private:
    // A look at the queue: bytes up to `arrived` (counted from the first
    // byte read) had come in, those it saw first no earlier than atUs.
    struct Look {
        int64_t atUs;
        uint64_t arrived;
    };
    static constexpr int kLooks = 16;

    uint32_t m_byteTimeNs;
    bool m_bKnown = false;
    uint64_t m_consumed = 0;   // bytes read in all
    int64_t m_lastCheckUs = 0; // when the queue was last looked at
    // The last read (it ended at m_lastCheckUs), for the pace of handing over.
    uint32_t m_readReports = 0;
    bool m_bReadMerged = false;
    // Time to hand over one report, ns: the first pace seen, then a moving
    // average over a quarter of each new one.
    bool m_bPaceKnown = false;
    int64_t m_paceNs = 0;
    // The line's pace: the reports that arrived over the last whole span,
    // and the span now being measured, which began at a look that saw new
    // bytes and runs to the last such look.
    uint64_t m_spanReports = 0;
    int64_t m_spanUs = 0;
    int64_t m_spanStartUs = 0;
    uint64_t m_spanStartArrived = 0;
    uint64_t m_lastArrived = 0;
    int64_t m_lastArrivalUs = 0;
    // The looks that saw bytes not yet read, oldest first (a ring). When
    // it is full the oldest is forgotten, which only makes the wait known
    // shorter.
    Look m_looks[kLooks] = {};
    int m_first = 0;
    int m_count = 0;
};
