// Cost of turning one touch report into its injection plan (decode,
// transform, press state and button choice), without the injection itself;
// and of the whole receive path from the bytes of a read to the records
// handed over.
#include "channel/FrameCodec.h"
#include "channel/LineBacklog.h"
#include "controller/TouchBatch.h"
#include "controller/TouchConversion.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

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

// The receive thread's work per read, as under a stream of drag reports: the
// backlog estimate, the frames of 100 bytes decoded, each report planned and
// its records handed to a batch whose system only counts them.
struct ReadPath {
    TouchSnapshot s = Snapshot(0);
    int64_t records = 0;
    TouchBatch batch{&ReadPath::Take, &ReadPath::Pause, this};

    static int Take(void* self, const InjectRecord*, int count)
    {
        static_cast<ReadPath*>(self)->records += count;
        return count;
    }
    static void Pause(void*) {}
    static void Deliver(void* self, const uint8_t* payload, int length)
    {
        ReadPath& p = *static_cast<ReadPath*>(self);
        const TouchPlan plan = PlanTouch(payload, length, p.s);
        p.s.pressed = plan.pressed;
        p.s.press = plan.press;
        p.s.last = plan.position;
        p.batch.Add(plan.records, plan.recordCount);
    }
};

void BM_ReadDecodePlan(benchmark::State& state)
{
    constexpr int kReports = 4096;
    std::vector<uint8_t> stream;
    uint8_t wire[kFrameBufferSize];
    for (int i = 0; i < kReports; ++i) {
        const unsigned x = (i * 37u) & 0x3FF;
        const unsigned y = (1023u - i * 23u) & 0x3FF;
        const uint8_t touch[4] = {kTouchReportCode, static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                  static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4))};
        const int n = EncodeFrame(touch, sizeof touch, wire);
        stream.insert(stream.end(), wire, wire + n);
    }
    ReadPath path;
    FrameDecoder decoder(&ReadPath::Deliver, &path);
    LineBacklog backlog(LineByteTimeNs(115200, 8, 2, 0));
    int64_t nowUs = 0;
    for (auto _ : state) {
        for (size_t pos = 0; pos < stream.size(); pos += 100) {
            const size_t n = stream.size() - pos < 100 ? stream.size() - pos : 100;
            nowUs += 100;
            // Keeping up: each read takes all there is, so every report is
            // planned and handed over, none merged.
            path.batch.Begin(backlog.OnRead(nowUs, static_cast<uint32_t>(n), 0, false));
            decoder.Feed(stream.data() + pos, static_cast<int>(n));
            path.batch.End();
            backlog.OnHandedOver(nowUs);
        }
        benchmark::DoNotOptimize(path.records);
    }
    state.SetItemsProcessed(static_cast<int64_t>(kReports) * state.iterations());
    state.counters["reports/s"] =
        benchmark::Counter(static_cast<double>(kReports) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["merged"] = static_cast<double>(path.batch.Merged());
}
BENCHMARK(BM_ReadDecodePlan);

} // namespace
