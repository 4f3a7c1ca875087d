// Entry points of the windows that start-up creates: the mouse-button
// window.
//
// The bodies behind them are stand-ins: hidden windows from stand-in
// templates with the real dialog ids, which do just enough for start-up,
// shutdown and the message window to run. Each is replaced by its real
// window.
#pragma once

#include <windows.h>

HWND CreateMouseButtonWindow(HWND owner);

