// Registry clean-up for tests.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>

// Deletes parent\path with everything below it (the XP-level API has no
// single call for it). Missing keys are fine.
void DeleteRegistryTree(HKEY parent, const char* path);
inline void DeleteRegistryTree(HKEY parent, const std::string& path)
{
    DeleteRegistryTree(parent, path.c_str());
}

// Every value of root\path (in the program's view) with its type and data,
// to compare a key before and after; empty when the key is missing.
using RegistryValues = std::map<std::string, std::pair<DWORD, std::string>>;
RegistryValues ReadRegistryValues(HKEY root, const std::string& path);
