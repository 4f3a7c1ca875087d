// Positions of the small tool windows (the LCD bars, the code keypad) under
// HKEY_CURRENT_USER "Software\Mavrel\TactilePane\<subKey>", values "x" and
// "y": the top-left corner of the window in screen pixels.
#pragma once

#include <windows.h>

// The stored corner, when both values are REG_DWORD and put the window's
// caption wholly on the screen; false otherwise.
bool ReadToolWindowPosition(HWND window, const char* subKey, POINT* corner);

// Stores the window's top-left corner, unless it is minimised (its corner
// is then the parking place -32000, not a place to come back to). False
// when nothing was stored.
bool StoreToolWindowPosition(HWND window, const char* subKey);

// Moves the window, keeping its size, to its stored position, or when that
// is refused to the bottom-right corner of the screen's client area, which
// is then stored at once. insertAfter is HWND_TOPMOST, HWND_NOTOPMOST or
// HWND_TOP.
void PlaceToolWindow(HWND window, const char* subKey, HWND insertAfter);
