// Stand-in until the real page is built: it takes part in the page
// protocol (reload, store) and shows nothing else.
#include "ui/DriverPage.h"

#include "base/AppContext.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK StandInPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == CMD_PAGE_RELOAD || LOWORD(wParam) == CMD_PAGE_STORE)) {
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

HWND CreateDriverPage(HWND settingsWindow)
{
    return ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_PAGE_DRIVER), settingsWindow,
                                &StandInPageProc, 0);
}
