// The right click by holding on the touch path, as the system receives it:
// each outcome, a finger held still decided by the ring window's clock (and
// the ring shown for a moment), and releases that let go of what their press
// pressed whatever changed meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "ControllerTestSupport.h"
#include "FakeChannel.h"
#include "controller/ZmrCtrlVirt.h"
#include "support/Pump.h"
#include "ui/HoldRingWindow.h"

namespace {

std::string g_recs;
uint32_t g_now = 0;

// "M@x" a move, "LD@x" "LU@x" "RD@x" "RU@x" the buttons; y is always the middle.
UINT Record(const INPUT* in)
{
    const DWORD f = in->mi.dwFlags;
    const char* what = (f & MOUSEEVENTF_LEFTDOWN)    ? "LD"
                       : (f & MOUSEEVENTF_LEFTUP)    ? "LU"
                       : (f & MOUSEEVENTF_RIGHTDOWN) ? "RD"
                       : (f & MOUSEEVENTF_RIGHTUP)   ? "RU"
                                                     : "M";
    g_recs += (g_recs.empty() ? "" : " ") + std::string(what) + "@" + std::to_string(in->mi.dx);
    EXPECT_EQ(in->mi.dy, 32767);
    return 1;
}

uint32_t Clock()
{
    return g_now;
}

TEST(HoldRightClick, EachOutcomeAndEveryReleaseReachTheSystemAsTheyShould)
{
    // tX a report at raw x (y 512), r the release, +N the clock, hN the
    // choice in ms, b the right mouse button, l the line lost, c a clock
    // tick, w waiting for the ring (and for it to go).
    struct Case {
        const char* what;
        const char* script;
        const char* records;
    };
    const Case cases[] = {
        {"off: the press at once", "h0 t512 r", "M@32767 LD@32767 LU@32767"},
        {"moved further first: a press at the first point, then the drag", "h500 t512 t600 +100 r",
         "M@32767 LD@32767 M@38399 LU@38399"},
        {"released earlier: a click at the first point", "h1000 t512 t515 +900 r",
         "M@32767 LD@32767 LU@32767"},
        {"held still: a right click there and nothing else", "h500 t512 +500 w t700 r",
         "M@32767 RD@32767 RU@32767"},
        {"switched off and the button changed while dragging", "h500 t512 t600 h0 b r",
         "M@32767 LD@32767 M@38399 LU@38399"},
        {"the line lost while dragging: one up", "h500 t512 t600 l r c",
         "M@32767 LD@32767 M@38399 LU@38399 M@38399"},
    };
    SetInputInjector(&Record);
    SetTouchClock(&Clock);
    App().ident = IdentRecord{2, 1, 30};
    const HWND ring = CreateHoldRingWindow(::GetModuleHandleA(nullptr));
    ASSERT_NE(ring, nullptr);
    App().holdRingWindow = ring;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearControllerRegistry();
        auto ctrl = std::make_unique<ZMR01Ctrl>();
        CloseThreadBoxes();
        ctrl->m_Calibration.LineDirX = ctrl->m_Calibration.LineDirY = 0;
        ctrl->m_Calibration.LineShiftX = ctrl->m_Calibration.LineShiftY = 0;
        FakeChannel channel;
        channel.SetListener(ctrl.get());
        App().channel = &channel;
        g_recs.clear();
        g_now = 1000;
        std::istringstream script(c.script);
        for (std::string op; script >> op;) {
            const int n = std::atoi(op.c_str() + 1);
            const uint8_t release[1] = {0x91};
            const uint8_t report[4] = {0x90, static_cast<uint8_t>(n & 0xFF), 0x00,
                                       static_cast<uint8_t>(n >> 8 | 0x20)};
            POINT centre = {};
            switch (op[0]) {
            case 't':
                ctrl->OnReceive(report, 4);
                break;
            case 'r':
                ctrl->OnReceive(release, 1);
                break;
            case '+':
                g_now += static_cast<uint32_t>(n);
                break;
            case 'h':
                ctrl->HoldRightClick = n;
                break;
            case 'b':
                ctrl->MouseButton = kMouseButtonRight;
                break;
            case 'l':
                ctrl->OnLineLost();
                break;
            case 'c':
                ctrl->OnTouchClock();
                break;
            case 'w':
                PumpUntil([&] { return HoldRingShown(ring, &centre); }, 3000);
                ASSERT_TRUE(HoldRingShown(ring, &centre));
                EXPECT_NEAR(centre.x, ::GetSystemMetrics(SM_CXSCREEN) / 2, 2);
                EXPECT_NEAR(centre.y, ::GetSystemMetrics(SM_CYSCREEN) / 2, 2);
                PumpUntil([&] { return !HoldRingShown(ring, nullptr); }, 3000);
                EXPECT_FALSE(HoldRingShown(ring, nullptr)) << "the ring is short-lived";
                break;
            default:
                FAIL() << op;
            }
        }
        EXPECT_EQ(g_recs, c.records);
        EXPECT_FALSE(HoldRingShown(ring, nullptr));
        App().channel = nullptr;
        channel.ClearListener();
    }
    ::DestroyWindow(ring);
    App().holdRingWindow = nullptr;
    SetTouchClock(nullptr);
    SetInputInjector(nullptr);
    App().ident = IdentRecord{};
    ClearControllerRegistry();
}

} // namespace
