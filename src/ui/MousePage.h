// The Mouse page of the settings window (dialog 150): the button a touch
// produces (changed only after confirmation), the button the mouse-button
// window arms, and whether that window stays on top.
#pragma once

#include <windows.h>

// Creates the page hidden as a child of the settings window; nullptr on failure.
HWND CreateMousePage(HWND settingsWindow);

class MousePage {
public:
    MousePage() = default;
    MousePage(const MousePage&) = delete;
    MousePage& operator=(const MousePage&) = delete;

    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

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

    HWND m_hwnd = nullptr;
    // A question is open; further clicks are not questions of their own.
    bool m_bAsking = false;
    bool m_bOwnedByWindow = false;

    friend HWND CreateMousePage(HWND settingsWindow);
};
