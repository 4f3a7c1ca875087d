// TactilePaneStop: ends a running TactilePane the way its own "Exit" command
// does, so that it shuts down in order (tray icon removed, port closed), and
// waits for the process to be gone.
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

namespace {

constexpr const char* kMessageWindowClass = "WndMessageClass";
constexpr const char* kMessageWindowTitle = "TouchDevice";
constexpr WORD kExitCommand = 1044;
// Start-up may spend about 30 s trying to open a port before the program
// reads its messages; the default wait covers that.
constexpr DWORD kDefaultTimeoutMs = 45000;

enum ExitCode { kEnded = 0, kNotRunning = 1, kStillRunning = 2, kNotDelivered = 3 };

bool ParseTimeout(const char* text, DWORD* out)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0') return false;
    *out = static_cast<DWORD>(value);
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

    const HWND window = ::FindWindowA(kMessageWindowClass, kMessageWindowTitle);
    if (window == nullptr) {
        std::printf("TactilePane is not running.\n");
        return kNotRunning;
    }
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    // Opened before the command goes out, so that a quick exit cannot be
    // missed (or the id be reused) between the two.
    const UniqueKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        std::printf("TactilePane (process %lu) cannot be waited for (error %lu).\n",
                    static_cast<unsigned long>(processId), static_cast<unsigned long>(::GetLastError()));
        return kNotDelivered;
    }

    int result = kEnded;
    if (!::PostMessageA(window, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0)) {
        std::printf("The exit command could not be delivered (error %lu).\n",
                    static_cast<unsigned long>(::GetLastError()));
        result = kNotDelivered;
    } else if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        std::printf("TactilePane is still running after %lu ms.\n", static_cast<unsigned long>(timeoutMs));
        result = kStillRunning;
    } else {
        std::printf("TactilePane has ended.\n");
    }
    return result;
}
