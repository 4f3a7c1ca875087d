// The process from start to end: start-up in its fixed order, the single
// message loop, shutdown in its fixed order; the unhandled-fault handler.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Runs the program; returns the quit message's exit code after a normal run
// and 0 when start-up fails. The arguments that are none of the command
// line's are logged once and otherwise ignored. started, when given, is
// called once start-up is over, before the message loop runs.
int RunApplication(HINSTANCE instance, const std::vector<std::string>& ignoredArguments = {},
                   void (*started)() = nullptr);

// Any fault that nothing handles (structured exception, uncaught C++
// exception) shows message 0xe02a0005 and ends the process with exit code
// 0xFFFFFFFF.
void InstallUnhandledFaultHandler();

// Whether the system is an embedded edition; false if that cannot be told.
bool QueryEmbeddedSystem();
// Whether the test switch TP_EMBEDDED (below) asks for the embedded path.
bool EmbeddedSwitchSet();

// Test switches read from the environment at start:
// TP_EVENT_TRACE=<file> also appends every event written, one line
//   "<id in 8 hex digits> <insert>", to that file;
// TP_TEMPERATURE_PERIOD_MS=<n> arms the temperature timer with n ms instead
//   of one minute;
// TP_EMBEDDED=1 runs the embedded path on any system: no tray icon, and the
//   About page offers "Reboot" and "Exec App". It only adds to what a
//   desktop user can do anyway: the restart still needs the user's shutdown
//   privilege, and "Exec App" still asks for the access code. It can never
//   take the embedded path away from an embedded system.
constexpr const char* kEventTraceVariable = "TP_EVENT_TRACE";
constexpr const char* kTemperaturePeriodVariable = "TP_TEMPERATURE_PERIOD_MS";
constexpr const char* kEmbeddedVariable = "TP_EMBEDDED";
