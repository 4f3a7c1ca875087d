// Where the system's on-screen keyboard is started from. Platform-free so
// that the choice is tested natively; OnScreenKeyboard.cpp feeds it the
// system's directories.
#pragma once

#include <cstddef>

// The full path of "osk.exe" for this program. A 32-bit program on 64-bit
// Windows (wow64) has its system directory redirected to SysWOW64, which has
// no "osk.exe"; it reaches the native one through the "Sysnative" alias of
// the Windows directory. Everyone else uses the system directory as it is.
// False, with out empty, when a directory is missing or the path does not
// fit into size characters including the terminator.
bool OskPathFor(const char* windowsDir, const char* systemDir, bool wow64, char* out, size_t size);
