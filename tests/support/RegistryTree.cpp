#include "support/RegistryTree.h"

void DeleteRegistryTree(HKEY parent, const char* path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(parent, path, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
        char child[256];
        DWORD length = sizeof child;
        while (::RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            DeleteRegistryTree(key, child);
            length = sizeof child;
        }
        ::RegCloseKey(key);
    }
    ::RegDeleteKeyA(parent, path);
}
