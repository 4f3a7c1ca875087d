#include "ui/CommInfoBox.h"

#include "base/Dpi.h"
#include "base/Fatal.h"
#include "resources/resource.h"

INT_PTR CALLBACK CommInfoBoxProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

HWND CreateCommInfoBox(HINSTANCE instance)
{
    const HWND box =
        ::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_COMM_INFO_BOX), nullptr, &CommInfoBoxProc, 0);
    if (box == nullptr) FatalCreationFailure("OutOfMemory - DLG_CMD_INFO");
    FollowDpiChanges(box);
    ::ShowWindow(box, SW_HIDE);
    ::UpdateWindow(box);
    return box;
}
