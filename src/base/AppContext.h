// The application's current objects and the windows that other subsystems
// post to. Start-up fills it; the message window replaces the controller and
// LCD at run time; the Hardware page replaces the channel.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/IdentRecord.h"

class ChannelVirt;
class CtrlVirt;
class LcdVirt;

struct AppContext {
    // Owned by the application; replaced only on the main thread. The
    // channel pointer changes by atomic exchange because the receive thread
    // of the old channel may still be running while it is swapped.
    std::atomic<ChannelVirt*> channel{nullptr};
    // Null between destroying an old controller (or LCD) and creating the
    // new one, so nothing reads a destroyed object. Read by the receive
    // thread (event writing) as found.
    std::atomic<CtrlVirt*> controller{nullptr};
    std::atomic<LcdVirt*> lcd{nullptr};

    IdentRecord ident; // main thread only
    int controllerModel = -1;
    int lcdModel = -1;

    // Window handles, set once at start-up on the main thread (the
    // mouse-button window after the receive thread has started); read by
    // any thread as found (plain 32-bit values).
    HWND messageWindow = nullptr;     // "TouchDevice"
    HWND mouseButtonWindow = nullptr; // gets CMD_MOUSE_BUTTON_CHANGED
    HWND commInfoBox = nullptr;       // "Please wait command is processing"
    HWND holdRingWindow = nullptr;    // times a hold and shows its ring

    // Main thread only. The LCD bar is rebuilt when the LCD model changes.
    HINSTANCE instance = nullptr;
    HWND settingsWindow = nullptr; // tabbed settings dialog; owns the pages
    HWND lcdBar = nullptr;         // "Setting LCD"
    HWND miniLcdBar = nullptr;     // "LCD"

    // Set by the Controller page's "ReInit", cleared by the message window
    // after the restart notice; only ever changed by atomic exchange.
    std::atomic<long> reInitBusy{0};

    uint32_t accessCode = 0; // loaded at start-up; main thread only
    // A "Code" value is stored but is no four-byte REG_DWORD: no entry
    // matches it until a new code is stored. Main thread only.
    bool accessCodeDamaged = false;
    int keypadState = 0;

    // Set to 1 by the receive thread when the device needs identifying again
    // (restart notice, touches while unidentified); cleared by the message
    // window when it starts handling. Only the 0 -> 1 transition posts.
    std::atomic<long> restartPending{0};

    bool embedded = false; // embedded edition of the operating system
};

// The one application context of the process.
AppContext& App();

// Private WM_COMMAND identifiers to the message window and others.
constexpr WORD CMD_WINDOW_START = 4000;
constexpr WORD CMD_PAGE_RELOAD = 4001;
constexpr WORD CMD_DEVICE_RESTARTED = 4002;
constexpr WORD CMD_PAGE_STORE = 4003;
constexpr WORD CMD_IDENTIFIED = 4004;
constexpr WORD CMD_CTRL_INFO = 4005;
constexpr WORD CMD_LCD_BAR_REFRESH = 4006;
constexpr WORD CMD_ROTATION_CHANGED = 4007;
constexpr WORD CMD_MOUSE_BUTTON_CHANGED = 4008;
constexpr WORD CMD_APP_EVENT = 4009; // an event to write on the main thread (PostAppEvent)
// The line may have changed state (lost, another port, identification
// gone): the port search looks at it again.
constexpr WORD CMD_LINE_CHANGED = 4010;
// To the hold-ring window, posted by the receive thread: a hold is waiting
// (wParam: ms until it is due; the window then ticks the channel's touch
// clock), or one was recognised (lParam: the point on the absolute scale,
// x in the low and y in the high word).
constexpr UINT WM_HOLD_WAITING = WM_APP + 40;
constexpr UINT WM_HOLD_RECOGNISED = WM_APP + 41;
constexpr WORD CMD_EXIT_PROGRAM = 1044;
constexpr WORD CMD_TEMPERATURE = 1138;

// Marks a restart pending and posts CMD_DEVICE_RESTARTED to the message
// window when the flag goes from 0 to 1. Safe on any thread.
void SignalDeviceRestart();
// Posts CMD_LINE_CHANGED to the message window. Safe on any thread.
void SignalLineChanged();
