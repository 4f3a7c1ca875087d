#pragma once

#include <windows.h>

#include <cstddef>

// The system's "Open" dialog for a file that must exist: filter is the
// dialog's double-NUL-terminated list of name and pattern pairs, the first
// preselected; extraFlags are added to OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST.
// path[size] receives the choice; false when the user cancelled or the
// dialog failed. The dialog runs a message loop of its own.
bool ChooseExistingFile(HWND owner, const char* filter, DWORD extraFlags, char* path, size_t size);
