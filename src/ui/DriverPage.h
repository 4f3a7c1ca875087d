// The Driver page of the settings window (dialog 149).
#pragma once

#include <windows.h>

// Creates the page hidden as a child of the settings window; nullptr when it
// cannot be created.
HWND CreateDriverPage(HWND settingsWindow);
