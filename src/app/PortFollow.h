// The device follows its adapter: when the line is lost and its port does
// not come back, or when nothing answers at start-up, the other ports
// present are asked for the device's identification, and the channel moves
// to the port where it answers. Also the power events: a touch let go on
// suspend, the device identified and configured again on resume. Main
// thread only; the message window forwards its messages here.
#pragma once

#include <windows.h>

#include <cstdint>

// Out of the way of the message window's other timers.
constexpr UINT_PTR kPortSearchTimerId = 1450;
constexpr UINT kPortSearchTickMs = 1000;

// Arms the search's timer unless "SearchPorts" is 0. It ticks while the
// line is lost or silent and stops once it works.
void StartPortFollow(HWND messageWindow);
void StopPortFollow(HWND messageWindow);
// The line may have changed: the timer ticks again until it works.
void PortFollowWake();

// One step of the search: at most one port asked, which blocks no longer
// than one identification.
void PortFollowTick();
// WM_DEVICECHANGE: a port that arrives is asked at once.
void PortFollowDeviceChange(WPARAM event, LPARAM data);
// WM_POWERBROADCAST.
void PortFollowPower(WPARAM event);
