#include "ui/MousePage.h"

#include <commctrl.h>

#include <memory>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/Reporting.h"
#include "controller/ZmrCtrlVirt.h"
#include "resources/resource.h"
#include "ui/ConfirmBox.h"
#include "ui/DriverMouseLogic.h"
#include "ui/SettingsPages.h"

namespace {

constexpr UINT_PTR kRadioSubclassId = 1;
constexpr int kButtonRadios[] = {IDC_BUTTON_LEFT, IDC_BUTTON_MIDDLE, IDC_BUTTON_RIGHT};
constexpr int kWindowRadios[] = {IDC_WINDOW_LEFT, IDC_WINDOW_MIDDLE, IDC_WINDOW_RIGHT};
// The choices of "Right click by holding:" in the order of HoldChoiceMs.
constexpr const char* kHoldItems[kHoldChoiceCount] = {"off", "0.5 s", "1 s", "2 s"};

// Fetched afresh every time: a box's message loop can replace the controller.
ZmrCtrlVirt* CurrentController()
{
    return dynamic_cast<ZmrCtrlVirt*>(App().controller.load());
}

void TellMouseButtonWindow()
{
    const HWND window = App().mouseButtonWindow;
    if (window != nullptr) ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_MOUSE_BUTTON_CHANGED, 0), 0);
}

} // namespace

HWND CreateMousePage(HWND settingsWindow)
{
    const HWND hwnd = MousePage::CreateModeless(std::make_unique<MousePage>(), App().instance, IDD_PAGE_MOUSE,
                                                settingsWindow);
    if (hwnd != nullptr) ::ShowWindow(hwnd, SW_HIDE);
    return hwnd;
}

INT_PTR MousePage::HandleMessage(UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        OnInitDialog();
        return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    const WORD id = LOWORD(wParam);
    if (id == CMD_PAGE_RELOAD) {
        Reload();
    } else if (id == CMD_PAGE_STORE) {
        Store();
    } else if (id >= IDC_BUTTON_LEFT && id <= IDC_BUTTON_RIGHT && HIWORD(wParam) == BN_CLICKED) {
        // Space on a focused radio: the button reports a click without the
        // mouse release the subclass asks on. Windows also reports one when
        // an unchecked radio merely receives the focus (Tab, arrow keys, a
        // window handing its focus on): that is nobody's choice, so only a
        // click from a Space release counts.
        if (m_nSpaceReleasing > 0) OnButtonRadioChosen(id);
    } else {
        return FALSE;
    }
    ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

void MousePage::OnInitDialog()
{
    MoveToPageOrigin(m_hwnd);
    for (int id : kButtonRadios)
        ::SetWindowSubclass(::GetDlgItem(m_hwnd, id), &MousePage::RadioSubclass, kRadioSubclassId,
                            reinterpret_cast<DWORD_PTR>(this));
    const HWND hold = ::GetDlgItem(m_hwnd, IDC_HOLD_RIGHT_CLICK);
    ::SendMessageA(hold, CB_RESETCONTENT, 0, 0);
    for (const char* item : kHoldItems)
        ::SendMessageA(hold, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    Reload();
}

LRESULT CALLBACK MousePage::RadioSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data)
{
    switch (msg) {
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        // The release never reaches the radio: it would check itself unasked.
        if (::GetCapture() == hwnd) ::ReleaseCapture();
        ::SendMessageA(hwnd, BM_SETSTATE, FALSE, 0);
        reinterpret_cast<MousePage*>(data)->OnButtonRadioChosen(::GetDlgCtrlID(hwnd));
        return 0;
    }
    case WM_KEYUP: {
        if (wParam != VK_SPACE) break;
        // The button sends its click from within this message.
        auto* page = reinterpret_cast<MousePage*>(data);
        ++page->m_nSpaceReleasing;
        const LRESULT result = ::DefSubclassProc(hwnd, msg, wParam, lParam);
        --page->m_nSpaceReleasing;
        return result;
    }
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(hwnd, &MousePage::RadioSubclass, kRadioSubclassId);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

void MousePage::Reload()
{
    const ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) return;
    const int32_t button = ctrl->MouseButton;
    const int32_t assigned = ctrl->AssignedMouseButton;
    for (int id : kButtonRadios)
        ::CheckDlgButton(m_hwnd, id, id == button ? BST_CHECKED : BST_UNCHECKED);
    for (int i = 0; i < 3; ++i)
        ::CheckDlgButton(m_hwnd, kWindowRadios[i], i == assigned ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hwnd, IDC_WINDOW_TOPMOST, ctrl->MouseButtonTopMost == 1 ? BST_CHECKED : BST_UNCHECKED);
    const int hold = HoldChoiceIndex(ctrl->HoldRightClick);
    ::SendDlgItemMessageA(m_hwnd, IDC_HOLD_RIGHT_CLICK, CB_SETCURSEL,
                          static_cast<WPARAM>(hold < 0 ? 0 : hold), 0);
    if (button >= IDC_BUTTON_LEFT && button <= IDC_BUTTON_RIGHT)
        ::SendDlgItemMessageA(m_hwnd, button, WM_SETFOCUS, 0, 0); // draws its focus mark
}

void MousePage::Store()
{
    ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) return;
    for (int id : kButtonRadios)
        if (::IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED) ctrl->MouseButton = id;
    const bool topMost = ::IsDlgButtonChecked(m_hwnd, IDC_WINDOW_TOPMOST) == BST_CHECKED;
    ctrl->MouseButtonTopMost = topMost ? 1 : 0;
    if (const HWND window = App().mouseButtonWindow) {
        ::SetWindowPos(window, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    for (int i = 0; i < 3; ++i)
        if (::IsDlgButtonChecked(m_hwnd, kWindowRadios[i]) == BST_CHECKED) ctrl->AssignedMouseButton = i;
    const LRESULT hold = ::SendDlgItemMessageA(m_hwnd, IDC_HOLD_RIGHT_CLICK, CB_GETCURSEL, 0, 0);
    if (hold >= 0 && hold < kHoldChoiceCount) ctrl->HoldRightClick = HoldChoiceMs(static_cast<int>(hold));
    TellMouseButtonWindow();
}

void MousePage::OnButtonRadioChosen(int radioId)
{
    const char* insert = MouseButtonInsert(radioId);
    if (insert == nullptr || m_bAsking || SettingsActionRunning()) return;
    m_bAsking = true;
    bool yes = false;
    {
        SettingsBusy busy;
        yes = ConfirmBox(MSG_CONFIRM_MOUSE_BUTTON);
    }
    m_bAsking = false;
    if (!yes) {
        // The radios are never checked by themselves; repaint the check that
        // stands so no pressed look is left behind.
        for (int id : kButtonRadios)
            if (::IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED) ::CheckDlgButton(m_hwnd, id, BST_CHECKED);
        return;
    }
    ReportAppEvent(MSG_USER_CHANGED_MOUSE_BUTTON, insert);
    for (int id : kButtonRadios)
        ::SendDlgItemMessageA(m_hwnd, id, WM_KILLFOCUS, 0, 0);
    ::CheckRadioButton(m_hwnd, IDC_BUTTON_LEFT, IDC_BUTTON_RIGHT, radioId);
    ::SendDlgItemMessageA(m_hwnd, radioId, WM_SETFOCUS, 0, 0);
    TellMouseButtonWindow();
}
