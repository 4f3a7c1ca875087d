// The command-in-progress box (dialog 167): one hidden instance from start-up
// to shutdown, shown by the device operations while the user asked for it.
#pragma once

#include <windows.h>

// Creates the box modeless without owner, hidden. Ends the process (exit
// code 1, after the event and the message) when it cannot be created.
HWND CreateCommInfoBox(HINSTANCE instance);

// The box has nothing to react to: it only says "please wait".
INT_PTR CALLBACK CommInfoBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
