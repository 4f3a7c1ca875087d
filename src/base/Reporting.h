// Event-log writing, message-table lookup and the message boxes.
#pragma once

#include <windows.h>

#include <cstdint>

// Full path of the program file, filled by RegisterAppEventSource().
extern char g_szProgramPath[MAX_PATH];

void RegisterAppEventSource();

// Writes one informational entry with one insert ("%1"), unless the current
// controller has event writing switched off (as told by the logEventsOn hook).
void ReportAppEvent(uint32_t eventId, const char* insert);

// For a thread that must not read the current controller, which the main
// thread may be replacing (the channel's receive thread): hands the entry to
// the message window (CMD_APP_EVENT), which writes it with ReportAppEvent on
// the main thread. Without a message window it is written at once; once the
// message window is gone it is dropped.
void PostAppEvent(uint32_t eventId, const char* insert);
// The message window's part: writes an entry handed over by PostAppEvent
// (the lParam of CMD_APP_EVENT) and frees it.
void WritePostedAppEvent(LPARAM posted);

// The text of message id as the user reads it, into buffer[size] (callers
// pass 255): the table's escapes are processed ("%n" -> CR LF, "%%" -> "%",
// "%." -> ".") and inserts ("%1") are left empty, so "%%i" comes back as
// "%i" for callers that print the text as a format. Texts end with the
// table's CR LF. A text longer than 254 characters counts as missing. For a
// missing text the buffer gets "Resource not found: <id in hex>.\n" and a
// modal box shows the system's reason (once: a failure while showing that
// reason is not explained again).
void FormatAppMessage(uint32_t id, char* buffer, int size);

// Show the rendered text of message id in an information box, modal (owned
// by the message window, returns when closed) or modeless (returns at once).
// Both always return 1.
int ShowMessageBoxModal(uint32_t id);
int ShowMessageBoxModeless(uint32_t id);

// Test seam: called for every entry that ReportAppEvent writes (after the
// UseLogEvent check), in addition to the event log. Pass nullptr to remove.
using AppEventObserver = void (*)(void* context, uint32_t eventId, const char* insert);
void SetAppEventObserver(AppEventObserver observer, void* context);

// What reporting needs from the layers above it, installed by the
// application at start. Either member may be null: events are then always
// written, and a modal box falls back to a plain system message box while a
// modeless one is not shown. Install before any other thread reports.
struct ReportingHooks {
    // False when the current controller has event writing switched off.
    bool (*logEventsOn)() = nullptr;
    // Shows text in an information box (see ShowMessageBoxModal/Modeless).
    HWND (*showBox)(const char* text, bool modal) = nullptr;
};
void SetReportingHooks(const ReportingHooks& hooks);
