// What the two halves of the serial channel share: the sending side and the
// port (CommProtocol2.cpp) and the receive thread with its reconnection
// (CommReceive.cpp).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/Handles.h"
#include "channel/CommPortApi.h"
#include "channel/CommProtocol2.h"
#include "channel/FrameCodec.h"

namespace comm {

// The recursive channel lock (or the send lock) for one scope;
// exception-safe for the listener calls made under it.
class LockScope {
public:
    explicit LockScope(CRITICAL_SECTION& lock) : m_lock(lock) { ::EnterCriticalSection(&m_lock); }
    ~LockScope() { ::LeaveCriticalSection(&m_lock); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

private:
    CRITICAL_SECTION& m_lock;
};

// The most one read takes while the path is behind the line: a hundred touch
// reports, some 95 ms of the fastest line. Each read costs the same few calls
// into the system whatever its size; under Wine, where a call is a round trip
// to its server, reads of 100 bytes would leave a loaded machine unable to
// take even the line's pace, merged moves or not.
constexpr int kCatchUpReadSize = 1000;

// One overlapped transfer: its record, its manual-reset event and its
// buffer. While the driver holds the transfer, it may write into all three,
// so a slot whose transfer could not be ended is never freed
// (LeaveToDriver).
struct IoSlot {
    OVERLAPPED overlap = {};
    UniqueKernelHandle event;
    // A read takes kFrameBufferSize bytes at most while the path keeps up,
    // the whole buffer while it catches up (see CommReceive.cpp).
    uint8_t buffer[kCatchUpReadSize] = {};
    bool pending = false; // a transfer was started and has not been seen to end

    // Null when the event cannot be created.
    static std::unique_ptr<IoSlot> Create();
    // Ready for the next transfer.
    void Arm();
};

// What the receive thread and the channel share. The channel gives up its
// reference at Close; a thread that did not end in time keeps the block,
// and with it the cancel event, alive until it ends.
struct ReceiveShared {
    UniqueKernelHandle cancel;     // manual-reset: set once by Close, seen by every later wait
    std::atomic<bool> stop{false}; // set by Close just before the cancel event
    // The thread's visits to the channel object (see ChannelVisit) and
    // Close's word that the object is no longer there for it.
    std::atomic<bool> visiting{false};
    std::atomic<bool> detached{false};

    // Called by Close when the thread did not end in time: returns once the
    // thread is outside the channel object, which it never enters again.
    void Detach();
};

// The receive thread's own state, handed over at its start.
struct ReceiveStart {
    std::shared_ptr<ReceiveShared> shared;
    CommProtocol2* channel = nullptr; // entered only within a ChannelVisit
    UniqueFileHandle port;            // the thread's own duplicate of the port handle
    std::unique_ptr<IoSlot> rx;       // null while a lost read's slot is being replaced
    char portName[MAX_PATH] = {};
    uint32_t byteTimeNs = 0; // of the line settings the port was opened with
};

// The receive thread's pass into the channel object. Close, when the thread
// has not ended in time, first marks the object gone and then waits until no
// visit is in progress; a visit that starts after the mark is refused. Both
// sides use sequentially consistent atomics, so one of them always sees the
// other. Nothing inside a visit waits on the device except through Send,
// whose waits are bounded, so Close's wait for the visit to end is short.
class ChannelVisit {
public:
    explicit ChannelVisit(ReceiveShared& shared) : m_shared(shared)
    {
        m_shared.visiting.store(true);
        m_ok = !m_shared.detached.load();
        if (!m_ok) m_shared.visiting.store(false);
    }
    ~ChannelVisit()
    {
        if (m_ok) m_shared.visiting.store(false);
    }
    explicit operator bool() const { return m_ok; }
    ChannelVisit(const ChannelVisit&) = delete;
    ChannelVisit& operator=(const ChannelVisit&) = delete;

private:
    ReceiveShared& m_shared;
    bool m_ok = false;
};

// The channel's own exchanges (identification, re-initialisation) and the
// restart notice.
constexpr uint8_t kIdentQuery = 0x01;
constexpr uint8_t kIdentReply = 0x81;
constexpr uint8_t kReInitRequest = 0x87;
constexpr uint8_t kReInitReply = 0x07;
constexpr uint8_t kRestartNotice = 0x92;

constexpr DWORD kCancelRetryMs = 20;
// How long a cancelled transfer is given to end before its slot is left to
// the driver.
constexpr DWORD kCancelBoundMs = 100;

// Cancels the calling thread's transfer on port and waits, bounded, for it
// to end; true (with the bytes it moved) once it has. CancelIo is repeated:
// a cancel can be missed while the driver re-arms a read after a spurious
// wake-up (seen under Wine).
bool EndTransfer(HANDLE port, IoSlot& slot, DWORD* count);

// The transfer may still complete into the slot at any time: the slot is
// deliberately never freed. Happens only with a driver that does not end a
// cancelled transfer.
void LeaveToDriver(std::unique_ptr<IoSlot> slot);

// Purges, sizes the queues and applies the timeouts and line settings.
bool Configure(HANDLE port, const CommSettings& settings);

// The write timeouts the port is opened with: the stored ones, or, when both
// are 0 (no timeout at all), 500 ms plus 2 ms per byte.
void WriteTimeouts(const CommSettings& settings, DWORD* constantMs, DWORD* perByteMs);

// A second handle of the same port, owned by the caller.
UniqueFileHandle DuplicatePort(HANDLE port);

// Opens a port for the channel: read and write, exclusive, overlapped.
UniqueFileHandle OpenPort(const char* name);

} // namespace comm
