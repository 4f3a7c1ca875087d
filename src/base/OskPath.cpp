#include "base/OskPath.h"

#include <cstdio>
#include <cstring>

bool OskPathFor(const char* windowsDir, const char* systemDir, bool wow64, char* out, size_t size)
{
    if (out == nullptr || size == 0) return false;
    out[0] = '\0';
    const char* dir = wow64 ? windowsDir : systemDir;
    if (dir == nullptr || dir[0] == '\0') return false;
    const size_t length = std::strlen(dir);
    const bool slash = dir[length - 1] == '\\' || dir[length - 1] == '/';
    const char* separator = slash ? "" : "\\";
    const int written = wow64 ? std::snprintf(out, size, "%s%sSysnative\\osk.exe", dir, separator)
                              : std::snprintf(out, size, "%s%sosk.exe", dir, separator);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}
