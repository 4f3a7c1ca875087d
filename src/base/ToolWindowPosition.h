// Where a tool window (LCD bars, code keypad) may be placed: which stored
// positions are accepted, where a window goes without one, and when its
// position may be stored.
#pragma once

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A stored top-left corner (x, y) is accepted only when the caption strip
// of a window of the given width, captionHeight pixels high, lies wholly
// on the screen: a user can then always grab and move the window. A window
// whose caption would be off any edge, or that has no size, is refused.
bool CaptionOnScreen(int x, int y, int width, int captionHeight, const PixelRect& screen);

// Without an accepted position a tool window goes to the bottom-right
// corner of the screen's client area (fullWidth x fullHeight, from 0, 0),
// keeping its size.
void DefaultToolWindowPosition(int width, int height, int fullWidth, int fullHeight, int* x, int* y);

// A minimised window reports its corner at (-32000, -32000); such a place
// must never be stored, or the window would come back where nobody can see
// it.
bool PositionWorthStoring(int x, int y, bool minimised);
