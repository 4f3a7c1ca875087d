// Message pumping and dialog reading for the in-process window tests.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Dispatches the pending messages of this thread.
void PumpMessages();

// Pumps (every 5 ms) until done() holds or timeoutMs have passed.
void PumpUntil(const std::function<bool()>& done, int timeoutMs);

// The text of control id of dialog; empty for a null dialog. At most 255
// characters: the tests read labels and short notices.
std::string DlgItemText(HWND dialog, int id);
