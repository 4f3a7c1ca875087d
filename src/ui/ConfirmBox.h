// The Yes/No question before a change that can cost the user control.
#pragma once

#include <windows.h>

#include <cstdint>

// Asks the text of messageId; 1 only when the user answered Yes. Any other
// result (No, or -1 when the box could not be shown) is a refusal.
int ConfirmBox(HWND owner, uint32_t messageId);
