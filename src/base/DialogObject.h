// One object per dialog window, reached through one shared dialog procedure.
//
//     class MyPage : public DialogObject<MyPage> {
//         friend class DialogObject<MyPage>;
//         INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
//     };
//     MyPage::CreateModeless(std::make_unique<MyPage>(), instance, IDD_MY_PAGE, parent);
//     // or, modal, with the object on the caller's stack:
//     ::DialogBoxParamA(instance, ..., &MyPage::DlgProc, reinterpret_cast<LPARAM>(&page));
//
// The object handed over with WM_INITDIALOG is kept in DWLP_USER and its
// window in m_hwnd; every message, WM_INITDIALOG and WM_NCDESTROY included,
// goes to HandleMessage, whose result the procedure returns. After
// WM_NCDESTROY the link is cleared, and an object that CreateModeless handed
// to its window is deleted.
#pragma once

#include <windows.h>

#include <memory>

#include "base/Dpi.h"

template <class Derived> class DialogObject {
public:
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        Derived* self = nullptr;
        if (msg == WM_INITDIALOG) {
            self = reinterpret_cast<Derived*>(lParam);
            ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            if (self != nullptr) self->m_hwnd = hwnd;
        } else {
            self = reinterpret_cast<Derived*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
        }
        if (self == nullptr) return FALSE;
        const INT_PTR result = self->HandleMessage(msg, wParam, lParam);
        // A top-level window follows its monitor's DPI, with the children
        // its initialisation made.
        if (msg == WM_INITDIALOG && (::GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD) == 0)
            FollowDpiChanges(hwnd);
        if (msg == WM_NCDESTROY) {
            ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
            self->m_hwnd = nullptr;
            if (self->m_bOwnedByWindow) delete self;
        }
        return result;
    }

    // Creates the modeless dialog templateId under parent for object, which
    // its window owns from then on. nullptr, with the object deleted, when
    // there is no object or no dialog.
    static HWND CreateModeless(std::unique_ptr<Derived> object, HINSTANCE instance, int templateId,
                               HWND parent)
    {
        if (!object) return nullptr;
        const HWND hwnd = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId), parent, &DlgProc,
                                               reinterpret_cast<LPARAM>(object.get()));
        // A failed creation never reached WM_INITDIALOG: the object is still ours.
        if (hwnd == nullptr) return nullptr;
        object->m_bOwnedByWindow = true;
        object.release(); // deleted at WM_NCDESTROY
        return hwnd;
    }

protected:
    DialogObject() = default;
    ~DialogObject() = default;
    DialogObject(const DialogObject&) = delete;
    DialogObject& operator=(const DialogObject&) = delete;

    HWND m_hwnd = nullptr;

private:
    // Set when the window deletes the object at WM_NCDESTROY.
    bool m_bOwnedByWindow = false;
};
