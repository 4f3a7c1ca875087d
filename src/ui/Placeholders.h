// Entry point of the mouse-button window that start-up creates.
//
// The body behind it is a stand-in: a hidden window from a stand-in
// template with the real dialog id, which does just enough for start-up and
// shutdown to run. It is replaced by the real window.
#pragma once

#include <windows.h>

HWND CreateMouseButtonWindow(HWND owner);
