// The warning box (dialog 165): a Yes/No question asked before a change
// that can cost the user control of the machine (channel, touch mode, mouse
// button). "&No" is the default: Return, Esc and the close box answer No.
#pragma once

#include <windows.h>

#include <cstdint>

// Asks the message-table text of messageId, modal with the message window as
// owner. The box opens with the focus on "&No". The answer is kConfirmYes,
// kConfirmNo, or kModalQuit / kModalFailed (base/ModalLoop.h) when a quit
// request ended the box or it could not be shown.
INT_PTR ConfirmBoxAnswer(uint32_t messageId);
// The same with a text of the caller's.
INT_PTR ConfirmBoxTextAnswer(const char* question);
// True only for "&Yes": a quit or a box that could not be shown is a No.
bool ConfirmBox(uint32_t messageId);
bool ConfirmBoxText(const char* question);

// Result with which the box ends for each answer.
constexpr INT_PTR kConfirmYes = 1;
constexpr INT_PTR kConfirmNo = 2;
