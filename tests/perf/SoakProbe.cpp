// Looks at the running program from outside for tools/bench/soak.sh: every
// position the pointer takes, whether a mouse button is held down, and the
// program's private memory and handle count as Windows reports them; for the
// fault run it also counts the button transitions the system sees and works
// the program's boxes and Hardware page as a user would. Asserts nothing.
//
//   soak_probe state EXE_NAME
//   soak_probe history OUT STOP_FILE
//   soak_probe windows
//   soak_probe buttons OUT STOP_FILE
//   soak_probe release
//   soak_probe port N none|warning|cable|info
//   soak_probe stop quit|close|tool TIMEOUT_MS [TOOL_EXE]
//   soak_probe answer
//
// history appends "<ms> <x> <y>" per new position of the pointer (ms on the
// tick count) to OUT until STOP_FILE exists, then "# overflows N" (looks
// after which moves may have been missed). It looks
// at the system's pointer history (64 positions) every 50 ms, which is
// enough for a stream of up to about 1,000 moves a second and costs little.
// windows prints each visible top-level window, "<caption> | <texts of its
// children>", so that the message boxes a run left open can be read.
// Paths may be unix paths (Wine's Z: drive).
//
// state prints "found 1 pid P private BYTES handles N listed M left 0 right 0
// middle 0" (found 0 and zeros for the process when no process has that
// name; the buttons are the desktop's, whoever pressed them). `handles` is
// what GetProcessHandleCount says, `listed` the process's entries in the
// system handle list: Wine answers the first with 0 for other processes
// and the second from its server, which holds every handle.
//
// buttons sees every mouse record the system takes (a low-level hook) and
// appends "<ms> down|up left|right|middle [repair]" per button transition
// and "<ms> moves N" for the moves of each fifth of a second to OUT, until
// STOP_FILE exists. release lets go of every button the desktop holds down,
// marked so that buttons writes "repair": a fault that left a button down
// must not spoil the count of the next one.
//
// port chooses port N (1..8) in the Hardware page's list, the way a user's
// pick ends, then answers the "Warning" box with Yes and the cable countdown
// with Cancel. With warning, cable or info it stops when that box is up and
// leaves it there (info: the first information box that is not the
// countdown). Prints "ok ..." with the times in ms, or "err ...".
//
// stop asks the program to end (quit: command 1044 to its message window;
// close: WM_CLOSE to it; tool: runs TOOL_EXE TIMEOUT_MS, the stop tool) and
// waits for the process: "ended 1 ms T exit C" or "ended 0 ms T".
// answer closes every box of the program (No for "Warning") and prints their
// texts.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <string>

#include "base/BoundedText.h"
#include "base/Handles.h"

namespace {

struct ProcessState {
    DWORD pid = 0;
    unsigned long long privateBytes = 0;
    DWORD handles = 0;
    long long listed = -1;
};

// One entry of the system handle list (information class 16), as laid out
// by the system on both architectures.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Handles the system lists for `pid`, or -1 when the list is not available.
long long ListedHandles(DWORD pid)
{
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    if (!ntdll) return -1;
    auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (!query) return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);
    std::vector<unsigned char> buffer(1 << 16);
    for (int attempt = 0; attempt < 12; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) return -1;
        ULONG count = 0;
        std::memcpy(&count, buffer.data(), sizeof count);
        // The entries follow the count at the entries' own alignment.
        const size_t first = alignof(SystemHandleEntry);
        const size_t fits = (buffer.size() - first) / sizeof(SystemHandleEntry);
        if (count > fits) return -1;
        long long mine = 0;
        for (ULONG i = 0; i < count; ++i) {
            SystemHandleEntry entry;
            std::memcpy(&entry, buffer.data() + first + i * sizeof entry, sizeof entry);
            if (entry.ownerPid == pid) ++mine;
        }
        return mine;
    }
    return -1;
}

bool FindProcess(const char* exeName, ProcessState* out)
{
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        if (::lstrcmpiA(entry.szExeFile, exeName) != 0) continue;
        UniqueKernelHandle process(
            ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID));
        if (!process) continue;
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof counters;
        if (!::GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                    sizeof counters))
            continue;
        DWORD handles = 0;
        if (!::GetProcessHandleCount(process.get(), &handles)) continue;
        out->pid = entry.th32ProcessID;
        // The private commit; Windows gives it twice, Wine fills only the
        // older field for another process.
        out->privateBytes = std::max<unsigned long long>(counters.PrivateUsage, counters.PagefileUsage);
        out->handles = handles;
        out->listed = ListedHandles(entry.th32ProcessID);
        return true;
    }
    return false;
}

std::string WindowsPath(const char* path)
{
    std::string out = path[0] == '/' ? "Z:" : "";
    for (const char* p = path; *p; ++p)
        out += path[0] == '/' && *p == '/' ? '\\' : *p;
    return out;
}

bool Same(const MOUSEMOVEPOINT& a, const MOUSEMOVEPOINT& b)
{
    return a.x == b.x && a.y == b.y && a.time == b.time;
}

int History(const std::string& outPath, const std::string& stopPath)
{
    UniqueFileHandle out(::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        std::fprintf(stderr, "soak_probe: cannot write %s\n", outPath.c_str());
        return 1;
    }
    auto write = [&out](const std::string& text) {
        DWORD written = 0;
        return ::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
    };
    constexpr int kPoints = 64;
    MOUSEMOVEPOINT newest = {};
    bool haveNewest = false;
    long long overflows = 0;
    const DWORD startTime = ::GetTickCount();
    while (::GetFileAttributesA(stopPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        POINT p;
        if (::GetCursorPos(&p)) {
            MOUSEMOVEPOINT query = {};
            query.x = p.x;
            query.y = p.y;
            MOUSEMOVEPOINT points[kPoints];
            const int n =
                ::GetMouseMovePointsEx(sizeof query, &query, points, kPoints, GMMP_USE_DISPLAY_POINTS);
            // The pointer may move between GetCursorPos and the query; the
            // list then starts at an older point, before the newest one we
            // had, and holds nothing new.
            const bool stale = n > 0 && haveNewest && static_cast<LONG>(points[0].time - newest.time) < 0;
            if (n > 0 && !stale) {
                // Newest first: everything before the one we had is new.
                int known = -1;
                for (int i = 0; i < n && known < 0; ++i) {
                    if (haveNewest ? Same(points[i], newest)
                                   : static_cast<LONG>(points[i].time - startTime) < 0)
                        known = i;
                }
                if (known < 0) {
                    // Not found: take what is younger than it; if all of the
                    // list is, moves may have scrolled out unseen.
                    known = 0;
                    while (known < n &&
                           (!haveNewest || static_cast<LONG>(points[known].time - newest.time) > 0))
                        ++known;
                    if (known == n && (haveNewest || n == kPoints)) ++overflows;
                }
                std::string text;
                for (int i = known - 1; i >= 0; --i) {
                    char line[64];
                    FormatBounded(line, sizeof line, "%lu %d %d\n",
                                  static_cast<unsigned long>(points[i].time), static_cast<int>(points[i].x),
                                  static_cast<int>(points[i].y));
                    text += line;
                }
                if (!text.empty() && !write(text)) return 1;
                newest = points[0];
                haveNewest = true;
            }
        }
        ::Sleep(50);
    }
    char summary[64];
    FormatBounded(summary, sizeof summary, "# overflows %lld\n", overflows);
    return write(summary) ? 0 : 1;
}

BOOL CALLBACK AddChildText(HWND child, LPARAM context)
{
    char text[256] = {};
    if (::IsWindowVisible(child) && ::GetWindowTextA(child, text, sizeof text) > 0) {
        auto* line = reinterpret_cast<std::string*>(context);
        *line += " | ";
        *line += text;
    }
    return TRUE;
}

BOOL CALLBACK PrintTopWindow(HWND hwnd, LPARAM)
{
    if (!::IsWindowVisible(hwnd)) return TRUE;
    char caption[128] = {};
    ::GetWindowTextA(hwnd, caption, sizeof caption);
    std::string line = caption;
    ::EnumChildWindows(hwnd, &AddChildText, reinterpret_cast<LPARAM>(&line));
    std::printf("%s\n", line.c_str());
    return TRUE;
}

int Down(int key)
{
    return (::GetAsyncKeyState(key) & 0x8000) != 0 ? 1 : 0;
}

// --- the fault run -----------------------------------------------------------

// dwExtraInfo of the button-ups that release injects.
constexpr ULONG_PTR kRepairMark = 0x534f414b;
constexpr int kPortListId = 1056; // the Hardware page's "&Port" list
constexpr int kBoxTextId = 1100;  // the text of the information and warning boxes
constexpr WORD kExitCommand = 1044;

struct ButtonLog {
    std::string pending;
    long long moves = 0;
};
ButtonLog* g_buttonLog = nullptr;

struct ButtonMessage {
    WPARAM message;
    const char* what;
    const char* button;
};
constexpr ButtonMessage kButtonMessages[] = {
    {WM_LBUTTONDOWN, "down", "left"}, {WM_LBUTTONUP, "up", "left"},       {WM_RBUTTONDOWN, "down", "right"},
    {WM_RBUTTONUP, "up", "right"},    {WM_MBUTTONDOWN, "down", "middle"}, {WM_MBUTTONUP, "up", "middle"},
};

LRESULT CALLBACK MouseHook(int code, WPARAM message, LPARAM lParam)
{
    if (code == HC_ACTION && g_buttonLog != nullptr) {
        const auto* record = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        if (message == WM_MOUSEMOVE) ++g_buttonLog->moves;
        for (const ButtonMessage& b : kButtonMessages) {
            if (b.message != message) continue;
            char line[64];
            FormatBounded(line, sizeof line, "%lu %s %s%s\n", static_cast<unsigned long>(record->time),
                          b.what, b.button, record->dwExtraInfo == kRepairMark ? " repair" : "");
            g_buttonLog->pending += line;
        }
    }
    return ::CallNextHookEx(nullptr, code, message, lParam);
}

// The hook runs on this thread's message loop; the file is written between
// records, never from inside the hook, which must answer at once.
int Buttons(const std::string& outPath, const std::string& stopPath)
{
    UniqueFileHandle out(::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        std::fprintf(stderr, "soak_probe: cannot write %s\n", outPath.c_str());
        return 1;
    }
    ButtonLog log;
    g_buttonLog = &log;
    HHOOK hook = ::SetWindowsHookExA(WH_MOUSE_LL, &MouseHook, ::GetModuleHandleA(nullptr), 0);
    if (hook == nullptr) {
        std::fprintf(stderr, "soak_probe: no mouse hook (error %lu)\n", ::GetLastError());
        return 1;
    }
    auto flush = [&]() {
        if (log.moves > 0) {
            char line[64];
            FormatBounded(line, sizeof line, "%lu moves %lld\n", static_cast<unsigned long>(::GetTickCount()),
                          log.moves);
            log.pending += line;
            log.moves = 0;
        }
        DWORD written = 0;
        const bool ok =
            log.pending.empty() || (::WriteFile(out.get(), log.pending.data(),
                                                static_cast<DWORD>(log.pending.size()), &written, nullptr) &&
                                    written == log.pending.size());
        log.pending.clear();
        return ok;
    };
    int result = 0;
    DWORD lastFlush = ::GetTickCount();
    while (::GetFileAttributesA(stopPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (::GetTickCount() - lastFlush >= 200) {
            lastFlush = ::GetTickCount();
            if (!flush()) result = 1;
        }
    }
    ::UnhookWindowsHookEx(hook);
    g_buttonLog = nullptr;
    log.pending += "# end\n";
    return flush() && result == 0 ? 0 : 1;
}

int Release()
{
    const struct {
        int key;
        DWORD up;
        const char* name;
    } buttons[] = {{VK_LBUTTON, MOUSEEVENTF_LEFTUP, "left"},
                   {VK_RBUTTON, MOUSEEVENTF_RIGHTUP, "right"},
                   {VK_MBUTTON, MOUSEEVENTF_MIDDLEUP, "middle"}};
    std::string released;
    for (const auto& b : buttons) {
        if (!Down(b.key)) continue;
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = b.up;
        input.mi.dwExtraInfo = kRepairMark;
        if (::SendInput(1, &input, sizeof input) == 1) released += std::string(" ") + b.name;
    }
    std::printf("released%s\n", released.empty() ? " none" : released.c_str());
    return 0;
}

HWND MessageWindowOfProgram(DWORD* pid)
{
    const HWND window = ::FindWindowA("WndMessageClass", "TouchDevice");
    *pid = 0;
    if (window != nullptr) ::GetWindowThreadProcessId(window, pid);
    return window;
}

struct BoxQuery {
    DWORD pid;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM context)
{
    auto* query = reinterpret_cast<BoxQuery*>(context);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[16] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == query->pid && ::IsWindowVisible(hwnd) && ::lstrcmpA(cls, "#32770") == 0 &&
        ::GetDlgItem(hwnd, kBoxTextId) != nullptr)
        query->boxes.push_back(hwnd);
    return TRUE;
}

std::string WindowText(HWND hwnd)
{
    char text[256] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// On one line, for the script's records.
std::string BoxText(HWND box)
{
    std::string text = WindowText(::GetDlgItem(box, kBoxTextId));
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

bool IsCableBox(HWND box)
{
    return WindowText(box) == "Information" && BoxText(box).rfind("Please check", 0) == 0;
}

// The program's first visible box that `fits` accepts, waiting up to timeoutMs.
template <typename Fits> HWND WaitBox(DWORD pid, int timeoutMs, Fits fits)
{
    const DWORD start = ::GetTickCount();
    do {
        BoxQuery query{pid, {}};
        ::EnumWindows(&CollectBoxes, reinterpret_cast<LPARAM>(&query));
        for (HWND box : query.boxes)
            if (fits(box)) return box;
        ::Sleep(20);
    } while (static_cast<int>(::GetTickCount() - start) < timeoutMs);
    return nullptr;
}

void Press(HWND box, int id)
{
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

struct ListQuery {
    DWORD pid;
    HWND list;
};

BOOL CALLBACK FindPortList(HWND hwnd, LPARAM context)
{
    auto* query = reinterpret_cast<ListQuery*>(context);
    char cls[16] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (::GetDlgCtrlID(hwnd) == kPortListId && ::lstrcmpiA(cls, "ComboBox") == 0) {
        query->list = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK SearchTopWindow(HWND hwnd, LPARAM context)
{
    auto* query = reinterpret_cast<ListQuery*>(context);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == query->pid) ::EnumChildWindows(hwnd, &FindPortList, context);
    return query->list == nullptr;
}

int Port(int n, const char* stopAt)
{
    DWORD pid = 0;
    if (MessageWindowOfProgram(&pid) == nullptr) {
        std::printf("err no program\n");
        return 1;
    }
    ListQuery query{pid, nullptr};
    ::EnumWindows(&SearchTopWindow, reinterpret_cast<LPARAM>(&query));
    if (query.list == nullptr) {
        std::printf("err no port list\n");
        return 1;
    }
    // The page works on the list's selection when the user's pick ends; the
    // notice is posted, so the boxes it brings up do not hold this probe.
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutA(query.list, CB_SETCURSEL, static_cast<WPARAM>(n - 1), 0, SMTO_ABORTIFHUNG,
                               5000, &result)) {
        std::printf("err the list does not answer\n");
        return 1;
    }
    const HWND page = ::GetParent(query.list);
    ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(kPortListId, CBN_SELENDOK),
                   reinterpret_cast<LPARAM>(query.list));
    const DWORD start = ::GetTickCount();
    const HWND warning = WaitBox(pid, 10000, [](HWND box) { return WindowText(box) == "Warning"; });
    if (warning == nullptr) {
        std::printf("err no Warning box\n");
        return 1;
    }
    const DWORD warned = ::GetTickCount();
    if (::lstrcmpA(stopAt, "warning") == 0) {
        std::printf("ok warning %lu\n", static_cast<unsigned long>(warned - start));
        return 0;
    }
    Press(warning, IDOK);
    const bool info = ::lstrcmpA(stopAt, "info") == 0;
    const HWND box = WaitBox(pid, 10000, [info, warning](HWND b) {
        return b != warning && (info ? WindowText(b) == "Information" && !IsCableBox(b) : IsCableBox(b));
    });
    if (box == nullptr) {
        std::printf("err no %s box\n", info ? "information" : "cable");
        return 1;
    }
    const DWORD boxed = ::GetTickCount();
    if (info || ::lstrcmpA(stopAt, "cable") == 0) {
        std::printf("ok warning %lu box %lu %s\n", static_cast<unsigned long>(warned - start),
                    static_cast<unsigned long>(boxed - warned), BoxText(box).c_str());
        return 0;
    }
    Press(box, IDCANCEL);
    std::printf("ok warning %lu cable %lu\n", static_cast<unsigned long>(warned - start),
                static_cast<unsigned long>(boxed - warned));
    return 0;
}

int Stop(const char* mode, DWORD timeoutMs, const char* tool)
{
    DWORD pid = 0;
    const HWND window = MessageWindowOfProgram(&pid);
    if (window == nullptr) {
        std::printf("err no program\n");
        return 1;
    }
    // Opened before the request, so that a quick end cannot be missed.
    const UniqueKernelHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        std::printf("err cannot open the process\n");
        return 1;
    }
    const DWORD start = ::GetTickCount();
    if (::lstrcmpA(mode, "quit") == 0) {
        ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
    } else if (::lstrcmpA(mode, "close") == 0) {
        ::PostMessageA(window, WM_CLOSE, 0, 0);
    } else if (::lstrcmpA(mode, "tool") == 0 && tool != nullptr) {
        char commandLine[MAX_PATH + 32];
        FormatBounded(commandLine, sizeof commandLine, "\"%s\" %lu", tool,
                      static_cast<unsigned long>(timeoutMs));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!::CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &info)) {
            std::printf("err cannot run the stop tool\n");
            return 1;
        }
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    } else {
        std::printf("err stop quit|close|tool\n");
        return 2;
    }
    const bool ended = ::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
    const DWORD took = ::GetTickCount() - start;
    DWORD exitCode = 0;
    if (ended && ::GetExitCodeProcess(process.get(), &exitCode))
        std::printf("ended 1 ms %lu exit %lu\n", static_cast<unsigned long>(took),
                    static_cast<unsigned long>(exitCode));
    else
        std::printf("ended 0 ms %lu\n", static_cast<unsigned long>(took));
    return 0;
}

int Answer()
{
    DWORD pid = 0;
    if (MessageWindowOfProgram(&pid) == nullptr) return 0;
    // A box's answer may bring up the next one (a failed port change shows
    // its message after the countdown): a few rounds.
    for (int round = 0; round < 5; ++round) {
        BoxQuery query{pid, {}};
        ::EnumWindows(&CollectBoxes, reinterpret_cast<LPARAM>(&query));
        if (query.boxes.empty()) break;
        for (HWND box : query.boxes) {
            std::printf("%s | %s\n", WindowText(box).c_str(), BoxText(box).c_str());
            Press(box, IDCANCEL);
        }
        ::Sleep(500);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && ::lstrcmpA(argv[1], "windows") == 0) {
        ::EnumWindows(&PrintTopWindow, 0);
        return 0;
    }
    if (argc == 4 && ::lstrcmpA(argv[1], "history") == 0)
        return History(WindowsPath(argv[2]), WindowsPath(argv[3]));
    if (argc == 4 && ::lstrcmpA(argv[1], "buttons") == 0)
        return Buttons(WindowsPath(argv[2]), WindowsPath(argv[3]));
    if (argc == 2 && ::lstrcmpA(argv[1], "release") == 0) return Release();
    if (argc == 2 && ::lstrcmpA(argv[1], "answer") == 0) return Answer();
    if (argc == 4 && ::lstrcmpA(argv[1], "port") == 0) {
        const int n = std::atoi(argv[2]);
        if (n >= 1 && n <= 8) return Port(n, argv[3]);
    }
    if ((argc == 4 || argc == 5) && ::lstrcmpA(argv[1], "stop") == 0)
        return Stop(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)),
                    argc == 5 ? WindowsPath(argv[4]).c_str() : nullptr);
    if (argc != 3 || ::lstrcmpA(argv[1], "state") != 0) {
        std::fprintf(stderr,
                     "usage: soak_probe state EXE_NAME | history OUT STOP_FILE | windows | buttons OUT "
                     "STOP_FILE | release | port N none|warning|cable|info | stop quit|close|tool "
                     "TIMEOUT_MS [TOOL] | answer\n");
        return 2;
    }
    ProcessState state;
    const bool found = FindProcess(argv[2], &state);
    std::printf("found %d pid %lu private %llu handles %lu listed %lld left %d right %d middle %d\n",
                found ? 1 : 0, static_cast<unsigned long>(state.pid), state.privateBytes,
                static_cast<unsigned long>(state.handles), state.listed, Down(VK_LBUTTON), Down(VK_RBUTTON),
                Down(VK_MBUTTON));
    return 0;
}
