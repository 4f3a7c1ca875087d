#include "ui/DriverPage.h"

#include <commctrl.h>

#include <memory>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Reporting.h"
#include "controller/ZmrCtrlVirt.h"
#include "resources/resource.h"
#include "ui/ConfirmBox.h"
#include "ui/DriverMouseLogic.h"
#include "ui/SettingsPages.h"

namespace {

// Fetched afresh every time: a box's message loop can replace the controller.
ZmrCtrlVirt* CurrentController()
{
    return dynamic_cast<ZmrCtrlVirt*>(App().controller.load());
}

SliderRange SizeRange(const ZmrCtrlVirt& ctrl)
{
    return CheckedSliderRange(ctrl.MinDoubleClickSize, ctrl.MaxDoubleClickSize, kDoubleClickSizeLimits);
}

SliderRange TimeRange(const ZmrCtrlVirt& ctrl)
{
    return CheckedSliderRange(ctrl.MinDoubleClickTime, ctrl.MaxDoubleClickTime, kDoubleClickTimeLimits);
}

// The system parameter calls may fail (no right to change them): ignored.
void ApplyDoubleClickSize(int32_t size)
{
    ::SystemParametersInfoA(SPI_SETDOUBLECLKHEIGHT, static_cast<UINT>(size), nullptr, SPIF_UPDATEINIFILE);
    ::SystemParametersInfoA(SPI_SETDOUBLECLKWIDTH, static_cast<UINT>(size), nullptr, SPIF_UPDATEINIFILE);
}

void ApplyDoubleClickTime(int32_t time)
{
    ::SystemParametersInfoA(SPI_SETDOUBLECLICKTIME, static_cast<UINT>(time), nullptr, SPIF_UPDATEINIFILE);
}

void SetTopMost(HWND window, bool topMost)
{
    if (window == nullptr) return;
    UINT flags = SWP_NOMOVE | SWP_NOSIZE;
    if (!topMost) flags |= SWP_NOACTIVATE;
    ::SetWindowPos(window, topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, flags);
}

int Checked(HWND dialog, int id)
{
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

} // namespace

HWND CreateDriverPage(HWND settingsWindow)
{
    const HWND hwnd = DriverPage::CreateModeless(std::make_unique<DriverPage>(), App().instance,
                                                 IDD_PAGE_DRIVER, settingsWindow);
    if (hwnd != nullptr) ::ShowWindow(hwnd, SW_HIDE);
    return hwnd;
}

INT_PTR DriverPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        if (id == CMD_PAGE_RELOAD) {
            Reload();
        } else if (id == CMD_PAGE_STORE) {
            Store();
        } else if (id == CMD_ROTATION_CHANGED) {
            ReloadMounting();
        } else if (id == IDC_TOUCH_MODE && code == CBN_SELENDOK) {
            OnTouchModeChosen();
        } else if (id == IDC_TOUCH_MODE && code == CBN_SELCHANGE &&
                   ::SendDlgItemMessageA(m_hwnd, IDC_TOUCH_MODE, CB_GETDROPPEDSTATE, 0, 0) == FALSE) {
            // Arrow keys and the wheel on the closed combo change the mode
            // without CBN_SELENDOK; they must not slip past the question.
            OnTouchModeChosen();
        } else {
            return FALSE;
        }
        ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    case WM_HSCROLL:
        if (lParam == 0) return FALSE;
        OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void DriverPage::OnInitDialog()
{
    MoveToPageOrigin(m_hwnd);
    const HWND rotate = ::GetDlgItem(m_hwnd, IDC_ROTATE);
    const HWND touchMode = ::GetDlgItem(m_hwnd, IDC_TOUCH_MODE);
    ::SendMessageA(rotate, CB_RESETCONTENT, 0, 0);
    ::SendMessageA(touchMode, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kDriverComboItems; ++i) {
        ::SendMessageA(rotate, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kRotateItems[i]));
        ::SendMessageA(touchMode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kTouchModeItems[i]));
    }
    // At start-up the stored double-click settings become the system's.
    if (const ZmrCtrlVirt* ctrl = CurrentController()) {
        ApplyDoubleClickTime(
            SystemDoubleClickTime(ctrl->DoubleClickTime, ctrl->MinDoubleClickTime, ctrl->MaxDoubleClickTime));
        ApplyDoubleClickSize(
            SystemDoubleClickSize(ctrl->DoubleClickSize, ctrl->MinDoubleClickSize, ctrl->MaxDoubleClickSize));
    }
    Reload();
}

void DriverPage::SetUpSliders()
{
    const ZmrCtrlVirt* ctrl = CurrentController();
    struct Slider {
        int id;
        SliderRange range;
        uint32_t step;
        int32_t value;
    } const sliders[] = {
        {IDC_DBLCLK_SIZE, ctrl ? SizeRange(*ctrl) : kDoubleClickSizeLimits, kDoubleClickSizeStep,
         ctrl ? ctrl->DoubleClickSize : kDoubleClickSizeLimits.min},
        {IDC_DBLCLK_TIME, ctrl ? TimeRange(*ctrl) : kDoubleClickTimeLimits, kDoubleClickTimeStep,
         ctrl ? ctrl->DoubleClickTime : kDoubleClickTimeLimits.min},
    };
    for (const Slider& s : sliders) {
        const HWND slider = ::GetDlgItem(m_hwnd, s.id);
        ::SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(s.range.min, s.range.max));
        ::SendMessageA(slider, TBM_SETPAGESIZE, 0, static_cast<LPARAM>(s.step));
        ::SendMessageA(slider, TBM_SETLINESIZE, 0, static_cast<LPARAM>(s.step));
        ::SendMessageA(slider, TBM_SETTICFREQ, s.step, 0);
        const int32_t position = ClampToRange(s.value, s.range);
        ::SendMessageA(slider, TBM_SETPOS, TRUE, position);
        WriteLabel(s.id, position);
    }
}

void DriverPage::WriteLabel(int sliderId, int32_t value)
{
    char text[kTextMax] = {};
    if (sliderId == IDC_DBLCLK_SIZE) {
        FormatBounded(text, sizeof text, "%i", static_cast<int>(value));
        ::SetDlgItemTextA(m_hwnd, IDC_DBLCLK_SIZE_LABEL, text);
    } else {
        FormatBounded(text, sizeof text, "%i [ms]", static_cast<int>(value));
        ::SetDlgItemTextA(m_hwnd, IDC_DBLCLK_TIME_LABEL, text);
    }
}

void DriverPage::ReloadMounting()
{
    const ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) return;
    ::SendDlgItemMessageA(m_hwnd, IDC_ROTATE, CB_SETCURSEL,
                          static_cast<WPARAM>(ComboIndexForValue(ctrl->Rotate)), 0);
    ::CheckDlgButton(m_hwnd, IDC_SWAP_XY, ctrl->SwapXY == 1 ? BST_CHECKED : BST_UNCHECKED);
}

void DriverPage::Reload()
{
    const ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) return;
    ReloadMounting();
    m_nChosenMode = ctrl->TouchMode;
    ::SendDlgItemMessageA(m_hwnd, IDC_TOUCH_MODE, CB_SETCURSEL,
                          static_cast<WPARAM>(ComboIndexForValue(ctrl->TouchMode)), 0);
    ::CheckDlgButton(m_hwnd, IDC_LCD_TOPMOST, ctrl->LcdTopMost == 1 ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hwnd, IDC_SHOW_COMM_INFO, ctrl->m_bShowCommInfo == 1 ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hwnd, IDC_USE_LOG_EVENT, ctrl->UseLogEvent == 1 ? BST_CHECKED : BST_UNCHECKED);
    SetUpSliders();
}

void DriverPage::Store()
{
    ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) return;
    const LRESULT selection = ::SendDlgItemMessageA(m_hwnd, IDC_TOUCH_MODE, CB_GETCURSEL, 0, 0);
    ctrl->TouchMode = ValueFromComboIndex(selection, ctrl->TouchMode);
    m_nChosenMode = ctrl->TouchMode;
    ctrl->LcdTopMost = Checked(m_hwnd, IDC_LCD_TOPMOST);
    ctrl->m_bShowCommInfo = Checked(m_hwnd, IDC_SHOW_COMM_INFO);
    ctrl->UseLogEvent = Checked(m_hwnd, IDC_USE_LOG_EVENT);

    ctrl->DoubleClickSize =
        static_cast<int32_t>(::SendDlgItemMessageA(m_hwnd, IDC_DBLCLK_SIZE, TBM_GETPOS, 0, 0));
    ApplyDoubleClickSize(
        SystemDoubleClickSize(ctrl->DoubleClickSize, ctrl->MinDoubleClickSize, ctrl->MaxDoubleClickSize));
    ctrl->DoubleClickTime =
        static_cast<int32_t>(::SendDlgItemMessageA(m_hwnd, IDC_DBLCLK_TIME, TBM_GETPOS, 0, 0));
    ApplyDoubleClickTime(
        SystemDoubleClickTime(ctrl->DoubleClickTime, ctrl->MinDoubleClickTime, ctrl->MaxDoubleClickTime));

    const AppContext& app = App();
    const bool topMost = ctrl->LcdTopMost == 1;
    SetTopMost(app.lcdBar, topMost);
    SetTopMost(app.miniLcdBar, topMost);
    // Raising the bars activates them; the user is still in the settings window.
    if (topMost) ::SetActiveWindow(::GetAncestor(m_hwnd, GA_ROOT));
}

void DriverPage::OnTouchModeChosen()
{
    // A question or another action of the settings window is open: its
    // message loop must not start a second one.
    if (m_bAsking || SettingsActionRunning()) return;
    ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) return;
    const LRESULT selection = ::SendDlgItemMessageA(m_hwnd, IDC_TOUCH_MODE, CB_GETCURSEL, 0, 0);
    if (ComboIndexForValue(static_cast<int32_t>(selection)) < 0) return;
    const int32_t chosen = static_cast<int32_t>(selection);
    if (chosen == ctrl->TouchMode || chosen == m_nChosenMode) {
        m_nChosenMode = chosen;
        return;
    }

    // The box runs a message loop: the controller is fetched again after it.
    m_bAsking = true;
    bool yes = false;
    {
        SettingsBusy busy;
        yes = ConfirmBox(MSG_CONFIRM_TOUCH_MODE);
    }
    m_bAsking = false;
    if (yes) {
        // TouchMode itself changes with OK or Apply; the choice is logged now.
        ReportAppEvent(MSG_USER_CHANGED_TOUCH_MODE, TouchModeName(chosen));
        m_nChosenMode = chosen;
        return;
    }
    ctrl = CurrentController();
    if (ctrl == nullptr) return;
    m_nChosenMode = ctrl->TouchMode;
    ::SendDlgItemMessageA(m_hwnd, IDC_TOUCH_MODE, CB_SETCURSEL,
                          static_cast<WPARAM>(ComboIndexForValue(ctrl->TouchMode)), 0);
}

void DriverPage::OnScroll(HWND slider, int code, int thumbPosition)
{
    const int id = ::GetDlgCtrlID(slider);
    if (id != IDC_DBLCLK_SIZE && id != IDC_DBLCLK_TIME) return;
    if (code == TB_THUMBPOSITION || code < 0 || code > TB_ENDTRACK) return;
    if (code == TB_THUMBTRACK) {
        const uint32_t step = id == IDC_DBLCLK_SIZE ? kDoubleClickSizeStep : kDoubleClickTimeStep;
        const SliderRange range{static_cast<int32_t>(::SendMessageA(slider, TBM_GETRANGEMIN, 0, 0)),
                                static_cast<int32_t>(::SendMessageA(slider, TBM_GETRANGEMAX, 0, 0))};
        const int32_t snapped = SnapToStep(static_cast<uint32_t>(thumbPosition), step, range);
        ::SendMessageA(slider, TBM_SETPOS, TRUE, snapped);
        WriteLabel(id, snapped);
        return;
    }
    WriteLabel(id, static_cast<int32_t>(::SendMessageA(slider, TBM_GETPOS, 0, 0)));
}
