// Where a page of the settings window sits: the display area of the
// window's tab control, in the window's client coordinates.
#pragma once

#include <windows.h>

// Moves page (a child of the settings window) to the top-left corner of the
// tab control's display area, keeping its size and putting it on top. A
// parent without the tab control leaves the page where it is.
void MoveToPageOrigin(HWND page);
