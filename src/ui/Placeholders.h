// Entry points of the windows that start-up creates and the message window
// rebuilds: the settings window with its Controller and About pages.
//
// The bodies behind them are stand-ins: hidden windows from stand-in
// templates with the real dialog ids, which do just enough for start-up,
// shutdown and the message window to run (the About page shows the
// temperature, the Controller page the identification). Each is replaced by
// its real window.
#pragma once

#include <windows.h>

// The settings window (dialog 133), owned by owner, hidden; nullptr if it
// cannot be created. Its pages are created with it.
HWND CreateSettingsWindow(HWND owner);
// The current Controller page and the About page; nullptr while absent.
HWND SettingsControllerPage();
HWND SettingsAboutPage();
// (Re)creates the Controller page for App().controllerModel as a child of
// parent, shown if the page it replaces was visible. Ends the process when
// the page cannot be created.
void CreateControllerPage(HWND parent);

// The notification message of the tray icon, delivered to the settings window.
constexpr UINT kTrayCallbackMessage = 9312;

