// The process from start to end: start-up in its fixed order, the single
// message loop, shutdown in its fixed order; the factories that create the
// channel, controller and LCD objects; the unhandled-fault handler.
#pragma once

#include <windows.h>

#include "base/IdentRecord.h"

class ChannelVirt;
class CtrlVirt;
class LcdVirt;

// Runs the program; returns the quit message's exit code after a normal run
// and 0 when start-up fails.
int RunApplication(HINSTANCE instance);

// index -1: the stored "CurrentChannel", found by automatic detection when
// none is stored. The channel is not opened. Never null (ends the process
// when the object cannot be allocated).
ChannelVirt* CreateChannel(int index);
// model -1: the stored "CurrentDevice" resp. "CurrentLcd"; 0..3 resp. 0..2
// build that model; anything else gives nullptr.
CtrlVirt* CreateController(int model);
LcdVirt* CreateLcd(int model);
// Each accepts nullptr.
void DestroyChannel(ChannelVirt* channel);
void DestroyController(CtrlVirt* controller);
void DestroyLcd(LcdVirt* lcd);

// The models for an identification; an unknown or unsupported device gets
// the fallback model and an "Incompatible firmware" event.
int CtrlModelFromIdent(const IdentRecord& ident);
int LcdModelFromIdent(const IdentRecord& ident);

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
