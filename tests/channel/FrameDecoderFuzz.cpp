// Fuzz target for the frame decoder: arbitrary bytes in arbitrary splits.
//
// Input layout: byte 0 seeds the split pattern, the rest is the stream.
// Invariants checked:
//  - every delivered payload has 1..49 bytes;
//  - the deliveries and the final decoder state do not depend on how the
//    stream is split into reads (whole, byte by byte, seeded chunks);
//  - a delivered payload of up to 46 bytes re-encodes within the transmit
//    buffer and decodes back to itself, exactly once;
//  - whatever the stream left behind, a DLE SOH that is not itself a doubled
//    DLE opens a new frame: an encoded frame fed next is delivered.
#include "channel/FrameCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Deliveries are logged flat (length byte, payload) to keep allocations out
// of the hot loop.
struct Run {
    Bytes log;
    FrameDecoder::State state = FrameDecoder::State::Idle;
    bool escape = false;

    bool operator==(const Run& other) const
    {
        return log == other.log && state == other.state && escape == other.escape;
    }
};

void Deliver(void* context, const uint8_t* payload, int length)
{
    if (length < 1 || length > kMaxDecodePayload) {
        std::fprintf(stderr, "delivered length %d out of 1..%d\n", length, kMaxDecodePayload);
        std::abort();
    }
    Bytes* log = static_cast<Bytes*>(context);
    log->push_back(static_cast<uint8_t>(length));
    log->insert(log->end(), payload, payload + length);
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Feeds data in chunks whose sizes come from a small generator seeded by
// `seed`; seed 0 feeds everything at once, seed 1 byte by byte.
Run Decode(const uint8_t* data, size_t size, uint8_t seed)
{
    Run run;
    run.log.reserve(size + 64);
    FrameDecoder decoder(&Deliver, &run.log);
    size_t pos = 0;
    uint32_t x = seed * 2654435761u + 1;
    while (pos < size) {
        size_t chunk = size - pos;
        if (seed == 1) {
            chunk = 1;
        } else if (seed != 0) {
            x = x * 1103515245u + 12345u;
            chunk = 1 + (x >> 16) % 23;
            if (chunk > size - pos) chunk = size - pos;
        }
        decoder.Feed(data + pos, static_cast<int>(chunk));
        pos += chunk;
    }
    run.state = decoder.state();
    run.escape = decoder.escape();
    return run;
}

void CheckRoundTrip(const uint8_t* payload, int length)
{
    if (length > kMaxEncodePayload) return;
    uint8_t wire[kFrameBufferSize];
    const int n = EncodeFrame(payload, length, wire);
    Check(n >= length + 6 && n <= kFrameBufferSize, "encoded size");
    Bytes again;
    FrameDecoder decoder(&Deliver, &again);
    decoder.Feed(wire, n);
    Check(again.size() == static_cast<size_t>(length) + 1 && again[0] == length &&
              std::memcmp(again.data() + 1, payload, length) == 0,
          "re-encoded payload decodes to itself");
}

// After the stream, a fresh frame must get through whenever the escape flag
// is clear (a pending DLE would pair with the frame's own DLE as data).
void CheckRecovery(const uint8_t* data, size_t size)
{
    Bytes log;
    FrameDecoder decoder(&Deliver, &log);
    decoder.Feed(data, static_cast<int>(size));
    if (decoder.escape()) return;
    const size_t before = log.size();
    static const uint8_t kProbe[] = {0x90, 0x10, 0x01, 0x03};
    uint8_t wire[kFrameBufferSize];
    const int n = EncodeFrame(kProbe, sizeof kProbe, wire);
    decoder.Feed(wire, n);
    // A frame still waiting for its trailing byte is dropped by the DLE SOH.
    Check(log.size() == before + 1 + sizeof kProbe && log[before] == sizeof kProbe &&
              std::memcmp(log.data() + before + 1, kProbe, sizeof kProbe) == 0,
          "frame after arbitrary stream delivered intact");
    Check(decoder.state() == FrameDecoder::State::Idle && !decoder.escape(), "idle after end marker");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 4096) return 0;
    const uint8_t seed = data[0];
    const uint8_t* stream = data + 1;
    const size_t n = size - 1;

    const Run whole = Decode(stream, n, 0);
    Check(Decode(stream, n, 1) == whole, "byte-by-byte split");
    Check(Decode(stream, n, static_cast<uint8_t>(seed | 2)) == whole, "seeded split");

    for (size_t pos = 0; pos < whole.log.size(); pos += 1 + whole.log[pos]) {
        CheckRoundTrip(whole.log.data() + pos + 1, whole.log[pos]);
    }
    CheckRecovery(stream, n);
    return 0;
}

// Frames worth starting from, for runs without a corpus: a touch report, a
// doubled DLE with a stuffed checksum, and a frame cut by a new start.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed);
extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    static const uint8_t kSeeds[][24] = {
        {7, 0x10, 0x01, 0x04, 0x90, 0x34, 0x12, 0x21, 0x92, 0x10, 0x03, 0x10, 0x01, 0x01, 0x91, 0x91, 0x10,
         0x03},
        {3, 0x10, 0x01, 0x01, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03, 0x10, 0x01, 0x02, 0x10, 0x10, 0x11, 0x02,
         0x10, 0x03},
        {9,    0x55, 0x10, 0x01, 0x04, 0x81, 0x10, 0x01, 0x04, 0x81, 0x05,
         0x01, 0x1E, 0x9E, 0x03, 0xAA, 0x01, 0x92, 0x92, 0x10, 0x03},
    };
    static const size_t kSeedSizes[] = {18, 19, 21};
    // Now and then restart from a known-good stream so the mutations stay
    // close to real traffic; otherwise mutate as usual.
    if (seed % 64 == 0 || size == 0) {
        const size_t i = (seed / 64) % 3;
        const size_t n = kSeedSizes[i] < maxSize ? kSeedSizes[i] : maxSize;
        std::memcpy(data, kSeeds[i], n);
        return n;
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}
