#include "lcd/ToolWindowPlacement.h"

#include "base/Monitors.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/RegistryIO.h"
#include "base/ToolWindowPosition.h"

namespace {

bool PositionKeyPath(const char* subKey, char* path, size_t size)
{
    return subKey != nullptr && FormatBounded(path, size, "%s\\%s", kRegistryRoot, subKey);
}

PixelRect VirtualScreen()
{
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
            top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// Height of the strip above the client area: frame and caption, the part a
// user drags the window by.
int CaptionHeight(HWND window, const RECT& frame)
{
    POINT clientTop = {0, 0};
    ::ClientToScreen(window, &clientTop);
    const int height = clientTop.y - frame.top;
    return height > 0 ? height : ::GetSystemMetrics(SM_CYCAPTION);
}

} // namespace

bool ReadToolWindowPosition(HWND window, const char* subKey, POINT* corner)
{
    char path[kTextMax + 1];
    if (!PositionKeyPath(subKey, path, sizeof path)) return false;
    const UniqueRegKey key = OpenKeyForRead(HKEY_CURRENT_USER, path);
    if (!key) return false;
    int32_t x = 0;
    int32_t y = 0;
    if (!QueryDword(key.get(), "x", &x) || !QueryDword(key.get(), "y", &y)) return false;
    RECT frame = {};
    if (!::GetWindowRect(window, &frame)) return false;
    if (!CaptionOnScreen(x, y, frame.right - frame.left, CaptionHeight(window, frame), VirtualScreen()))
        return false;
    corner->x = x;
    corner->y = y;
    return true;
}

bool StoreToolWindowPosition(HWND window, const char* subKey)
{
    RECT frame = {};
    if (!::GetWindowRect(window, &frame)) return false;
    if (!PositionWorthStoring(frame.left, frame.top, ::IsIconic(window) != FALSE)) return false;
    char path[kTextMax + 1];
    if (!PositionKeyPath(subKey, path, sizeof path)) return false;
    const UniqueRegKey key = CreateKeyForWrite(HKEY_CURRENT_USER, path);
    return key && SetDword(key.get(), "x", frame.left) && SetDword(key.get(), "y", frame.top);
}

void PlaceToolWindow(HWND window, const char* subKey, HWND insertAfter)
{
    POINT corner = {};
    const bool stored = ReadToolWindowPosition(window, subKey, &corner);
    if (!stored) {
        RECT frame = {};
        ::GetWindowRect(window, &frame);
        int x = 0;
        int y = 0;
        MonitorRect touch;
        if (TouchMonitorIsOther(&touch)) {
            DefaultToolWindowPosition(frame.right - frame.left, frame.bottom - frame.top, touch.Width(),
                                      touch.Height(), &x, &y);
            x += touch.left;
            y += touch.top;
        } else {
            DefaultToolWindowPosition(frame.right - frame.left, frame.bottom - frame.top,
                                      ::GetSystemMetrics(SM_CXFULLSCREEN),
                                      ::GetSystemMetrics(SM_CYFULLSCREEN), &x, &y);
        }
        corner = {x, y};
    }
    ::SetWindowPos(window, insertAfter, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    if (!stored) StoreToolWindowPosition(window, subKey);
}
