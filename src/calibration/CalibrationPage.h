// The Calibration page of the settings window (dialog 135): the distance of
// the calibration crosses from the screen edges ("Start in at" 0 %, 12 %,
// 22 %, kept in the controller's `MarkerDistance`), "Calibrate" with the
// controller exchanges around the run, and "Draw" for the drawing test.
#pragma once

#include <windows.h>

#include "base/DialogObject.h"

// Creates the page as a modeless child of the settings window, placed at the
// page origin of its tab control and left hidden; nullptr when the dialog
// cannot be created. The page deletes itself with its window.
//
// Page protocol: WM_COMMAND CMD_PAGE_RELOAD (4001) shows the controller's
// `MarkerDistance` again, CMD_PAGE_STORE (4003) stores the checked choice
// into it; both return TRUE with the dialog result 0.
HWND CreateCalibrationPage(HWND settingsWindow);

class ZmrCtrlVirt;

class CalibrationPage : public DialogObject<CalibrationPage> {
public:
    // "Calibrate": Stabilization and Filter are read from the controller and
    // written back to check that it answers, the run is opened, and both are
    // written once more. A failed read puts back the values the object held
    // before, so that a later Apply does not store the no-reply defaults.
    void Calibrate();
    // Calibrate's run on the touch monitor: false when no run started.
    bool CalibrateOnTouchMonitor();
    void Draw();
    void Store();
    void Reload();

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void PlaceAtPageOrigin();

    friend class DialogObject<CalibrationPage>;
};
