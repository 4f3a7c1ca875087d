// The calibration run end to end: touches from the simulated device aimed at
// the crosses through a sensor mounted in several ways, the confirmation,
// every way a run is aborted, and the faults mended around it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CalibrationTestSupport.h"
#include "base/AppContext.h"
#include "calibration/CalibrationWindow.h"
#include "calibration/DrawingWindow.h"
#include "controller/ControllerTestSupport.h"

namespace {

constexpr const char* kCalibrationError = "An error was detected during the calibration process.";

class CalibrationRun : public CalibrationBench {
protected:
    // Crosses at 12 % of the screen.
    CalPoint Target(int i) const { return CrossTarget(i, 0, 0, W, H, MarginsFor(kMarkerDistance12, W, H)); }

    // A state no run would produce, so that a restore is seen to be exact.
    void SetDistinctiveState()
    {
        int32_t* fields = reinterpret_cast<int32_t*>(&ctrl->m_Calibration);
        for (int i = 0; i < 16; ++i)
            fields[i] = (i + 1) * 7 - 50;
        ctrl->Rotate = 3;
        ctrl->SwapXY = 1;
        ctrl->MarkerDistance = kMarkerDistance12;
        before = ctrl->m_Calibration;
    }
    void ExpectRestored()
    {
        EXPECT_EQ(std::memcmp(&ctrl->m_Calibration, &before, sizeof before), 0);
        EXPECT_EQ(ctrl->Rotate, 3);
        EXPECT_EQ(ctrl->SwapXY, 1);
    }
    void ExpectZeroed()
    {
        const CalibrationRecord zero = {};
        EXPECT_EQ(std::memcmp(&ctrl->m_Calibration, &zero, sizeof zero), 0);
        EXPECT_EQ(ctrl->Rotate, 0);
        EXPECT_EQ(ctrl->SwapXY, 0);
    }
    void ExpectOneNotice()
    {
        ASSERT_EQ(RotationNotices().size(), 1u);
        EXPECT_EQ(RotationNotices()[0], reinterpret_cast<LPARAM>(tab));
    }
    bool WaitClosed(int timeoutMs)
    {
        return PumpUntil([] { return OpenFullScreenWindow() == nullptr; }, timeoutMs);
    }
    void TouchAllCrosses()
    {
        for (int i = 0; i < 3; ++i)
            ASSERT_NO_FATAL_FAILURE(TouchCross(Target(i)));
    }
    HWND ConfirmButton() const { return ::FindWindowExA(OpenFullScreenWindow(), nullptr, "Button", nullptr); }

    CalibrationRecord before = {};
};

TEST_F(CalibrationRun, EachMountingIsFoundConfirmedAndHitsTheTargets)
{
    struct Case {
        const char* mount;
        int32_t rotate;
        int32_t swap;
    };
    const Case cases[] = {
        {"as-is", 0, 0}, {"mirror-x", 1, 0}, {"rotate-180", 2, 0}, {"swap-xy", 0, 1}, {"mirror-y", 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mount);
        ASSERT_TRUE(sim.Command(std::string("mount ") + c.mount));
        SetDistinctiveState();
        RotationNotices().clear();
        ModalBoxCloser closer;
        ASSERT_EQ(OpenCalibrationWindow(), 1);
        ExpectZeroed();
        if (c.rotate == 0 && c.swap == 0) SaveScreenshot("calibration-cross.bmp");
        ASSERT_NO_FATAL_FAILURE(TouchAllCrosses());

        // The result is in force before the confirmation.
        EXPECT_EQ(ctrl->Rotate, c.rotate);
        EXPECT_EQ(ctrl->SwapXY, c.swap);
        const HWND button = ConfirmButton();
        ASSERT_NE(button, nullptr);
        char text[64] = {};
        ::GetWindowTextA(button, text, sizeof text);
        EXPECT_STREQ(text, "Confirm calibration");
        if (c.rotate == 0 && c.swap == 0) SaveScreenshot("calibration-confirm.bmp");
        RECT r = {};
        ::GetWindowRect(button, &r);
        const CalPoint centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        EXPECT_GE(centre.x, W / 2);
        EXPECT_LT(centre.y, H / 2);
        ASSERT_NO_FATAL_FAILURE(Press(centre));
        ASSERT_NO_FATAL_FAILURE(Lift());
        ASSERT_TRUE(WaitClosed(3000));
        EXPECT_TRUE(closer.seen().empty());
        ASSERT_NO_FATAL_FAILURE(ExpectOneNotice());

        // Kept: mounting, crosses, and line values of a sensor that is off
        // by no more than the pixel rounding of its raw values.
        EXPECT_EQ(ctrl->Rotate, c.rotate);
        EXPECT_EQ(ctrl->SwapXY, c.swap);
        const CalibrationRecord& k = ctrl->m_Calibration;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(k.Target[i][0], Target(i).x);
            EXPECT_EQ(k.Target[i][1], Target(i).y);
        }
        EXPECT_LE(std::abs(k.LineDirX), 10) << k.LineDirX;
        EXPECT_LE(std::abs(k.LineDirY), 10) << k.LineDirY;
        EXPECT_LE(std::abs(k.LineShiftX), 200) << k.LineShiftX;
        EXPECT_LE(std::abs(k.LineShiftY), 200) << k.LineShiftY;

        for (int i = 0; i < 3; ++i) {
            ASSERT_NO_FATAL_FAILURE(Press(Target(i)));
            WaitCursorNear(Target(i));
            ASSERT_NO_FATAL_FAILURE(Lift());
        }
        PumpUntil([] { return false; }, 100);
    }
}

TEST_F(CalibrationRun, EveryAbortRestoresExactlyAndReports)
{
    enum class How { Escape, AltF4, Close, BesideButton };
    struct Case {
        const char* what;
        How how;
        int crossesFirst;
    };
    const Case cases[] = {
        {"Escape on the first cross", How::Escape, 0},
        {"Escape at the confirm button", How::Escape, 3},
        {"Alt+F4 on the second cross", How::AltF4, 1},
        {"WM_CLOSE on the third cross", How::Close, 2},
        {"a touch beside the confirm button", How::BesideButton, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetDistinctiveState();
        RotationNotices().clear();
        ModalBoxCloser closer;
        ASSERT_EQ(OpenCalibrationWindow(), 1);
        const HWND window = OpenFullScreenWindow();
        for (int i = 0; i < c.crossesFirst; ++i)
            ASSERT_NO_FATAL_FAILURE(TouchCross(Target(i)));
        switch (c.how) {
        case How::Escape:
            ::PostMessageA(window, WM_CHAR, 27, 1);
            break;
        case How::AltF4:
            // As the keyboard delivers it: F4 with Alt held (context bit).
            ::PostMessageA(window, WM_SYSKEYDOWN, VK_F4, 0x20000001);
            break;
        case How::Close:
            ::PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        case How::BesideButton: {
            RECT r = {};
            ::GetWindowRect(ConfirmButton(), &r);
            ASSERT_NO_FATAL_FAILURE(
                Press(CalPoint{r.left - 60 > 0 ? r.left - 60 : r.right + 60, r.bottom + 60}));
            ASSERT_NO_FATAL_FAILURE(Lift());
            break;
        }
        }
        ASSERT_TRUE(WaitClosed(3000));
        ASSERT_TRUE(PumpUntil([&] { return !closer.seen().empty(); }, 3000));
        EXPECT_EQ(closer.seen()[0].text.rfind(kCalibrationError, 0), 0u) << closer.seen()[0].text;
        ExpectRestored();
        ExpectOneNotice();
    }
}

TEST_F(CalibrationRun, TenSecondsWithoutTouchAbort)
{
    SetDistinctiveState();
    ModalBoxCloser closer;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    ASSERT_NO_FATAL_FAILURE(TouchCross(Target(0)));
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(WaitClosed(8000)) << "a touch restarts the ten seconds";
    ASSERT_TRUE(WaitClosed(6000));
    EXPECT_GE(::GetTickCount() - start, 9000u);
    ASSERT_TRUE(PumpUntil([&] { return !closer.seen().empty(); }, 3000));
    EXPECT_EQ(closer.seen()[0].text.rfind(kCalibrationError, 0), 0u);
    ExpectRestored();
    ExpectOneNotice();
}

TEST_F(CalibrationRun, DestroyedWithItsOwnerRestoresSilently)
{
    SetDistinctiveState();
    ModalBoxCloser closer;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    ASSERT_NO_FATAL_FAILURE(TouchCross(Target(0)));
    ::DestroyWindow(OpenFullScreenWindow());
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(closer.seen().empty());
    ExpectRestored();
    ExpectOneNotice();
}

TEST_F(CalibrationRun, OneWindowAtATime)
{
    SetDistinctiveState();
    ModalBoxCloser closer;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    const HWND first = OpenFullScreenWindow();
    // A second run would save the zeroed block as the one to restore.
    EXPECT_EQ(OpenCalibrationWindow(), 0);
    EXPECT_EQ(OpenDrawingWindow(), 0);
    EXPECT_EQ(OpenFullScreenWindow(), first);
    ::SendMessageA(first, WM_COMMAND, MAKEWPARAM(CMD_WINDOW_START, 0), 0);
    EXPECT_TRUE(closer.seen().empty());
    ::PostMessageA(first, WM_CHAR, 27, 1);
    ASSERT_TRUE(WaitClosed(3000));
    ExpectRestored();
}

TEST_F(CalibrationRun, ReplacedControllerEndsTheRunWithoutWritingIntoIt)
{
    SetDistinctiveState();
    ModalBoxCloser closer;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    ASSERT_NO_FATAL_FAILURE(TouchCross(Target(0)));

    // A restart notice with a new model: the old object is gone (kept alive
    // here to see that nothing was written into it), a new one is current.
    channel->ClearListener();
    std::unique_ptr<ZmrModelCtrl> replacement = std::make_unique<ZMR01Ctrl>();
    CloseThreadBoxes();
    replacement->Rotate = 2;
    const CalibrationRecord fresh = replacement->m_Calibration;
    App().controller = replacement.get();
    App().controllerModel = replacement->m_nType;

    ::PostMessageA(OpenFullScreenWindow(), WM_MOUSEMOVE, 0, 0);
    ASSERT_TRUE(WaitClosed(3000));
    ASSERT_TRUE(PumpUntil([&] { return !closer.seen().empty(); }, 3000));
    EXPECT_EQ(closer.seen()[0].text.rfind(kCalibrationError, 0), 0u);
    ExpectZeroed(); // the old object: neither restored nor computed into
    EXPECT_EQ(replacement->Rotate, 2);
    EXPECT_EQ(std::memcmp(&replacement->m_Calibration, &fresh, sizeof fresh), 0);

    App().controller = ctrl.get();
    App().controllerModel = ctrl->m_nType;
    channel->SetListener(ctrl.get());
}

} // namespace
