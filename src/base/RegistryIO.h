// Registry values and configuration-export sections, shared by every object
// that stores its settings as REG_DWORD values and dumps them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Handles.h"

// A value that is missing, of another type or of another size is not read.
bool QueryDword(HKEY key, const char* name, int32_t* out);
bool SetDword(HKEY key, const char* name, int32_t value);

// Test seam: asked before every SetDword with the value's name; false makes
// that write fail without reaching the registry. nullptr (the default)
// lets every write through.
using DwordWriteHook = bool (*)(const char* name);
void SetDwordWriteHook(DwordWriteHook hook);

// The state of some values as it was before a save overwrote them, so that a
// save that fails half-way can put it back: each value's type and data, or
// that it did not exist. The keys must stay open until Restore.
class RegistryRollback {
public:
    RegistryRollback() = default;
    RegistryRollback(const RegistryRollback&) = delete;
    RegistryRollback& operator=(const RegistryRollback&) = delete;

    // Reads the present state of name in key (opened with query and set
    // access). False when it cannot be read; nothing is remembered then.
    bool Remember(HKEY key, const char* name);
    // Puts every remembered value back, deleting the ones that did not
    // exist, and forgets them. False when one could not be put back.
    bool Restore();

private:
    struct Saved {
        HKEY key;
        std::string name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Saved> m_saved;
};

struct DwordValue {
    const char* name;
    int32_t value;
};

// Writes every value as REG_DWORD, or leaves the key as it was: the previous
// state is read first, and a failed write puts back what was written. key
// needs query and set access. With rollback given, the previous state is
// remembered there instead, and a failed write restores all it holds: a
// save that spans several keys is undone as a whole.
bool WriteDwordsAllOrNothing(HKEY key, const DwordValue* values, int count,
                             RegistryRollback* rollback = nullptr);

// The access to ask for on one of the application's keys under root. The
// x64 program opens its HKEY_LOCAL_MACHINE keys in the 32-bit registry view:
// that is where the x86 program's keys are on 64-bit Windows
// (Software\Wow6432Node\...), so both programs share one store and a user
// who switches keeps every setting. HKEY_CURRENT_USER\Software is shared by
// both views anyway; the x86 program needs no flag (and the oldest systems
// do not know it).
REGSAM AppKeyAccess(HKEY root, REGSAM access);

// Opens root\path of the application for reading, or creates it
// (non-volatile) for writing, in the view AppKeyAccess gives; an invalid key
// when that fails.
UniqueRegKey OpenKeyForRead(HKEY root, const char* path);
UniqueRegKey CreateKeyForWrite(HKEY root, const char* path);
// Creates root\path like CreateKeyForWrite, with read access as well, for a
// save that reads the previous values first.
UniqueRegKey CreateKeyForUpdate(HKEY root, const char* path);

// Writes the whole text or fails: a file that takes fewer bytes than
// offered (full disk, quota) has failed, and the export must say so.
bool WriteWholeText(HANDLE file, const char* text);

// One section of the configuration export: the header
// "\n\n\n<title>\n<rootName>\<keyPath> : \n", then "%30s : %x\n" for each
// value as stored in key (not as held by the object). False at the first
// value that cannot be read or line that cannot be written.
bool DumpRegistrySection(HANDLE file, HKEY key, const char* title, const char* rootName, const char* keyPath,
                         const char* const* names, int count);
