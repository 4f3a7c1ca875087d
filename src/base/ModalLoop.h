// Modal boxes run on a message loop of our own, so that a quit request is
// never lost in one: WM_QUIT ends the box with kModalQuit and is posted again
// for the loop outside it. The same holds for our own waits that serve
// messages. Code after a box or such a wait asks QuitRequested() before it
// goes on with a port switch, a save or another box.
#pragma once

#include <windows.h>

// Results of RunModalDialog that no button of a box chooses.
constexpr INT_PTR kModalFailed = -1; // the box could not be created
constexpr INT_PTR kModalQuit = -2;   // a quit request ended the box

// Runs dialog templateId modally: owner (may be null) is disabled while it
// runs, the box is served by IsDialogMessage, and it ends with the result
// given to EndModalDialog, 0 when something destroyed it, kModalQuit on a
// quit request (at once, without a box, while one is pending or the session
// is ending), kModalFailed when it could not be created.
INT_PTR RunModalDialog(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM param);
// True while a box run by RunModalDialog is up (main thread).
bool ModalBoxRunning();
// Ends the box run by RunModalDialog with result; may be called from its
// WM_INITDIALOG. A window that no such loop runs is left alone.
void EndModalDialog(HWND box, INT_PTR result);

// Posts the quit message with exitCode and remembers that the program is
// ending.
void RequestQuit(int exitCode);
// True once a quit was requested or seen: by RequestQuit, by a loop here
// that met WM_QUIT, or by a WM_QUIT still waiting in this thread's queue
// (taken and posted again, so that the outer loop still ends).
bool QuitRequested();
// The program's own message loop has received the quit message: the
// shutdown that follows may show its boxes again.
void QuitReachedMainLoop();

// Windows is ending the session: from now on no box is shown (each ends at
// once with kModalQuit) and the program ends.
void BeginSessionEnd();
bool SessionEnding();

// Waits ms while serving this thread's messages. False, at once, when a quit
// request ends the wait (the quit message is posted again).
bool WaitServingMessages(DWORD ms);

// Tests only: forgets a quit request and removes a WM_QUIT waiting in this
// thread's queue.
void ForgetQuitRequest();
