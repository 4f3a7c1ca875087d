// The calibration windows against the simulated device: a real controller on
// a real serial channel, touches aimed at screen pixels and injected by the
// controller, a stand-in settings window with its tab control and a Driver
// page that records CMD_ROTATION_CHANGED.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "calibration/CalibrationMath.h"
#include "channel/CommProtocol2.h"
#include "controller/ZmrCtrlVirt.h"
#include "support/DevSim.h"

class CalibrationBench : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Dispatches this thread's messages until done() holds or the time is up.
    static bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
    // A finger on screen pixel p: "touch" with the raw value the sensor
    // reports there (before its mounting), then "release".
    void Press(CalPoint p);
    void Lift();
    // Press and lift on p, waiting for the run to take each and to show what
    // comes next: the next cross, the check point, the confirm button, or
    // the step given in next. Then waits out the bounce time.
    void TouchCross(CalPoint p, int64_t next = -1);
    void WaitCursorNear(CalPoint p);

    // Screen pixels.
    int32_t W = 0;
    int32_t H = 0;

    DevSim sim;
    std::unique_ptr<CommProtocol2> channel;
    std::unique_ptr<ZmrModelCtrl> ctrl;
    HWND settings = nullptr; // stand-in settings window
    HWND tab = nullptr;      // its tab control (1040)
    HWND driverPage = nullptr;
};

// Each CMD_ROTATION_CHANGED the Driver page got: its lParam.
std::vector<LPARAM>& RotationNotices();

// Saves the screen as a BMP file in $TP_SCREENSHOT_DIR (a unix directory)
// when that is set; nothing otherwise.
void SaveScreenshot(const char* name);
