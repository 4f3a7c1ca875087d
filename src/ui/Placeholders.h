// Entry points of the windows that start-up creates and the message window
// rebuilds: the LCD setting bar and the mini LCD bar, the mouse-button
// window, and the procedure of the calibration window class.
//
// The bodies behind them are stand-ins: hidden windows from stand-in
// templates with the real dialog ids, which do just enough for start-up,
// shutdown and the message window to run (the mini bar's "&Maximize" adds
// the tray icon). Each is replaced by its real window.
#pragma once

#include <windows.h>

// (Re)builds the LCD setting bar for App().lcdModel; it keeps the old bar's
// visibility. No bar for a model outside 0..2.
void CreateLcdBar(HWND* bar);
void CreateMiniLcdBar(HWND* miniBar);
HWND CreateMouseButtonWindow(HWND owner);

LRESULT CALLBACK CalibrationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// What the mini bar's "&Maximize" calls to add the tray icon, installed by
// the application at start; while unset no icon is added.
void SetTrayIconAdder(bool (*addTrayIcon)());
