#include "ui/PageOrigin.h"

#include <commctrl.h>

#include "resources/resource.h"

void MoveToPageOrigin(HWND page)
{
    const HWND parent = ::GetParent(page);
    const HWND tab = parent != nullptr ? ::GetDlgItem(parent, IDC_SETTINGS_TAB) : nullptr;
    if (tab == nullptr) return;
    RECT area = {};
    if (!::GetWindowRect(tab, &area)) return;
    // Client coordinates of the parent: the page is its child.
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&area), 2);
    ::SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::SetWindowPos(page, HWND_TOP, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}
