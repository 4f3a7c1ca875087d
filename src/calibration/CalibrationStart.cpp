#include "calibration/CalibrationStart.h"

#include <cstdint>

#include "base/AppContext.h"
#include "calibration/CalibrationWindow.h"
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

} // namespace

RunStart StartCalibrationRun()
{
    // A second start while a run or drawing test is open would save the
    // already zeroed calibration as the one to restore.
    if (OpenFullScreenWindow() != nullptr) return RunStart::AlreadyOpen;
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
