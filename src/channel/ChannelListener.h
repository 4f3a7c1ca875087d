// What a channel delivers received payloads to: the current controller.
#pragma once

#include <cstdint>

class ChannelListener {
public:
    // Called on the channel's receive thread, under the channel's lock.
    virtual int OnReceive(const uint8_t* payload, int length) = 0;

protected:
    ChannelListener() = default;
    // Not deletable through this interface.
    ~ChannelListener() = default;
};

// A listener that also implements this is told where the payloads of one
// read of the line begin and end, so that it can hand their effects to the
// system together. Both are called on the receive thread under the channel's
// lock, like OnReceive; OnReadEnd also when the listener is replaced (on the
// replacing thread, under the lock), so nothing stays held in a listener the
// channel no longer serves.
class ReceiveBatchListener {
public:
    virtual void OnReadBegin() = 0;
    virtual void OnReadEnd() = 0;

protected:
    ReceiveBatchListener() = default;
    ~ReceiveBatchListener() = default;
};
