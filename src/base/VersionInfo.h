// Strings of the program's own version resource ("ProductVersion",
// "Comments"), read from the program's full path rather than by file name,
// so that a renamed program, or another copy found first on the search path,
// does not answer for this one.
#pragma once

#include <windows.h>

#include <vector>

class VersionInfo {
public:
    // Reads the version information of the file at path; false when it has
    // none or it cannot be read.
    bool Load(const char* path);
    // The entry name under "\StringFileInfo\000004b0\"; nullptr when it is
    // missing or empty.
    const char* Query(const char* name) const;

private:
    std::vector<char> m_data;
};

// The full path of the running program: the one taken at start-up, or asked
// now when start-up has not taken it. False when it does not fit.
bool ProgramFilePath(char* out, size_t size);

// The build date of the program, "Oct 11 2010".
const char* ProgramBuildDate();
