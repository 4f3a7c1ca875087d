// Watches the running program from outside for tools/bench/measure.sh: when
// the pointer moves (polled, timed with the performance counter, which Wine
// runs on the host's monotonic clock), how many distinct positions the
// system's pointer history has seen, and what the program's working set is.
// Prints figures and writes records; asserts nothing.
//
//   perf_probe clock
//   perf_probe watch OUT [--ready FILE] [--stop FILE] [--max-ms N] [--first] [--start EXE]
//   perf_probe history OUT [--ready FILE] [--stop FILE] [--max-ms N] [--buttons]
//   perf_probe memory EXE_NAME
//   perf_probe windows
//
// Paths may be unix paths; they are reached through Wine's Z: drive.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/BoundedText.h"
#include "base/Handles.h"

namespace {

struct Options {
    std::string out;
    std::string ready;
    std::string stop;
    std::string start;
    long long maxMs = 600000;
    bool first = false;
    bool buttons = false;
};

// "/a/b" -> "Z:\a\b"; Windows paths pass unchanged.
std::string WindowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:";
    for (char c : path)
        out += c == '/' ? '\\' : c;
    return out;
}

bool ParseOptions(int argc, char** argv, int first, Options* o)
{
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--ready" && hasValue) {
            o->ready = WindowsPath(argv[++i]);
        } else if (arg == "--stop" && hasValue) {
            o->stop = WindowsPath(argv[++i]);
        } else if (arg == "--start" && hasValue) {
            o->start = WindowsPath(argv[++i]);
        } else if (arg == "--max-ms" && hasValue) {
            o->maxMs = std::max(1LL, std::atoll(argv[++i]));
        } else if (arg == "--first") {
            o->first = true;
        } else if (arg == "--buttons") {
            o->buttons = true;
        } else if (o->out.empty() && arg.rfind("--", 0) != 0) {
            o->out = WindowsPath(arg);
        } else {
            std::fprintf(stderr, "perf_probe: unexpected argument %s\n", arg.c_str());
            return false;
        }
    }
    if (o->out.empty()) {
        std::fprintf(stderr, "perf_probe: an output file is needed\n");
        return false;
    }
    return true;
}

bool FileExists(const std::string& path)
{
    return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteText(const std::string& path, const std::string& text)
{
    // Written beside the target and renamed, so a reader never sees half.
    const std::string tmp = path + ".tmp";
    {
        UniqueFileHandle file(::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            return false;
        }
    }
    return ::MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

long long Now()
{
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

long long Frequency()
{
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

void AppendLine(std::string* text, const char* format, long long a, long long b = 0, long long c = 0)
{
    char line[128];
    FormatBounded(line, sizeof line, format, a, b, c);
    *text += line;
}

// How long one pass of the polling loop takes: the probe's own resolution.
class LoopTimes {
public:
    void Add(long long ticks) { m_samples.push_back(ticks); }
    // Percentile in counter ticks.
    long long Percentile(double p)
    {
        if (m_samples.empty()) return 0;
        std::vector<long long> v = m_samples;
        const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(i), v.end());
        return v[i];
    }
    size_t Count() const { return m_samples.size(); }

private:
    std::vector<long long> m_samples;
};

struct Move {
    long long ticks;
    LONG x;
    LONG y;
};

// Polls the pointer as fast as the system answers and records every change
// with the counter value read right after the poll that saw it.
int Watch(const Options& o)
{
    const long long freq = Frequency();
    const long long checkEvery = freq / 200; // stop file and time limit: every 5 ms
    std::vector<Move> moves;
    moves.reserve(1 << 16);
    LoopTimes loops;

    POINT last = {};
    ::GetCursorPos(&last);
    long long startTicks = 0;
    DWORD childPid = 0;
    if (!o.start.empty()) {
        std::string commandLine = "\"" + o.start + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        startTicks = Now();
        if (!::CreateProcessA(o.start.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info)) {
            std::fprintf(stderr, "perf_probe: cannot start %s (error %lu)\n", o.start.c_str(),
                         ::GetLastError());
            return 1;
        }
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
        childPid = info.dwProcessId;
    }
    if (!o.ready.empty() && !WriteText(o.ready, "ready\n")) {
        std::fprintf(stderr, "perf_probe: cannot write %s\n", o.ready.c_str());
        return 1;
    }

    const long long begin = Now();
    const long long end = begin + o.maxMs * (freq / 1000);
    long long nextCheck = begin + checkEvery;
    long long previous = begin;
    for (;;) {
        POINT p;
        if (!::GetCursorPos(&p)) continue;
        const long long t = Now();
        loops.Add(t - previous);
        previous = t;
        if (p.x != last.x || p.y != last.y) {
            moves.push_back({t, p.x, p.y});
            last = p;
            if (o.first) break;
        }
        if (t >= nextCheck) {
            nextCheck = t + checkEvery;
            if (t >= end || FileExists(o.stop)) break;
        }
    }

    std::string text;
    AppendLine(&text, "# frequency %lld\n", freq);
    if (startTicks != 0) AppendLine(&text, "# start %lld pid %lld\n", startTicks, childPid);
    AppendLine(&text, "# loops %lld p50 %lld p99 %lld\n", static_cast<long long>(loops.Count()),
               loops.Percentile(0.50), loops.Percentile(0.99));
    AppendLine(&text, "# max %lld\n", loops.Percentile(1.0));
    for (const Move& m : moves)
        AppendLine(&text, "%lld %lld %lld\n", m.ticks, m.x, m.y);
    if (!WriteText(o.out, text)) {
        std::fprintf(stderr, "perf_probe: cannot write %s\n", o.out.c_str());
        return 1;
    }
    return 0;
}

bool SamePoint(const MOUSEMOVEPOINT& a, const MOUSEMOVEPOINT& b)
{
    return a.x == b.x && a.y == b.y && a.time == b.time;
}

// A window over the whole screen that takes the clicks: button messages are
// never merged, so it sees every press and release that reached the system,
// with the position and the time (ms, the history's clock) of each. Never
// activated, so that it takes nothing from the program's windows.
//
// It lives on a thread of its own. Every warp of the pointer by the injecting
// program sends this window's X window an enter event, which Wine turns into
// a mouse input of this process; at thousands of positions a second that
// work held the loop that reads the history for a second at a time, and the
// 64 positions the history keeps scrolled out meanwhile.
class ButtonWindow {
public:
    bool Start()
    {
        m_thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_state != State::Starting; });
        return m_state == State::Running;
    }
    // The clicks since the last call, as history lines.
    std::string Take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string text;
        text.swap(m_clicks);
        return text;
    }
    ~ButtonWindow()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

private:
    enum class State { Starting, Running, Failed };

    void Run()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &ButtonWindow::Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "PerfProbeButtons";
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        ::RegisterClassA(&wc);
        const HWND hwnd =
            ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, wc.lpszClassName, "",
                              WS_POPUP, 0, 0, ::GetSystemMetrics(SM_CXSCREEN),
                              ::GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, wc.hInstance, nullptr);
        if (hwnd != nullptr) ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_state = hwnd != nullptr ? State::Running : State::Failed;
        }
        m_changed.notify_all();
        if (hwnd == nullptr) return;
        while (!m_stop) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            Pump();
        }
        ::DestroyWindow(hwnd);
    }
    void Pump()
    {
        MSG msg;
        std::string text;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const char* what = msg.message == WM_LBUTTONDOWN   ? "down"
                               : msg.message == WM_LBUTTONUP   ? "up"
                               : msg.message == WM_RBUTTONDOWN ? "rdown"
                               : msg.message == WM_RBUTTONUP   ? "rup"
                                                               : nullptr;
            if (what != nullptr) {
                char line[96];
                FormatBounded(line, sizeof line, "# %s %lu %d %d\n", what,
                              static_cast<unsigned long>(msg.time),
                              static_cast<int>(static_cast<short>(LOWORD(msg.lParam))),
                              static_cast<int>(static_cast<short>(HIWORD(msg.lParam))));
                text += line;
            }
            ::DispatchMessageA(&msg);
        }
        if (text.empty()) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_clicks += text;
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::Starting;
    std::string m_clicks;
    std::atomic<bool> m_stop{false};
};

// Collects the system's pointer history (the last 64 positions, each with a
// millisecond time) often enough that nothing scrolls out between two looks;
// what comes out is every position the pointer took, even those the polling
// loop of Watch would step over. Records are appended as they come, so that
// a reader can tell when the pointer has come to rest.
int History(const Options& o)
{
    UniqueFileHandle out(::CreateFileA(o.out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) {
        std::fprintf(stderr, "perf_probe: cannot write %s\n", o.out.c_str());
        return 1;
    }
    auto write = [&out](const std::string& text) {
        DWORD written = 0;
        return ::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
    };
    long long overflows = 0;
    long long failures = 0;
    ButtonWindow buttons;
    if (o.buttons && !buttons.Start()) {
        std::fprintf(stderr, "perf_probe: no window for the clicks\n");
        return 1;
    }
    MOUSEMOVEPOINT newest = {};
    bool haveNewest = false;

    // The first calls connect the process to the display, which can take
    // longer than the first moves need: done before anyone is told to start.
    POINT warm;
    ::GetCursorPos(&warm);
    MOUSEMOVEPOINT warmQuery = {};
    warmQuery.x = warm.x;
    warmQuery.y = warm.y;
    MOUSEMOVEPOINT warmPoints[64];
    const int warmCount =
        ::GetMouseMovePointsEx(sizeof warmQuery, &warmQuery, warmPoints, 64, GMMP_USE_DISPLAY_POINTS);
    if (warmCount > 0) {
        newest = warmPoints[0];
        haveNewest = true;
    }
    // Without a known newest point (the pointer is where no move put it),
    // everything from now on is new.
    const DWORD startTime = ::GetTickCount();

    if (!o.ready.empty() && !WriteText(o.ready, "ready\n")) return 1;
    const long long freq = Frequency();
    const long long end = Now() + o.maxMs * (freq / 1000);
    for (;;) {
        POINT p;
        if (::GetCursorPos(&p)) {
            MOUSEMOVEPOINT query = {};
            query.x = p.x;
            query.y = p.y;
            MOUSEMOVEPOINT points[64];
            const int n = ::GetMouseMovePointsEx(sizeof query, &query, points, 64, GMMP_USE_DISPLAY_POINTS);
            if (n <= 0) {
                ++failures; // the position is older than the history: nothing moved yet
            } else {
                // Newest first: take everything after the last one we had.
                int known = -1;
                for (int i = 0; i < n && known < 0; ++i) {
                    if (haveNewest ? SamePoint(points[i], newest)
                                   : static_cast<LONG>(points[i].time - startTime) < 0)
                        known = i;
                }
                if (known < 0) {
                    // Everything is new; when the history was full, some
                    // moves may have scrolled out unseen.
                    if (haveNewest || n == 64) ++overflows;
                    known = n;
                }
                haveNewest = true;
                std::string text;
                for (int i = known - 1; i >= 0; --i)
                    AppendLine(&text, "%lld %lld %lld\n", static_cast<long long>(points[i].time), points[i].x,
                               points[i].y);
                if (!text.empty() && !write(text)) return 1;
                newest = points[0];
            }
        }
        if (o.buttons) {
            const std::string clicks = buttons.Take();
            if (!clicks.empty() && !write(clicks)) return 1;
        }
        if (Now() >= end || FileExists(o.stop)) break;
        ::Sleep(1);
    }
    std::string summary = o.buttons ? buttons.Take() : std::string();
    AppendLine(&summary, "# overflows %lld failures %lld\n", overflows, failures);
    return write(summary) ? 0 : 1;
}

// Working set of the process with this executable name, as Windows reports it.
int Memory(const char* exeName)
{
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 1;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        if (::lstrcmpiA(entry.szExeFile, exeName) != 0) continue;
        UniqueKernelHandle process(
            ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID));
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (!process || !::GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) continue;
        std::printf("pid %lu working_set %lu peak_working_set %lu pagefile %lu\n", entry.th32ProcessID,
                    static_cast<unsigned long>(counters.WorkingSetSize),
                    static_cast<unsigned long>(counters.PeakWorkingSetSize),
                    static_cast<unsigned long>(counters.PagefileUsage));
        ++found;
    }
    return found > 0 ? 0 : 1;
}

BOOL CALLBACK PrintWindow(HWND hwnd, LPARAM)
{
    if (!::IsWindowVisible(hwnd)) return TRUE;
    RECT r;
    char caption[64] = {};
    ::GetWindowRect(hwnd, &r);
    ::GetWindowTextA(hwnd, caption, sizeof caption);
    std::printf("%ld %ld %ld %ld %s\n", r.left, r.top, r.right, r.bottom, caption);
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "clock") {
        std::printf("qpc %lld frequency %lld\n", Now(), Frequency());
        return 0;
    }
    if (command == "memory" && argc == 3) return Memory(argv[2]);
    if (command == "windows") {
        std::printf("screen %d %d\n", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
        ::EnumWindows(&PrintWindow, 0);
        return 0;
    }
    Options o;
    if (command == "watch" && ParseOptions(argc, argv, 2, &o)) return Watch(o);
    if (command == "history" && ParseOptions(argc, argv, 2, &o)) return History(o);
    std::fprintf(stderr, "usage: perf_probe clock | watch OUT [options] | history OUT [options] | "
                         "memory EXE_NAME | windows\n");
    return 2;
}
