// The system's monitors and the touch screen's among them, on the main
// thread: read at start and after every display change, the stored choice
// applied, the injection's mapping published for the receive thread, and
// the windows a person at the touch screen must answer placed on it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/MonitorPlacement.h"

// The stored choice under HKEY_LOCAL_MACHINE\<root>: the device name
// (REG_SZ) and the rectangle it had (REG_DWORD each). All optional; nothing
// stored is the primary monitor.
constexpr const char* kTouchMonitorValue = "TouchMonitor";
constexpr const char* kTouchMonitorRectValues[4] = {"TouchMonitorLeft", "TouchMonitorTop",
                                                    "TouchMonitorRight", "TouchMonitorBottom"};

// Test seam: fills the list in place of the system (monitors, virtual
// screen, orientations); false falls back to the system's list. nullptr
// (the default) asks the system.
using MonitorListSource = bool (*)(MonitorList* list);
void SetMonitorListSource(MonitorListSource source);

StoredMonitor ReadStoredMonitor();
bool WriteStoredMonitor(const MonitorEntry& monitor);

// Reads the monitors again, chooses the touch monitor, logs a stored one
// that is missing (once until it is back) and publishes the mapping.
void RefreshMonitors();

// A calibration on a monitor chosen by touch: from now on the touch
// monitor is list entry index (touches, the calibration window). The end of
// the run stores it (keep) or goes back to the stored choice.
void UseMonitorForRun(int index);
void EndMonitorRun(bool keep);

// As found by the last refresh.
const MonitorList& CurrentMonitors();
int TouchMonitorIndex();
// The touch monitor's rectangle; the primary screen when none is known.
MonitorRect TouchMonitorRect();
int32_t TouchMonitorOrientation();
// True, with its rectangle, when the touch monitor is not the primary one:
// windows placed on the primary screen go there instead.
bool TouchMonitorIsOther(MonitorRect* rect);

// The export's section on the touch monitor in use (name, rectangle, the
// display's orientation) and the orientation the calibration was made in
// (-1 unknown), after all others. For the reader only: the import skips it.
constexpr const char* kTouchMonitorSectionTitle = "Touch screen monitor.";
bool WriteTouchMonitorSection(HANDLE file, int32_t calibrationOrientation);

// Centres a window on the touch monitor when that is not the primary one;
// false (nothing moved) otherwise, and the caller places it as ever.
bool CentreOnTouchMonitor(HWND window);
