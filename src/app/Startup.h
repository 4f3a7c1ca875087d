// The process from start to end: start-up in its fixed order, the single
// message loop, shutdown in its fixed order; the unhandled-fault handler.
#pragma once

#include <windows.h>

// Runs the program; returns the quit message's exit code after a normal run
// and 0 when start-up fails.
int RunApplication(HINSTANCE instance);

// Any fault that nothing handles (structured exception, uncaught C++
// exception) shows message 0xe02a0005 and ends the process with exit code
// 0xFFFFFFFF.
void InstallUnhandledFaultHandler();

// Whether the system is an embedded edition; false if that cannot be told.
bool QueryEmbeddedSystem();

// Test switches read from the environment at start:
// TP_EVENT_TRACE=<file> also appends every event written, one line
//   "<id in 8 hex digits> <insert>", to that file;
// TP_TEMPERATURE_PERIOD_MS=<n> arms the temperature timer with n ms instead
//   of one minute.
constexpr const char* kEventTraceVariable = "TP_EVENT_TRACE";
constexpr const char* kTemperaturePeriodVariable = "TP_TEMPERATURE_PERIOD_MS";
