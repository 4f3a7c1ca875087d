#include "channel/ChannelVirt.h"

#include <utility>

ChannelVirt::ChannelVirt(int index) : m_nChannel(index)
{
    // A critical section may be entered again by its owner, which is what
    // lets a listener call Send() while a delivery holds the lock.
    ::InitializeCriticalSection(&m_Lock);
}

ChannelVirt::~ChannelVirt()
{
    ::DeleteCriticalSection(&m_Lock);
}

ChannelListener* ChannelVirt::SetListener(ChannelListener* listener)
{
    // Deliveries run with the lock held, so once we own it no delivery to
    // the previous listener is running, and none can start with it after.
    ::EnterCriticalSection(&m_Lock);
    ChannelListener* previous = std::exchange(m_pListener, listener);
    ReceiveBatchListener* batch = dynamic_cast<ReceiveBatchListener*>(listener);
    ReceiveBatchListener* previousBatch = std::exchange(m_pBatchListener, batch);
    // A read may have begun for the previous listener and now ends with the
    // new one: close its bracket here.
    if (previousBatch != nullptr && previousBatch != batch) previousBatch->OnReadEnd();
    ::LeaveCriticalSection(&m_Lock);
    return previous;
}

void ChannelVirt::TickTouchStream()
{
    ::EnterCriticalSection(&m_Lock);
    if (auto* clock = dynamic_cast<TouchClockListener*>(m_pListener)) clock->OnTouchClock();
    ::LeaveCriticalSection(&m_Lock);
}

void ChannelVirt::BreakTouchStream()
{
    ::EnterCriticalSection(&m_Lock);
    if (auto* watcher = dynamic_cast<LineLossListener*>(m_pListener)) watcher->OnLineLost();
    ::LeaveCriticalSection(&m_Lock);
}
