#include "calibration/DrawingWindow.h"

#include <windowsx.h>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/Reporting.h"
#include "calibration/CalibrationWindow.h"
#include "calibration/WindowDC.h"

namespace {

constexpr const char* kInstructions = "Drawing will terminate if no touch\n"
                                      "is received within 10 seconds\n"
                                      "Press ESCAPE to abort drawing\n";
constexpr WPARAM kEscape = 27;

// One drawing window at a time, main thread only.
struct DrawingState {
    bool Drawing = false; // the finger is down
    POINT LastPoint = {}; // where the line goes on from, screen pixels
};
DrawingState g_drawing;

void OnPaint(HWND hwnd)
{
    ScopedPaint paint(hwnd);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    DrawInstructions(paint.get(), client, kInstructions);
}

// The window covers the touch monitor; positions are taken on its
// client pixels. The DC is taken for one line and given back at once:
// a drawing test sees thousands of moves.
void DrawTo(HWND hwnd, POINT to)
{
    ScopedWindowDC dc(hwnd);
    if (!dc) return;
    ::MoveToEx(dc.get(), g_drawing.LastPoint.x, g_drawing.LastPoint.y, nullptr);
    ::LineTo(dc.get(), to.x, to.y);
}

void OnMouse(HWND hwnd, UINT msg)
{
    // Where the pointer was when this message was made, not where it is
    // now: the receive thread hands all the records of one read to the
    // system together, so by the time the press is handled the pointer may
    // already be further along the stroke.
    const DWORD at = ::GetMessagePos();
    POINT p = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    ::ScreenToClient(hwnd, &p);
    switch (msg) {
    case WM_LBUTTONDOWN:
        g_drawing.Drawing = true;
        g_drawing.LastPoint = p;
        break;
    case WM_MOUSEMOVE:
        if (g_drawing.Drawing) {
            DrawTo(hwnd, p);
            g_drawing.LastPoint = p;
        }
        break;
    default:
        g_drawing.Drawing = false;
        break;
    }
    if (::SetTimer(hwnd, kCalibrationTimerId, kCalibrationIdleMs, nullptr) == 0) ::DestroyWindow(hwnd);
}

} // namespace

LRESULT CALLBACK DrawingWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == CMD_WINDOW_START) {
            ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32515))); // IDC_CROSS
            return 0;
        }
        break;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_CHAR:
        if (wParam == kEscape) {
            ::DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kCalibrationTimerId) {
            ::DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        OnMouse(hwnd, msg);
        return 0;
    case WM_DESTROY:
        ::KillTimer(hwnd, kCalibrationTimerId);
        return 0;
    case WM_NCDESTROY:
        ForgetFullScreenWindow(hwnd);
        g_drawing = DrawingState{};
        break;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

int OpenDrawingWindow()
{
    if (OpenFullScreenWindow() != nullptr) return 0;
    const HWND hwnd = CreateFullScreenWindow();
    if (hwnd == nullptr) {
        ShowMessageBoxModal(MSG_DRAW_WINDOW_ERROR);
        return 0;
    }
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DrawingWndProc));
    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(CMD_WINDOW_START, 0), 0);
    g_drawing = DrawingState{};
    ::ShowWindow(hwnd, SW_SHOW);
    ::UpdateWindow(hwnd);
    return 1;
}
