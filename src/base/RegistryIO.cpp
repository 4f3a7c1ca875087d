#include "base/RegistryIO.h"

#include <cstring>

#include "base/BoundedText.h"
#include "base/ExportText.h"

bool QueryDword(HKEY key, const char* name, int32_t* out)
{
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof(value)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

bool SetDword(HKEY key, const char* name, int32_t v)
{
    const DWORD value = static_cast<DWORD>(v);
    return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

REGSAM AppKeyAccess(HKEY root, REGSAM access)
{
#if defined(_WIN64)
    if (root == HKEY_LOCAL_MACHINE) return access | KEY_WOW64_32KEY;
#else
    (void)root;
#endif
    return access;
}

UniqueRegKey OpenKeyForRead(HKEY root, const char* path)
{
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(root, path, 0, AppKeyAccess(root, KEY_READ), &raw) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(raw);
}

UniqueRegKey CreateKeyForWrite(HKEY root, const char* path)
{
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, AppKeyAccess(root, KEY_WRITE),
                          nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(raw);
}

bool WriteWholeText(HANDLE file, const char* text)
{
    const DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    return ::WriteFile(file, text, length, &written, nullptr) != FALSE && written == length;
}

bool DumpRegistrySection(HANDLE file, HKEY key, const char* title, const char* rootName, const char* keyPath,
                         const char* const* names, int count)
{
    char line[kTextMax + 1];
    if (!FormatExportSectionHeader(line, sizeof(line), title, rootName, keyPath)) return false;
    if (!WriteWholeText(file, line)) return false;
    for (int i = 0; i < count; ++i) {
        int32_t value = 0;
        if (!QueryDword(key, names[i], &value)) return false;
        if (!FormatExportValueLine(line, sizeof(line), names[i], static_cast<uint32_t>(value))) return false;
        if (!WriteWholeText(file, line)) return false;
    }
    return true;
}
