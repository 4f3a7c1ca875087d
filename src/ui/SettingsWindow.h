// The settings window (dialog 133, "Touch device"): a tab control with six
// pages, and "&Keyboard", "&OK", "&Cancel", "&Apply". Created hidden at
// start-up, shown from the tray icon or the LCD bars, hidden by OK and
// Cancel, destroyed at program end together with its pages.
//
// What the pages share with this window (page table, page origin, page
// commands, the busy guard of actions) is in ui/SettingsPages.h.
#pragma once

#include <windows.h>

#include "ui/SettingsPages.h"

// The notification message of the tray icon, delivered to this window.
constexpr UINT kTrayCallbackMessage = 9312;

// Creates the window from dialog 133, owned by owner, hidden; nullptr if it
// cannot be created.
HWND CreateSettingsWindow(HWND owner);

// The Calibration page belongs to the calibration layer, above this one:
// the application installs its creator before the window is created. Without
// one the window stops building its pages at the Calibration tab.
void SetCalibrationPageCreator(HWND (*create)(HWND settingsWindow));

// Shows the page of the selected tab and hides the one shown before. A tab
// index outside the pages or a missing page changes nothing.
void ShowSelectedPage();

// The buttons of the window, reachable by tests; each does nothing while an
// action is running.
void SettingsOk();
void SettingsCancel();
void SettingsApply();
void SettingsKeyboard();
