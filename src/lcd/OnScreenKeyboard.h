// The system's on-screen keyboard, started fresh from the LCD bars.
#pragma once

// Ends a running "osk.exe" (the first one found) and starts the system
// directory's "osk.exe" anew, so a press always gives a keyboard in front.
// True when the new one was started. Nothing is reported: a system without
// an on-screen keyboard simply gets none.
bool StartOnScreenKeyboard();
