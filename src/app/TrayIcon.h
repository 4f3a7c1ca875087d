// The notification-area icon. "shell32" is loaded at run time because the
// embedded editions do not have it; there the program simply has no icon.
#pragma once

#include <windows.h>

#include <cstddef>

#include <shellapi.h>

// Start-up: loads "shell32" and looks up "Shell_NotifyIcon". Shows message
// 0xe02a0036 (library) or 0xe02a0037 (entry) modally when that fails; the
// program then runs without a tray icon. Not called on embedded systems.
void TrayLoad();
// Shutdown: removes a shown icon (message 0xa02a0015 modally when that
// fails) and unloads "shell32" (message 0xe02a0038 modally when that fails).
void TrayUnload();

// Adds the icon (icon 110, tip "Touch device", callbacks to the settings
// window). True when it is shown afterwards or the tray is unavailable.
bool TrayIconAdd();
// Deletes a shown icon; true when none is shown afterwards.
bool TrayIconRemove();
bool TrayIconShown();

// The first and shortest form of the notification-icon record, which every
// system version accepts: it ends after the 64-character tip (88 bytes for
// x86, 104 for x64).
constexpr DWORD kNotifyIconRecordSize = static_cast<DWORD>(offsetof(NOTIFYICONDATAA, szTip) + 64);

using ShellNotifyIconFunction = BOOL(WINAPI*)(DWORD message, NOTIFYICONDATAA* data);
// Test seam: use fn instead of the entry found in "shell32" (nullptr: the
// tray is unavailable).
void SetTrayNotifyFunction(ShellNotifyIconFunction fn);
