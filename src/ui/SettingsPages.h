// What the pages of the settings window share with the window and with each
// other, kept apart so that the pages need not know the window and the
// window need not be known by them: the page table, the page origin, the
// page commands to all pages, and the busy guard of actions that open boxes.
//
// Pages. Each page is a modeless child dialog of the settings window,
// created hidden by its CreateXxxPage(settingsWindow) and placed with
// MoveToPageOrigin at its WM_INITDIALOG. Pages answer CMD_PAGE_RELOAD (set
// the controls from the objects) and CMD_PAGE_STORE (copy the controls into
// the objects) and return TRUE for what they handle. Nobody keeps a page
// handle: ask SettingsPage(index) each time, because the Controller page is
// replaced when the controller model changes.
//
// Actions that open boxes. A modal box runs its own message loop, in which
// the settings window, the pages and the message window keep working. A
// page action (Default, ReInit, Refresh, a confirmed change, ...) therefore
// wraps itself in a SettingsBusy and does nothing when SettingsActionRunning()
// says another one is under way. While any runs, the settings window is
// disabled, and a restart notice of the device waits until the last action
// has finished (it replaces objects and pages). After any box, fetch the
// controller, LCD and page again from App() and SettingsPage(), and stop
// when QuitRequested() (base/ModalLoop.h) says the program is ending.
#pragma once

#include <windows.h>

#include "ui/SettingsActions.h"

// The settings window announces itself (at its WM_INITDIALOG, with its tab
// control) and withdraws at WM_NCDESTROY; a window that is not the one
// announced changes nothing when it withdraws.
void AttachSettingsFrame(HWND window, HWND tab);
void DetachSettingsFrame(HWND window);
// Where every page puts its top-left corner, in the window's client coordinates.
void SetSettingsPageOrigin(const RECT& origin);
// The settings window, nullptr when there is none.
HWND SettingsFrameWindow();

// The page at a tab index 0..5; nullptr outside that range, when the page
// could not be created, or when there is no settings window.
HWND SettingsPage(int index);
HWND SettingsControllerPage(); // SettingsPage(kPageController)
HWND SettingsAboutPage();      // SettingsPage(kPageAbout)
// Records the page now at index (the window as it builds its pages,
// CreateControllerPage when it replaces the Controller page).
void SetSettingsPage(int index, HWND page);

// Moves page, keeping its size, to the page origin of its settings window.
void MoveToPageOrigin(HWND page);

// Sends a page command (CMD_PAGE_RELOAD, CMD_PAGE_STORE) to every page,
// index 0 to 5, with the tab control as lParam.
void SendToAllPages(WORD command);

// Busy guard of the actions that open boxes (see above). Nestable.
class SettingsBusy {
public:
    SettingsBusy();
    ~SettingsBusy();
    SettingsBusy(const SettingsBusy&) = delete;
    SettingsBusy& operator=(const SettingsBusy&) = delete;
};
bool SettingsActionRunning();

// For the message window: a restart notice that arrives while an action
// runs is handed over here and re-posted (CMD_DEVICE_RESTARTED) to the
// message window when the last action ends.
void DeferDeviceRestart();

// Timer of the settings window that clears a ReInit busy flag the device
// never released (acknowledged the re-initialisation, never announced its
// restart).
constexpr UINT_PTR kReInitTimeoutTimerId = 4100;
constexpr UINT kReInitTimeoutMs = 8000;
// Arms (again) that time-out.
void ArmReInitTimeout();
