// The drawing test: a full-screen, topmost white window of the calibration
// class on which the touch path is drawn as a thin black line while the
// finger is down. It changes nothing in the controller and closes on Escape
// or after ten seconds without touch activity.
#pragma once

#include <windows.h>

// Opens the window; 1 once it is shown, 0 when it could not be created
// (reported) or a calibration or drawing window is open already.
int OpenDrawingWindow();

// Procedure the drawing window is subclassed with.
LRESULT CALLBACK DrawingWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
