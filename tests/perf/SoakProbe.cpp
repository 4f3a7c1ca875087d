// Looks at the running program from outside for tools/bench/soak.sh: every
// position the pointer takes, whether a mouse button is held down, and the
// program's private memory and handle count as Windows reports them. Asserts
// nothing.
//
//   soak_probe state EXE_NAME
//   soak_probe history OUT STOP_FILE
//   soak_probe windows
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
// prints "found 1 pid P private BYTES handles N listed M left 0 right 0
// middle 0" (found 0 and zeros for the process when no process has that
// name; the buttons are the desktop's, whoever pressed them). `handles` is
// what GetProcessHandleCount says, `listed` the process's entries in the
// system handle list: Wine answers the first with 0 for other processes
// and the second from its server, which holds every handle.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && ::lstrcmpA(argv[1], "windows") == 0) {
        ::EnumWindows(&PrintTopWindow, 0);
        return 0;
    }
    if (argc == 4 && ::lstrcmpA(argv[1], "history") == 0)
        return History(WindowsPath(argv[2]), WindowsPath(argv[3]));
    if (argc != 3 || ::lstrcmpA(argv[1], "state") != 0) {
        std::fprintf(stderr, "usage: soak_probe state EXE_NAME | history OUT STOP_FILE | windows\n");
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
