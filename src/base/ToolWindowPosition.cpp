#include "base/ToolWindowPosition.h"

namespace {

// Where Windows parks the corner of a minimised top-level window.
constexpr int kMinimisedCoordinate = -32000;

} // namespace

bool CaptionOnScreen(int x, int y, int width, int captionHeight, const PixelRect& screen)
{
    if (width <= 0 || captionHeight <= 0) return false;
    // Compared as differences in 64 bits: a stored value near INT_MAX must
    // not wrap round onto the screen.
    const long long right = static_cast<long long>(x) + width;
    const long long bottom = static_cast<long long>(y) + captionHeight;
    return x >= screen.left && y >= screen.top && right <= screen.right && bottom <= screen.bottom;
}

void DefaultToolWindowPosition(int width, int height, int fullWidth, int fullHeight, int* x, int* y)
{
    *x = fullWidth - width;
    *y = fullHeight - height;
}

bool PositionWorthStoring(int x, int y, bool minimised)
{
    return !minimised && x > kMinimisedCoordinate && y > kMinimisedCoordinate;
}
