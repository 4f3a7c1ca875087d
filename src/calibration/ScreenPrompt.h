// Which monitor is the touch screen: a touch says nothing of where it was
// made, so each monitor in turn shows "Touch this screen" full-screen while
// the others are blank, and the one on show when a touch arrives is it.
// Meanwhile the controller hands touches to the prompt and injects nothing.
#pragma once

#include <windows.h>

// Moves on to the next monitor after this long, or at once on Enter or Space.
constexpr UINT kScreenPromptMs = 5000;

constexpr int kScreenPromptAborted = -1; // Escape, or a full round without a touch
constexpr int kScreenPromptQuit = -2;    // a quit request (posted again)

// Runs the prompt over the monitors found by the last refresh; the chosen
// list index, or one of the results above. Main thread; serves messages.
int ChooseScreenByTouch();

// The prompt window showing the text now, for tests; nullptr when none.
HWND ScreenPromptWindow();
