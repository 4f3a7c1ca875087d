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
