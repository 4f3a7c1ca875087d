#include "calibration/CalibrationStart.h"

#include <cstdint>

#include "base/AppContext.h"
#include "base/Monitors.h"
#include "calibration/CalibrationWindow.h"
#include "calibration/ScreenPrompt.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

// Fetched for each use: a box can replace the controller in between.
ZmrCtrlVirt* Controller()
{
    return static_cast<ZmrCtrlVirt*>(App().controller.load());
}

void WriteBothBack()
{
    if (ZmrCtrlVirt* ctrl = Controller()) {
        ctrl->WriteStabilization(0);
        ctrl->WriteFilter(0);
    }
}

// The run on the chosen monitor: stabilization and filter read and sent
// again around the opening of the window.
RunStart StartOnTouchMonitor()
{
    ZmrCtrlVirt* ctrl = Controller();
    if (ctrl == nullptr) return RunStart::NoController;
    // An unanswered read leaves the no-reply default in the object; the
    // user's values go back before anything else can see them.
    const int32_t stabilization = ctrl->Stabilization;
    const int32_t filter = ctrl->Filter;
    if (ctrl->ReadStabilization(0) != 0 || ctrl->ReadFilter(0) != 0) {
        ctrl->Stabilization = stabilization;
        ctrl->Filter = filter;
        return RunStart::NoController;
    }
    // The write operations send the values the object holds, just read.
    if (ctrl->WriteStabilization(0) != 0 || ctrl->WriteFilter(0) != 0) {
        WriteBothBack();
        return RunStart::NoController;
    }
    const bool opened = OpenCalibrationWindow() == 1;
    WriteBothBack();
    return opened ? RunStart::Started : RunStart::NoWindow;
}

} // namespace

RunStart StartCalibrationRun()
{
    // A second start while a run or drawing test is open would save the
    // already zeroed calibration as the one to restore.
    if (OpenFullScreenWindow() != nullptr) return RunStart::AlreadyOpen;
    if (Controller() == nullptr) return RunStart::NoController;
    if (CurrentMonitors().count > 1) {
        // Escape or a round without a touch: nothing changed.
        const int chosen = ChooseScreenByTouch();
        if (chosen < 0) return RunStart::Aborted;
        UseMonitorForRun(chosen);
    }
    // The run stores the monitor when it is confirmed; any other end goes
    // back to the stored one.
    const RunStart start = StartOnTouchMonitor();
    if (start != RunStart::Started) EndMonitorRun(false);
    return start;
}
