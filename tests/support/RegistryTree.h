// Registry clean-up for tests.
#pragma once

#include <windows.h>

#include <string>

// Deletes parent\path with everything below it (the XP-level API has no
// single call for it). Missing keys are fine.
void DeleteRegistryTree(HKEY parent, const char* path);
inline void DeleteRegistryTree(HKEY parent, const std::string& path)
{
    DeleteRegistryTree(parent, path.c_str());
}
