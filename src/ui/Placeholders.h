// Entry points of the windows that start-up creates: the mouse-button
// window, and the procedure of the calibration window class.
//
// The bodies behind them are stand-ins: hidden windows from stand-in
// templates with the real dialog ids, which do just enough for start-up,
// shutdown and the message window to run. Each is replaced by its real
// window.
#pragma once

#include <windows.h>

HWND CreateMouseButtonWindow(HWND owner);

LRESULT CALLBACK CalibrationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
