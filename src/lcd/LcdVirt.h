// Interface of the LCD family: the display unit behind the touch controller,
// operated through that controller. The declaration order of the virtual
// operations is the interface; do not reorder.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/Handles.h"

class CtrlVirt;
class ZmrCtrlVirt;

// Results of the key operations and of SendConfig.
constexpr int kLcdDone = 0;
constexpr int kLcdNotDone = 1;    // semaphore busy, no controller, or no such key
constexpr int kLcdUnfitModel = 2; // the controller cannot carry this display

class LcdVirt {
public:
    virtual ~LcdVirt();                                   // 0
    virtual void SetDefaults(int loadStored) = 0;         // 1
    virtual int KeySelect() = 0;                          // 2
    virtual int KeyAuto() = 0;                            // 3
    virtual int KeySpare() = 0;                           // 4
    virtual int KeyLeft() = 0;                            // 5
    virtual int KeyRight() = 0;                           // 6
    virtual int KeyUp() = 0;                              // 7
    virtual int KeyDown() = 0;                            // 8
    virtual int ReleaseKeys() = 0;                        // 9
    virtual int Reserved() { return 0; }                  // 10
    virtual int SendConfig() { return 0; }                // 11
    virtual int LoadConfig() { return 1; }                // 12
    virtual int SaveConfig() { return 1; }                // 13
    virtual int DumpConfig(HANDLE /*file*/) { return 1; } // 14
    virtual int Reserved2(int) { return 1; }              // 15

    // Link to the controller that carries the commands; returns the previous
    // one. Waits for a running key sequence to end, so a sequence never sees
    // the controller change under it.
    CtrlVirt* AttachController(CtrlVirt* controller);
    CtrlVirt* DetachController();

    LcdVirt(const LcdVirt&) = delete;
    LcdVirt& operator=(const LcdVirt&) = delete;

    // Serialises the key operations (initial count 1, maximum 1).
    UniqueKernelHandle m_hSemaphore;
    // Copy of the application value "UseLogEvent"; only LcdType2 keeps it.
    int32_t UseLogEvent = 1;
    // Not owned. Exchanged atomically under the semaphore, read by key
    // operations while they hold it. All on the main thread in practice.
    std::atomic<CtrlVirt*> m_pController{nullptr};
    // -1 in the base; 0 LcdType1, 1 LcdType2, 2 LcdType3.
    int32_t m_nType = -1;

protected:
    explicit LcdVirt(int type);

    // Which controller models can carry a display key.
    enum class ModelFit { Any, Zmr01OrZmr02, Zmr04Only };

    // One code written to the controller's output port, then a pause.
    struct KeyStep {
        uint8_t code;
        uint16_t pauseMs;      // after the code, unless the sequence stops there
        bool goOnAfterFailure; // the code's result does not stop the sequence
    };

    // The frame of every key operation: semaphore (100 ms), controller
    // present, command-in-progress box shown and hidden, model condition;
    // body runs inside it and gives the result.
    using KeyBody = int (*)(LcdVirt& lcd, ZmrCtrlVirt& ctrl, const void* context);
    int RunKeyOperation(ModelFit fit, KeyBody body, const void* context);

    // A key operation that writes steps to the output port.
    int RunKeySequence(ModelFit fit, const KeyStep* steps, int count);
    template <int N> int RunKeySequence(ModelFit fit, const KeyStep (&steps)[N])
    {
        return RunKeySequence(fit, steps, N);
    }
};
