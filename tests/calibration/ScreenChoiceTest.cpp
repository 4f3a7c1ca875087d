// The touch screen on another monitor, end to end in the process: the
// monitor chosen by a touch on its prompt, the calibration run on it, and a
// touch aimed at one of its pixels landing there. The monitors come through
// the list seam: a second one laid over part of the bench's one screen,
// away from the origin.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "CalibrationTestSupport.h"
#include "base/AppSettings.h"
#include "base/Monitors.h"
#include "base/RegistryIO.h"
#include "resources/resource.h"
#include "calibration/CalibrationPage.h"
#include "calibration/CalibrationWindow.h"
#include "calibration/ScreenPrompt.h"

namespace {

MonitorRect g_second;

bool TwoMonitors(MonitorList* list)
{
    const int32_t w = ::GetSystemMetrics(SM_CXSCREEN);
    const int32_t h = ::GetSystemMetrics(SM_CYSCREEN);
    *list = MonitorList{};
    AddMonitor(*list, "\\\\.\\DISPLAY1", {0, 0, w, h}, true, 0);
    AddMonitor(*list, "\\\\.\\DISPLAY2", g_second, false, 0);
    list->virtualScreen = {0, 0, w, h};
    return true;
}

void ForgetStoredMonitor()
{
    const UniqueRegKey key = CreateKeyForWrite(HKEY_LOCAL_MACHINE, kRegistryRoot);
    if (!key) return;
    ::RegDeleteValueA(key.get(), kTouchMonitorValue);
    for (const char* name : kTouchMonitorRectValues)
        ::RegDeleteValueA(key.get(), name);
}

int g_tick = 0;
POINT g_cursorAtTouch = {};
HWND g_shownAtTouch = nullptr;

void CALLBACK PressEscape(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostMessageA(ScreenPromptWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
}

void CALLBACK PressReturn(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostMessageA(ScreenPromptWindow(), WM_KEYDOWN, VK_RETURN, 0);
}

class ScreenChoice : public CalibrationBench {
protected:
    static ScreenChoice* s_bench;
    // What the prompt's loop serves while the test waits in it: Space to go
    // on to the second screen, then a finger on it.
    static void CALLBACK PromptScript(HWND, UINT, UINT_PTR, DWORD)
    {
        switch (g_tick++) {
        case 0:
            ::PostMessageA(ScreenPromptWindow(), WM_KEYDOWN, VK_SPACE, 0);
            break;
        case 1:
            SaveScreenshot("screen-prompt.bmp");
            g_shownAtTouch = ScreenPromptWindow();
            ::SetCursorPos(5, 5);
            s_bench->sim.Command("touch 512 512");
            break;
        default:
            break;
        }
    }

    void SetUp() override
    {
        CalibrationBench::SetUp();
        const int32_t w = ::GetSystemMetrics(SM_CXSCREEN);
        const int32_t h = ::GetSystemMetrics(SM_CYSCREEN);
        g_second = {w / 3, h / 4, w - 7, h - 3};
        ForgetStoredMonitor();
        SetMonitorListSource(&TwoMonitors);
        RefreshMonitors();
    }
    void TearDown() override
    {
        SetMonitorListSource(nullptr);
        ForgetStoredMonitor();
        RefreshMonitors();
        CalibrationBench::TearDown();
    }
};

ScreenChoice* ScreenChoice::s_bench = nullptr;

TEST_F(ScreenChoice, TouchedPromptChoosesTheMonitorAndTheCalibrationHitsIt)
{
    s_bench = this;
    const HWND page = CreateCalibrationPage(settings);
    ASSERT_NE(page, nullptr);
    g_tick = 0;
    const UINT_PTR script = ::SetTimer(nullptr, 0, 300, &PromptScript);
    const int chosen = ChooseScreenByTouch();
    ::KillTimer(nullptr, script);
    ASSERT_EQ(chosen, 1);
    EXPECT_NE(g_shownAtTouch, nullptr);
    // The prompt's touch, up to its lift, went nowhere.
    ASSERT_TRUE(sim.Command("release"));
    PumpUntil([] { return false; }, 300);
    ::GetCursorPos(&g_cursorAtTouch);
    EXPECT_EQ(g_cursorAtTouch.x, 5);
    EXPECT_EQ(g_cursorAtTouch.y, 5);
    EXPECT_EQ(ScreenPromptWindow(), nullptr);

    UseMonitorForRun(chosen);
    W = g_second.Width();
    H = g_second.Height();
    ctrl->MarkerDistance = kMarkerDistance12;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    RECT r = {};
    ::GetWindowRect(OpenFullScreenWindow(), &r);
    EXPECT_EQ(r.left, g_second.left);
    EXPECT_EQ(r.top, g_second.top);
    EXPECT_EQ(r.right, g_second.right);
    EXPECT_EQ(r.bottom, g_second.bottom);
    const CalPoint margins = MarginsFor(kMarkerDistance12, W, H);
    for (int i = 0; i < 3; ++i)
        ASSERT_NO_FATAL_FAILURE(TouchCross(CrossTarget(i, 0, 0, W, H, margins)));
    ASSERT_NO_FATAL_FAILURE(TouchCross(CalibrationCheckPoint()));
    const HWND button = ::FindWindowExA(OpenFullScreenWindow(), nullptr, "Button", nullptr);
    ASSERT_NE(button, nullptr);
    ::GetWindowRect(button, &r);
    ASSERT_NO_FATAL_FAILURE(
        Press(CalPoint{(r.left + r.right) / 2 - g_second.left, (r.top + r.bottom) / 2 - g_second.top}));
    ASSERT_NO_FATAL_FAILURE(Lift());
    ASSERT_TRUE(PumpUntil([] { return OpenFullScreenWindow() == nullptr; }, 3000));

    // Confirmed: the monitor is stored and found again after a display change.
    const StoredMonitor stored = ReadStoredMonitor();
    EXPECT_STREQ(stored.name, "\\\\.\\DISPLAY2");
    EXPECT_TRUE(stored.hasRect && stored.rect == g_second);
    RefreshMonitors();
    EXPECT_EQ(TouchMonitorIndex(), 1);
    EXPECT_EQ(DlgItemText(page, IDC_TOUCH_SCREEN),
              "Screen 2 of 2, " + std::to_string(W) + " x " + std::to_string(H));
    const CalPoint aims[] = {{10, 10}, {W / 2, H / 3}, {W - 12, H - 9}};
    for (const CalPoint p : aims) {
        ASSERT_NO_FATAL_FAILURE(Press(p));
        WaitCursorNear(CalPoint{g_second.left + p.x, g_second.top + p.y});
        ASSERT_NO_FATAL_FAILURE(Lift());
    }
}

TEST_F(ScreenChoice, EscapeOrARoundWithoutTouchChangesNothing)
{
    const UINT_PTR escape = ::SetTimer(nullptr, 0, 200, &PressEscape);
    EXPECT_EQ(ChooseScreenByTouch(), kScreenPromptAborted);
    ::KillTimer(nullptr, escape);
    const UINT_PTR skip = ::SetTimer(nullptr, 0, 200, &PressReturn);
    EXPECT_EQ(ChooseScreenByTouch(), kScreenPromptAborted);
    ::KillTimer(nullptr, skip);
    EXPECT_EQ(ReadStoredMonitor().name[0], '\0');
    EXPECT_EQ(TouchMonitorIndex(), 0);
}

} // namespace
