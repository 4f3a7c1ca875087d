// The information box (dialog 154): one text and a "&Cancel" button, sized
// for a touch screen and placed at the bottom-left corner of the screen.
#pragma once

#include <windows.h>

#include "base/DialogObject.h"
#include "base/Handles.h"

// Shows text in an information box.
// modal: owned by the message window; returns when the box is gone, nullptr.
// modeless: unowned; returns the shown box at once, nullptr if it could not
// be created. Modeless boxes are not in the main loop's dialog list, so they
// close with their button or close box only; any number may be open.
HWND ShowInfoBox(const char* text, bool modal);

// DlgProc is the dialog procedure of every information box. A shown modeless
// box is owned by its window; a modal box lives on its caller's stack.
class InfoBox : public DialogObject<InfoBox> {
public:
    explicit InfoBox(bool modal) : m_bModal(modal) {}

    // Text handed over at creation (modal boxes); null keeps the template's.
    void SetInitialText(const char* text) { m_pszInitialText = text; }

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void PlaceAtBottomLeft();
    void Close();

    bool m_bModal;
    // Owned by the caller of the modal box; only read during WM_INITDIALOG.
    const char* m_pszInitialText = nullptr;
    UniqueIcon m_hIcon;

    friend class DialogObject<InfoBox>;
};
