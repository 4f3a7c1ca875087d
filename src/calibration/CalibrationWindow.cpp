#include "calibration/CalibrationWindow.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/Handles.h"
#include "base/Reporting.h"
#include "calibration/CalibrationMath.h"
#include "calibration/WindowDC.h"
#include "controller/ZmrCtrlVirt.h"
#include "resources/resource.h"

namespace {

constexpr int kCrossArm = 20;
constexpr int kCrossPenWidth = 11;
constexpr COLORREF kCrossColour = RGB(0x80, 0xFF, 0xFF);
constexpr int kConfirmButtonId = 0;
constexpr int kConfirmButtonSize = 100;
constexpr DWORD kConfirmButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_MULTILINE;
constexpr const char* kConfirmText = "Confirm calibration";
constexpr const char* kInstructions = "Touch the center of each cross as it appers\n"
                                      "Calibration will terminate if no touch\n"
                                      "is received within 10 seconds\n"
                                      "Press ESCAPE to abort Calibration process\n";
constexpr char kEscape = 27;

// The one window of the class (calibration or drawing), main thread only.
HWND g_hOpenWindow = nullptr;
DriverPageLocator g_driverPageLocator = nullptr;

// One run at a time, main thread only. The controller is never held across
// messages: it is fetched from the application for each use and accepted
// only while it is the object the run started with (same address and model;
// a replacement always changes the model).
struct CalibrationRun {
    bool started = false; // the saved values are valid
    bool ended = false;   // confirmed or aborted
    uint32_t CalibrationStep = 0;
    int32_t MarginX = 0;
    int32_t MarginY = 0;
    CalibrationRecord work = {};
    // The controller's block, Rotate and SwapXY when the run started.
    CalibrationRecord SavedCalibration = {};
    int32_t savedRotate = 0;
    int32_t savedSwapXY = 0;
    HWND confirmButton = nullptr;
    uintptr_t controllerId = 0; // compared only, never dereferenced
    int controllerModel = -1;
};
CalibrationRun g_run;

ZmrCtrlVirt* CurrentController()
{
    // Every controller this program creates belongs to the one family.
    return static_cast<ZmrCtrlVirt*>(App().controller.load());
}

// The run's controller, or nullptr when it has been replaced (or removed)
// since the run started.
ZmrCtrlVirt* RunController()
{
    ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr || reinterpret_cast<uintptr_t>(ctrl) != g_run.controllerId ||
        App().controllerModel != g_run.controllerModel)
        return nullptr;
    return ctrl;
}

bool ArmIdleTimer(HWND hwnd)
{
    return ::SetTimer(hwnd, kCalibrationTimerId, kCalibrationIdleMs, nullptr) != 0;
}

void NotifyDriverPage()
{
    const HWND page = g_driverPageLocator != nullptr ? g_driverPageLocator() : nullptr;
    if (page == nullptr) return;
    const HWND settings = App().settingsWindow;
    const HWND tab = settings != nullptr ? ::GetDlgItem(settings, IDC_SETTINGS_TAB) : nullptr;
    ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_ROTATION_CHANGED, 0), reinterpret_cast<LPARAM>(tab));
}

void PutBack(ZmrCtrlVirt* ctrl)
{
    ctrl->m_Calibration = g_run.SavedCalibration;
    ctrl->SwapXY = g_run.savedSwapXY;
    ctrl->Rotate = g_run.savedRotate;
}

// Ends the run with the previous values back in the controller (unless the
// controller is no longer the run's), closes the window and reports. Nothing
// of the run may be used after this: the window and the run state are gone
// before the message box runs its loop.
void Abort(HWND hwnd)
{
    if (g_run.ended) return;
    g_run.ended = true;
    if (ZmrCtrlVirt* ctrl = RunController()) PutBack(ctrl);
    NotifyDriverPage();
    ::DestroyWindow(hwnd);
    ShowMessageBoxModal(MSG_CALIBRATION_ERROR);
}

void Confirm(HWND hwnd)
{
    ZmrCtrlVirt* ctrl = RunController();
    if (ctrl == nullptr) {
        Abort(hwnd);
        return;
    }
    g_run.ended = true;
    ctrl->m_Calibration = g_run.work;
    NotifyDriverPage();
    ::DestroyWindow(hwnd);
}

void StartRun(HWND hwnd)
{
    ::SetCursor(nullptr);
    // Started once per window: a second start would save the zeroed values
    // as the ones to restore.
    if (g_run.started) return;
    g_run = CalibrationRun{};
    ZmrCtrlVirt* ctrl = CurrentController();
    if (ctrl == nullptr) {
        // Nothing to calibrate and nothing to restore.
        g_run.ended = true;
        ::DestroyWindow(hwnd);
        ShowMessageBoxModal(MSG_CALIBRATION_ERROR);
        return;
    }
    g_run.controllerId = reinterpret_cast<uintptr_t>(ctrl);
    g_run.controllerModel = App().controllerModel;
    const CalPoint margins =
        MarginsFor(ctrl->MarkerDistance, static_cast<uint32_t>(::GetSystemMetrics(SM_CXSCREEN)),
                   static_cast<uint32_t>(::GetSystemMetrics(SM_CYSCREEN)));
    g_run.MarginX = margins.x;
    g_run.MarginY = margins.y;
    g_run.SavedCalibration = ctrl->m_Calibration;
    g_run.savedSwapXY = ctrl->SwapXY;
    g_run.savedRotate = ctrl->Rotate;
    g_run.started = true;
    // From here on touches reach the window in raw sensor coordinates
    // scaled onto the screen.
    ctrl->Rotate = 0;
    ctrl->SwapXY = 0;
    ctrl->m_Calibration = g_run.work;
}

void DrawCrossLines(HDC dc, COLORREF colour, int width, CalPoint at)
{
    UniqueGdiObject pen(::CreatePen(PS_SOLID, width, colour));
    if (!pen) return;
    ScopedSelect select(dc, pen.get());
    ::MoveToEx(dc, at.x - kCrossArm, at.y, nullptr);
    ::LineTo(dc, at.x + kCrossArm, at.y);
    ::MoveToEx(dc, at.x, at.y + kCrossArm, nullptr);
    ::LineTo(dc, at.x, at.y - kCrossArm);
}

void DrawCross(HDC dc, CalPoint at)
{
    DrawCrossLines(dc, kCrossColour, kCrossPenWidth, at);
    DrawCrossLines(dc, RGB(0, 0, 0), 1, at);
}

void ShowConfirmButton(HWND hwnd)
{
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const int r1 = std::rand() & 0x7FFF;
    const int r2 = std::rand() & 0x7FFF;
    const CalPoint at = ConfirmButtonOrigin(client.right - client.left, client.bottom - client.top, r1, r2);
    const HWND button = ::CreateWindowExA(
        0, "Button", "Confirm1", kConfirmButtonStyle, at.x, at.y, kConfirmButtonSize, kConfirmButtonSize,
        hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kConfirmButtonId)), App().instance, nullptr);
    if (button == nullptr) FatalCreationFailure("OutOfMemory - ConfirmButton");
    g_run.confirmButton = button;
    ScopedWindowDC dc(button);
    TEXTMETRICA tm = {};
    if (dc) ::GetTextMetricsA(dc.get(), &tm);
    const int length = static_cast<int>(std::strlen(kConfirmText));
    ::SetWindowPos(button, nullptr, at.x, at.y, length * tm.tmAveCharWidth + 10, tm.tmHeight + 10,
                   SWP_NOZORDER);
    ::SendMessageA(button, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kConfirmText));
}

// Step 6: the mounting and line correction from the three touches, into the
// controller at once. False (nothing written) when the computation fails.
bool ApplyComputation()
{
    ZmrCtrlVirt* ctrl = RunController();
    if (ctrl == nullptr) return false;
    CalibrationInput in;
    in.screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    in.screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    for (int i = 0; i < 3; ++i) {
        in.target[i] = CalPoint{g_run.work.Target[i][0], g_run.work.Target[i][1]};
        in.touch[i] = CalPoint{g_run.work.Touch[i][0], g_run.work.Touch[i][1]};
    }
    const CalibrationResult r = ComputeCalibration(in);
    if (!r.ok()) return false;
    for (int i = 0; i < 3; ++i) {
        g_run.work.Touch[i][0] = r.touch[i].x;
        g_run.work.Touch[i][1] = r.touch[i].y;
    }
    g_run.work.LineDirX = r.LineDirX;
    g_run.work.LineDirY = r.LineDirY;
    g_run.work.LineShiftX = r.LineShiftX;
    g_run.work.LineShiftY = r.LineShiftY;
    ctrl->Rotate = r.Rotate;
    ctrl->SwapXY = r.SwapXY;
    // In force from now: the touch on the confirm button goes through it.
    ctrl->m_Calibration = g_run.work;
    return true;
}

// Aborting destroys the window: only after the paint has ended.
bool PaintRun(HWND hwnd)
{
    ScopedPaint paint(hwnd);
    const HDC dc = paint.get();
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    DrawInstructions(dc, client, kInstructions);
    const PaintPlan plan = PaintFor(g_run.CalibrationStep);
    bool abort = false;
    switch (plan.action) {
    case PaintAction::DrawCross: {
        const CalPoint at = CrossTarget(plan.crossIndex, client.left, client.top, client.right, client.bottom,
                                        CalPoint{g_run.MarginX, g_run.MarginY});
        g_run.work.Target[plan.crossIndex][0] = at.x;
        g_run.work.Target[plan.crossIndex][1] = at.y;
        DrawCross(dc, at);
        break;
    }
    case PaintAction::ComputeResult:
        if (ApplyComputation()) {
            ShowConfirmButton(hwnd);
            g_run.CalibrationStep = kStepConfirming;
        } else {
            abort = true;
        }
        break;
    case PaintAction::Nothing:
        break;
    case PaintAction::Abort:
        abort = true;
        break;
    }
    return !abort;
}

void OnPaint(HWND hwnd)
{
    if (!PaintRun(hwnd)) Abort(hwnd);
}

// Every press, lift and move restarts the ten seconds.
bool OnMouse(HWND hwnd, UINT msg)
{
    if (!ArmIdleTimer(hwnd)) return false;
    if (msg == WM_LBUTTONDOWN) g_run.CalibrationStep = StepAfterPress(g_run.CalibrationStep).step;
    if (msg == WM_LBUTTONUP) {
        const StepChange change = StepAfterLift(g_run.CalibrationStep);
        if (change.touchIndex >= 0 && change.touchIndex < 3) {
            POINT p = {};
            ::GetCursorPos(&p);
            g_run.work.Touch[change.touchIndex][0] = p.x;
            g_run.work.Touch[change.touchIndex][1] = p.y;
        }
        g_run.CalibrationStep = change.step;
        ::RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE);
    }
    return true;
}

// The messages the run acts on.
bool IsRunMessage(UINT msg)
{
    switch (msg) {
    case WM_COMMAND:
    case WM_PAINT:
    case WM_CHAR:
    case WM_TIMER:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CLOSE:
        return true;
    default:
        return false;
    }
}

LRESULT OnCreate(HWND hwnd)
{
    if (g_hOpenWindow != nullptr) return -1;
    const LONG_PTR style = ::GetWindowLongPtrA(hwnd, GWL_STYLE);
    ::SetWindowLongPtrA(hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
    ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                   0);
    if (!ArmIdleTimer(hwnd)) return -1;
    g_hOpenWindow = hwnd;
    return 0;
}

} // namespace

LRESULT CALLBACK CalibrationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CREATE) return OnCreate(hwnd);
    if (msg == WM_NCDESTROY) {
        ForgetFullScreenWindow(hwnd);
        g_run = CalibrationRun{};
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    // A run whose controller has been replaced ends before it touches
    // anything: its values belong to an object that no longer exists.
    if (IsRunMessage(msg) && g_run.started && !g_run.ended && RunController() == nullptr) {
        Abort(hwnd);
        return 0;
    }
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == CMD_WINDOW_START) {
            StartRun(hwnd);
            return 0;
        }
        if (HIWORD(wParam) == 0) {
            // Only the confirm button's click (id 0) confirms, and only once
            // there is a result to confirm.
            if (g_run.confirmButton != nullptr && reinterpret_cast<HWND>(lParam) == g_run.confirmButton)
                Confirm(hwnd);
            return 0;
        }
        break;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_CHAR:
        if (wParam == static_cast<WPARAM>(kEscape)) {
            Abort(hwnd);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kCalibrationTimerId) {
            Abort(hwnd);
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        if (!OnMouse(hwnd, msg)) Abort(hwnd);
        return 0;
    case WM_CLOSE:
        // Alt+F4 and the like end the run as Escape does.
        Abort(hwnd);
        return 0;
    case WM_DESTROY:
        ::KillTimer(hwnd, kCalibrationTimerId);
        if (g_run.confirmButton != nullptr) ::DestroyWindow(g_run.confirmButton);
        g_run.confirmButton = nullptr;
        // Destroyed without confirmation or abort (with its owner, at the
        // end of the program): the previous values go back silently.
        if (g_run.started && !g_run.ended) {
            g_run.ended = true;
            if (ZmrCtrlVirt* ctrl = RunController()) PutBack(ctrl);
            NotifyDriverPage();
        }
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreateFullScreenWindow()
{
    if (g_hOpenWindow != nullptr) return nullptr;
    return ::CreateWindowExA(0, kCalibrationClassName, nullptr, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, App().messageWindow, nullptr, App().instance,
                             nullptr);
}

void DrawInstructions(HDC dc, const RECT& client, const char* text)
{
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(dc, &tm);
    if (tm.tmHeight <= 0) return;
    const LONG rows = (client.bottom - client.top) / (2 * tm.tmHeight);
    RECT rc = client;
    rc.top = tm.tmHeight * (rows - 2);
    rc.bottom = tm.tmHeight * (rows + 3);
    char buffer[kTextMax] = {};
    FormatBounded(buffer, sizeof buffer, "%s", text);
    ::DrawTextA(dc, buffer, -1, &rc, DT_CENTER);
}

void ForgetFullScreenWindow(HWND hwnd)
{
    if (g_hOpenWindow == hwnd) g_hOpenWindow = nullptr;
}

HWND OpenFullScreenWindow()
{
    return g_hOpenWindow;
}

int OpenCalibrationWindow()
{
    if (g_hOpenWindow != nullptr) return 0;
    const HWND hwnd = CreateFullScreenWindow();
    if (hwnd == nullptr) {
        ShowMessageBoxModal(MSG_CALIBRATION_WINDOW_ERROR);
        return 0;
    }
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(CMD_WINDOW_START, 0), 0);
    // Without a controller the start has ended the run already.
    if (!::IsWindow(hwnd)) return 0;
    ::ShowWindow(hwnd, SW_SHOW);
    ::UpdateWindow(hwnd);
    return 1;
}

void SetDriverPageLocator(DriverPageLocator locator)
{
    g_driverPageLocator = locator;
}

uint32_t CalibrationRunStep()
{
    return g_run.CalibrationStep;
}
