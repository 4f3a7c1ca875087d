// The command-line jobs of setup scripts (/export, /import, /calibrate,
// /status): handed to the running program through its message window
// (WM_COPYDATA), or done here alone when none runs. A calibration run goes
// on after the running program's answer; its exit code follows when the
// user has confirmed or aborted it, and the second instance waits for that. Output goes to standard output
// and the error output when they are redirected, otherwise to the console the program was started from.
#pragma once

#include <windows.h>

#include "app/CommandLine.h"

// Runs a request that is not Normal; returns the process's exit code.
int RunCommand(const CommandRequest& request);

// The running program's side. Commands are taken only once start-up is over
// (before, and while a box is up, the answer is "busy").
void SetCommandsAccepted(bool accepted);
// WM_COPYDATA to the message window; 0 for data that is not a command.
LRESULT AnswerCommand(const COPYDATASTRUCT* data);
