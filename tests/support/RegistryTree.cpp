#include "support/RegistryTree.h"

#include "base/RegistryIO.h"

void DeleteRegistryTree(HKEY parent, const char* path)
{
    // The program's own view of its keys (the 32-bit one for HKLM on x64);
    // keys opened below it are in that view already.
    const REGSAM view = AppKeyAccess(parent, 0);
    HKEY key = nullptr;
    if (::RegOpenKeyExA(parent, path, 0, KEY_READ | KEY_WRITE | view, &key) == ERROR_SUCCESS) {
        char child[256];
        DWORD length = sizeof child;
        while (::RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            DeleteRegistryTree(key, child);
            length = sizeof child;
        }
        ::RegCloseKey(key);
    }
    if (view != 0) {
        ::RegDeleteKeyExA(parent, path, view, 0);
    } else {
        ::RegDeleteKeyA(parent, path);
    }
}

RegistryValues ReadRegistryValues(HKEY root, const std::string& path)
{
    RegistryValues values;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, AppKeyAccess(root, KEY_READ), &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[1024];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        values[name] = {type, std::string(reinterpret_cast<const char*>(data), size)};
    }
    ::RegCloseKey(key);
    return values;
}
