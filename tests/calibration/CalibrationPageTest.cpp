// The Calibration page from its real template: the margin choice both ways,
// "Calibrate" against an answering and a silent controller, and the drawing
// test with its lines, its handles and its GDI objects.
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CalibrationTestSupport.h"
#include "base/AppContext.h"
#include "calibration/CalibrationPage.h"
#include "calibration/CalibrationWindow.h"
#include "calibration/DrawingWindow.h"
#include "resources/resource.h"

namespace {

using Payloads = std::vector<std::vector<uint8_t>>;

SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

class CalibrationPageBench : public CalibrationBench {
protected:
    void SetUp() override
    {
        CalibrationBench::SetUp();
        page = CreateCalibrationPage(settings);
        ASSERT_NE(page, nullptr);
    }
    bool Checked(int id) const { return ::IsDlgButtonChecked(page, id) == BST_CHECKED; }
    LRESULT Command(WORD id) { return ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    HWND page = nullptr;
};

TEST_F(CalibrationPageBench, MarginChoiceIsShownAndStored)
{
    EXPECT_TRUE(Checked(IDC_MARKER_12)) << "the controller's default";
    ctrl->MarkerDistance = IDC_MARKER_22;
    Command(CMD_PAGE_RELOAD);
    EXPECT_TRUE(Checked(IDC_MARKER_22));
    EXPECT_FALSE(Checked(IDC_MARKER_12));

    ::CheckRadioButton(page, IDC_MARKER_0, IDC_MARKER_22, IDC_MARKER_0);
    EXPECT_EQ(ctrl->MarkerDistance, IDC_MARKER_22) << "a click changes only the check mark";
    Command(CMD_PAGE_STORE);
    EXPECT_EQ(ctrl->MarkerDistance, IDC_MARKER_0);

    // A damaged value: nothing checked, and a store leaves it alone.
    ctrl->MarkerDistance = 5;
    Command(CMD_PAGE_RELOAD);
    EXPECT_FALSE(Checked(IDC_MARKER_0) || Checked(IDC_MARKER_12) || Checked(IDC_MARKER_22));
    Command(CMD_PAGE_STORE);
    EXPECT_EQ(ctrl->MarkerDistance, 5);

    // Placed at the page origin inside the tab control.
    RECT area = {};
    ::GetClientRect(tab, &area);
    ::SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    RECT r = {};
    ::GetWindowRect(page, &r);
    POINT origin = {r.left, r.top};
    ::ScreenToClient(settings, &origin);
    EXPECT_EQ(origin.x, area.left + 8);
    EXPECT_EQ(origin.y, area.top + 8);
}

// "Points" both ways, and the last check: none before the first accepted
// one, then its pixels, refreshed when a run ends.
TEST_F(CalibrationPageBench, PointsChoiceAndLastCheck)
{
    EXPECT_TRUE(Checked(IDC_POINTS_3)) << "the default";
    EXPECT_EQ(DlgItemText(page, IDC_LAST_CHECK), "Last check: none");
    ::CheckRadioButton(page, IDC_POINTS_3, IDC_POINTS_5, IDC_POINTS_5);
    EXPECT_EQ(ctrl->CalibrationPoints, 3);
    Command(CMD_PAGE_STORE);
    EXPECT_EQ(ctrl->CalibrationPoints, 5);
    ctrl->CalibrationPoints = 3;
    ctrl->CheckResidual = 3;
    Command(CMD_PAGE_RELOAD);
    EXPECT_TRUE(Checked(IDC_POINTS_3));
    EXPECT_EQ(DlgItemText(page, IDC_LAST_CHECK), "Last check: 3 px");

    ModalBoxCloser closer;
    ctrl->CheckResidual = 12;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    ::PostMessageA(OpenFullScreenWindow(), WM_CHAR, 27, 1);
    ASSERT_TRUE(PumpUntil([] { return OpenFullScreenWindow() == nullptr; }, 3000));
    EXPECT_EQ(DlgItemText(page, IDC_LAST_CHECK), "Last check: 12 px") << "shown again at the end of a run";
}

TEST_F(CalibrationPageBench, CalibrateRefreshesBothValuesAroundTheRun)
{
    ASSERT_TRUE(sim.Command("param 0x05 9"));
    ASSERT_TRUE(sim.Command("param 0x08 12"));
    ModalBoxCloser closer;
    Command(IDC_CALIBRATE);
    EXPECT_NE(OpenFullScreenWindow(), nullptr);
    EXPECT_EQ(ctrl->Stabilization, 9);
    EXPECT_EQ(ctrl->Filter, 12);
    EXPECT_EQ(sim.Received(), (Payloads{{0x05}, {0x08}, {0x85, 9}, {0x88, 12}, {0x85, 9}, {0x88, 12}}));

    // A second tap while the run is open does nothing at all.
    sim.ClearReceived();
    Command(IDC_CALIBRATE);
    EXPECT_TRUE(sim.Received().empty());
    ::PostMessageA(OpenFullScreenWindow(), WM_CHAR, 27, 1);
    ASSERT_TRUE(PumpUntil([] { return OpenFullScreenWindow() == nullptr; }, 3000));
}

TEST_F(CalibrationPageBench, SilentControllerKeepsTheUsersValues)
{
    struct Case {
        const char* silent;
        size_t reads; // payloads sent before giving up
    };
    const Case cases[] = {{"silent 0x05", 3}, {"silent 0x08", 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.silent);
        ASSERT_TRUE(sim.Command("unsilent 0x05"));
        ASSERT_TRUE(sim.Command("unsilent 0x08"));
        ASSERT_TRUE(sim.Command(c.silent));
        sim.ClearReceived();
        ctrl->Stabilization = 7;
        ctrl->Filter = 21;
        ModalBoxCloser closer;
        Command(IDC_CALIBRATE);
        ASSERT_TRUE(PumpUntil([&] { return !closer.seen().empty(); }, 3000));
        EXPECT_EQ(closer.seen()[0].text.rfind("An error was detected during the calibration process.", 0),
                  0u);
        EXPECT_EQ(OpenFullScreenWindow(), nullptr);
        EXPECT_EQ(ctrl->Stabilization, 7);
        EXPECT_EQ(ctrl->Filter, 21);
        EXPECT_EQ(sim.Received().size(), c.reads) << "no write after a failed read";
    }
}

TEST_F(CalibrationPageBench, DrawingFollowsTheTouchAndLeaksNothing)
{
    ctrl->m_Calibration = CalibrationRecord{}; // touches land where they are aimed
    ModalBoxCloser closer;
    Command(IDC_DRAW);
    const HWND window = OpenFullScreenWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(::GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&DrawingWndProc));

    // A stroke through the simulated device: along the middle, then up.
    const int y = H / 2;
    std::vector<CalPoint> stroke;
    for (int x = W / 4; x <= W / 2; x += W / 16)
        stroke.push_back(CalPoint{x, y});
    for (int i = 1; i <= 4; ++i)
        stroke.push_back(CalPoint{W / 2 + i * W / 16, y - i * H / 16});
    for (const CalPoint& p : stroke) {
        ASSERT_NO_FATAL_FAILURE(Press(p));
        POINT at = {};
        PumpUntil(
            [&] {
                ::GetCursorPos(&at);
                return std::abs(at.x - p.x) <= 2 && std::abs(at.y - p.y) <= 2;
            },
            2000);
    }
    ASSERT_NO_FATAL_FAILURE(Lift());
    PumpUntil([] { return false; }, 200);
    SaveScreenshot("drawing-test.bmp");
    const HDC screen = ::GetDC(window);
    int black = 0;
    for (int dy = -3; dy <= 3; ++dy)
        black += ::GetPixel(screen, W * 3 / 8, y + dy) == RGB(0, 0, 0) ? 1 : 0;
    ::ReleaseDC(window, screen);
    EXPECT_GE(black, 1) << "the stroke crosses x = 3/8 of the screen";

    // Thousands of moves with the finger down take no DC, handle or GDI
    // object for good. Wine counts no GDI objects (0 always); a DC kept
    // there shows as memory, some hundreds of bytes each.
    const SIZE_T privateBefore = PrivateBytes();
    const DWORD gdiBefore = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD handlesBefore = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesBefore);
    ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    for (int i = 0; i < 5000; ++i)
        ::SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, 0);
    ::SendMessageA(window, WM_LBUTTONUP, 0, 0);
    const DWORD gdiAfter = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD handlesAfter = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(gdiAfter, gdiBefore + 2);
    const SIZE_T privateAfter = PrivateBytes();
    EXPECT_LT(privateAfter, privateBefore + 256 * 1024) << privateBefore << " -> " << privateAfter;
    EXPECT_LE(handlesAfter, handlesBefore + 2);

    // Escape closes it without a word and nothing in the controller moved.
    const int32_t dirX = ctrl->m_Calibration.LineDirX;
    const int32_t rotate = ctrl->Rotate;
    ::PostMessageA(window, WM_CHAR, 27, 1);
    ASSERT_TRUE(PumpUntil([] { return OpenFullScreenWindow() == nullptr; }, 3000));
    EXPECT_TRUE(closer.seen().empty());
    EXPECT_EQ(ctrl->m_Calibration.LineDirX, dirX);
    EXPECT_EQ(ctrl->Rotate, rotate);
}

} // namespace
