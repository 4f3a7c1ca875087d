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
    ::LeaveCriticalSection(&m_Lock);
    return previous;
}
