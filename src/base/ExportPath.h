// Where the configuration export goes: "configuration.txt" in
// "<system directory>\mavrel\TactilePane". Platform-free so that the choice is tested natively;
// the Hardware page feeds it the system's directories.
#pragma once

#include <cstddef>

struct ExportPaths {
    char vendorDir[260];  // "...\mavrel", created first
    char productDir[260]; // "...\mavrel\TactilePane"
    char file[260];       // "...\mavrel\TactilePane\configuration.txt"
};

// Both programs write the same file in the native system directory. A 32-bit
// program on 64-bit Windows (wow64) would have its system directory
// redirected to SysWOW64, so it goes through the "Sysnative" alias of the
// Windows directory instead. False, with every path empty, when a directory
// is missing or a path would not fit: a cut path would name another place.
bool ExportPathsFor(const char* windowsDir, const char* systemDir, bool wow64, ExportPaths* out);

constexpr const char* kExportFileName = "configuration.txt";
