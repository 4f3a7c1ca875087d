// What the program's own boxes share: the application icon as their large
// icon, and their place on the screen.
#pragma once

#include <windows.h>

#include "base/Handles.h"

// Loads a private copy of icon 114 and makes it the box's large icon; the
// box destroys the returned icon when it is destroyed.
UniqueIcon SetBoxIcon(HWND box);

// Centres box, keeping its size, on the full-screen client area.
void CentreOnFullScreen(HWND box);
