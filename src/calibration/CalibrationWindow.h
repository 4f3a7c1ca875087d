// The calibration run: a full-screen, topmost window of the class
// "WndCalibrationClass" that shows three crosses one after the other, takes
// the cursor position at each lift, works out the sensor's mounting and the
// line correction, puts them into the current controller at once and asks
// for confirmation with a button at a random place. Anything but that
// confirmation puts the controller's previous values back. The registry is
// never touched: the values are stored only when the user applies the
// settings.
//
// The same class serves the drawing test (DrawingWindow.h), which shares the
// creation handling here and subclasses the window afterwards.
#pragma once

#include <windows.h>

#include <cstdint>

#include "calibration/CalibrationMath.h"

constexpr const char* kCalibrationClassName = "WndCalibrationClass";
// Abort after this long without touch activity.
constexpr UINT_PTR kCalibrationTimerId = 9316;
constexpr UINT kCalibrationIdleMs = 10000;

// Procedure of the window class (registered at start-up).
LRESULT CALLBACK CalibrationWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Opens the window and starts a run; returns 1 once the run has started
// (it goes on after the call), 0 when no window could be created (reported)
// or when a calibration or drawing window is open already (not reported:
// that window is in front).
int OpenCalibrationWindow();

// The calibration or drawing window now open, or nullptr. One at a time.
HWND OpenFullScreenWindow();

// The run tells the Driver page at its end (confirmed or aborted) that
// Rotate and SwapXY may have changed. The settings window installs how the
// page is found; nullptr (the default) tells nobody.
using DriverPageLocator = HWND (*)();
void SetDriverPageLocator(DriverPageLocator locator);

// Told on the main thread when a run has ended, confirmed or aborted, after
// the controller got its values (the Calibration page shows the last check).
// nullptr (the default) tells nobody.
using RunEndListener = void (*)();
void SetRunEndListener(RunEndListener listener);

// Told on the main thread when a run has ended, with whether the user
// confirmed it (the new values are then in the controller), before any box
// of the end is shown. For a run started by a command; nullptr (the
// default) tells nobody.
using RunResultListener = void (*)(bool confirmed);
void SetRunResultListener(RunResultListener listener);

// The run's step (see CalibrationMath.h), its layout, where its check point
// stands and the note it shows (a refusal, the residual), for tests and
// screenshots.
uint32_t CalibrationRunStep();
RunLayout CalibrationRunLayout();
CalPoint CalibrationCheckPoint();
const char* CalibrationRunNote();

// --- shared with the drawing test -------------------------------------------

// Creates a window of the class as both windows are created: no title,
// WS_VISIBLE, default place and size, owned by the message window. Creation
// removes the caption, makes it topmost and full screen and sets the idle
// timer; nullptr when any of that fails or a window of the class is open.
HWND CreateFullScreenWindow();

// Forgets the open window; the drawing test calls it when its window goes.
void ForgetFullScreenWindow(HWND hwnd);

// Draws the instructions (lines ending in '\n') centred across client, from
// two text rows above its middle; nothing when the DC has no font height.
void DrawInstructions(HDC dc, const RECT& client, const char* text);
