#include "calibration/CalibrationPage.h"

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <new>

#include "Messages.h"
#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Reporting.h"
#include "calibration/CalibrationCheck.h"
#include "calibration/CalibrationStart.h"
#include "calibration/CalibrationWindow.h"
#include "calibration/ScreenPrompt.h"
#include "calibration/DrawingWindow.h"
#include "controller/ZmrCtrlVirt.h"
#include "resources/resource.h"

namespace {

constexpr int kMarkerButtons[] = {IDC_MARKER_0, IDC_MARKER_12, IDC_MARKER_22};

// Fetched for each use: a modal box or a restart can replace the controller
// between two uses.
ZmrCtrlVirt* Controller()
{
    return static_cast<ZmrCtrlVirt*>(App().controller.load());
}

// The page's window while it exists, for the end of a run; main thread only.
HWND g_page = nullptr;

// "Last check: 3 px", or "Last check: none" before the first accepted check.
void ShowLastCheck(HWND page)
{
    const ZmrCtrlVirt* ctrl = Controller();
    char text[kTextMax] = {};
    if (ctrl == nullptr || ctrl->CheckResidual < 0) {
        FormatAppMessage(MSG_LAST_CHECK_NONE, text, static_cast<int>(sizeof text));
        text[std::strcspn(text, "\r\n")] = '\0';
    } else {
        char pattern[kTextMax] = {};
        FormatAppMessage(MSG_LAST_CHECK_FORMAT, pattern, static_cast<int>(sizeof pattern));
        FillNumber(pattern, ctrl->CheckResidual, text, sizeof text);
    }
    ::SetDlgItemTextA(page, IDC_LAST_CHECK, text);
}

// "Screen 2 of 2, 1920 x 1080": the touch screen's monitor.
void ShowTouchScreen(HWND page)
{
    const MonitorList& list = CurrentMonitors();
    const MonitorRect rect = TouchMonitorRect();
    const int32_t count = list.count > 0 ? list.count : 1;
    const int32_t index = TouchMonitorIndex() >= 0 ? TouchMonitorIndex() + 1 : 1;
    const int32_t numbers[] = {index, count, rect.Width(), rect.Height()};
    char text[kTextMax] = {};
    FormatAppMessage(MSG_SCREEN_OF_FORMAT, text, static_cast<int>(sizeof text));
    for (int32_t n : numbers) {
        char filled[kTextMax] = {};
        FillNumber(text, n, filled, sizeof filled);
        std::memcpy(text, filled, sizeof text);
    }
    ::SetDlgItemTextA(page, IDC_TOUCH_SCREEN, text);
}

void RunEnded()
{
    if (g_page != nullptr) {
        ShowLastCheck(g_page);
        ShowTouchScreen(g_page);
    }
}

} // namespace

INT_PTR CalibrationPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        g_page = m_hwnd;
        SetRunEndListener(&RunEnded);
        Reload();
        PlaceAtPageOrigin();
        return TRUE;
    }
    if (msg == WM_DESTROY && g_page == m_hwnd) {
        g_page = nullptr;
        SetRunEndListener(nullptr);
        return FALSE;
    }
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_CALIBRATE:
        Calibrate();
        break;
    case IDC_DRAW:
        Draw();
        break;
    case CMD_PAGE_STORE:
        Store();
        break;
    case CMD_PAGE_RELOAD:
        Reload();
        break;
    default:
        return FALSE;
    }
    // The page may be gone after a modal box: only a live window gets a result.
    if (::IsWindow(m_hwnd)) ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

void CalibrationPage::Reload()
{
    const ZmrCtrlVirt* ctrl = Controller();
    if (ctrl == nullptr) return;
    // A value outside the three (a damaged registry) leaves all unchecked.
    ::CheckRadioButton(m_hwnd, IDC_MARKER_0, IDC_MARKER_22, ctrl->MarkerDistance);
    ::CheckRadioButton(m_hwnd, IDC_POINTS_3, IDC_POINTS_5,
                       ctrl->CalibrationPoints == 5 ? IDC_POINTS_5 : IDC_POINTS_3);
    ShowLastCheck(m_hwnd);
    ShowTouchScreen(m_hwnd);
}

void CalibrationPage::Store()
{
    ZmrCtrlVirt* ctrl = Controller();
    if (ctrl == nullptr) return;
    for (int id : kMarkerButtons) {
        if (::IsDlgButtonChecked(m_hwnd, id) == BST_CHECKED) ctrl->MarkerDistance = id;
    }
    if (::IsDlgButtonChecked(m_hwnd, IDC_POINTS_3) == BST_CHECKED) ctrl->CalibrationPoints = 3;
    if (::IsDlgButtonChecked(m_hwnd, IDC_POINTS_5) == BST_CHECKED) ctrl->CalibrationPoints = 5;
}

void CalibrationPage::Calibrate()
{
    const RunStart start = StartCalibrationRun();
    if (start == RunStart::NoController) ShowMessageBoxModal(MSG_CALIBRATION_ERROR);
    if (::IsWindow(m_hwnd)) ShowTouchScreen(m_hwnd);
}

void CalibrationPage::Draw()
{
    OpenDrawingWindow();
}

// The page origin as the settings window computes it: the tab control's
// client rectangle moved by the tab's offset in the window (outer rectangles)
// and reduced to the tab's display area.
void CalibrationPage::PlaceAtPageOrigin()
{
    const HWND settings = ::GetParent(m_hwnd);
    const HWND tab = settings != nullptr ? ::GetDlgItem(settings, IDC_SETTINGS_TAB) : nullptr;
    if (tab == nullptr) return;
    RECT area = {};
    RECT tabOuter = {};
    RECT windowOuter = {};
    if (!::GetClientRect(tab, &area) || !::GetWindowRect(tab, &tabOuter) ||
        !::GetWindowRect(settings, &windowOuter))
        return;
    ::OffsetRect(&area, tabOuter.left - windowOuter.left, tabOuter.top - windowOuter.top);
    ::SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    ::SetWindowPos(m_hwnd, HWND_TOP, area.left, area.top, 0, 0, SWP_NOSIZE);
}

HWND CreateCalibrationPage(HWND settingsWindow)
{
    return CalibrationPage::CreateModeless(
        std::unique_ptr<CalibrationPage>(new (std::nothrow) CalibrationPage()), App().instance,
        IDD_PAGE_CALIBRATION, settingsWindow);
}
