// The configuration import: a file in the export's format is read, checked
// as a whole, written to the registry all or nothing and taken up at once by
// the running program (controller, LCD, channel), which then sends the
// configuration to the device. Used by "Load configuration" on the Hardware
// page and by "/import FILE" on the command line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// What an import came to: one of the command line's exit codes
// (app/CommandLine.h) and, unless it succeeded without remarks, the text to
// show in a box or print on the error output.
struct ImportOutcome {
    int exitCode = 0;
    std::string text;
};

// What of a checked file is written: everything, only the machine's
// (HKEY_LOCAL_MACHINE) values, or nothing at all.
enum class ImportScope { Everything, MachineOnly, CheckOnly };

// Reads, checks and writes path; nothing is changed on a refusal. Taken up
// by the running objects only when applyToProgram (the program runs; a
// command line without a running program writes only and lets the device be
// configured at the next start or by itself). Main thread; runs no box.
ImportOutcome ImportConfigurationFile(const char* path, bool withCalibration, bool applyToProgram,
                                      ImportScope scope = ImportScope::Everything);

// The Hardware page's "Load configuration": the file dialog, the import
// (without the calibration) and a box with what went wrong. Installed as the
// page's loader.
void LoadConfigurationFromPage(HWND page);

// Test seam: the file choice (default the open-file dialog owned by the
// page; false when cancelled).
using ConfigurationChooser = bool (*)(HWND owner, char* path, size_t size);
void SetConfigurationChooser(ConfigurationChooser chooser);

// Messages of the import.
constexpr uint32_t kMsgConfigLoaded = 0x602a0060;
constexpr uint32_t kMsgConfigRefused = 0xa02a0061;
constexpr uint32_t kMsgConfigNoRights = 0xa02a0062;
constexpr uint32_t kMsgConfigCantRead = 0xa02a0063;
constexpr uint32_t kMsgConfigWriteError = 0xa02a0064;
