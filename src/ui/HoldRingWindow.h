// The ring that shows where a hold was recognised as a right click, and the
// clock of a hold that waits: a small topmost window of the main thread that
// input passes through. The receive thread posts it WM_HOLD_WAITING (it then
// ticks the channel's touch clock when the hold is due) and
// WM_HOLD_RECOGNISED (it shows the ring there for a moment).
#pragma once

#include <windows.h>

// Registers the class once and creates the window, hidden; nullptr on
// failure (the right click by holding then waits for the next report, and
// no ring is shown).
HWND CreateHoldRingWindow(HINSTANCE instance);

// Whether the ring is up now, and where its centre is (screen pixels).
bool HoldRingShown(HWND ring, POINT* centre);
