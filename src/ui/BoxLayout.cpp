#include "ui/BoxLayout.h"

#include "base/Dpi.h"
#include "base/Monitors.h"
#include "resources/resource.h"

UniqueIcon SetBoxIcon(HWND box)
{
    UniqueIcon icon(static_cast<HICON>(::LoadImageA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SETTINGS), IMAGE_ICON,
        MetricForDpi(SM_CXICON, DpiForWindow(box)), MetricForDpi(SM_CYICON, DpiForWindow(box)), 0)));
    if (icon) ::SendMessageA(box, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon.get()));
    return icon;
}

void CentreOnFullScreen(HWND box)
{
    if (CentreOnTouchMonitor(box)) return;
    RECT rc{};
    if (!::GetWindowRect(box, &rc)) return;
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    ::SetWindowPos(box, nullptr, (::GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}
