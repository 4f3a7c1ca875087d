// The About page of the settings window (dialog 162): the version line and
// author line from the program's own version resource, the controller
// temperature, and on embedded systems "Reboot" and "Exec App" (behind the
// access code).
#pragma once

#include <windows.h>

#include <cstdint>

// Creates the page hidden as a child of the settings window; nullptr when it
// cannot be created.
HWND CreateAboutPage(HWND settingsWindow);

// What the page's buttons do, reachable by tests.
// "Reboot": enables the shutdown privilege and restarts the machine; false,
// with nothing done, when the token cannot be opened or the privilege is not
// granted (an adjustment that reports ERROR_NOT_ALL_ASSIGNED has not
// enabled it).
bool AboutPageReboot();
// "Exec App": the access code, then the file dialog and the start of the
// chosen program. True when a program was started.
bool AboutPageExecApp(HWND page);

// Test seams. The restart itself (ExitWindowsEx with the given flags;
// default the system's) and the file choice (default the open-file dialog,
// owned by the page; false when cancelled).
using RestartAction = bool (*)(UINT flags);
void SetRestartAction(RestartAction action);
using ProgramChooser = bool (*)(HWND owner, char* path, size_t size);
void SetProgramChooser(ProgramChooser chooser);

constexpr uint32_t kMsgCodeNotCorrect = 0xe02a003a;
constexpr uint32_t kMsgVersionMissing = 0xe02a0005;
constexpr UINT kRestartFlags = EWX_REBOOT | EWX_FORCEIFHUNG; // 0x12
