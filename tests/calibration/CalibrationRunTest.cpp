// The calibration run end to end: touches from the simulated device aimed at
// the crosses through a sensor mounted in several ways, the confirmation,
// every way a run is aborted, and the faults mended around it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CalibrationTestSupport.h"
#include "base/AppContext.h"
#include "calibration/CalibrationCheck.h"
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
    // The crosses, then the check point where it stands.
    void TouchCrossesAndCheck()
    {
        ASSERT_NO_FATAL_FAILURE(TouchAllCrosses());
        ASSERT_EQ(CalibrationRunStep(), CheckShownStep(CalibrationRunLayout()));
        ASSERT_NO_FATAL_FAILURE(TouchCross(CalibrationCheckPoint()));
    }
    void PressConfirm()
    {
        RECT r = {};
        ::GetWindowRect(ConfirmButton(), &r);
        ASSERT_NO_FATAL_FAILURE(Press(CalPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2}));
        ASSERT_NO_FATAL_FAILURE(Lift());
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
        int points;
    };
    const Case cases[] = {{"as-is", 0, 0, 3},     {"mirror-x", 1, 0, 3}, {"rotate-180", 2, 0, 3},
                          {"swap-xy", 0, 1, 3},   {"mirror-y", 3, 0, 3}, {"as-is", 0, 0, 5},
                          {"rotate-180", 2, 0, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mount) + ", " + std::to_string(c.points) + " points");
        ASSERT_TRUE(sim.Command(std::string("mount ") + c.mount));
        SetDistinctiveState();
        ctrl->CalibrationPoints = c.points;
        RotationNotices().clear();
        ModalBoxCloser closer;
        ASSERT_EQ(OpenCalibrationWindow(), 1);
        ExpectZeroed();
        EXPECT_EQ(CalibrationRunLayout().crosses, c.points);
        if (c.rotate == 0 && c.swap == 0 && c.points == 3) SaveScreenshot("calibration-cross.bmp");
        ASSERT_NO_FATAL_FAILURE(TouchAllCrosses());
        for (int i = 3; i < c.points; ++i)
            ASSERT_NO_FATAL_FAILURE(
                TouchCross(ExtraCrossTarget(i, 0, 0, W, H, MarginsFor(kMarkerDistance12, W, H))));

        // The result is in force before the confirmation, and before the
        // check point, whose touch goes through it.
        EXPECT_EQ(ctrl->Rotate, c.rotate);
        EXPECT_EQ(ctrl->SwapXY, c.swap);
        EXPECT_EQ(ConfirmButton(), nullptr);
        const CalPoint check = CalibrationCheckPoint();
        EXPECT_TRUE(check.x >= W / 4 && check.x <= W * 3 / 4 && check.y >= H / 4 && check.y <= H * 3 / 4)
            << check.x << ", " << check.y;
        if (c.rotate == 0 && c.swap == 0 && c.points == 3) SaveScreenshot("calibration-check.bmp");
        ASSERT_NO_FATAL_FAILURE(TouchCross(check));
        EXPECT_EQ(std::string(CalibrationRunNote()).find("Check point: "), 0u) << CalibrationRunNote();
        const HWND button = ConfirmButton();
        ASSERT_NE(button, nullptr);
        char text[64] = {};
        ::GetWindowTextA(button, text, sizeof text);
        EXPECT_STREQ(text, "Confirm calibration");
        if (c.rotate == 0 && c.swap == 0 && c.points == 3) SaveScreenshot("calibration-confirm.bmp");
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

        // Kept: mounting, crosses, the residual, and line values of a sensor
        // that is off by no more than the pixel rounding of its raw values.
        EXPECT_GE(ctrl->CheckResidual, 0);
        EXPECT_LE(ctrl->CheckResidual, 2);
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
        {"Escape at the check point", How::Escape, 3},
        {"Escape at the confirm button", How::Escape, 4},
        {"Alt+F4 on the second cross", How::AltF4, 1},
        {"WM_CLOSE on the third cross", How::Close, 2},
        {"WM_CLOSE at the check point", How::Close, 3},
        {"a touch beside the confirm button", How::BesideButton, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetDistinctiveState();
        RotationNotices().clear();
        ModalBoxCloser closer;
        ASSERT_EQ(OpenCalibrationWindow(), 1);
        const HWND window = OpenFullScreenWindow();
        for (int i = 0; i < c.crossesFirst; ++i)
            ASSERT_NO_FATAL_FAILURE(TouchCross(i < 3 ? Target(i) : CalibrationCheckPoint()));
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

// A slipped touch (found at the third) or a far check point refuses the
// attempt: the run starts again from the first cross as at its start, the
// reason shown. A good attempt then keeps its residual; a third refusal
// ends the run as Escape does.
TEST_F(CalibrationRun, MisplacedTouchesAndAFarCheckPointAreRefused)
{
    struct Slip {
        int touch; // 0..2 a cross, 3 the check point, -1 none
        CalPoint by;
    };
    struct Case {
        const char* what;
        std::vector<Slip> attempts;
        const char* note;
    };
    const Case cases[] = {
        {"a touch slipped on the second cross", {{1, {20, 0}}}, "A touch landed "},
        {"the check point 40 px off, then a good attempt",
         {{3, {40, 0}}, {-1, {}}},
         "px off: touch the crosses again"},
        {"three refusals", {{2, {0, 30}}, {0, {-20, 0}}, {1, {20, 0}}}, "touch the crosses again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetDistinctiveState();
        ctrl->CheckResidual = 77;
        RotationNotices().clear();
        ModalBoxCloser closer;
        ASSERT_EQ(OpenCalibrationWindow(), 1);
        for (size_t a = 0; a < c.attempts.size(); ++a) {
            const Slip& slip = c.attempts[a];
            const int refusedAt = slip.touch < 0 ? -1 : (slip.touch < 3 ? 2 : 3);
            for (int i = 0; i < 4; ++i) {
                const CalPoint aim = i == 3 ? CalibrationCheckPoint() : Target(i);
                const CalPoint p = i == slip.touch ? CalPoint{aim.x + slip.by.x, aim.y + slip.by.y} : aim;
                if (i == refusedAt && a == 2) {
                    ASSERT_NO_FATAL_FAILURE(Press(p));
                    ASSERT_NO_FATAL_FAILURE(Lift());
                    break;
                }
                ASSERT_NO_FATAL_FAILURE(TouchCross(p, i == refusedAt ? 0 : -1));
                if (i != refusedAt) continue;
                ExpectZeroed();
                EXPECT_NE(std::string(CalibrationRunNote()).find(c.note), std::string::npos)
                    << CalibrationRunNote();
                if (i == 3) SaveScreenshot("calibration-refused.bmp");
                break;
            }
        }
        const bool good = c.attempts.back().touch < 0;
        if (good) {
            ASSERT_NO_FATAL_FAILURE(PressConfirm());
        }
        if (c.attempts.size() == 1) ::PostMessageA(OpenFullScreenWindow(), WM_CHAR, 27, 1);
        ASSERT_TRUE(WaitClosed(3000));
        if (good) {
            EXPECT_TRUE(closer.seen().empty());
            EXPECT_TRUE(ctrl->CheckResidual >= 0 && ctrl->CheckResidual <= 2) << ctrl->CheckResidual;
        } else {
            ASSERT_TRUE(PumpUntil([&] { return !closer.seen().empty(); }, 3000));
            EXPECT_EQ(closer.seen()[0].text.rfind(kCalibrationError, 0), 0u);
            ExpectRestored();
            EXPECT_EQ(ctrl->CheckResidual, 77);
        }
        ExpectOneNotice();
    }
}

// A press that follows a lift within the bounce time is ignored with its
// lift; "CheckLimit" 0 runs the three crosses without a check point.
TEST_F(CalibrationRun, BouncesAreIgnoredAndNoLimitMeansNoCheck)
{
    SetDistinctiveState();
    ctrl->CheckLimit = 0;
    ModalBoxCloser closer;
    ASSERT_EQ(OpenCalibrationWindow(), 1);
    EXPECT_FALSE(CalibrationRunLayout().check);
    const HWND window = OpenFullScreenWindow();
    ::SetCursorPos(Target(0).x, Target(0).y);
    // Posted together, so that their message times lie well within 200 ms.
    ::PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageA(window, WM_LBUTTONUP, 0, 0);
    ::PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageA(window, WM_LBUTTONUP, 0, 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(CalibrationRunStep(), 2u) << "the second touch is a bounce";
    ASSERT_EQ(OpenFullScreenWindow(), window);
    ASSERT_NO_FATAL_FAILURE(TouchCross(Target(1)));
    ASSERT_NO_FATAL_FAILURE(TouchCross(Target(2)));
    ASSERT_EQ(CalibrationRunStep(), kStepConfirming);
    ASSERT_NO_FATAL_FAILURE(PressConfirm());
    ASSERT_TRUE(WaitClosed(3000));
    EXPECT_TRUE(closer.seen().empty());
    EXPECT_EQ(ctrl->CheckResidual, -1) << "no check, nothing kept";
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
