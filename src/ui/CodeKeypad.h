// The access-code keypad (dialog 168): an on-screen numeric keypad that
// checks the access code before "Exec App" and lets the user change it.
// The entry is never shown, only one asterisk per digit.
#pragma once

#include <windows.h>

// Runs the keypad modally, owned by owner, asking what App().keypadState
// says (callers start it with 0). Returns 1 when the code was accepted or a
// change of code was completed, 0 when it was refused or cancelled, -1
// (kModalFailed) when the dialog could not be run and kModalQuit when a quit
// request ended it.
INT_PTR RunCodeKeypad(HWND owner);

// Only the accepting result lets the user on: a keypad that could not even
// be shown (-1) must not open the way.
inline bool CodeKeypadAccepted(INT_PTR result)
{
    return result == 1;
}

// Test seam: called at every keypad opening with its window and the
// question it asks, after it has been placed. Pass nullptr to remove.
using KeypadOpenObserver = void (*)(void* context, HWND keypad, int state);
void SetKeypadOpenObserver(KeypadOpenObserver observer, void* context);
