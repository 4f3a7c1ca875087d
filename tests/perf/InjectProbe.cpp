// Where the time of mouse injection goes under Wine, for
// tools/bench/measure.sh: N absolute records handed over as N calls of
// one record or as one call of N records, with the pointer moving to a new
// place on every record or staying put, and with or without taking the
// injecting thread's messages after each group. Prints, per record, the wall
// time, this thread's CPU time, the wineserver's CPU time (read from
// /proc through the Z: drive) and that of other processes it is given. Asserts
// nothing.
//
//   inject_probe [--groups G] [--pid NAME=PID]...
//
// Each --pid names a unix process whose CPU time is shown per record (the
// wineserver, the X server, the prefix's desktop process).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Mode {
    const char* name;
    int perGroup; // records per group
    bool oneCall; // all records of a group in one SendInput
    bool moving;  // every record at a new place
    bool drain;   // take the thread's messages after each group
};

constexpr Mode kModes[] = {
    {"22 calls x 1 record, moving", 22, false, true, true},
    {"1 call x 22 records, moving", 22, true, true, true},
    {"2 calls x 1 record, moving", 2, false, true, true},
    {"1 call x 2 records, moving", 2, true, true, true},
    {"22 calls x 1 record, same place", 22, false, false, true},
    {"1 call x 22 records, same place", 22, true, false, true},
    {"22 calls x 1 record, moving, messages left queued", 22, false, true, false},
};
constexpr int kModeCount = static_cast<int>(sizeof(kModes) / sizeof(kModes[0]));

// utime + stime of a unix process in clock ticks (100 a second), or -1.
long long ServerTicks(int pid)
{
    if (pid <= 0) return -1;
    char path[64];
    std::snprintf(path, sizeof(path), "Z:\\proc\\%d\\stat", pid);
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return -1;
    char text[1024] = {};
    const size_t n = std::fread(text, 1, sizeof(text) - 1, f);
    std::fclose(f);
    text[n] = 0;
    // Fields after the command name in parentheses; utime and stime are the
    // 14th and 15th fields of the line.
    const char* p = std::strrchr(text, ')');
    if (p == nullptr) return -1;
    long long utime = 0, stime = 0;
    int field = 2;
    for (const char* q = p + 1; *q != 0 && field < 15; ++q) {
        if (*q != ' ') continue;
        ++field;
        if (field == 14) utime = std::atoll(q + 1);
        if (field == 15) stime = std::atoll(q + 1);
    }
    return utime + stime;
}

double ThreadCpuUs()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return static_cast<double>(k.QuadPart + u.QuadPart) / 10.0;
}

double NowUs()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return 1e6 * static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

void Drain()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

struct Tally {
    std::vector<double> perRecord; // wall time of each group over its records
    double wall = 0;
    double cpu = 0;
    long long ticks[4] = {}; // of the watched processes
    bool known[4] = {true, true, true, true};
    double records = 0;
};

// A block of groups of one mode: builds the records, hands them over, takes
// the thread's messages unless the mode leaves them. The wineserver's CPU
// is read around the block (reading it costs server time of its own).
struct Watched {
    const char* name;
    int pid;
};
Watched g_watched[4];
int g_watchedCount = 0;

void RunBlock(const Mode& mode, int groups, int* counter, Tally* t)
{
    long long before[4];
    for (int w = 0; w < g_watchedCount; ++w)
        before[w] = ServerTicks(g_watched[w].pid);
    for (int g = 0; g < groups; ++g) {
        INPUT inputs[22] = {};
        for (int i = 0; i < mode.perGroup; ++i) {
            INPUT& in = inputs[i];
            in.type = INPUT_MOUSE;
            in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
            const int k = mode.moving ? ++*counter : 0;
            in.mi.dx = 8000 + (k * 977) % 48000;
            in.mi.dy = 8000 + (k * 613) % 48000;
        }
        const double cpuBefore = ThreadCpuUs();
        const double start = NowUs();
        if (mode.oneCall) {
            ::SendInput(static_cast<UINT>(mode.perGroup), inputs, sizeof(INPUT));
        } else {
            for (int i = 0; i < mode.perGroup; ++i)
                ::SendInput(1, &inputs[i], sizeof(INPUT));
        }
        if (mode.drain) Drain();
        const double wall = NowUs() - start;
        t->cpu += ThreadCpuUs() - cpuBefore;
        t->wall += wall;
        t->records += mode.perGroup;
        t->perRecord.push_back(wall / mode.perGroup);
    }
    for (int w = 0; w < g_watchedCount; ++w) {
        const long long after = ServerTicks(g_watched[w].pid);
        if (before[w] < 0 || after < 0) t->known[w] = false;
        t->ticks[w] += after - before[w];
    }
}

void Print(const Mode& mode, Tally& t)
{
    std::sort(t.perRecord.begin(), t.perRecord.end());
    const double p50 = t.perRecord[t.perRecord.size() / 2];
    const double p90 = t.perRecord[std::min(t.perRecord.size() - 1, t.perRecord.size() * 9 / 10)];
    std::printf("| %s | %.0f | %.1f | %.1f | %.1f | %.1f |", mode.name, t.records, t.wall / t.records, p50,
                p90, t.cpu / t.records);
    for (int w = 0; w < g_watchedCount; ++w) {
        if (t.known[w]) {
            std::printf(" %.1f |", 1e4 * static_cast<double>(t.ticks[w]) / t.records);
        } else {
            std::printf(" - |");
        }
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    int groups = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--groups") == 0) groups = std::max(10, std::atoi(argv[i + 1]));
        char* equals = std::strchr(argv[i + 1], '=');
        if (std::strcmp(argv[i], "--pid") == 0 && equals != nullptr && g_watchedCount < 4) {
            *equals = 0;
            g_watched[g_watchedCount++] = Watched{argv[i + 1], std::atoi(equals + 1)};
        }
    }
    std::printf("| Records handed over | Records | Wall per record, mean (us) | p50 (us) | p90 (us) | CPU of "
                "this thread per record (us) |");
    for (int w = 0; w < g_watchedCount; ++w)
        std::printf(" CPU of %s per record (us) |", g_watched[w].name);
    std::printf("\n|---|---|---|---|---|---|");
    for (int w = 0; w < g_watchedCount; ++w)
        std::printf("---|");
    std::printf("\n");
    // The modes take turns, ten groups each, so that the load of a shared
    // machine falls on all of them alike; the one that leaves messages
    // queued runs last, on its own, as its queue slows every later call.
    Tally tallies[kModeCount];
    int counter = 0;
    constexpr int kBlock = 10;
    for (int g = 0; g < groups; g += kBlock) {
        for (int m = 0; m + 1 < kModeCount; ++m)
            RunBlock(kModes[m], kBlock, &counter, &tallies[m]);
    }
    RunBlock(kModes[kModeCount - 1], groups, &counter, &tallies[kModeCount - 1]);
    Drain();
    for (int m = 0; m < kModeCount; ++m)
        Print(kModes[m], tallies[m]);
    return 0;
}
