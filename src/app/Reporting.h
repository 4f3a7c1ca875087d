// Event-log writing, message-table lookup and the message boxes.
#pragma once

#include <windows.h>

#include <cstdint>

// Full path of the program file, filled by RegisterAppEventSource().
extern char g_szProgramPath[MAX_PATH];

void RegisterAppEventSource();

// Writes one informational entry with one insert ("%1"), unless the current
// controller has event writing switched off.
void ReportAppEvent(uint32_t eventId, const char* insert);

// The text of message id (at most 254 characters plus NUL) into buffer.
void FormatAppMessage(uint32_t id, char* buffer, int size);

int ShowMessageBoxModal(uint32_t id);
int ShowMessageBoxModeless(uint32_t id);

// Test seam: called for every entry that ReportAppEvent writes (after the
// UseLogEvent check), in addition to the event log. Pass nullptr to remove.
using AppEventObserver = void (*)(void* context, uint32_t eventId, const char* insert);
void SetAppEventObserver(AppEventObserver observer, void* context);
