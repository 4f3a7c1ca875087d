#include "calibration/ScreenPrompt.h"

#include <cstring>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "base/Monitors.h"
#include "base/Reporting.h"
#include "calibration/WindowDC.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

constexpr const char* kPromptClassName = "WndScreenPromptClass";
constexpr UINT_PTR kPromptTimerId = 9317;

// Main thread only: the window that shows the text, and its text.
HWND g_shown = nullptr;
char g_text[kTextMax] = {};

void PaintPrompt(HWND hwnd)
{
    ScopedPaint paint(hwnd);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    const bool shown = hwnd == g_shown;
    ::FillRect(paint.get(), &client,
               static_cast<HBRUSH>(::GetStockObject(shown ? WHITE_BRUSH : BLACK_BRUSH)));
    if (!shown) return;
    // Large enough to be read from where the screen is touched.
    UniqueGdiObject font(::CreateFontA(-(client.bottom - client.top) / 12, 0, 0, 0, FW_BOLD, FALSE, FALSE,
                                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial"));
    ScopedSelect select(paint.get(), font ? font.get() : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(paint.get(), TRANSPARENT);
    ::DrawTextA(paint.get(), g_text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT CALLBACK PromptProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        PaintPrompt(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_CLOSE:
        return 0; // ended by its loop only
    default:
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

bool RegisterPromptClass()
{
    WNDCLASSA wc = {};
    if (::GetClassInfoA(App().instance, kPromptClassName, &wc)) return true;
    wc.lpfnWndProc = &PromptProc;
    wc.hInstance = App().instance;
    wc.hCursor = nullptr;
    wc.lpszClassName = kPromptClassName;
    return ::RegisterClassA(&wc) != 0;
}

// One blank topmost window per monitor, and the controller's touches handed
// to the prompt, for the life of the object.
class PromptWindows {
public:
    explicit PromptWindows(const MonitorList& list)
    {
        m_count = list.count < kMaxMonitors ? list.count : kMaxMonitors;
        for (int i = 0; i < m_count; ++i) {
            const MonitorRect& r = list.entries[i].rect;
            m_windows[i] = ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPromptClassName, nullptr,
                                             WS_POPUP | WS_VISIBLE, r.left, r.top, r.Width(), r.Height(),
                                             App().messageWindow, nullptr, App().instance, nullptr);
            if (m_windows[i] == nullptr) m_failed = true;
        }
        m_prompt = ::CreateWindowExA(0, kPromptClassName, nullptr, WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, App().instance, nullptr);
        if (m_prompt == nullptr) m_failed = true;
        SetTouchPromptWindow(m_prompt);
    }
    ~PromptWindows()
    {
        SetTouchPromptWindow(nullptr);
        g_shown = nullptr;
        for (int i = 0; i < m_count; ++i) {
            if (m_windows[i] != nullptr) ::DestroyWindow(m_windows[i]);
        }
        if (m_prompt != nullptr) ::DestroyWindow(m_prompt);
    }
    PromptWindows(const PromptWindows&) = delete;
    PromptWindows& operator=(const PromptWindows&) = delete;

    bool Failed() const { return m_failed; }
    HWND Prompt() const { return m_prompt; }

    void Show(int index)
    {
        g_shown = m_windows[index];
        for (int i = 0; i < m_count; ++i)
            ::InvalidateRect(m_windows[i], nullptr, FALSE);
        ::SetForegroundWindow(g_shown);
        ::SetTimer(m_prompt, kPromptTimerId, kScreenPromptMs, nullptr);
    }

private:
    HWND m_windows[kMaxMonitors] = {};
    HWND m_prompt = nullptr; // gets the touches and the timer
    int m_count = 0;
    bool m_failed = false;
};

} // namespace

int ChooseScreenByTouch()
{
    const MonitorList list = CurrentMonitors();
    if (list.count <= 0 || !RegisterPromptClass()) return kScreenPromptAborted;
    FormatAppMessage(MSG_TOUCH_THIS_SCREEN, g_text, static_cast<int>(sizeof g_text));
    g_text[std::strcspn(g_text, "\r\n")] = '\0';
    PromptWindows windows(list);
    if (windows.Failed()) return kScreenPromptAborted;
    int shown = 0;
    windows.Show(shown);
    MSG msg = {};
    for (;;) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            ::PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 0);
            return kScreenPromptQuit;
        }
        if (msg.hwnd == windows.Prompt() && msg.message == WM_SCREEN_TOUCHED) return shown;
        bool next = msg.hwnd == windows.Prompt() && msg.message == WM_TIMER && msg.wParam == kPromptTimerId;
        if (msg.message == WM_KEYDOWN) {
            if (msg.wParam == VK_ESCAPE) return kScreenPromptAborted;
            // Keys go no further: nothing behind the prompt acts on them.
            if (msg.wParam != VK_RETURN && msg.wParam != VK_SPACE) continue;
            next = true;
        }
        if (msg.message == WM_CHAR || msg.message == WM_KEYUP) continue;
        if (next) {
            if (++shown >= list.count) return kScreenPromptAborted;
            windows.Show(shown);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

HWND ScreenPromptWindow()
{
    return g_shown;
}
