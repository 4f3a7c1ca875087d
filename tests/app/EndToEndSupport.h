// Runs the built program as a child process and watches it from outside, as
// a user or an administrator would: its windows, its information boxes, the
// events it writes (through its event-trace switch), its registry values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "support/DevSim.h"

struct TraceEvent {
    uint32_t id;
    std::string insert;
};

class ProgramUnderTest {
public:
    struct Options {
        int temperaturePeriodMs = 0; // 0: the program's own period
    };

    ProgramUnderTest() = default;
    // Ends the program if a test left it running.
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    bool Start(const Options& options);
    bool Start() { return Start(Options{}); }
    // True once start-up is over and the message loop answers.
    bool WaitReady(int timeoutMs);
    // WM_COMMAND 1044 to the message window, then wait for the end.
    bool Exit(int timeoutMs, DWORD* exitCode);
    bool WaitExit(int timeoutMs, DWORD* exitCode);
    bool Running() const;

    DWORD ProcessId() const { return m_processId; }
    HWND MessageWindow() const { return m_messageWindow; }
    // A top-level window of the program with this class and caption.
    HWND FindTopWindow(const char* className, const char* caption) const;

    std::vector<TraceEvent> Events() const;
    size_t CountEvents(uint32_t id) const;
    // Texts of the program's visible information boxes.
    std::vector<std::string> BoxTexts() const;
    int CloseBoxes() const;

private:
    UniqueKernelHandle m_hProcess;
    DWORD m_processId = 0;
    HWND m_messageWindow = nullptr;
    std::string m_trace; // Windows path of the event trace
};

// Runs a Windows program with arguments and returns its exit code (or
// 0xDEAD when it could not be started or did not end in time).
DWORD RunAndWait(const std::string& windowsPath, const std::string& arguments, int timeoutMs);

// The same with standard output and error output caught (in files that are
// read back and removed), as a script that redirects them sees them.
DWORD RunCapturing(const std::string& windowsPath, const std::string& arguments, int timeoutMs,
                   std::string* out, std::string* err);

// A REG_DWORD under HKEY_CURRENT_USER\<application key>\<key>.
void SetUserValue(const char* key, const char* name, DWORD value);

// Windows paths of the program and the stop tool of this build.
std::string ProgramPath();
std::string StopToolPath();

// Whether this process can open COMn right now (it closes it again).
bool CanOpenPort(int n);

// The program's registry values in both hives are removed.
void ClearProgramRegistry();
void SetAppValue(const char* name, DWORD value);
bool GetAppValue(const char* name, DWORD* value);

// A visible box of the program with this caption, within timeoutMs.
HWND WaitForBox(const ProgramUnderTest& program, const char* caption, int timeoutMs);

// The Hardware page of the running program (a child of its settings
// window), found by its port list; null when it is not there.
HWND FindHardwarePage(HWND settings);

// "raw" command that writes count touch reports in one go.
std::string TouchBurst(int count);
