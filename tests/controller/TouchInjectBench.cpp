// Timing of the touch path under Wine: OnReceive of one report up to and
// including the SendInput call, with the real system injection, and the
// number of records injected per touch sequence, and the cost a report of
// one call per report against one call per read. Prints figures; asserts
// nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/AppContext.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

int g_records = 0;
LARGE_INTEGER g_injectedAt;

UINT CountingSystemInjector(UINT count, const INPUT* inputs)
{
    g_records += static_cast<int>(count);
    const UINT accepted = ::SendInput(count, const_cast<INPUT*>(inputs), sizeof(INPUT));
    ::QueryPerformanceCounter(&g_injectedAt);
    return accepted;
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

} // namespace

int main(int argc, char** argv)
{
    const int reports = argc > 1 ? std::max(100, atoi(argv[1])) : 2000;
    App().ident = IdentRecord{2, 1, 30};
    ZMR02Ctrl ctrl;
    SetInputBatchInjector(&CountingSystemInjector);

    LARGE_INTEGER freq;
    ::QueryPerformanceFrequency(&freq);
    std::vector<double> drag;  // report while pressed: one record
    std::vector<double> press; // first report: move, then move + down
    std::vector<double> whole; // OnReceive as a whole
    int sequences = 0;
    for (int i = 0; i < reports; ++i) {
        const uint8_t x = static_cast<uint8_t>(i * 7);
        const uint8_t report[4] = {0x90, x, static_cast<uint8_t>(255 - x), 0x11};
        const bool first = ctrl.m_bPressed == 0;
        LARGE_INTEGER start, end;
        ::QueryPerformanceCounter(&start);
        ctrl.OnReceive(report, 4);
        ::QueryPerformanceCounter(&end);
        const double toInject = 1e6 * static_cast<double>(g_injectedAt.QuadPart - start.QuadPart) /
                                static_cast<double>(freq.QuadPart);
        (first ? press : drag).push_back(toInject);
        whole.push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                        static_cast<double>(freq.QuadPart));
        if (i % 10 == 9) {
            const uint8_t release[1] = {0x91};
            ctrl.OnReceive(release, 1);
            ++sequences;
        }
    }
    // One full sequence counted from scratch: report, 8 drags, release.
    g_records = 0;
    for (int i = 0; i < 10; ++i) {
        const uint8_t report[4] = {0x90, 0x40, 0x40, 0x11};
        ctrl.OnReceive(report, 4);
    }
    const uint8_t release[1] = {0x91};
    ctrl.OnReceive(release, 1);
    const int perSequence = g_records;

    // Reads of 22 drag reports each (what arrives in 20 ms at the fastest
    // line), the records of each read handed to the system in one call,
    // against the same reports delivered one by one outside a read.
    const uint8_t down[4] = {0x90, 0x40, 0x40, 0x11};
    ctrl.OnReceive(down, 4);
    std::vector<double> perReportOne;
    std::vector<double> perReportRead;
    for (int round = 0; round < reports / 22; ++round) {
        for (int read = 0; read < 2; ++read) {
            LARGE_INTEGER start, end;
            ::QueryPerformanceCounter(&start);
            if (read == 1) ctrl.OnReadBegin();
            for (int i = 0; i < 22; ++i) {
                const uint8_t x = static_cast<uint8_t>(round * 22 + i);
                const uint8_t report[4] = {0x90, x, static_cast<uint8_t>(255 - x), 0x11};
                ctrl.OnReceive(report, 4);
            }
            if (read == 1) ctrl.OnReadEnd();
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
            ::QueryPerformanceCounter(&end);
            (read == 1 ? perReportRead : perReportOne)
                .push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(freq.QuadPart) / 22.0);
        }
    }
    ctrl.OnReceive(release, 1);

    std::printf("touch reports: %d (%d sequences)\n", reports, sequences);
    std::printf("first report (move + move/down), OnReceive entry to last SendInput return: p50 %.1f us, p99 "
                "%.1f us\n",
                Percentile(press, 0.5), Percentile(press, 0.99));
    std::printf("drag report (one move), OnReceive entry to SendInput return: p50 %.1f us, p99 %.1f us\n",
                Percentile(drag, 0.5), Percentile(drag, 0.99));
    std::printf("OnReceive as a whole: p50 %.1f us, p99 %.1f us\n", Percentile(whole, 0.5),
                Percentile(whole, 0.99));
    std::printf("records injected for 10 reports and a release (mode CONTINUOUS): %d\n", perSequence);
    std::printf("22 drag reports, one call each: p50 %.1f us, p90 %.1f us a report\n",
                Percentile(perReportOne, 0.5), Percentile(perReportOne, 0.9));
    std::printf("22 drag reports in one read, one call for all: p50 %.1f us, p90 %.1f us a report\n",
                Percentile(perReportRead, 0.5), Percentile(perReportRead, 0.9));
    SetInputBatchInjector(nullptr);
    return 0;
}
