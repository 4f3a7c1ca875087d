#include "base/AppSettings.h"

#include <windows.h>

#include "base/Handles.h"
#include "base/ObjectNames.h"
#include "base/RegistryIO.h"

namespace {

constexpr const char* kCode = "Code";
constexpr const char* kCurrentDevice = "CurrentDevice";
constexpr const char* kCurrentChannel = "CurrentChannel";
constexpr const char* kCurrentLcd = "CurrentLcd";
constexpr const char* kUseLogEvent = "UseLogEvent";
constexpr const char* kSearchPorts = "SearchPorts";

UniqueRegKey OpenRootForRead()
{
    return OpenKeyForRead(HKEY_LOCAL_MACHINE, kRegistryRoot);
}

// True only for a REG_DWORD of exactly four bytes; anything else under the
// name counts as not stored, so a mistyped value never reaches a caller.
bool QueryDword(const char* name, DWORD* out)
{
    UniqueRegKey key = OpenRootForRead();
    if (!key) return false;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_DWORD || bytes != sizeof value) return false;
    *out = value;
    return true;
}

bool SetDword(const char* name, DWORD value)
{
    const UniqueRegKey key = CreateKeyForWrite(HKEY_LOCAL_MACHINE, kRegistryRoot);
    if (!key) return false;
    return ::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

// The stored index, or -1 when it is missing or outside 0..count-1: callers
// use it to index the model and port tables.
int ReadIndex(const char* name, int count)
{
    DWORD value = 0;
    if (!QueryDword(name, &value)) return -1;
    return value < static_cast<DWORD>(count) ? static_cast<int>(value) : -1;
}

// Leaves the registry untouched for -1 ("nothing chosen") and for a value
// that is already stored, so a start-up that changes nothing writes nothing.
bool WriteIndex(const char* name, int value)
{
    if (value == -1) return true;
    DWORD stored = 0;
    if (QueryDword(name, &stored) && stored == static_cast<DWORD>(value)) return true;
    return SetDword(name, static_cast<DWORD>(value));
}

} // namespace

uint32_t ReadCode()
{
    DWORD value = 0;
    return QueryDword(kCode, &value) ? value : 0;
}

bool ReadStoredCode(uint32_t* code)
{
    *code = 0;
    UniqueRegKey key = OpenRootForRead();
    if (!key) return true;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    const LONG status =
        ::RegQueryValueExA(key.get(), kCode, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof value) return false;
    *code = value;
    return true;
}

bool WriteCode(uint32_t code)
{
    return SetDword(kCode, code);
}

int ReadCurrentDevice()
{
    return ReadIndex(kCurrentDevice, kControllerModelCount);
}
bool WriteCurrentDevice(int model)
{
    return WriteIndex(kCurrentDevice, model);
}

int ReadCurrentChannel()
{
    return ReadIndex(kCurrentChannel, kChannelCount);
}
bool WriteCurrentChannel(int port)
{
    return WriteIndex(kCurrentChannel, port);
}

int ReadCurrentLcd()
{
    return ReadIndex(kCurrentLcd, kLcdModelCount);
}
bool WriteCurrentLcd(int model)
{
    return WriteIndex(kCurrentLcd, model);
}

bool ReadUseLogEvent(int* out)
{
    if (out == nullptr) return false;
    *out = 1;
    DWORD value = 0;
    if (!QueryDword(kUseLogEvent, &value)) return false;
    *out = static_cast<int>(value);
    return true;
}

bool WriteUseLogEvent(int value)
{
    DWORD stored = 0;
    if (QueryDword(kUseLogEvent, &stored) && stored == static_cast<DWORD>(value)) return true;
    return SetDword(kUseLogEvent, static_cast<DWORD>(value));
}

bool ReadSearchPorts()
{
    DWORD value = 1;
    return !QueryDword(kSearchPorts, &value) || value != 0;
}
