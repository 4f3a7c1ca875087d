// Starting the system's on-screen keyboard ("Keyboard" in the settings
// window and on the LCD bar).
#pragma once

#include <windows.h>

// True for a 32-bit program on 64-bit Windows, whose system directory is
// redirected to SysWOW64.
bool RunsUnderWow64();

// The path this program starts "osk.exe" from (see OskPathFor); false when
// the system's directories cannot be had or the path does not fit.
bool OnScreenKeyboardPath(char* out, size_t size);

// Starts "osk.exe" and releases the handles of the started process at once;
// the program does not wait for it. False, with the system's error code
// left for GetLastError, when it cannot be started.
bool StartOnScreenKeyboard();

// Ends the first running "osk.exe" found, if any (the LCD bars start a
// fresh one each time).
void EndOnScreenKeyboard();
