#include "base/FileDialog.h"

#include <commdlg.h>

bool ChooseExistingFile(HWND owner, const char* filter, DWORD extraFlags, char* path, size_t size)
{
    if (path == nullptr || size == 0) return false;
    path[0] = '\0';
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(size);
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | extraFlags;
    return ::GetOpenFileNameA(&dialog) != FALSE;
}
