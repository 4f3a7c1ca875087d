// The hidden "TouchDevice" window: the program's mailbox on the main thread.
// It re-identifies the device after a restart notice (or touches from an
// unidentified device), brings the controller and LCD objects in line with
// a new identification, reads the temperature once a minute and ends the
// program on command 1044, on WM_CLOSE and when the session ends.
#pragma once

#include <windows.h>

#include "base/IdentRecord.h"

constexpr const char* kMessageWindowClass = "WndMessageClass";
constexpr const char* kMessageWindowTitle = "TouchDevice";

constexpr UINT_PTR kTemperatureTimerId = 0;
constexpr UINT kTemperaturePeriodMs = 60000;

// Registers "WndMessageClass" with icon as its large icon (may be null).
bool RegisterMessageWindowClass(HINSTANCE instance, HICON icon);
// Creates the hidden window; nullptr on failure.
HWND CreateMessageWindow(HINSTANCE instance);
// Arms the periodic temperature reading; false if the timer could not be set.
bool StartTemperatureTimer(HWND window, UINT periodMs);
void StopTemperatureTimer(HWND window);

class MessageWindow {
public:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // CMD_DEVICE_RESTARTED. Never runs twice at once: one that arrives while
    // it runs (a modal box pumps messages) makes it run again afterwards.
    void OnDeviceRestarted();
    // CMD_IDENTIFIED: replaces controller and/or LCD when the identification
    // calls for other models. True if an object was replaced.
    bool OnIdentified(const IdentRecord& ident);
    // WM_TIMER: the temperature to the About page, for models that have it.
    void OnTimer();
    // WM_ENDSESSION for a session that ends: a held touch released, the port
    // closed, no box, the program ends.
    void OnSessionEnd();

private:
    explicit MessageWindow(HWND hwnd) : m_hwnd(hwnd) {}
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void RestartOnce();
    bool ReplaceController(int model, const IdentRecord& ident);
    bool ReplaceLcd(int model, const IdentRecord& ident);

    HWND m_hwnd;
    bool m_bRestartRunning = false;
    bool m_bRestartAgain = false;
};
