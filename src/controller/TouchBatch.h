// The mouse records of one read of the serial line, collected so that they
// reach the system in one call instead of one call each. Platform-free and
// allocation-free: a fixed array, the order kept, and the bounded retries of
// a refused record. Every record is handed over while the path keeps up;
// once it falls behind the line, moves are merged into the latest position.
#pragma once

#include <atomic>

#include "channel/LineBacklog.h"
#include "controller/TouchConversion.h"

class TouchBatch {
public:
    // One read of the channel is at most 100 bytes; the shortest frame is 7
    // bytes and no payload yields more than two records, so a read whose
    // records are held completely needs 2 * (100 / 7 + 1) = 30. A caller
    // that adds more only sees the batch handed over early.
    static constexpr int kCapacity = 32;
    // A refused record is offered again this many times in all, with a
    // pause after every refusal, then given up. The system refuses
    // injection while a secure desktop or an elevated window is in front;
    // retrying without end would hang the receive thread with the channel
    // lock held, and with it the whole program.
    static constexpr int kAttempts = 10;

    // Hands records[0..count) to the system; returns how many it took, from
    // the first (0 when it refused the first).
    using Sink = int (*)(void* context, const InjectRecord* records, int count);
    // Waits a little after a refusal.
    using Pause = void (*)(void* context);

    TouchBatch(Sink sink, Pause pause, void* context) : m_sink(sink), m_pause(pause), m_context(context) {}

    // From now until End, records are held and handed over together;
    // backlogUs says how far behind the line the reports of this read are
    // (LineBacklog): beyond kCatchUpBacklogUs their moves are merged.
    void Begin(uint32_t backlogUs = 0)
    {
        m_bHolding = true;
        m_bMerging = backlogUs > kCatchUpBacklogUs;
    }
    // Appends records in order. Hands over what is held first when they do
    // not fit (merged first, when merging), and everything at once when
    // nothing is being held.
    void Add(const InjectRecord* records, int count);
    // Hands over what is held, in order; keeps holding. A button-up still
    // undelivered from an earlier hand-over goes first.
    void Flush();
    // Flush, then hand over every later record at once.
    void End();

    int Held() const { return m_nHeld; }
    bool Holding() const { return m_bHolding; }
    // A button-up the system refused for the whole bounded retry: kept, so
    // that the button it releases is not left down, and offered again before
    // anything else at every later hand-over. Moves and downs refused that
    // long are left out instead: a lost move is corrected by the next one,
    // and a lost down leaves nothing pressed.
    bool UpPending() const { return m_bUpPending; }
    // Positions left out by merging since construction: written under the
    // channel's lock, read by any thread.
    uint64_t Merged() const { return m_nMerged.load(std::memory_order_relaxed); }

private:
    // Offers the pending up with the bounded retries; true once it went.
    bool DeliverPendingUp();
    // The system still refuses: records behind a pending up must not reach
    // it before the up, so held[from..) are left out, their ups joining it.
    void DropBehindPendingUp(int from);
    // Keeps of every run of moves held only the last. Presses and releases,
    // with the moves to their positions that precede them, stay in order.
    void MergeMoves();

    Sink m_sink;
    Pause m_pause;
    void* m_context;
    bool m_bHolding = false;
    bool m_bMerging = false;
    std::atomic<uint64_t> m_nMerged{0};
    int m_nHeld = 0;
    InjectRecord m_Held[kCapacity];
    bool m_bUpPending = false;
    InjectRecord m_PendingUp;
};
