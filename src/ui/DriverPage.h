// The Driver page of the settings window (dialog 149): the mounting found by
// calibration, the touch mode, the LCD topmost, communication-box and
// event-log switches, and the system's double-click area and time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/DialogObject.h"

// Creates the page hidden as a child of the settings window; nullptr on
// failure. Creating it applies the stored double-click settings to the system.
HWND CreateDriverPage(HWND settingsWindow);

class DriverPage : public DialogObject<DriverPage> {
public:
    // CMD_PAGE_RELOAD: every control from the current controller.
    void Reload();
    // CMD_PAGE_STORE: the controls into the current controller; the
    // double-click settings go to the system as well.
    void Store();
    // CMD_ROTATION_CHANGED: Rotate and Swap X/Y only.
    void ReloadMounting();
    // The user has picked a touch mode, by mouse, keyboard or wheel: a
    // change is confirmed and logged, a refusal selects the stored mode.
    void OnTouchModeChosen();
    // WM_HSCROLL from one of the two sliders.
    void OnScroll(HWND slider, int code, int thumbPosition);

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void SetUpSliders();
    void WriteLabel(int sliderId, int32_t value);

    // The touch mode the user last agreed to (the stored one after a load):
    // a second notification of the same choice asks nothing.
    int32_t m_nChosenMode = 0;
    // A question is open; notifications meanwhile are not questions of their own.
    bool m_bAsking = false;

    friend class DialogObject<DriverPage>;
};
