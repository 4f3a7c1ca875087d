// The LCD setting bars ("Setting LCD", one layout per display model) and the
// mini LCD bar ("LCD") that stands in for them while they are minimised.
#pragma once

#include <windows.h>

// (Re)builds the bar for App().lcdModel, owned by the message window; it
// keeps the old bar's visibility (hidden at start-up). No bar for a model
// outside 0..2. Ends the process when the bar cannot be created.
void CreateLcdBar(HWND* bar);
// Creates and shows the mini LCD bar. Ends the process when it cannot be
// created.
void CreateMiniLcdBar(HWND* miniBar);

// Makes both bars topmost or ordinary windows by the current controller's
// LcdTopMost, without moving them.
void ApplyLcdBarTopMost();

// What "&Maximize" calls to bring the tray icon back (not on embedded
// systems). The application sets it; nothing is called while unset.
using TrayIconRequest = bool (*)();
void SetLcdBarTrayIconRequest(TrayIconRequest request);

// Notifications the arrow buttons post to their bar (WM_COMMAND high word):
// one step of a held key (low word: the button id), and the end of a press
// of an LcdType3 key (low word kRepeatReleaseId).
constexpr WORD NOTIFY_REPEAT_STEP = 9313;
constexpr WORD NOTIFY_REPEAT_RELEASE = 9314;
constexpr WORD kRepeatReleaseId = 9315;
