// The program's command line for setup scripts, without the system: the
// splitting of the raw line into arguments by the rules of the Windows C
// runtime, the switches, and the exit codes. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the command line asks for. Normal is the program as it always was;
// every other mode does one job and exits with one of the codes below.
enum class CommandMode {
    Normal,
    Usage,     // "/?": print the usage
    Export,    // "/export FILE"
    Import,    // "/import FILE [/with-calibration] [/check | /machine]"
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
    // Import: only check the file, write nothing (an installer, before it
    // installs anything); or write only the machine's values, not the
    // user's (an installer, at its end). Both done here, never handed over.
    bool checkOnly = false;
    bool machineOnly = false;
    std::string logFile; // "/log FILE": every job's output appended there too
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

// What "/status" reports. Indices as the program keeps them; -1 for none.
struct StatusReport {
    int port = -1;                                // 0..7 = COM1..COM8
    int controllerModel = -1;                     // 0..3 = ZMR01..ZMR04
    int lcdModel = -1;                            // 0..2 = Type1..Type3
    int hwId = 0, majorSwVer = 0, minorSwVer = 0; // all 0: nothing identified
    bool answers = false;                         // the device answered just now
    bool running = false;                         // told by the running program
};

// The lines of "/status", one "Name: value" each, ending with LF.
std::string FormatStatusReport(const StatusReport& status);

// The request a second instance hands to the running one (WM_COPYDATA):
// fixed layout, the same for the x86 and the x64 program.
constexpr unsigned long kCommandDataId = 0x54504331;   // request
constexpr unsigned long kCommandOutputId = 0x54504f31; // text for standard output
constexpr unsigned long kCommandErrorId = 0x54504531;  // text for the error output
constexpr unsigned long kCommandExitId = 0x54505831;   // uint32_t: a started job's exit code
constexpr int kCommandFileMax = 260;
struct CommandPacket {
    uint32_t mode;            // CommandMode
    uint32_t withCalibration; // 0 or 1
    uint64_t replyWindow;     // where the running program sends the texts
    char file[kCommandFileMax];
};
// The running program's answers: handled with an exit code, or busy.
constexpr long kCommandAnswered = 0x10000;
constexpr long kCommandBusy = 0x20000;
// A job that goes on after the answer (a calibration run): its exit code
// follows as kCommandExitId data when it ends.
constexpr long kCommandStarted = 0x40000;

// Checks a packet as received (size, mode, terminated file name); false
// for anything that is not one of ours.
bool DecodeCommandPacket(const void* data, size_t size, CommandPacket* out);
