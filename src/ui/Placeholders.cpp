#include "ui/Placeholders.h"

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/ObjectNames.h"
#include "resources/resource.h"

namespace {

bool (*g_addTrayIcon)() = nullptr;

INT_PTR CALLBACK LcdBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        ::ShowWindow(hwnd, SW_HIDE);
        if (App().miniLcdBar != nullptr) ::ShowWindow(App().miniLcdBar, SW_SHOW);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK MiniLcdBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == IDC_MAXIMIZE && HIWORD(wParam) == 0) {
        ::ShowWindow(hwnd, SW_HIDE);
        if (App().lcdBar != nullptr) ::ShowWindow(App().lcdBar, SW_SHOW);
        if (!App().embedded && g_addTrayIcon != nullptr) g_addTrayIcon();
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK MouseButtonProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

} // namespace

void SetTrayIconAdder(bool (*addTrayIcon)())
{
    g_addTrayIcon = addTrayIcon;
}

void CreateLcdBar(HWND* bar)
{
    if (bar == nullptr) return;
    bool wasVisible = false;
    if (*bar != nullptr) {
        wasVisible = ::IsWindowVisible(*bar) != FALSE;
        ::ShowWindow(*bar, SW_HIDE);
        ::DestroyWindow(*bar);
        *bar = nullptr;
    }
    static const int kTemplates[] = {IDD_LCD_BAR_TYPE1, IDD_LCD_BAR_TYPE2, IDD_LCD_BAR_TYPE3};
    const int model = App().lcdModel;
    if (model < 0 || model >= kLcdModelCount) return;
    *bar = ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(kTemplates[model]), App().messageWindow,
                                &LcdBarProc, 0);
    if (*bar == nullptr) FatalCreationFailure("OutOfMemory - DLG_LCD_TYPE2");
    ::ShowWindow(*bar, wasVisible ? SW_SHOW : SW_HIDE);
    ::UpdateWindow(*bar);
}

void CreateMiniLcdBar(HWND* miniBar)
{
    if (miniBar == nullptr) return;
    *miniBar = ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_MINI_LCD_BAR), App().messageWindow,
                                    &MiniLcdBarProc, 0);
    if (*miniBar == nullptr) FatalCreationFailure("OutOfMemory - DLG_MINI_LCD");
}

HWND CreateMouseButtonWindow(HWND owner)
{
    const HWND window =
        ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_MOUSE_BUTTON), owner, &MouseButtonProc, 0);
    if (window == nullptr) FatalCreationFailure("OutOfMemory - DLG_MOUSE_BUTTON");
    return window;
}

LRESULT CALLBACK CalibrationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}
