// The floating mouse-button window "MB" (dialog 166): its one button shows
// the letter of the button the next touch produces; a click arms the
// one-shot, so the next touch uses the "Mouse window" button instead.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/DialogObject.h"

// Creates the window modeless, owned by owner, at its stored place, and
// shows it. Ends the process when it cannot be created.
HWND CreateMouseButtonWindow(HWND owner);

// Under HKEY_CURRENT_USER: kRegistryRoot + "\\MouseButton", values "x", "y".
extern const char* const kMouseButtonPositionKey;

class MouseButtonWindow : public DialogObject<MouseButtonWindow> {
public:
    // The button was clicked: arm the one-shot (once) and show its letter.
    void OnClicked();
    // CMD_MOUSE_BUTTON_CHANGED and start: the letter from the controller.
    void ShowLetter();

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void RestorePosition();
    void StorePosition();

    friend class DialogObject<MouseButtonWindow>;
};
