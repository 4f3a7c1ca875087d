// Cost of turning one touch report into its injection plan (decode,
// transform, press state and button choice), without the injection itself.
#include "controller/TouchConversion.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

TouchSnapshot Snapshot(int32_t pressed)
{
    TouchSnapshot s;
    s.identified = true;
    s.pressed = pressed;
    s.transform = TouchTransform{1, 2, -2041, 58, 66858, -1538};
    return s;
}

// First report of a touch: button choice and two records.
void BM_PressReport(benchmark::State& state)
{
    const TouchSnapshot s = Snapshot(0);
    uint8_t payload[4] = {kTouchReportCode, 0x00, 0x00, 0x22};
    for (auto _ : state) {
        ++payload[1];
        benchmark::DoNotOptimize(payload);
        TouchPlan plan = PlanTouch(payload, 4, s);
        benchmark::DoNotOptimize(plan);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PressReport);

// Further report while dragging: one record.
void BM_DragReport(benchmark::State& state)
{
    const TouchSnapshot s = Snapshot(1);
    uint8_t payload[4] = {kTouchReportCode, 0x00, 0x00, 0x22};
    for (auto _ : state) {
        ++payload[2];
        benchmark::DoNotOptimize(payload);
        TouchPlan plan = PlanTouch(payload, 4, s);
        benchmark::DoNotOptimize(plan);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DragReport);

} // namespace
