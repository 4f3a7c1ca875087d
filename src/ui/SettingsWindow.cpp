#include "ui/SettingsWindow.h"

#include <commctrl.h>

#include <new>

#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/Dpi.h"
#include "base/ModalLoop.h"
#include "base/OnScreenKeyboard.h"
#include "base/Reporting.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "resources/resource.h"
#include "ui/AboutPage.h"
#include "ui/AnyButtonSubclass.h"
#include "ui/ControllerPage.h"
#include "ui/DriverPage.h"
#include "ui/HardwarePage.h"
#include "ui/MousePage.h"

namespace {

constexpr const char* kTabTexts[kSettingsPageCount] = {"Hardware", "Calibration", "Controller",
                                                       "Driver",   "Mouse",       "About"};

// OK and Apply against the application's current objects, looked up at each
// call: a report box in between may have replaced them.
class AppSaveTarget final : public SettingsSaveTarget {
public:
    bool HasController() override { return App().controller.load() != nullptr; }
    bool WriteCurrentDevice() override { return ::WriteCurrentDevice(App().controllerModel); }
    bool SaveControllerSettings() override
    {
        CtrlVirt* controller = App().controller.load();
        return controller != nullptr && controller->SaveSettings() != 0;
    }
    int WriteControllerConfig() override
    {
        CtrlVirt* controller = App().controller.load();
        return controller != nullptr ? controller->WriteConfig() : 2;
    }
    bool HasLcd() override { return App().lcd.load() != nullptr; }
    bool WriteCurrentLcd() override { return ::WriteCurrentLcd(App().lcdModel); }
    bool SaveLcdConfig() override
    {
        LcdVirt* lcd = App().lcd.load();
        return lcd != nullptr && lcd->SaveConfig() != 0;
    }
    int SendLcdConfig() override
    {
        LcdVirt* lcd = App().lcd.load();
        return lcd != nullptr ? lcd->SendConfig() : 2;
    }
    void Pause(int milliseconds) override { ::Sleep(static_cast<DWORD>(milliseconds)); }
    void Report(uint32_t messageId) override { ShowMessageBoxModal(messageId); }
    bool Stopping() override { return QuitRequested(); }
};

class SettingsWindow {
public:
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void PlaceOnScreen();
    void ComputePageOrigin();
    bool BuildPage(int index);
    void ShowSelectedPage();
    void DestroyPages();
    void ForwardToShownPage(WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    HWND m_hTab = nullptr;
    int m_nCurrentPage = 0;
};

// The one settings window of the process; main thread only.
SettingsWindow* g_pSettings = nullptr;
HWND (*g_createCalibrationPage)(HWND) = nullptr;

INT_PTR CALLBACK SettingsWindow::DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<SettingsWindow*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = new (std::nothrow) SettingsWindow;
        if (self == nullptr) return FALSE;
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        g_pSettings = self;
    }
    if (self == nullptr) return FALSE;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        if (g_pSettings == self) g_pSettings = nullptr;
        DetachSettingsFrame(hwnd);
        delete self;
        return FALSE;
    }
    return self->HandleMessage(msg, wParam, lParam);
}

INT_PTR SettingsWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->idFrom == IDC_SETTINGS_TAB && header->code == TCN_SELCHANGE) {
            ShowSelectedPage();
            return TRUE;
        }
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            SettingsOk();
            break;
        case IDCANCEL:
            SettingsCancel();
            break;
        case IDC_APPLY:
            SettingsApply();
            break;
        case IDC_KEYBOARD:
            SettingsKeyboard();
            break;
        default:
            ForwardToShownPage(wParam, lParam);
            return FALSE;
        }
        ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_TIMER:
        if (wParam != kReInitTimeoutTimerId) return FALSE;
        ::KillTimer(m_hwnd, kReInitTimeoutTimerId);
        App().reInitBusy.exchange(0);
        return TRUE;
    case kTrayCallbackMessage:
        if (lParam == WM_LBUTTONDOWN || lParam == WM_LBUTTONDBLCLK) {
            ShowSelectedPage();
            ::ShowWindow(m_hwnd, SW_SHOW);
            ::SetForegroundWindow(m_hwnd);
        }
        return TRUE;
    case WM_DESTROY:
        ::KillTimer(m_hwnd, kReInitTimeoutTimerId);
        DestroyPages();
        ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL SettingsWindow::OnInitDialog()
{
    // A right click on Apply presses it visibly and applies once.
    AnyButtonSubclass(::GetDlgItem(m_hwnd, IDC_APPLY), AnyButtonMode::ReplayOnly);
    m_hTab = ::GetDlgItem(m_hwnd, IDC_SETTINGS_TAB);
    AttachSettingsFrame(m_hwnd, m_hTab);
    PlaceOnScreen();
    for (int index = 0; index < kSettingsPageCount; ++index) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = const_cast<char*>(kTabTexts[index]);
        item.iImage = -1;
        if (::SendMessageA(m_hTab, TCM_INSERTITEMA, static_cast<WPARAM>(index),
                           reinterpret_cast<LPARAM>(&item)) != index) {
            return FALSE;
        }
        // Once the tab row exists: the display area starts below it.
        if (index == 0) ComputePageOrigin();
        if (!BuildPage(index)) return FALSE;
    }
    ShowSelectedPage();
    return TRUE;
}

void SettingsWindow::PlaceOnScreen()
{
    if (CentreOnTouchMonitor(m_hwnd)) return;
    RECT rc{};
    if (!::GetWindowRect(m_hwnd, &rc)) return;
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    ::SetWindowPos(m_hwnd, nullptr, ::GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
                   ::GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

// The tab control's display area in this window's client coordinates, the
// ones in which child windows are placed.
void SettingsWindow::ComputePageOrigin()
{
    RECT rc{};
    if (m_hTab == nullptr || !::GetWindowRect(m_hTab, &rc)) return;
    ::MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&rc), 2);
    ::SendMessageA(m_hTab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rc));
    SetSettingsPageOrigin(rc);
}

bool SettingsWindow::BuildPage(int index)
{
    if (index < 0 || index >= kSettingsPageCount) return false;
    HWND page = nullptr;
    switch (index) {
    case kPageHardware:
        page = CreateHardwarePage(m_hwnd);
        break;
    case kPageCalibration:
        page = g_createCalibrationPage != nullptr ? g_createCalibrationPage(m_hwnd) : nullptr;
        break;
    case kPageController:
        CreateControllerPage(m_hwnd); // records the page itself
        page = SettingsPage(kPageController);
        break;
    case kPageDriver:
        page = CreateDriverPage(m_hwnd);
        break;
    case kPageMouse:
        page = CreateMousePage(m_hwnd);
        break;
    case kPageAbout:
        page = CreateAboutPage(m_hwnd);
        break;
    default:
        break;
    }
    SetSettingsPage(index, page);
    if (page == nullptr) return false;
    MoveToPageOrigin(page);
    return true;
}

void SettingsWindow::ShowSelectedPage()
{
    const auto selected = static_cast<int>(::SendMessageA(m_hTab, TCM_GETCURSEL, 0, 0));
    const HWND page = SettingsPage(selected);
    if (page == nullptr) return;
    const HWND shown = SettingsPage(m_nCurrentPage);
    if (m_nCurrentPage != selected && shown != nullptr) ::ShowWindow(shown, SW_HIDE);
    ::ShowWindow(page, SW_SHOW);
    m_nCurrentPage = selected;
}

void SettingsWindow::DestroyPages()
{
    for (int index = 0; index < kSettingsPageCount; ++index) {
        const HWND page = SettingsPage(index);
        SetSettingsPage(index, nullptr);
        if (page != nullptr) ::DestroyWindow(page);
    }
}

// A command from a control of the shown page that reached this window (the
// dialog manager sends a default button's Return here) goes on to the page.
void SettingsWindow::ForwardToShownPage(WPARAM wParam, LPARAM lParam)
{
    if (lParam == 0) return;
    const HWND page = SettingsPage(m_nCurrentPage);
    if (page != nullptr && ::GetParent(reinterpret_cast<HWND>(lParam)) == page) {
        ::PostMessageA(page, WM_COMMAND, wParam, lParam);
    }
}

} // namespace

HWND CreateSettingsWindow(HWND owner)
{
    const HWND window = ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_SETTINGS), owner,
                                             &SettingsWindow::DlgProc, 0);
    if (window != nullptr) ::ShowWindow(window, SW_HIDE);
    FollowDpiChanges(window);
    return window;
}

void SetCalibrationPageCreator(HWND (*create)(HWND settingsWindow))
{
    g_createCalibrationPage = create;
}

void ShowSelectedPage()
{
    if (g_pSettings != nullptr) g_pSettings->ShowSelectedPage();
}

void SettingsOk()
{
    if (g_pSettings == nullptr || SettingsActionRunning()) return;
    SettingsBusy busy;
    SendToAllPages(CMD_PAGE_STORE);
    AppSaveTarget target;
    RunSettingsOk(target);
    if (g_pSettings != nullptr) ::ShowWindow(g_pSettings->m_hwnd, SW_HIDE);
}

void SettingsCancel()
{
    if (g_pSettings == nullptr || SettingsActionRunning()) return;
    SendToAllPages(CMD_PAGE_RELOAD);
    if (g_pSettings != nullptr) ::ShowWindow(g_pSettings->m_hwnd, SW_HIDE);
}

void SettingsApply()
{
    if (g_pSettings == nullptr || SettingsActionRunning()) return;
    SettingsBusy busy;
    const int index = g_pSettings->m_nCurrentPage;
    const HWND page = SettingsPage(index);
    if (page == nullptr) return;
    ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_PAGE_STORE, 0),
                   reinterpret_cast<LPARAM>(g_pSettings->m_hTab));
    AppSaveTarget target;
    RunSettingsApply(target, index);
}

void SettingsKeyboard()
{
    // A keyboard that cannot be started is not reported.
    StartOnScreenKeyboard();
}
