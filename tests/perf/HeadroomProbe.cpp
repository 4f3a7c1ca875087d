// The program's own touch path without the system's injection, for
// tools/bench/measure.sh: the real channel reads the simulated device on a
// port of the bench, the real controller decodes and plans every report, and
// the records it would inject are only counted. So the bench sees how many
// reports a second read -> decode -> plan takes under Wine, with the cost of
// Wine's SendInput out of the picture. Writes its counters to OUT every
// 50 ms until the stop file appears; asserts nothing.
//
//   headroom_probe OUT --stop FILE [--ready FILE] [--port INDEX] [--max-ms N]
//
// OUT holds one line: records moves downs ups merged last_us, last_us being
// when the last record came, on the performance counter in us. Paths may be
// unix paths; they are reached through Wine's Z: drive.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "channel/CommProtocol2.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

// Written by the receive thread, read as found by the main thread.
std::atomic<long long> g_records{0};
std::atomic<long long> g_moves{0};
std::atomic<long long> g_downs{0};
std::atomic<long long> g_ups{0};
std::atomic<long long> g_lastUs{0};
long long g_frequency = 1;

long long NowUs()
{
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart / g_frequency * 1000000 + t.QuadPart % g_frequency * 1000000 / g_frequency;
}

UINT Count(UINT count, const INPUT* inputs)
{
    for (UINT i = 0; i < count; ++i) {
        const DWORD flags = inputs[i].mi.dwFlags;
        if ((flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_MIDDLEDOWN)) != 0) {
            g_downs.fetch_add(1, std::memory_order_relaxed);
        } else if ((flags & (MOUSEEVENTF_LEFTUP | MOUSEEVENTF_RIGHTUP | MOUSEEVENTF_MIDDLEUP)) != 0) {
            g_ups.fetch_add(1, std::memory_order_relaxed);
        } else {
            g_moves.fetch_add(1, std::memory_order_relaxed);
        }
    }
    g_records.fetch_add(count, std::memory_order_relaxed);
    g_lastUs.store(NowUs(), std::memory_order_relaxed);
    return count;
}

std::string WindowsPath(const char* path)
{
    std::string out = path;
    if (out.empty() || out[0] != '/') return out;
    out = "Z:" + out;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

bool FileExists(const std::string& path)
{
    return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Written beside the target and renamed, so a reader never sees half.
void WriteCounters(const std::string& path, const ZmrCtrlVirt& ctrl)
{
    char line[200];
    FormatBounded(line, sizeof line, "%lld %lld %lld %lld %llu %lld\n", g_records.load(), g_moves.load(),
                  g_downs.load(), g_ups.load(), static_cast<unsigned long long>(ctrl.MergedPositions()),
                  g_lastUs.load());
    const std::string tmp = path + ".tmp";
    {
        UniqueFileHandle file(::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        DWORD written = 0;
        ::WriteFile(file.get(), line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    }
    ::MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

int main(int argc, char** argv)
{
    std::string out, stop, ready;
    int port = 2;
    long long maxMs = 600000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--stop" && hasValue) {
            stop = WindowsPath(argv[++i]);
        } else if (arg == "--ready" && hasValue) {
            ready = WindowsPath(argv[++i]);
        } else if (arg == "--port" && hasValue) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--max-ms" && hasValue) {
            maxMs = std::atoll(argv[++i]);
        } else if (out.empty() && arg.rfind("--", 0) != 0) {
            out = WindowsPath(argv[i]);
        } else {
            std::fprintf(stderr, "headroom_probe: unexpected argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (out.empty() || stop.empty() || port < 0 || port > 7) {
        std::fprintf(stderr,
                     "usage: headroom_probe OUT --stop FILE [--ready FILE] [--port 0..7] [--max-ms N]\n");
        return 2;
    }
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    g_frequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1;

    // Taken as identified: the device answers the program, not this probe.
    App().ident = IdentRecord{2, 1, 30};
    SetInputBatchInjector(&Count);
    int result = 0;
    {
        ZMR02Ctrl ctrl;
        CommProtocol2 channel(port, false);
        if (!channel.Open()) {
            std::fprintf(stderr, "headroom_probe: %s cannot be opened\n", channel.DeviceName());
            return 1;
        }
        channel.SetListener(&ctrl);
        WriteCounters(out, ctrl);
        if (!ready.empty()) {
            UniqueFileHandle file(::CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        const DWORD started = ::GetTickCount();
        while (!FileExists(stop)) {
            if (::GetTickCount() - started > static_cast<DWORD>(maxMs)) {
                result = 1;
                break;
            }
            ::Sleep(50);
            WriteCounters(out, ctrl);
        }
        channel.ClearListener();
        channel.Close();
        WriteCounters(out, ctrl);
    }
    SetInputBatchInjector(nullptr);
    return result;
}
