// The DPI of a window, a point or the system, metrics for a DPI, and top-level
// dialogs that follow a change of DPI (a move to a monitor of another
// scaling, or a change of the scaling).
//
// Functions of newer systems are looked up at run time: the program still
// starts where they are missing, and then takes the system DPI.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/DpiScale.h"

// Sent to a top-level window when its DPI changes: the new DPI in both
// words of wParam, the suggested window rectangle (RECT*) in lParam.
constexpr UINT kWmDpiChanged = 0x02E0;

// The DPI of the whole system (of the primary monitor at logon).
uint32_t SystemDpi();

// The DPI the window is drawn at; the system DPI where the system has no
// per-monitor scaling.
uint32_t DpiForWindow(HWND hwnd);

// The DPI of the monitor under a screen point.
uint32_t DpiForPoint(POINT point);

// GetSystemMetrics(index) for a window at dpi.
int MetricForDpi(int index, uint32_t dpi);

// Makes the top-level dialog follow changes of DPI: on WM_DPICHANGED it
// takes the suggested rectangle, places and sizes every child window as it
// was at the DPI it was laid out for, scaled to the new one, and gives the
// controls their fonts at the new DPI (back at the DPI of its creation,
// every control is where and as it was). Calling it again changes nothing;
// what it keeps is freed with the window.
void FollowDpiChanges(HWND dialog);
