// Throughput of the frame decoder on a stream of touch reports, and the cost
// of encoding the program's own commands.
#include "channel/FrameCodec.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

// A stroke across the screen: touch reports (0x90, 12-bit X and Y) with a
// release every 64 reports, as the controller sends them while dragging.
std::vector<uint8_t> TouchStream(int reports, int* frames)
{
    std::vector<uint8_t> stream;
    uint8_t wire[kFrameBufferSize];
    *frames = 0;
    for (int i = 0; i < reports; ++i) {
        const unsigned x = (i * 37u) & 0xFFF;
        const unsigned y = (4095u - i * 23u) & 0xFFF;
        const uint8_t touch[4] = {0x90, static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                  static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4))};
        int n = EncodeFrame(touch, sizeof touch, wire);
        stream.insert(stream.end(), wire, wire + n);
        ++*frames;
        if (i % 64 == 63) {
            const uint8_t release[1] = {0x91};
            n = EncodeFrame(release, 1, wire);
            stream.insert(stream.end(), wire, wire + n);
            ++*frames;
        }
    }
    return stream;
}

struct Sink {
    int64_t frames = 0;
    uint32_t mix = 0;

    static void Deliver(void* context, const uint8_t* payload, int length)
    {
        Sink* s = static_cast<Sink*>(context);
        ++s->frames;
        s->mix += payload[length - 1];
    }
};

// The receive thread reads up to 100 bytes per poll; range(0) is that size.
void BM_DecodeTouchStream(benchmark::State& state)
{
    int frames = 0;
    const std::vector<uint8_t> stream = TouchStream(4096, &frames);
    const size_t chunk = static_cast<size_t>(state.range(0));
    Sink sink;
    FrameDecoder decoder(&Sink::Deliver, &sink);
    for (auto _ : state) {
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            const size_t n = stream.size() - pos < chunk ? stream.size() - pos : chunk;
            decoder.Feed(stream.data() + pos, static_cast<int>(n));
        }
        benchmark::DoNotOptimize(sink.mix);
    }
    if (sink.frames != static_cast<int64_t>(frames) * state.iterations()) state.SkipWithError("frames lost");
    state.SetBytesProcessed(static_cast<int64_t>(stream.size()) * state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeTouchStream)->Arg(1)->Arg(10)->Arg(100)->Arg(4096);

// Noise on the line (no start markers): the decoder only skips bytes.
void BM_DecodeNoise(benchmark::State& state)
{
    std::vector<uint8_t> noise(64 * 1024);
    uint32_t x = 1;
    for (uint8_t& b : noise) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
        if (b == kDle) b = 0x11;
    }
    Sink sink;
    FrameDecoder decoder(&Sink::Deliver, &sink);
    for (auto _ : state) {
        decoder.Feed(noise.data(), static_cast<int>(noise.size()));
        benchmark::DoNotOptimize(sink.frames);
    }
    state.SetBytesProcessed(static_cast<int64_t>(noise.size()) * state.iterations());
}
BENCHMARK(BM_DecodeNoise);

// Encoding a command: 2 payload bytes as the program sends them, and the
// densest 46-byte payload.
void BM_Encode(benchmark::State& state)
{
    const int length = static_cast<int>(state.range(0));
    std::vector<uint8_t> payload(length, 0x10);
    payload[0] = 0x84;
    uint8_t wire[kFrameBufferSize];
    for (auto _ : state) {
        benchmark::DoNotOptimize(payload.data());
        const int n = EncodeFrame(payload.data(), length, wire);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Encode)->Arg(2)->Arg(kMaxEncodePayload);

} // namespace
