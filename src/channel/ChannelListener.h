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
// channel no longer serves. OnReadBegin is told how far behind the line the
// reports of the read are, in us (see LineBacklog).
class ReceiveBatchListener {
public:
    virtual void OnReadBegin(uint32_t backlogUs) = 0;
    virtual void OnReadEnd() = 0;

protected:
    ReceiveBatchListener() = default;
    ~ReceiveBatchListener() = default;
};

// Told by the channel when the port itself has gone away (a USB adapter
// unplugged, a line server dropping the connection): the device can send
// nothing more, not even the release of a touch that is down. A listener
// that holds such state implements this next to ChannelListener; the
// channel finds it by a cast, so the controller interface keeps its order.
// The channel also calls it when the touch stream is broken in any other way
// (ChannelVirt::BreakTouchStream).
class LineLossListener {
public:
    // Called under the channel's lock: on the receive thread, or on the
    // thread that broke the stream.
    virtual void OnLineLost() = 0;

protected:
    LineLossListener() = default;
    ~LineLossListener() = default;
};

// Told, under the channel's lock, when time passes without a report: a
// finger held still may send none, and a decision that waits on time (the
// right click by holding) is taken then. The main thread keeps that clock
// (ChannelVirt::TickTouchStream); found by a cast, as LineLossListener.
class TouchClockListener {
public:
    virtual void OnTouchClock() = 0;

protected:
    TouchClockListener() = default;
    ~TouchClockListener() = default;
};
