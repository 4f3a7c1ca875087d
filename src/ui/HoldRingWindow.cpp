#include "ui/HoldRingWindow.h"

#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/Dpi.h"
#include "base/Handles.h"
#include "channel/ChannelVirt.h"

namespace {

constexpr const char* kClassName = "TactilePaneHoldRing";
// At 100 %; the ring keeps its size on the screen at every scaling.
constexpr int kRingSize = 48;
constexpr int kRingPen = 5;
constexpr COLORREF kSeeThrough = RGB(0xFF, 0x00, 0xFF);
constexpr COLORREF kRingColour = RGB(0x00, 0x80, 0xFF);
constexpr UINT_PTR kWaitTimer = 1;
constexpr UINT_PTR kShowTimer = 2;
// Long enough to be seen, short enough not to be in the way.
constexpr UINT kShowMs = 400;

class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : m_hwnd(hwnd), m_dc(::BeginPaint(hwnd, &m_ps)) {}
    ~PaintScope() { ::EndPaint(m_hwnd, &m_ps); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps = {};
    HDC m_dc;
};

void PaintRing(HWND hwnd)
{
    PaintScope paint(hwnd);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    const int ringPen = ScaleForDpi(kRingPen, DpiForWindow(hwnd));
    UniqueGdiObject pen(::CreatePen(PS_SOLID, ringPen, kRingColour));
    if (!pen || paint.get() == nullptr) return;
    ScopedSelect selectPen(paint.get(), pen.get());
    ScopedSelect selectBrush(paint.get(), ::GetStockObject(NULL_BRUSH));
    const int inset = ringPen / 2 + 1;
    ::Ellipse(paint.get(), inset, inset, client.right - inset, client.bottom - inset);
}

void ShowRingAt(HWND hwnd, LPARAM point)
{
    const uint32_t packed = static_cast<uint32_t>(point);
    const int64_t ax = packed & 0xFFFF;
    const int64_t ay = packed >> 16;
    // The point is on the touch monitor's absolute scale.
    MonitorRect touch;
    int x = 0;
    int y = 0;
    if (TouchMonitorIsOther(&touch)) {
        x = touch.left + static_cast<int>(ax * touch.Width() / 65535);
        y = touch.top + static_cast<int>(ay * touch.Height() / 65535);
    } else {
        x = static_cast<int>(ax * ::GetSystemMetrics(SM_CXSCREEN) / 65535);
        y = static_cast<int>(ay * ::GetSystemMetrics(SM_CYSCREEN) / 65535);
    }
    const int size = ScaleForDpi(kRingSize, DpiForPoint(POINT{x, y}));
    ::SetWindowPos(hwnd, HWND_TOPMOST, x - size / 2, y - size / 2, size, size,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::InvalidateRect(hwnd, nullptr, TRUE);
    ::SetTimer(hwnd, kShowTimer, kShowMs, nullptr);
}

LRESULT CALLBACK HoldRingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_HOLD_WAITING:
        // One more than asked: a tick that comes a moment early only waits again.
        ::SetTimer(hwnd, kWaitTimer, static_cast<UINT>(wParam) + 1, nullptr);
        return 0;
    case WM_HOLD_RECOGNISED:
        ShowRingAt(hwnd, lParam);
        return 0;
    case WM_TIMER:
        ::KillTimer(hwnd, wParam);
        if (wParam == kShowTimer) {
            ::ShowWindow(hwnd, SW_HIDE);
        } else if (wParam == kWaitTimer) {
            // The channel is replaced on this thread only: it is alive here.
            if (ChannelVirt* channel = App().channel.load()) channel->TickTouchStream();
        }
        return 0;
    case WM_ERASEBKGND: {
        UniqueGdiObject brush(::CreateSolidBrush(kSeeThrough));
        RECT r = {};
        ::GetClientRect(hwnd, &r);
        if (brush) ::FillRect(reinterpret_cast<HDC>(wParam), &r, static_cast<HBRUSH>(brush.get()));
        return 1;
    }
    case WM_PAINT:
        PaintRing(hwnd);
        return 0;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_DESTROY:
        if (App().holdRingWindow == hwnd) App().holdRingWindow = nullptr;
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

HWND CreateHoldRingWindow(HINSTANCE instance)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &HoldRingProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    if (::RegisterClassExA(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    const HWND hwnd = ::CreateWindowExA(
        WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kClassName,
        nullptr, WS_POPUP, 0, 0, kRingSize, kRingSize, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return nullptr;
    // Only the ring is drawn; the rest of the square lets the screen through.
    ::SetLayeredWindowAttributes(hwnd, kSeeThrough, 0, LWA_COLORKEY);
    return hwnd;
}

bool HoldRingShown(HWND ring, POINT* centre)
{
    if (ring == nullptr || !::IsWindowVisible(ring)) return false;
    RECT r = {};
    ::GetWindowRect(ring, &r);
    if (centre != nullptr) *centre = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    return true;
}
