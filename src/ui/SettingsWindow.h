// The settings window (dialog 133, "Touch device"): a tab control with six
// pages, and "&Keyboard", "&OK", "&Cancel", "&Apply". Created hidden at
// start-up, shown from the tray icon or the LCD bars, hidden by OK and
// Cancel, destroyed at program end together with its pages.
//
// Pages. Each page is a modeless child dialog of this window, created hidden
// by its CreateXxxPage(settingsWindow) and placed with MoveToPageOrigin at
// its WM_INITDIALOG. Pages answer CMD_PAGE_RELOAD (set the controls from the
// objects) and CMD_PAGE_STORE (copy the controls into the objects) and
// return TRUE for what they handle. Nobody keeps a page handle: ask
// SettingsPage(index) each time, because the Controller page is replaced
// when the controller model changes.
//
// Actions that open boxes. A modal box runs its own message loop, in which
// the settings window, the pages and the message window keep working. A
// page action (Default, ReInit, Refresh, a confirmed change, ...) therefore
// wraps itself in a SettingsBusy and does nothing when SettingsActionRunning()
// says another one is under way. While any runs, the settings window is
// disabled, and a restart notice of the device waits until the last action
// has finished (it replaces objects and pages). After any box, fetch the
// controller, LCD and page again from App() and SettingsPage().
#pragma once

#include <windows.h>

#include "ui/SettingsActions.h"

// The notification message of the tray icon, delivered to this window.
constexpr UINT kTrayCallbackMessage = 9312;

// Timer of this window that clears a ReInit busy flag the device never
// released (acknowledged the re-initialisation, never announced its restart).
constexpr UINT_PTR kReInitTimeoutTimerId = 4100;
constexpr UINT kReInitTimeoutMs = 8000;

// Creates the window from dialog 133, owned by owner, hidden; nullptr if it
// cannot be created.
HWND CreateSettingsWindow(HWND owner);

// The Calibration page belongs to the calibration layer, above this one:
// the application installs its creator before the window is created. Without
// one the window stops building its pages at the Calibration tab.
void SetCalibrationPageCreator(HWND (*create)(HWND settingsWindow));

// The page at a tab index 0..5; nullptr outside that range, when the page
// could not be created, or when there is no settings window.
HWND SettingsPage(int index);
HWND SettingsControllerPage(); // SettingsPage(kPageController)
HWND SettingsAboutPage();      // SettingsPage(kPageAbout)

// For CreateControllerPage only: records the page now at index.
void SetSettingsPage(int index, HWND page);

// Moves page, keeping its size, to the page origin of its settings window
// (the tab control's display area, in the window's client coordinates).
void MoveToPageOrigin(HWND page);

// Shows the page of the selected tab and hides the one shown before. A tab
// index outside the pages or a missing page changes nothing.
void ShowSelectedPage();

// Sends a page command (CMD_PAGE_RELOAD, CMD_PAGE_STORE) to every page,
// index 0 to 5.
void SendToAllPages(WORD command);

// The buttons of the window, reachable by tests; each does nothing while an
// action is running.
void SettingsOk();
void SettingsCancel();
void SettingsApply();
void SettingsKeyboard();

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

// Arms (again) the time-out that clears the ReInit busy flag.
void ArmReInitTimeout();
