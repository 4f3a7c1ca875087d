#include "ui/Placeholders.h"

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/ObjectNames.h"
#include "resources/resource.h"

namespace {

constexpr int kStandInText = 1000;

// Children of the settings window: destroyed with it, forgotten then.
HWND g_controllerPage = nullptr;
HWND g_aboutPage = nullptr;

INT_PTR CALLBACK ControllerPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == CMD_CTRL_INFO) {
        const AppContext& app = App();
        const char* model = ControllerModelName(app.controllerModel);
        char text[kTextMax] = {};
        FormatBounded(text, sizeof text, "%s HW Id: %i, SW Ver: %i.%02i", model != nullptr ? model : "-",
                      static_cast<int>(app.ident.HwId), static_cast<int>(app.ident.MajorSwVer),
                      static_cast<int>(app.ident.MinorSwVer));
        ::SetDlgItemTextA(hwnd, kStandInText, text);
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutPageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == CMD_TEMPERATURE && lParam != 0) {
        const float degrees = *reinterpret_cast<const float*>(lParam);
        char text[kTextMax] = {};
        FormatBounded(text, sizeof text, "%.1f", static_cast<double>(degrees));
        ::SetDlgItemTextA(hwnd, kStandInText, text);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK SettingsProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        CreateControllerPage(hwnd);
        g_aboutPage =
            ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_PAGE_ABOUT), hwnd, &AboutPageProc, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::ShowWindow(hwnd, SW_HIDE);
            return TRUE;
        }
        return FALSE;
    case kTrayCallbackMessage:
        if (lParam == WM_LBUTTONDOWN || lParam == WM_LBUTTONDBLCLK) {
            ::ShowWindow(hwnd, SW_SHOW);
            ::SetForegroundWindow(hwnd);
        }
        return TRUE;
    case WM_DESTROY:
        g_controllerPage = nullptr;
        g_aboutPage = nullptr;
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

HWND CreateSettingsWindow(HWND owner)
{
    const HWND window =
        ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner, &SettingsProc, 0);
    if (window != nullptr) ::ShowWindow(window, SW_HIDE);
    return window;
}

HWND SettingsControllerPage()
{
    return g_controllerPage;
}

HWND SettingsAboutPage()
{
    return g_aboutPage;
}

void CreateControllerPage(HWND parent)
{
    bool wasVisible = false;
    if (g_controllerPage != nullptr) {
        wasVisible = (::GetWindowLongPtrA(g_controllerPage, GWL_STYLE) & WS_VISIBLE) != 0;
        ::ShowWindow(g_controllerPage, SW_HIDE);
        ::DestroyWindow(g_controllerPage);
        g_controllerPage = nullptr;
    }
    static const char* const kFailures[] = {"OutOfMemory - DLG_ZMR01CTRL", "OutOfMemory - DLG_ZMR02CTRL",
                                            "OutOfMemory - DLG_ZMR03CTRL", "OutOfMemory - DLG_ZMR04CTRL"};
    const int model = App().controllerModel;
    if (model < 0 || model >= kControllerModelCount) return;
    const int templateId = model == 0 ? IDD_PAGE_ZMR01 : IDD_PAGE_ZMR02;
    g_controllerPage =
        ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(templateId), parent, &ControllerPageProc, 0);
    if (g_controllerPage == nullptr) FatalCreationFailure(kFailures[model]);
    ::SetDlgItemTextA(g_controllerPage, kStandInText, ControllerModelName(model));
    if (wasVisible) ::ShowWindow(g_controllerPage, SW_SHOW);
}
