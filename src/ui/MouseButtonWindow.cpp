#include "ui/MouseButtonWindow.h"

#include <memory>

#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/Fatal.h"
#include "base/RegistryIO.h"
#include "controller/ZmrCtrlVirt.h"
#include "resources/resource.h"
#include "ui/DriverMouseLogic.h"

const char* const kMouseButtonPositionKey = "Software\\Mavrel\\TactilePane\\MouseButton";

namespace {

// Where the window goes when no usable position is stored.
constexpr int kFallbackX = 10;
constexpr int kFallbackY = 10;

ZmrCtrlVirt* CurrentController()
{
    return dynamic_cast<ZmrCtrlVirt*>(App().controller.load());
}

ScreenRect VirtualScreen()
{
    const int32_t left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int32_t top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
            top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

} // namespace

HWND CreateMouseButtonWindow(HWND owner)
{
    const HWND hwnd = MouseButtonWindow::CreateModeless(std::make_unique<MouseButtonWindow>(), App().instance,
                                                        IDD_MOUSE_BUTTON, owner);
    if (hwnd == nullptr) FatalCreationFailure("OutOfMemory - DLG_MOUSE_BUTTON");
    ::ShowWindow(hwnd, SW_SHOW);
    ::UpdateWindow(hwnd);
    return hwnd;
}

INT_PTR MouseButtonWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        RestorePosition();
        ShowLetter();
        return TRUE;
    case WM_MOVE:
        StorePosition();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_MOUSE_BUTTON && HIWORD(wParam) == BN_CLICKED) {
            OnClicked();
        } else if (LOWORD(wParam) == CMD_MOUSE_BUTTON_CHANGED) {
            ShowLetter();
        } else {
            return FALSE;
        }
        ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void MouseButtonWindow::OnClicked()
{
    ZmrCtrlVirt* ctrl = CurrentController();
    // The receive thread clears the flag when the touch is done; a click
    // while armed changes nothing.
    if (ctrl != nullptr && ctrl->m_bAssignedArmed == 0) ctrl->m_bAssignedArmed = 1;
    ShowLetter();
}

void MouseButtonWindow::ShowLetter()
{
    const ZmrCtrlVirt* ctrl = CurrentController();
    const char* letter =
        ctrl != nullptr
            ? MouseButtonWindowLetter(ctrl->MouseButton, ctrl->AssignedMouseButton, ctrl->m_bAssignedArmed)
            : "?";
    ::SetDlgItemTextA(m_hwnd, IDC_MOUSE_BUTTON, letter);
}

void MouseButtonWindow::RestorePosition()
{
    int32_t x = kFallbackX;
    int32_t y = kFallbackY;
    MonitorRect touch;
    if (TouchMonitorIsOther(&touch)) {
        x += touch.left;
        y += touch.top;
    }
    const UniqueRegKey key = OpenKeyForRead(HKEY_CURRENT_USER, kMouseButtonPositionKey);
    int32_t storedX = 0;
    int32_t storedY = 0;
    if (key && QueryDword(key.get(), "x", &storedX) && QueryDword(key.get(), "y", &storedY)) {
        // The caption must be reachable at the stored place: measure it here.
        RECT outer = {};
        POINT client = {0, 0};
        ::GetWindowRect(m_hwnd, &outer);
        ::ClientToScreen(m_hwnd, &client);
        const int32_t width = outer.right - outer.left;
        const int32_t captionHeight = client.y - outer.top;
        if (CaptionOnScreen(storedX, storedY, width, captionHeight, VirtualScreen())) {
            x = storedX;
            y = storedY;
        }
    }
    const ZmrCtrlVirt* ctrl = CurrentController();
    const bool topMost = ctrl != nullptr && ctrl->MouseButtonTopMost == 1;
    ::SetWindowPos(m_hwnd, topMost ? HWND_TOPMOST : HWND_TOP, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void MouseButtonWindow::StorePosition()
{
    // A minimised window reports a far-away place that must never come back.
    if (::IsIconic(m_hwnd)) return;
    RECT outer = {};
    if (!::GetWindowRect(m_hwnd, &outer)) return;
    const UniqueRegKey key = CreateKeyForWrite(HKEY_CURRENT_USER, kMouseButtonPositionKey);
    if (!key) return;
    SetDword(key.get(), "x", outer.left);
    SetDword(key.get(), "y", outer.top);
}
