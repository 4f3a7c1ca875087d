#include "calibration/CalibrationWindow.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Dpi.h"
#include "base/Fatal.h"
#include "base/Handles.h"
#include "base/Monitors.h"
#include "base/Reporting.h"
#include "calibration/CalibrationCheck.h"
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
RunEndListener g_runEndListener = nullptr;
RunResultListener g_runResultListener = nullptr;

// One run at a time, main thread only. The controller is never held across
// messages: it is fetched from the application for each use and accepted
// only while it is the object the run started with (same address and model;
// a replacement always changes the model).
struct CalibrationRun {
    bool started = false; // the saved values are valid
    bool ended = false;   // confirmed or aborted
    uint32_t CalibrationStep = 0;
    RunLayout layout;
    int32_t MarginX = 0;
    int32_t MarginY = 0;
    int32_t checkLimit = 0; // pixels; 0: no check point, no refusal
    // Of the attempt under way; a refusal starts them afresh.
    CalibrationRecord work = {};
    CalPoint target[kMaxCalibrationPoints];
    CalPoint touch[kMaxCalibrationPoints]; // cursor positions at the lifts
    CalPoint checkTarget;
    CalPoint checkTouch;
    int32_t residual = -1;
    // Of the whole run.
    int refused = 0;
    bool hadLift = false;
    uint32_t lastLiftMs = 0;    // message time of the last lift
    bool ignoringTouch = false; // a bounce is down: its lift is ignored too
    char note[kTextMax] = {};   // drawn under the instructions
    // The controller's block, Rotate and SwapXY when the run started.
    CalibrationRecord SavedCalibration = {};
    int32_t savedRotate = 0;
    int32_t savedSwapXY = 0;
    int32_t savedOrientation = -1;
    HWND confirmButton = nullptr;
    uintptr_t controllerId = 0; // compared only, never dereferenced
    int controllerModel = -1;
};
CalibrationRun g_run;

// The touch monitor's size: the crosses, the check point and the
// computation are on its pixels.
int32_t ScreenWidth()
{
    return TouchMonitorRect().Width();
}

int32_t ScreenHeight()
{
    return TouchMonitorRect().Height();
}

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
    if (g_runEndListener != nullptr) g_runEndListener();
    const HWND page = g_driverPageLocator != nullptr ? g_driverPageLocator() : nullptr;
    if (page == nullptr) return;
    const HWND settings = App().settingsWindow;
    const HWND tab = settings != nullptr ? ::GetDlgItem(settings, IDC_SETTINGS_TAB) : nullptr;
    ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_ROTATION_CHANGED, 0), reinterpret_cast<LPARAM>(tab));
}

void TellResult(bool confirmed)
{
    if (g_runResultListener != nullptr) g_runResultListener(confirmed);
}

void PutBack(ZmrCtrlVirt* ctrl)
{
    ctrl->m_Calibration = g_run.SavedCalibration;
    ctrl->SwapXY = g_run.savedSwapXY;
    ctrl->Rotate = g_run.savedRotate;
    ctrl->CalibrationOrientation = g_run.savedOrientation;
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
    EndMonitorRun(false);
    NotifyDriverPage();
    TellResult(false);
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
    if (g_run.layout.check) ctrl->CheckResidual = g_run.residual;
    // A monitor chosen by touch for this run is the touch screen from now.
    EndMonitorRun(true);
    NotifyDriverPage();
    TellResult(true);
    ::DestroyWindow(hwnd);
}

// The start state of an attempt: nothing taken, and the controller with the
// zeroed calibration and mounting, so that touches reach the window in raw
// sensor coordinates scaled onto the screen.
void StartAttempt(ZmrCtrlVirt* ctrl)
{
    g_run.CalibrationStep = 0;
    g_run.work = CalibrationRecord{};
    for (int i = 0; i < kMaxCalibrationPoints; ++i) {
        g_run.target[i] = CalPoint{};
        g_run.touch[i] = CalPoint{};
    }
    g_run.checkTarget = CalPoint{};
    g_run.checkTouch = CalPoint{};
    g_run.residual = -1;
    ctrl->Rotate = 0;
    ctrl->SwapXY = 0;
    // Made on the display as it is now: no turn while the crosses run, and
    // a confirmed result belongs to this orientation.
    ctrl->CalibrationOrientation = TouchMonitorOrientation();
    ctrl->m_Calibration = g_run.work;
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
    const CalPoint margins = MarginsFor(ctrl->MarkerDistance, static_cast<uint32_t>(ScreenWidth()),
                                        static_cast<uint32_t>(ScreenHeight()));
    g_run.MarginX = margins.x;
    g_run.MarginY = margins.y;
    g_run.checkLimit = ctrl->CheckLimit > 0 ? ctrl->CheckLimit : 0;
    g_run.layout.crosses = ctrl->CalibrationPoints == kMaxCalibrationPoints ? kMaxCalibrationPoints : 3;
    g_run.layout.check = g_run.checkLimit > 0;
    g_run.SavedCalibration = ctrl->m_Calibration;
    g_run.savedSwapXY = ctrl->SwapXY;
    g_run.savedRotate = ctrl->Rotate;
    g_run.savedOrientation = ctrl->CalibrationOrientation;
    g_run.started = true;
    StartAttempt(ctrl);
}

// The message-table text of id with its number, as the run's note.
void SetNote(uint32_t id, int32_t value)
{
    char pattern[kTextMax] = {};
    FormatAppMessage(id, pattern, static_cast<int>(sizeof pattern));
    FillNumber(pattern, value, g_run.note, sizeof g_run.note);
}

// A refused attempt: the run starts again from the first cross as at its
// start, with the reason shown, until the attempts are used up. False when
// they are: the caller aborts (after its paint, if it paints).
bool Refuse(HWND hwnd, uint32_t noteId, int32_t value)
{
    if (++g_run.refused >= kCalibrationAttempts) return false;
    ZmrCtrlVirt* ctrl = RunController();
    if (ctrl == nullptr) return false;
    SetNote(noteId, value);
    StartAttempt(ctrl);
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE);
    return true;
}

void DrawCrossLines(HDC dc, COLORREF colour, int width, int arm, CalPoint at)
{
    UniqueGdiObject pen(::CreatePen(PS_SOLID, width, colour));
    if (!pen) return;
    ScopedSelect select(dc, pen.get());
    ::MoveToEx(dc, at.x - arm, at.y, nullptr);
    ::LineTo(dc, at.x + arm, at.y);
    ::MoveToEx(dc, at.x, at.y + arm, nullptr);
    ::LineTo(dc, at.x, at.y - arm);
}

// The cross is as large on the screen at every scaling; its centre line
// stays one pixel wide, the pixel to be touched.
void DrawCross(HDC dc, CalPoint at)
{
    const uint32_t dpi = DpiForWindow(::WindowFromDC(dc));
    const int arm = ScaleForDpi(kCrossArm, dpi);
    DrawCrossLines(dc, kCrossColour, ScaleForDpi(kCrossPenWidth, dpi), arm, at);
    DrawCrossLines(dc, RGB(0, 0, 0), 1, arm, at);
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
    const int padding = ScaleForDpi(10, DpiForWindow(hwnd));
    ::SetWindowPos(button, nullptr, at.x, at.y, length * tm.tmAveCharWidth + padding, tm.tmHeight + padding,
                   SWP_NOZORDER);
    ::SendMessageA(button, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kConfirmText));
}

CalibrationInput FirstThree()
{
    CalibrationInput in;
    in.screenWidth = ScreenWidth();
    in.screenHeight = ScreenHeight();
    for (int i = 0; i < 3; ++i) {
        in.target[i] = g_run.target[i];
        in.touch[i] = g_run.touch[i];
    }
    return in;
}

// After the third touch the mounting is known, and crosses that share a
// screen column or row must have touches that share it too (of five crosses,
// all five once the fifth is touched). False when they do not (a slipped
// finger); the attempt is refused then.
bool TouchesFit(int count, int32_t* worst)
{
    *worst = 0;
    if (g_run.checkLimit <= 0) return true;
    const CalibrationInput in = FirstThree();
    const CalibrationResult r = ComputeCalibration(in);
    // A computation that fails is left to the computing step, which aborts.
    if (!r.ok()) return true;
    CalPoint touch[kMaxCalibrationPoints];
    for (int i = 0; i < count && i < kMaxCalibrationPoints; ++i) {
        touch[i] = i < 3 ? r.touch[i] : g_run.touch[i];
        if (i >= 3 && !TransformCalibrationTouch(r.transform, in.screenWidth, in.screenHeight, &touch[i]))
            return true;
    }
    return TouchesFitCrosses(g_run.target, touch, count, g_run.checkLimit, worst);
}

// The check point, clear of the crosses, at a random place in the middle
// half of the screen.
void PlaceCheckPoint()
{
    const int r1 = std::rand() & 0x7FFF;
    const int r2 = std::rand() & 0x7FFF;
    g_run.checkTarget =
        CheckPointTarget(ScreenWidth(), ScreenHeight(), g_run.target, g_run.layout.crosses, r1, r2);
}

void DrawNote(HDC dc, const RECT& client)
{
    if (g_run.note[0] == '\0') return;
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(dc, &tm);
    if (tm.tmHeight <= 0) return;
    const LONG rows = (client.bottom - client.top) / (2 * tm.tmHeight);
    RECT rc = client;
    rc.top = tm.tmHeight * (rows + 4);
    rc.bottom = tm.tmHeight * (rows + 6);
    ::DrawTextA(dc, g_run.note, -1, &rc, DT_CENTER | DT_SINGLELINE);
}

// Step 6: the mounting and line correction from the three touches, into the
// controller at once. False (nothing written) when the computation fails.
bool ApplyComputation()
{
    ZmrCtrlVirt* ctrl = RunController();
    if (ctrl == nullptr) return false;
    const CalibrationResult r =
        g_run.layout.crosses == kMaxCalibrationPoints
            ? ComputeFivePointCalibration(FirstThree(), &g_run.target[3], &g_run.touch[3])
            : ComputeCalibration(FirstThree());
    if (!r.ok()) return false;
    for (int i = 0; i < 3; ++i) {
        g_run.work.Target[i][0] = g_run.target[i].x;
        g_run.work.Target[i][1] = g_run.target[i].y;
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
    const PaintPlan plan = PaintFor(g_run.CalibrationStep, g_run.layout);
    bool abort = false;
    switch (plan.action) {
    case PaintAction::DrawCross: {
        const CalPoint margins{g_run.MarginX, g_run.MarginY};
        const int i = plan.crossIndex;
        const CalPoint at =
            i < 3 ? CrossTarget(i, client.left, client.top, client.right, client.bottom, margins)
                  : ExtraCrossTarget(i, client.left, client.top, client.right, client.bottom, margins);
        if (i >= 0 && i < kMaxCalibrationPoints) g_run.target[i] = at;
        DrawCross(dc, at);
        break;
    }
    case PaintAction::ComputeResult:
        if (!ApplyComputation()) {
            abort = true;
        } else if (g_run.layout.check) {
            PlaceCheckPoint();
            g_run.CalibrationStep = CheckShownStep(g_run.layout);
            DrawCross(dc, g_run.checkTarget);
        } else {
            ShowConfirmButton(hwnd);
            g_run.CalibrationStep = ConfirmingStep(g_run.layout);
        }
        break;
    case PaintAction::DrawCheckPoint:
        DrawCross(dc, g_run.checkTarget);
        break;
    case PaintAction::JudgeCheck:
        // The touch went through the new calibration: its distance from the
        // check point is what is left of the error.
        g_run.residual = CheckResidual(g_run.checkTarget, g_run.checkTouch);
        if (ResidualAccepted(g_run.residual, g_run.checkLimit)) {
            SetNote(MSG_CHECK_RESIDUAL_FORMAT, g_run.residual);
            ShowConfirmButton(hwnd);
            g_run.CalibrationStep = ConfirmingStep(g_run.layout);
        } else if (!Refuse(hwnd, MSG_CHECK_REFUSED_FORMAT, g_run.residual)) {
            abort = true;
        }
        break;
    case PaintAction::Nothing:
        break;
    case PaintAction::Abort:
        abort = true;
        break;
    }
    if (!abort) DrawNote(dc, client);
    return !abort;
}

void OnPaint(HWND hwnd)
{
    if (!PaintRun(hwnd)) Abort(hwnd);
}

// Every press, lift and move restarts the ten seconds. A touch that follows
// the previous lift within the bounce time is ignored, press and lift. False
// when the run must abort.
bool OnMouse(HWND hwnd, UINT msg)
{
    if (!ArmIdleTimer(hwnd)) return false;
    const uint32_t now = static_cast<uint32_t>(::GetMessageTime());
    if (msg == WM_LBUTTONDOWN) {
        g_run.ignoringTouch = IsBounce(g_run.hadLift, g_run.lastLiftMs, now);
        if (!g_run.ignoringTouch)
            g_run.CalibrationStep = StepAfterPress(g_run.CalibrationStep, g_run.layout).step;
    }
    if (msg == WM_LBUTTONUP) {
        g_run.hadLift = true;
        g_run.lastLiftMs = now;
        if (g_run.ignoringTouch) {
            g_run.ignoringTouch = false;
            return true;
        }
        const StepChange change = StepAfterLift(g_run.CalibrationStep, g_run.layout);
        // On the window's pixels: it covers the touch monitor, wherever that
        // lies in the virtual desktop.
        POINT p = {};
        ::GetCursorPos(&p);
        ::ScreenToClient(hwnd, &p);
        const CalPoint at{p.x, p.y};
        g_run.CalibrationStep = change.step;
        if (change.touchIndex == g_run.layout.crosses) {
            g_run.checkTouch = at;
        } else if (change.touchIndex >= 0 && change.touchIndex < kMaxCalibrationPoints) {
            g_run.touch[change.touchIndex] = at;
            int32_t worst = 0;
            const bool judged = change.touchIndex == 2 || change.touchIndex == kMaxCalibrationPoints - 1;
            if (judged && !TouchesFit(change.touchIndex + 1, &worst))
                return Refuse(hwnd, MSG_TOUCHES_REFUSED_FORMAT, worst);
        }
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
    const MonitorRect screen = TouchMonitorRect();
    ::SetWindowPos(hwnd, HWND_TOPMOST, screen.left, screen.top, screen.Width(), screen.Height(), 0);
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
            EndMonitorRun(false);
            NotifyDriverPage();
            TellResult(false);
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

void SetRunEndListener(RunEndListener listener)
{
    g_runEndListener = listener;
}

void SetRunResultListener(RunResultListener listener)
{
    g_runResultListener = listener;
}

uint32_t CalibrationRunStep()
{
    return g_run.CalibrationStep;
}

RunLayout CalibrationRunLayout()
{
    return g_run.layout;
}

CalPoint CalibrationCheckPoint()
{
    return g_run.checkTarget;
}

const char* CalibrationRunNote()
{
    return g_run.note;
}
