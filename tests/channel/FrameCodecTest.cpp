// Frame encoder and decoder: the wire format, round trips and the decoder's
// handling of malformed and split input.
#include "channel/FrameCodec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Records every delivery of a decoder.
struct Collector {
    std::vector<Bytes> frames;

    static void Deliver(void* context, const uint8_t* payload, int length)
    {
        static_cast<Collector*>(context)->frames.emplace_back(payload, payload + length);
    }
};

Bytes Encode(const Bytes& payload)
{
    uint8_t out[kFrameBufferSize];
    const int n = EncodeFrame(payload.data(), static_cast<int>(payload.size()), out);
    return Bytes(out, out + n);
}

std::vector<Bytes> DecodeAll(const Bytes& wire)
{
    Collector c;
    FrameDecoder decoder(&Collector::Deliver, &c);
    decoder.Feed(wire.data(), static_cast<int>(wire.size()));
    return c.frames;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Frame with an arbitrary length byte and payload size: lets the decoder be
// tested on frames the encoder refuses to build.
Bytes RawFrame(uint8_t lengthByte, const Bytes& payload)
{
    Bytes wire = {kDle, kSoh};
    auto put = [&wire](uint8_t b) {
        wire.push_back(b);
        if (b == kDle) wire.push_back(kDle);
    };
    put(lengthByte);
    uint8_t chk = kSoh ^ lengthByte;
    for (uint8_t b : payload) {
        put(b);
        chk ^= b;
    }
    put(chk);
    wire.push_back(kDle);
    wire.push_back(kEtx);
    return wire;
}

std::string Hex(const Bytes& b)
{
    std::string s;
    char buf[4];
    for (uint8_t v : b) {
        static const char kDigits[] = "0123456789ABCDEF";
        buf[0] = kDigits[v >> 4];
        buf[1] = kDigits[v & 15];
        buf[2] = ' ';
        buf[3] = '\0';
        s += buf;
    }
    return s;
}

// The frames the device and the program actually exchange.
struct WorkedFrame {
    const char* name;
    Bytes payload;
    Bytes wire;
};

const WorkedFrame kWorkedFrames[] = {
    {"identification query", {0x01}, {0x10, 0x01, 0x01, 0x01, 0x01, 0x10, 0x03}},
    {"re-initialisation request", {0x87}, {0x10, 0x01, 0x01, 0x87, 0x87, 0x10, 0x03}},
    {"restart notice", {0x92}, {0x10, 0x01, 0x01, 0x92, 0x92, 0x10, 0x03}},
    {"identification reply",
     {0x81, 0x05, 0x01, 0x1E},
     {0x10, 0x01, 0x04, 0x81, 0x05, 0x01, 0x1E, 0x9E, 0x10, 0x03}},
    {"doubled payload byte", {0x10, 0x11}, {0x10, 0x01, 0x02, 0x10, 0x10, 0x11, 0x02, 0x10, 0x03}},
    {"doubled payload and checksum", {0x10}, {0x10, 0x01, 0x01, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03}},
};

TEST(FrameCodec, WorkedFramesEncodeAndDecode)
{
    for (const WorkedFrame& f : kWorkedFrames) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(Hex(Encode(f.payload)), Hex(f.wire));
        const std::vector<Bytes> got = DecodeAll(f.wire);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(Hex(got[0]), Hex(f.payload));
    }
}

TEST(FrameCodec, LengthSixteenIsStuffedAndDecodedBack)
{
    Bytes payload(16);
    for (int i = 0; i < 16; ++i)
        payload[i] = static_cast<uint8_t>(0x20 + i);
    const Bytes wire = Encode(payload);
    ASSERT_GE(wire.size(), 4u);
    EXPECT_EQ(wire[2], 0x10);
    EXPECT_EQ(wire[3], 0x10);
    EXPECT_EQ(wire[4], 0x20);
    const std::vector<Bytes> got = DecodeAll(wire);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], payload);
}

TEST(FrameCodec, RoundTripsEveryEncodableLength)
{
    std::mt19937 rng(12345);
    // Fill patterns that stress the stuffing: markers as data, DLE runs,
    // DLE followed by a start or end code.
    const std::vector<std::vector<uint8_t>> patterns = {
        {0x10}, {0x01}, {0x03}, {0x10, 0x01}, {0x10, 0x03}, {0x10, 0x10, 0x03}, {0x00, 0xFF},
    };
    for (int length = 1; length <= kMaxEncodePayload; ++length) {
        std::vector<Bytes> payloads;
        for (const auto& pat : patterns) {
            Bytes p(length);
            for (int i = 0; i < length; ++i)
                p[i] = pat[i % pat.size()];
            payloads.push_back(p);
        }
        for (int r = 0; r < 8; ++r) {
            Bytes p(length);
            for (uint8_t& b : p)
                b = static_cast<uint8_t>(rng() % 5 == 0 ? 0x10 : rng());
            payloads.push_back(p);
        }
        for (const Bytes& p : payloads) {
            SCOPED_TRACE(Hex(p));
            const Bytes wire = Encode(p);
            ASSERT_LE(wire.size(), static_cast<size_t>(kFrameBufferSize));
            const std::vector<Bytes> got = DecodeAll(wire);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0], p);
        }
    }
}

TEST(FrameCodec, DenselyStuffedFramesFitTheBuffer)
{
    // 46 DLEs: checksum 0x01 ^ 0x2E = 0x2F, so 2 + 1 + 92 + 1 + 2 bytes.
    const Bytes dles(kMaxEncodePayload, 0x10);
    const Bytes wire = Encode(dles);
    EXPECT_EQ(wire.size(), 98u);
    const std::vector<Bytes> all = DecodeAll(wire);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0], dles);

    // Length, 15 payload bytes and the checksum all stuffed:
    // 0x01 ^ 0x10 ^ (15 DLEs = 0x10) ^ 0x11 = 0x10.
    Bytes p(16, 0x10);
    p[15] = 0x11;
    const Bytes w2 = Encode(p);
    EXPECT_EQ(w2.size(), 2u + 2u + 15u * 2u + 1u + 2u + 2u);
    EXPECT_EQ(w2[w2.size() - 4], 0x10);
    EXPECT_EQ(w2[w2.size() - 3], 0x10);
    const std::vector<Bytes> got = DecodeAll(w2);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], p);
}

TEST(FrameCodec, EncoderRefusesUnfitArguments)
{
    uint8_t out[kFrameBufferSize + 8];
    std::fill(std::begin(out), std::end(out), 0xAA);
    const uint8_t payload[kMaxEncodePayload + 1] = {};
    EXPECT_EQ(EncodeFrame(payload, 0, out), 0);
    EXPECT_EQ(EncodeFrame(payload, -1, out), 0);
    EXPECT_EQ(EncodeFrame(payload, kMaxEncodePayload + 1, out), 0);
    EXPECT_EQ(EncodeFrame(nullptr, 1, out), 0);
    EXPECT_EQ(EncodeFrame(payload, 1, nullptr), 0);
    for (uint8_t b : out)
        ASSERT_EQ(b, 0xAA) << "nothing may be written on refusal";
    EXPECT_GT(EncodeFrame(payload, kMaxEncodePayload, out), 0);
}

TEST(FrameDecoder, ByteByByteDeliversOnceOnTheFinalByte)
{
    for (const WorkedFrame& f : kWorkedFrames) {
        SCOPED_TRACE(f.name);
        Collector c;
        FrameDecoder decoder(&Collector::Deliver, &c);
        for (size_t i = 0; i < f.wire.size(); ++i) {
            decoder.Feed(&f.wire[i], 1);
            const size_t expected = (i + 1 == f.wire.size()) ? 1u : 0u;
            ASSERT_EQ(c.frames.size(), expected) << "after byte " << i;
        }
        EXPECT_EQ(c.frames[0], f.payload);
        EXPECT_EQ(decoder.state(), FrameDecoder::State::Idle);
        EXPECT_FALSE(decoder.escape());
    }
}

// Malformed and unusual streams, each with the payloads it must yield.
struct StreamCase {
    const char* name;
    Bytes wire;
    std::vector<Bytes> expected;
};

const Bytes kTouch = {0x90, 0x34, 0x12, 0x21};
const Bytes kRelease = {0x91};

std::vector<StreamCase> StreamCases()
{
    const Bytes touch = Encode(kTouch);
    const Bytes release = Encode(kRelease);
    Bytes badChk = touch;
    badChk[badChk.size() - 3] ^= 0x40;
    Bytes noEnd(touch.begin(), touch.end() - 2);
    Bytes singleEtx(touch.begin(), touch.end() - 2);
    singleEtx.push_back(kEtx);
    Bytes truncated(touch.begin(), touch.begin() + 5);

    Bytes max49(kMaxDecodePayload);
    for (int i = 0; i < kMaxDecodePayload; ++i)
        max49[i] = static_cast<uint8_t>(0x40 + i);

    return {
        {"plain frame", touch, {kTouch}},
        {"wrong checksum dropped, next delivered", Concat({badChk, release}), {kRelease}},
        {"length 50 rejected", Concat({RawFrame(50, Bytes(50, 0x22)), release}), {kRelease}},
        {"length 255 rejected", Concat({RawFrame(255, Bytes(60, 0x22)), release}), {kRelease}},
        {"length 0 rejected", Concat({RawFrame(0, {}), release}), {kRelease}},
        // Taken as a frame, length 0 would never complete and the bytes
        // after it would run past the payload buffer.
        {"length 0 then a long body", Concat({{0x10, 0x01, 0x00}, Bytes(80, 0x22), release}), {kRelease}},
        {"length 49 accepted", RawFrame(49, max49), {max49}},
        {"start inside a frame restarts", Concat({truncated, touch}), {kTouch}},
        {"start right after the checksum drops the frame", Concat({noEnd, release}), {kRelease}},
        {"single ETX ends a frame", singleEtx, {kTouch}},
        {"DLE 05 is data",
         {0x10, 0x01, 0x02, 0x90, 0x10, 0x05, 0x01 ^ 0x02 ^ 0x90 ^ 0x05, 0x10, 0x03},
         {{0x90, 0x05}}},
        {"DLE ETX before the checksum drops the frame",
         Concat({{0x10, 0x01, 0x04, 0x90, 0x34, 0x10, 0x03}, release}),
         {kRelease}},
        {"noise before the first frame",
         Concat({{0x00, 0x03, 0x10, 0x03, 0xFF, 0x01, 0x55, 0x10, 0x10}, touch}),
         {kTouch}},
        {"tail of an abandoned frame ignored",
         Concat({truncated, {0x10, 0x03, 0x34, 0x01, 0x03}, release}),
         {kRelease}},
        {"back to back frames", Concat({touch, touch, release}), {kTouch, kTouch, kRelease}},
        // Any byte after the checksum delivers; the next dispatched byte is
        // then swallowed as a start code and the one after it is the length.
        {"other byte after the checksum",
         Concat({Bytes(touch.begin(), touch.end() - 2),
                 {0x55, 0xAA, 0x01, 0x91, 0x01 ^ 0x01 ^ 0x91, 0x10, 0x03}}),
         {kTouch, kRelease}},
        {"doubled DLE after the checksum delivers",
         Concat({Bytes(touch.begin(), touch.end() - 2), {0x10, 0x10}}),
         {kTouch}},
        {"empty stream", {}, {}},
    };
}

TEST(FrameDecoder, StreamCases)
{
    for (const StreamCase& sc : StreamCases()) {
        SCOPED_TRACE(sc.name);
        const std::vector<Bytes> got = DecodeAll(sc.wire);
        ASSERT_EQ(got.size(), sc.expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(Hex(got[i]), Hex(sc.expected[i]));
    }
}

TEST(FrameDecoder, RejectedLengthWaitsIdleForTheNextStart)
{
    Collector c;
    FrameDecoder decoder(&Collector::Deliver, &c);
    const Bytes head = {0x10, 0x01, 0x32};
    decoder.Feed(head.data(), static_cast<int>(head.size()));
    EXPECT_EQ(decoder.state(), FrameDecoder::State::Idle);
    // Bytes that would look like a frame body stay ignored.
    const Bytes body = {0x90, 0x01, 0x02, 0x03, 0x91, 0x03};
    decoder.Feed(body.data(), static_cast<int>(body.size()));
    EXPECT_EQ(decoder.state(), FrameDecoder::State::Idle);
    EXPECT_TRUE(c.frames.empty());
}

TEST(FrameDecoder, ResetAbandonsTheFrameButKeepsTheEscapeFlag)
{
    const Bytes touch = Encode(kTouch);
    {
        SCOPED_TRACE("reset mid-frame");
        Collector c;
        FrameDecoder decoder(&Collector::Deliver, &c);
        decoder.Feed(touch.data(), 5);
        decoder.Reset();
        EXPECT_EQ(decoder.state(), FrameDecoder::State::Idle);
        decoder.Feed(touch.data() + 5, static_cast<int>(touch.size()) - 5);
        EXPECT_TRUE(c.frames.empty());
        decoder.Feed(touch.data(), static_cast<int>(touch.size()));
        EXPECT_EQ(c.frames.size(), 1u);
    }
    {
        SCOPED_TRACE("reset between DLE and SOH");
        Collector c;
        FrameDecoder decoder(&Collector::Deliver, &c);
        decoder.Feed(touch.data(), 1);
        ASSERT_TRUE(decoder.escape());
        decoder.Reset();
        EXPECT_TRUE(decoder.escape());
        decoder.Feed(touch.data() + 1, static_cast<int>(touch.size()) - 1);
        ASSERT_EQ(c.frames.size(), 1u);
        EXPECT_EQ(c.frames[0], kTouch);
    }
    {
        SCOPED_TRACE("reset of a complete frame drops it");
        Collector c;
        FrameDecoder decoder(&Collector::Deliver, &c);
        decoder.Feed(touch.data(), static_cast<int>(touch.size()) - 2);
        EXPECT_EQ(decoder.state(), FrameDecoder::State::Complete);
        decoder.Reset();
        decoder.Feed(touch.data() + touch.size() - 2, 2);
        EXPECT_TRUE(c.frames.empty());
    }
}

// Every split of a stream into reads must give the same deliveries: the
// decoder keeps its state, escape flag included, across calls.
TEST(FrameDecoder, AnySplitGivesTheSameDeliveries)
{
    const Bytes stream = Concat({{0x55, 0x10, 0x10},
                                 Encode(kTouch),
                                 Encode({0x10, 0x11}),
                                 Encode({0x10}),
                                 {0x10, 0x01, 0x03, 0x10, 0x03},
                                 Encode(kRelease),
                                 Encode({0x01, 0x10, 0x03})});
    const std::vector<Bytes> whole = DecodeAll(stream);
    ASSERT_EQ(whole.size(), 5u);
    const int n = static_cast<int>(stream.size());

    auto feedSplit = [&](const std::vector<int>& cuts) {
        Collector c;
        FrameDecoder decoder(&Collector::Deliver, &c);
        int pos = 0;
        for (int cut : cuts) {
            decoder.Feed(stream.data() + pos, cut - pos);
            pos = cut;
        }
        decoder.Feed(stream.data() + pos, n - pos);
        return c.frames;
    };

    for (int a = 0; a <= n; ++a) {
        for (int b = a; b <= n; ++b) {
            ASSERT_EQ(feedSplit({a, b}), whole) << "cuts at " << a << ", " << b;
        }
    }
    std::vector<int> every;
    for (int i = 1; i < n; ++i)
        every.push_back(i);
    EXPECT_EQ(feedSplit(every), whole);
}

TEST(FrameDecoder, ToleratesNullAndEmptyInput)
{
    Collector c;
    FrameDecoder decoder(&Collector::Deliver, &c);
    decoder.Feed(nullptr, 10);
    decoder.Feed(nullptr, 0);
    const uint8_t b = 0x10;
    decoder.Feed(&b, 0);
    decoder.Feed(&b, -3);
    EXPECT_EQ(decoder.state(), FrameDecoder::State::Idle);
    EXPECT_FALSE(decoder.escape());

    // Without a delivery function frames are consumed silently.
    FrameDecoder silent(nullptr, nullptr);
    const Bytes touch = Encode(kTouch);
    silent.Feed(touch.data(), static_cast<int>(touch.size()));
    EXPECT_EQ(silent.state(), FrameDecoder::State::Idle);
}

} // namespace
