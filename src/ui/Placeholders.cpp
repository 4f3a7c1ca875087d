#include "ui/Placeholders.h"

#include "base/AppContext.h"
#include "base/Fatal.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK MouseButtonProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

} // namespace

HWND CreateMouseButtonWindow(HWND owner)
{
    const HWND window =
        ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_MOUSE_BUTTON), owner, &MouseButtonProc, 0);
    if (window == nullptr) FatalCreationFailure("OutOfMemory - DLG_MOUSE_BUTTON");
    return window;
}
