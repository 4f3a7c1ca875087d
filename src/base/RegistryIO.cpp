#include "base/RegistryIO.h"

#include <cstring>

#include <atomic>

#include "base/BoundedText.h"
#include "base/ExportText.h"

namespace {

std::atomic<DwordWriteHook> g_writeHook{nullptr};

UniqueRegKey CreateKey(HKEY root, const char* path, REGSAM access)
{
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, AppKeyAccess(root, access),
                          nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return UniqueRegKey();
    return UniqueRegKey(raw);
}

} // namespace

void SetDwordWriteHook(DwordWriteHook hook)
{
    g_writeHook.store(hook);
}

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
    const DwordWriteHook hook = g_writeHook.load();
    if (hook != nullptr && !hook(name)) return false;
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
    return CreateKey(root, path, KEY_WRITE);
}

UniqueRegKey CreateKeyForUpdate(HKEY root, const char* path)
{
    return CreateKey(root, path, KEY_READ | KEY_WRITE);
}

bool RegistryRollback::Remember(HKEY key, const char* name)
{
    Saved saved{key, name, false, REG_NONE, {}};
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, name, nullptr, &saved.type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        m_saved.push_back(std::move(saved));
        return true;
    }
    // The size can change between the two calls only if someone else writes
    // the same value meanwhile; then the second call fails and so does this.
    if (status != ERROR_SUCCESS) return false;
    saved.data.resize(size);
    status = ::RegQueryValueExA(key, name, nullptr, &saved.type,
                                saved.data.empty() ? nullptr : saved.data.data(), &size);
    if (status != ERROR_SUCCESS) return false;
    saved.data.resize(size);
    saved.existed = true;
    m_saved.push_back(std::move(saved));
    return true;
}

bool RegistryRollback::Restore()
{
    bool all = true;
    // Straight to the registry, not through SetDword: a failure injected
    // into the save must not also stop its undoing.
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        LONG status;
        if (it->existed) {
            status = ::RegSetValueExA(it->key, it->name.c_str(), 0, it->type,
                                      it->data.empty() ? nullptr : it->data.data(),
                                      static_cast<DWORD>(it->data.size()));
        } else {
            status = ::RegDeleteValueA(it->key, it->name.c_str());
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) all = false;
    }
    m_saved.clear();
    return all;
}

bool WriteDwordsAllOrNothing(HKEY key, const DwordValue* values, int count, RegistryRollback* rollback)
{
    RegistryRollback own;
    RegistryRollback& previous = rollback != nullptr ? *rollback : own;
    // Everything is read before anything is written: a value that cannot be
    // read could not be put back either.
    for (int i = 0; i < count; ++i) {
        if (!previous.Remember(key, values[i].name)) return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!SetDword(key, values[i].name, values[i].value)) {
            previous.Restore();
            return false;
        }
    }
    return true;
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
