// The start of a calibration run as the Calibrate button makes it: the
// controller's stabilization and filter read and sent again, then the
// calibration window opened. Shared by the Calibration page and the
// command line's /calibrate.
#pragma once

enum class RunStart {
    Started,      // the window is open and the run goes on after the call
    AlreadyOpen,  // a calibration or drawing window is open: nothing done
    NoController, // no controller, or it did not answer: nothing left changed
    NoWindow,     // the window could not be opened (reported in a box)
    Aborted,      // no screen was chosen by touch: nothing changed
};

// Starts a run; boxes for NoController are the caller's to show. With more
// than one monitor the touch screen is first chosen by touch (a prompt with
// its own message loop).
RunStart StartCalibrationRun();
