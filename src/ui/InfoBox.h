// The information box (dialog 154): one text and a "&Cancel" button, sized
// for a touch screen and placed at the bottom-left corner of the screen.
#pragma once

#include <windows.h>

#include "base/Handles.h"

// Shows text in an information box.
// modal: owned by the message window; returns when the box is gone, nullptr.
// modeless: unowned; returns the shown box at once, nullptr if it could not
// be created. Modeless boxes are not in the main loop's dialog list, so they
// close with their button or close box only; any number may be open.
HWND ShowInfoBox(const char* text, bool modal);

class InfoBox {
public:
    explicit InfoBox(bool modal) : m_bModal(modal) {}
    InfoBox(const InfoBox&) = delete;
    InfoBox& operator=(const InfoBox&) = delete;

    // Dialog procedure of every information box; finds the object stored at
    // WM_INITDIALOG and forwards.
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // Text handed over at creation (modal boxes); null keeps the template's.
    void SetInitialText(const char* text) { m_pszInitialText = text; }

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void PlaceAtBottomLeft();
    void Close();

    HWND m_hwnd = nullptr;
    bool m_bModal;
    // Owned by the caller of the modal box; only read during WM_INITDIALOG.
    const char* m_pszInitialText = nullptr;
    UniqueIcon m_hIcon;
    // Set for a shown modeless box, whose window deletes this object at
    // WM_NCDESTROY; a modal box lives on its caller's stack.
    bool m_bOwnedByWindow = false;

    friend HWND ShowInfoBox(const char* text, bool modal);
};
