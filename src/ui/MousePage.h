// The Mouse page of the settings window (dialog 150): the button a touch
// produces (changed only after confirmation), the button the mouse-button
// window arms, and whether that window stays on top.
#pragma once

#include <windows.h>

#include "base/DialogObject.h"

// Creates the page hidden as a child of the settings window; nullptr on failure.
HWND CreateMousePage(HWND settingsWindow);

class MousePage : public DialogObject<MousePage> {
public:
    // CMD_PAGE_RELOAD and CMD_PAGE_STORE.
    void Reload();
    void Store();
    // The user asks for the "Button" radio radioId (1000..1002), by any mouse
    // button or by the keyboard: confirmed and logged, or the old check kept.
    void OnButtonRadioChosen(int radioId);

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    static LRESULT CALLBACK RadioSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR data);

    // A question is open; further clicks are not questions of their own.
    bool m_bAsking = false;
    // A "Button" radio is handling the release of Space: its BN_CLICKED
    // then is the user's choice (any other comes from the focus).
    int m_nSpaceReleasing = 0;

    friend class DialogObject<MousePage>;
};
