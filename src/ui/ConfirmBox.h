// The warning box (dialog 165): a Yes/No question asked before a change
// that can cost the user control of the machine (channel, touch mode, mouse
// button). "&No" is the default: Return, Esc and the close box answer No.
#pragma once

#include <windows.h>

#include <cstdint>

// Asks the message-table text of messageId, modal with the message window as
// owner. True only for "&Yes": a box that could not be shown is a No.
bool ConfirmBox(uint32_t messageId);
// The same with a text of the caller's.
bool ConfirmBoxText(const char* question);

// Result with which the box ends for each answer.
constexpr INT_PTR kConfirmYes = 1;
constexpr INT_PTR kConfirmNo = 2;
