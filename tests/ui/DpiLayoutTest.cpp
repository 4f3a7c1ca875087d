// Every window at the scaling the run script gave this prefix: each visible
// control lies inside its parent and its text fits in its font; a DPI change
// takes the suggested rectangle and larger fonts, and the way back restores
// every control exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Messages.h"
#include "base/Dpi.h"
#include "lcd/LcdBar.h"
#include "support/Pump.h"
#include "support/ScreenCapture.h"
#include "ui/CodeKeypad.h"
#include "ui/ConfirmBox.h"
#include "ui/InfoBox.h"
#include "ui/MouseButtonWindow.h"
#include "ui/SettingsTestSupport.h"

namespace {

std::string Text(HWND hwnd, bool className)
{
    char text[512] = {};
    className ? ::GetClassNameA(hwnd, text, sizeof text) : ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

struct Child {
    HWND hwnd;
    RECT rect; // screen
    LONG font; // its font's height
};

BOOL CALLBACK AddChild(HWND hwnd, LPARAM list)
{
    Child c{hwnd, {}, 0};
    ::GetWindowRect(hwnd, &c.rect);
    LOGFONTA lf = {};
    if (::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf))
        c.font = std::labs(lf.lfHeight);
    reinterpret_cast<std::vector<Child>*>(list)->push_back(c);
    return TRUE;
}

std::vector<Child> Children(HWND window)
{
    std::vector<Child> all;
    ::EnumChildWindows(window, &AddChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

// Each visible control inside its parent's client area, and the text of
// statics and buttons within their client area (less the check box or the
// group frame), measured with their own font, broken into lines where they
// break it.
void ExpectLayoutSound(HWND window, const char* when)
{
    const int dpi = static_cast<int>(DpiForWindow(window));
    for (const Child& c : Children(window)) {
        const HWND parent = ::GetParent(c.hwnd);
        const std::string cls = Text(c.hwnd, true), text = Text(c.hwnd, false);
        if (!::IsWindowVisible(c.hwnd) || Text(parent, true) == "ComboBox") continue;
        const std::string what = std::string(when) + ": " + cls + " \"" + text + "\"";
        RECT r = c.rect, client = {}, own = {};
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        ::GetClientRect(parent, &client);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << what;
        const LONG style = ::GetWindowLongA(c.hwnd, GWL_STYLE);
        ::GetClientRect(c.hwnd, &own);
        const LONG type = style & SS_TYPEMASK;
        UINT format = DT_CALCRECT | DT_SINGLELINE;
        if (cls == "Static" && type > SS_RIGHT && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP) continue;
        if (cls == "Static" && type <= SS_RIGHT)
            format = DT_CALCRECT | DT_WORDBREAK;
        else if (cls == "Button" && (style & BS_TYPEMASK) == BS_GROUPBOX)
            own.right -= 16 * dpi / 96;
        else if (cls == "Button" && (style & BS_TYPEMASK) > BS_DEFPUSHBUTTON)
            own.right -= 16 * dpi / 96;
        else if (cls != "Static" && cls != "Button")
            continue;
        if (text.empty() || (cls == "Button" && (style & (BS_ICON | BS_BITMAP)) != 0)) continue;
        if ((style & BS_MULTILINE) != 0 && cls == "Button") format = DT_CALCRECT | DT_WORDBREAK;
        const HDC dc = ::GetDC(c.hwnd);
        const HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(c.hwnd, WM_GETFONT, 0, 0)));
        RECT need = {0, 0, own.right, 0};
        ::DrawTextA(dc, text.c_str(), -1, &need, format);
        ::SelectObject(dc, old);
        ::ReleaseDC(c.hwnd, dc);
        EXPECT_TRUE(need.right <= own.right && need.bottom <= own.bottom)
            << what << " needs " << need.right << " x " << need.bottom << ", has " << own.right << " x "
            << own.bottom;
    }
}

// The layout at the prefix's DPI, after a change to 240 (upwards: the bench
// scales no frame, so only a larger DPI leaves the client area its share),
// and back; a picture when TP_SCREENSHOT_DIR is set.
void CheckWindow(HWND window, const std::string& shot)
{
    ASSERT_NE(window, nullptr);
    ::SetWindowPos(window, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    PumpUntil([] { return false; }, 100);
    if (!shot.empty() && !ScreenshotDirectory().empty()) {
        EXPECT_TRUE(CaptureWindowToBmp(window, ScreenshotDirectory() + "/" + shot + ".bmp"));
    }
    const uint32_t dpi = DpiForWindow(window), higher = 240;
    ExpectLayoutSound(window, "at start");
    RECT before = {}, after = {};
    ::GetWindowRect(window, &before);
    const std::vector<Child> children = Children(window);
    RECT suggested = before;
    suggested.right = before.left + RescaleForDpi(before.right - before.left, dpi, higher);
    suggested.bottom = before.top + RescaleForDpi(before.bottom - before.top, dpi, higher);
    ::SendMessageA(window, kWmDpiChanged, MAKEWPARAM(higher, higher), reinterpret_cast<LPARAM>(&suggested));
    ::GetWindowRect(window, &after);
    EXPECT_TRUE(::EqualRect(&after, &suggested));
    ExpectLayoutSound(window, "after the change");
    const std::vector<Child> changed = Children(window);
    ::SendMessageA(window, kWmDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&before));
    const std::vector<Child> back = Children(window);
    for (size_t i = 0; i < children.size(); ++i) {
        const Child& was = children[i];
        // A page keeps its template's font; its controls take new ones.
        if (i < changed.size() && was.font != 0 && Text(was.hwnd, true) != "#32770") {
            EXPECT_NEAR(changed[i].font, RescaleForDpi(was.font, dpi, higher), 1) << Text(was.hwnd, false);
        }
        const auto now =
            std::find_if(back.begin(), back.end(), [&](const Child& c) { return c.hwnd == was.hwnd; });
        EXPECT_TRUE(now != back.end() && ::EqualRect(&now->rect, &was.rect) && now->font == was.font)
            << Text(was.hwnd, true) << " \"" << Text(was.hwnd, false) << "\" not as it was";
    }
}

// The first box the run opens, checked from a timer its loop serves, then
// cancelled.
HWND g_modal = nullptr;
std::string g_modalShot;
void CALLBACK CheckModalTick(HWND, UINT, UINT_PTR, DWORD)
{
    const std::vector<HWND> boxes = ThreadBoxes();
    const HWND box = g_modal != nullptr ? g_modal : boxes.empty() ? nullptr : boxes[0];
    if (box == nullptr || g_modalShot.empty()) return;
    CheckWindow(box, g_modalShot);
    g_modalShot.clear();
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
}

void CheckModal(const std::function<void()>& run, const std::string& shot)
{
    g_modalShot = shot;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 200, &CheckModalTick);
    run();
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(g_modalShot.empty()) << shot << " never opened";
    g_modal = nullptr;
}

class DpiLayout : public settings_test::SettingsFixture {};

TEST_F(DpiLayout, EveryWindowFitsAndFollowsADpiChange)
{
    const char* asked = std::getenv("TP_TEST_DPI");
    ASSERT_NE(asked, nullptr) << "run through DpiLayoutTest.sh";
    ASSERT_EQ(SystemDpi(), static_cast<uint32_t>(std::atoi(asked)));
    const std::string pct = std::to_string(SystemDpi() * 100 / 96);
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    for (int tab = 0; tab < kSettingsPageCount; ++tab) {
        SCOPED_TRACE(tab);
        SelectTab(tab);
        const char* shots[] = {"settings-hardware-", "", "settings-controller-", "", "settings-mouse-", ""};
        CheckWindow(Settings(), *shots[tab] != '\0' ? shots[tab] + pct : "");
        ::ShowWindow(Settings(), SW_HIDE);
    }
    const HWND info = ShowInfoBox("The controller answered: all parameters were written.", false);
    CheckWindow(info, "");
    ::DestroyWindow(info);
    CheckModal([] { ConfirmBox(MSG_CONFIRM_TOUCH_MODE); }, "confirm-box-" + pct);
    SetKeypadOpenObserver([](void*, HWND keypad, int) { g_modal = keypad; }, nullptr);
    CheckModal([] { RunCodeKeypad(nullptr); }, "keypad-" + pct);
    SetKeypadOpenObserver(nullptr, nullptr);
    App().mouseButtonWindow = CreateMouseButtonWindow(App().messageWindow);
    CheckWindow(App().mouseButtonWindow, "mouse-button-" + pct);
    ::DestroyWindow(std::exchange(App().mouseButtonWindow, nullptr));
    for (int lcdType : {0, 2}) {
        App().lcdModel = lcdType;
        CreateLcdBar(&App().lcdBar);
        CheckWindow(App().lcdBar, lcdType == 0 ? "lcd-bar-" + pct : "");
        ::DestroyWindow(std::exchange(App().lcdBar, nullptr));
    }
    CreateMiniLcdBar(&App().miniLcdBar);
    CheckWindow(App().miniLcdBar, "");
    ::DestroyWindow(std::exchange(App().miniLcdBar, nullptr));
    App().lcdModel = -1;
}

} // namespace
