#include "ui/InfoBox.h"

#include <memory>
#include <new>

#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/Dpi.h"
#include "base/ModalLoop.h"
#include "resources/resource.h"

namespace {

HINSTANCE ProgramInstance()
{
    return ::GetModuleHandleA(nullptr);
}

} // namespace

INT_PTR InfoBox::HandleMessage(UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_GETDLGCODE:
        if (wParam == VK_RETURN) {
            ::PostMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            Close();
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        m_hIcon.reset();
        return TRUE;
    default:
        return FALSE;
    }
}

void InfoBox::OnInitDialog()
{
    PlaceAtBottomLeft();
    // A private copy: the box destroys its icon, which a shared one must not be.
    m_hIcon.reset(static_cast<HICON>(::LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(IDI_SETTINGS),
                                                  IMAGE_ICON, MetricForDpi(SM_CXICON, DpiForWindow(m_hwnd)),
                                                  MetricForDpi(SM_CYICON, DpiForWindow(m_hwnd)), 0)));
    if (m_hIcon) ::SendMessageA(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
    if (m_pszInitialText != nullptr) ::SetDlgItemTextA(m_hwnd, IDC_BOX_TEXT, m_pszInitialText);
}

// Bottom-left of the full-screen client area, clear of the task bar, where
// several boxes in a row stack on one another.
void InfoBox::PlaceAtBottomLeft()
{
    RECT rc{};
    if (!::GetWindowRect(m_hwnd, &rc)) return;
    const int height = rc.bottom - rc.top;
    MonitorRect touch;
    if (TouchMonitorIsOther(&touch)) {
        ::SetWindowPos(m_hwnd, nullptr, touch.left, touch.bottom - height, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
        return;
    }
    ::SetWindowPos(m_hwnd, nullptr, 0, ::GetSystemMetrics(SM_CYFULLSCREEN) - height, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void InfoBox::Close()
{
    // A modal box ends through its loop, which also re-enables its owner;
    // destroying it directly would leave the message window disabled.
    if (m_bModal) {
        EndModalDialog(m_hwnd, 0);
    } else {
        ::DestroyWindow(m_hwnd);
    }
}

HWND ShowInfoBox(const char* text, bool modal)
{
    if (modal) {
        InfoBox box(true);
        box.SetInitialText(text);
        RunModalDialog(ProgramInstance(), IDD_INFO_BOX, App().messageWindow, InfoBox::DlgProc,
                       reinterpret_cast<LPARAM>(&box));
        return nullptr;
    }
    // Callers are often window procedures: no exception may leave here.
    const HWND hwnd = InfoBox::CreateModeless(std::unique_ptr<InfoBox>(new (std::nothrow) InfoBox(false)),
                                              ProgramInstance(), IDD_INFO_BOX, nullptr);
    if (hwnd == nullptr) return nullptr;
    ::SetDlgItemTextA(hwnd, IDC_BOX_TEXT, text != nullptr ? text : "");
    ::ShowWindow(hwnd, SW_SHOW);
    ::UpdateWindow(hwnd);
    return hwnd;
}
