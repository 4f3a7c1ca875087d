// Interface of the channel family. The declaration order of the virtual
// operations is the interface; do not reorder.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/IdentRecord.h"
#include "channel/ChannelListener.h"

class ChannelVirt {
public:
    virtual ~ChannelVirt();                                    // 0
    virtual bool Open() = 0;                                   // 1
    virtual bool Close() = 0;                                  // 2
    virtual bool Identify(IdentRecord* out, bool notify) = 0;  // 3
    virtual bool ReInit() = 0;                                 // 4
    virtual bool Send(const uint8_t* payload, int length) = 0; // 5
    virtual bool NoOperation(int) { return true; }             // 6
    virtual bool DumpSettings(HANDLE file) = 0;                // 7

    // Exchange the listener under the lock and return the previous one.
    // When either returns, no delivery to the previous listener is in
    // progress or will start, and whatever it held back from a read has
    // been handed on (OnReadEnd).
    ChannelListener* SetListener(ChannelListener* listener);
    ChannelListener* ClearListener() { return SetListener(nullptr); }

    // The stream of touch reports was broken (a restart notice, a failed
    // identification, a port switch, a read dropped for line errors): the
    // device's release of a touch that is down may never come, so the
    // listener releases it now. Takes the lock; any thread. A listener that
    // holds no touch does nothing, and a second call releases nothing more.
    void BreakTouchStream();
    // Time has passed for the touch that is down (see TouchClockListener).
    // Takes the lock; any thread.
    void TickTouchStream();

    int ChannelIndex() const { return m_nChannel; }

    ChannelVirt(const ChannelVirt&) = delete;
    ChannelVirt& operator=(const ChannelVirt&) = delete;

protected:
    explicit ChannelVirt(int index);

    // Recursive: a listener may Send() from within OnReceive().
    CRITICAL_SECTION m_Lock;
    // Written under m_Lock by the main thread; read under m_Lock by the
    // receive thread.
    ChannelListener* m_pListener = nullptr;
    // The same object when it also takes the read brackets, else nullptr;
    // set and read with m_pListener.
    ReceiveBatchListener* m_pBatchListener = nullptr;
    int m_nChannel = -1;
};
