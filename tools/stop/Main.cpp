// TactilePaneStop: ends a running TactilePane the way its own "Exit" command
// does, so that it shuts down in order (tray icon removed, port closed), and
// waits for the process to be gone. It sets the program's global stop event,
// which reaches it from any session (an installer running as SYSTEM sees no
// window of the user's desktop), and sends the command to its window too.
//
//   TactilePaneStop [timeout-ms]      default 45000
//
// Exit code: 0 the program has ended; 1 no running program was found;
// 2 it was still running when the wait ran out; 3 the command could not be
// delivered.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/Handles.h"
#include "base/StopSignal.h"

namespace {

constexpr const char* kMessageWindowClass = "WndMessageClass";
constexpr const char* kMessageWindowTitle = "TouchDevice";
constexpr WORD kExitCommand = 1044;
// Start-up may spend about 30 s trying to open a port before the program
// reads its messages; the default wait covers that.
constexpr DWORD kDefaultTimeoutMs = 45000;
// Test switch: TP_STOP_NO_WINDOW=1 looks for no window, as in a session that
// cannot see the program's desktop.
constexpr const char* kNoWindowVariable = "TP_STOP_NO_WINDOW";

enum ExitCode { kEnded = 0, kNotRunning = 1, kStillRunning = 2, kNotDelivered = 3 };

bool ParseTimeout(const char* text, DWORD* out)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0') return false;
    *out = static_cast<DWORD>(value);
    return true;
}

bool NoWindowSwitchSet()
{
    char text[8] = {};
    const DWORD length = ::GetEnvironmentVariableA(kNoWindowVariable, text, sizeof text);
    return length == 1 && text[0] == '1';
}

// Waits for the program to release its running mutex: it does so at the very
// end of its shutdown (or the system does when it dies).
bool WaitForRunningMutex(HANDLE mutex, DWORD timeoutMs)
{
    const DWORD got = ::WaitForSingleObject(mutex, timeoutMs);
    if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) return false;
    ::ReleaseMutex(mutex);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    DWORD timeoutMs = kDefaultTimeoutMs;
    if (argc > 2 || (argc == 2 && !ParseTimeout(argv[1], &timeoutMs))) {
        std::fprintf(stderr, "usage: TactilePaneStop [timeout-ms]\n");
        return kNotDelivered;
    }

    const HWND window =
        NoWindowSwitchSet() ? nullptr : ::FindWindowA(kMessageWindowClass, kMessageWindowTitle);
    // Opened before any request goes out, so that a quick exit cannot be
    // missed between the two.
    const UniqueKernelHandle stopEvent(::OpenEventA(EVENT_MODIFY_STATE, FALSE, kStopEventName));
    const UniqueKernelHandle running(::OpenMutexA(SYNCHRONIZE, FALSE, kRunningMutexName));
    if (window == nullptr && !stopEvent) {
        std::printf("TactilePane is not running.\n");
        return kNotRunning;
    }

    UniqueKernelHandle process;
    DWORD processId = 0;
    if (window != nullptr) {
        ::GetWindowThreadProcessId(window, &processId);
        process.reset(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    }
    if (!process && !running) {
        std::printf("TactilePane cannot be waited for (error %lu).\n",
                    static_cast<unsigned long>(::GetLastError()));
        return kNotDelivered;
    }

    const bool eventSet = stopEvent && ::SetEvent(stopEvent.get());
    const bool posted =
        window != nullptr && ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
    if (!eventSet && !posted) {
        std::printf("The exit command could not be delivered (error %lu).\n",
                    static_cast<unsigned long>(::GetLastError()));
        return kNotDelivered;
    }
    const bool ended = process ? ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0
                               : WaitForRunningMutex(running.get(), timeoutMs);
    if (!ended) {
        std::printf("TactilePane is still running after %lu ms.\n", static_cast<unsigned long>(timeoutMs));
        return kStillRunning;
    }
    std::printf("TactilePane has ended.\n");
    return kEnded;
}
