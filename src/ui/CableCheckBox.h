// The cable-check countdown (dialog 154, "Information"): asks the user to
// check the cable while the port is being switched and closes by itself
// after ten seconds.
#pragma once

#include <windows.h>

// Timer of the countdown and its period.
constexpr UINT_PTR kCableCheckTimerId = 9297;
constexpr UINT kCableCheckTickMs = 1000;
constexpr int kCableCheckSeconds = 10;

enum class CableCheckOutcome {
    Closed, // Cancel or the end of the countdown
    Quit,   // a quit request is pending: the caller goes no further
};

// Runs the box modally with the message window as owner; returns when it has
// closed. Ends the process when the box cannot be shown.
CableCheckOutcome RunCableCheckBox();
