// The program's command line for setup scripts, without the system: the
// splitting of the raw line into arguments by the rules of the Windows C
// runtime, the switches, and the exit codes. Platform-free.
#pragma once

#include <string>
#include <vector>

// What the command line asks for. Normal is the program as it always was;
// every other mode does one job and exits with one of the codes below.
enum class CommandMode {
    Normal,
    Usage,     // "/?": print the usage
    Export,    // "/export FILE"
    Import,    // "/import FILE [/with-calibration]"
    Calibrate, // "/calibrate"
    Status,    // "/status"
    BadUsage,  // a switch of ours with its argument missing, or two jobs
};

// The exit codes of the command modes; the one table of the user guide.
enum CommandExit : int {
    kExitSuccess = 0,
    // 1 stays what it has always been: the program could not create what it
    // needs.
    kExitBadUsage = 2,
    kExitBadFile = 3,
    kExitNoRights = 4,
    kExitNoDevice = 5,
    kExitBusy = 6,
    kExitAborted = 7,
};

struct CommandRequest {
    CommandMode mode = CommandMode::Normal;
    std::string file;             // Export, Import
    bool withCalibration = false; // Import
    // Arguments that are none of ours. A normal start ignores them, as the
    // program always did (launchers may pass some), and logs them once.
    std::vector<std::string> ignored;
    std::string problem; // BadUsage: what is wrong, for the error output
};

// Splits a command line as the C runtime does for argv: blanks separate,
// double quotes group, 2n backslashes before a quote give n and open or close
// it, 2n+1 give n and a literal quote, "" inside quotes gives a quote. The
// program's own name is expected first and is dropped.
std::vector<std::string> SplitCommandLine(const char* line);

// The request that the arguments (without the program's name) make.
CommandRequest ParseCommandLine(const std::vector<std::string>& args);

// The usage text of "/?".
const char* CommandUsageText();
