// Where the time of mouse injection goes under Wine, for
// tools/bench/inject-probe.sh: N absolute records handed over as N calls of
// one record or as one call of N records, with the pointer moving to a new
// place on every record or staying put, and with or without taking the
// injecting thread's messages after each group. Prints, per record, the wall
// time, this thread's CPU time and the wineserver's CPU time (read from
// /proc through the Z: drive when its unix process id is given). Asserts
// nothing.
//
//   inject_probe [--groups G] [--server-pid PID]
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
    {"1 call x 1 record, moving, drain", 1, false, true, true},
    {"22 calls x 1 record, moving, drain", 22, false, true, true},
    {"22 calls x 1 record, moving, no drain", 22, false, true, false},
    {"22 calls x 1 record, same place, drain", 22, false, false, true},
    {"1 call x 22 records, moving, drain", 22, true, true, true},
    {"1 call x 22 records, same place, drain", 22, true, false, true},
    {"1 call x 10 records, moving, drain", 10, true, true, true},
    {"1 call x 2 records, moving, drain", 2, true, true, true},
};

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

void RunMode(const Mode& mode, int groups, int serverPid)
{
    std::vector<INPUT> inputs(static_cast<size_t>(mode.perGroup));
    std::vector<double> perRecord;
    int counter = 0;
    const long long serverBefore = ServerTicks(serverPid);
    const double cpuBefore = ThreadCpuUs();
    const double wallBefore = NowUs();
    for (int g = 0; g < groups; ++g) {
        for (int i = 0; i < mode.perGroup; ++i) {
            INPUT& in = inputs[static_cast<size_t>(i)];
            in = INPUT{};
            in.type = INPUT_MOUSE;
            in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
            const int k = mode.moving ? ++counter : 0;
            in.mi.dx = 8000 + (k * 977) % 48000;
            in.mi.dy = 8000 + (k * 613) % 48000;
        }
        const double start = NowUs();
        if (mode.oneCall) {
            ::SendInput(static_cast<UINT>(mode.perGroup), inputs.data(), sizeof(INPUT));
        } else {
            for (INPUT& in : inputs)
                ::SendInput(1, &in, sizeof(INPUT));
        }
        if (mode.drain) Drain();
        perRecord.push_back((NowUs() - start) / mode.perGroup);
    }
    const double wall = NowUs() - wallBefore;
    const double cpu = ThreadCpuUs() - cpuBefore;
    const long long serverAfter = ServerTicks(serverPid);
    const double records = static_cast<double>(groups) * mode.perGroup;
    std::sort(perRecord.begin(), perRecord.end());
    const double p50 = perRecord[perRecord.size() / 2];
    const double p90 = perRecord[std::min(perRecord.size() - 1, perRecord.size() * 9 / 10)];
    std::printf("| %s | %.0f | %.1f | %.1f | %.1f | %.1f |", mode.name, records, wall / records, p50, p90,
                cpu / records);
    if (serverBefore >= 0 && serverAfter >= 0) {
        std::printf(" %.1f |\n", 1e4 * static_cast<double>(serverAfter - serverBefore) / records);
    } else {
        std::printf(" - |\n");
    }
    Drain();
    ::Sleep(200);
}

} // namespace

int main(int argc, char** argv)
{
    int groups = 200;
    int serverPid = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--groups") == 0) groups = std::max(10, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--server-pid") == 0) serverPid = std::atoi(argv[i + 1]);
    }
    std::printf("| Records handed over | Records | Wall per record, mean (us) | p50 (us) | p90 (us) | CPU of "
                "this thread per record (us) | wineserver CPU per record (us) |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const Mode& mode : kModes)
        RunMode(mode, groups, serverPid);
    return 0;
}
