// Interface of the controller family. The declaration order of the
// operations is the interface; do not reorder.
#pragma once

#include <windows.h>

#include <cstdint>

#include "channel/ChannelListener.h"

// 0 reply arrived, 1 no reply after three sends, -1 aborted, 2 no channel or
// timer failure.
using TransactResult = int;

// A controller is the listener of its channel; OnReceive stays the first
// operation.
class CtrlVirt : public ChannelListener {
public:
    int OnReceive(const uint8_t* payload, int length) override = 0;                                // 0
    virtual TransactResult Transact(const uint8_t* command, uint8_t length, uint8_t expected) = 0; // 1
    virtual TransactResult ReadConfig() = 0;                                                       // 2
    virtual TransactResult WriteConfig() = 0;                                                      // 3
    virtual TransactResult WriteStabilization(int unused) = 0;                                     // 4
    virtual TransactResult ReadStabilization(int unused) = 0;                                      // 5
    virtual TransactResult WriteFilter(int unused) = 0;                                            // 6
    virtual TransactResult ReadFilter(int unused) = 0;                                             // 7
    virtual int InputLocked() = 0;                                                                 // 8
    virtual int LoadSettings() = 0;                                                                // 9
    virtual int SaveSettings() = 0;                                                                // 10
    virtual int DumpSettings(HANDLE file) = 0;                                                     // 11
    virtual int NoOperation(int) = 0;                                                              // 12
    virtual int ReadTemperature(float* celsius) = 0;                                               // 13

    // Model index 0..3, -1 until a model class sets it.
    int32_t m_nType = -1;
    // Write event-log entries (1) or not (0). Held here rather than in the
    // family base so that event writing can consult the current controller
    // without knowing its class. Written by the main thread, read by any
    // thread as found (plain 32-bit value).
    volatile int32_t UseLogEvent = 1;

protected:
    CtrlVirt() = default;
    // Not deletable through this interface: the family base declares the
    // virtual destructor.
    ~CtrlVirt() = default;
};
