// Stand-in until the real page is built: it takes part in the page protocol
// (reload, store) and shows the temperature the message window sends.
#include "ui/AboutPage.h"

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "resources/resource.h"

namespace {

constexpr int kStandInText = 1000;

INT_PTR CALLBACK StandInPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case CMD_PAGE_RELOAD:
    case CMD_PAGE_STORE:
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case CMD_TEMPERATURE:
        if (lParam != 0) {
            const float degrees = *reinterpret_cast<const float*>(lParam);
            char text[kTextMax] = {};
            FormatBounded(text, sizeof text, "%.1f", static_cast<double>(degrees));
            ::SetDlgItemTextA(hwnd, kStandInText, text);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

HWND CreateAboutPage(HWND settingsWindow)
{
    return ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_PAGE_ABOUT), settingsWindow,
                                &StandInPageProc, 0);
}
