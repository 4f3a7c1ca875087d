// Lets right and middle clicks work like left clicks on a push button: the
// button is pressed and released visibly by replayed left-button messages.
#pragma once

#include <windows.h>

enum class AnyButtonMode {
    // The release also sends the button's command to its parent at once:
    // for buttons that end a box, which is gone before the replayed release
    // arrives (Yes and No of the warning box).
    CommandOnRelease = 1,
    // The replayed release alone clicks the button, so its command runs once
    // (Apply, which leaves its window open).
    ReplayOnly = 2,
};

// Subclasses button; false when it could not be. The subclass removes
// itself when the button is destroyed.
bool AnyButtonSubclass(HWND button, AnyButtonMode mode);
