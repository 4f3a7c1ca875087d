// The simulated controller without a pty: what it answers, when, and what its
// control language does.
#include "DeviceEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using devsim::ControlResult;
using devsim::DeviceEngine;
using devsim::DeviceSettings;
using devsim::TouchNoiseOffset;
using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& payload)
{
    uint8_t out[kFrameBufferSize];
    int n = EncodeFrame(payload.data(), static_cast<int>(payload.size()), out);
    return Bytes(out, out + n);
}

std::vector<Bytes> Payloads(const Bytes& wire)
{
    std::vector<Bytes> out;
    FrameDecoder decoder(
        [](void* context, const uint8_t* payload, int length) {
            static_cast<std::vector<Bytes>*>(context)->emplace_back(payload, payload + length);
        },
        &out);
    decoder.Feed(wire.data(), static_cast<int>(wire.size()));
    return out;
}

// Sends one payload at time `at` and returns every payload due by `until`.
std::vector<Bytes> Exchange(DeviceEngine& engine, const Bytes& command, int64_t at = 0, int64_t until = 0)
{
    Bytes wire = Frame(command);
    engine.FeedFromPc(wire.data(), wire.size(), at);
    return Payloads(engine.TakeDue(until));
}

std::string Ctl(DeviceEngine& engine, const std::string& line, int64_t now = 0)
{
    return engine.Control(line, now).answer;
}

struct AnswerCase {
    Bytes command;
    std::vector<Bytes> replies;
};

TEST(DeviceEngine, AnswersEveryCommandCodeWithItsReply)
{
    const AnswerCase cases[] = {
        {{0x01}, {{0x81, 0x02, 0x01, 0x1E}}},
        {{0x02}, {{0x82, 6}}},
        {{0x03}, {{0x83, 2}}},
        {{0x04}, {{0x84, 4}}},
        {{0x05}, {{0x85, 3}}},
        {{0x06}, {{0x86, 0xFF}}},
        {{0x08}, {{0x88, 8}}},
        {{0x0B}, {{0x8B, 8}}},
        {{0x21}, {{0xA1, 0x28, 0x00}}},
        {{0x82, 7}, {{0x02}}},
        {{0x83, 7}, {{0x03}}},
        {{0x84, 7}, {{0x04}}},
        {{0x85, 7}, {{0x05}}},
        {{0x86, 0xFD}, {{0x06}}},
        {{0x87}, {{0x07}}}, // the restart notice follows later
        {{0x88, 7}, {{0x08}}},
        {{0x89, 7}, {{0x09}}},
        {{0x8A, 7}, {{0x0A}}},
        {{0x8B, 7}, {{0x0B}}},
        {{0x8C, 0x80}, {{0x0C}}},
        // Nothing for codes the controller does not know or wrong lengths.
        {{0x00}, {}},
        {{0x07}, {}},
        {{0x09}, {}},
        {{0x0C}, {}},
        {{0x20}, {}},
        {{0x81}, {}},
        {{0x90}, {}},
        {{0x92}, {}},
        {{0xFF}, {}},
        {{0x01, 0x00}, {}},
        {{0x05, 0x05}, {}},
        {{0x85}, {}},
        {{0x87, 0x00}, {}},
        {{0x21, 0x00}, {}},
    };
    for (const auto& c : cases) {
        DeviceEngine engine;
        SCOPED_TRACE(devsim::HexBytes(c.command.data(), c.command.size()));
        EXPECT_EQ(Exchange(engine, c.command), c.replies);
        ASSERT_EQ(engine.Received().size(), 1u);
        EXPECT_EQ(engine.Received()[0].bytes, c.command);
    }
}

TEST(DeviceEngine, WrittenParametersAreReadBack)
{
    DeviceEngine engine;
    for (uint8_t code : {0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x0B}) {
        const uint8_t value = static_cast<uint8_t>(0x40 + code);
        EXPECT_EQ(Exchange(engine, {static_cast<uint8_t>(code + 0x80), value}), (std::vector<Bytes>{{code}}));
        EXPECT_EQ(Exchange(engine, {code}), (std::vector<Bytes>{{static_cast<uint8_t>(code + 0x80), value}}));
    }
    // Threshold and brightness have no read command; the control language shows them.
    Exchange(engine, {0x89, 0x21});
    Exchange(engine, {0x8C, 0x99});
    EXPECT_EQ(Ctl(engine, "param 0x09"), "ok 33");
    EXPECT_EQ(Ctl(engine, "param 0x0c"), "ok 153");
}

TEST(DeviceEngine, ReInitSendsTheRestartNoticeAfterTheReInitDelay)
{
    DeviceSettings settings;
    settings.replyDelayMs = 50;
    settings.reinitDelayMs = 100;
    DeviceEngine engine(settings);
    Bytes wire = Frame({0x87});
    engine.FeedFromPc(wire.data(), wire.size(), 1000);
    EXPECT_EQ(engine.NextDueMs(), 1050);
    EXPECT_TRUE(engine.TakeDue(1049).empty());
    EXPECT_EQ(Payloads(engine.TakeDue(1050)), (std::vector<Bytes>{{0x07}}));
    EXPECT_EQ(engine.NextDueMs(), 1150);
    EXPECT_TRUE(engine.TakeDue(1149).empty());
    EXPECT_EQ(Payloads(engine.TakeDue(1150)), (std::vector<Bytes>{{0x92}}));
    EXPECT_EQ(engine.NextDueMs(), -1);
}

TEST(DeviceEngine, ReplyDelayAppliesToEveryAnswerAndKeepsTheOrder)
{
    DeviceEngine engine;
    EXPECT_EQ(Ctl(engine, "delay 30"), "ok");
    Bytes wire = Frame({0x01});
    Bytes second = Frame({0x05});
    wire.insert(wire.end(), second.begin(), second.end());
    engine.FeedFromPc(wire.data(), wire.size(), 10);
    EXPECT_TRUE(engine.TakeDue(39).empty());
    EXPECT_EQ(Payloads(engine.TakeDue(40)), (std::vector<Bytes>{{0x81, 2, 1, 30}, {0x85, 3}}));
}

TEST(DeviceEngine, SilentCodesAndAbsence)
{
    DeviceEngine engine;
    EXPECT_EQ(Ctl(engine, "silent 0x05"), "ok");
    EXPECT_TRUE(Exchange(engine, {0x05}).empty());
    EXPECT_EQ(Exchange(engine, {0x03}), (std::vector<Bytes>{{0x83, 2}}));
    EXPECT_EQ(Ctl(engine, "unsilent 5"), "ok");
    EXPECT_EQ(Exchange(engine, {0x05}), (std::vector<Bytes>{{0x85, 3}}));

    // A silenced write is not taken either.
    EXPECT_EQ(Ctl(engine, "silent 0x85"), "ok");
    EXPECT_TRUE(Exchange(engine, {0x85, 9}).empty());
    EXPECT_EQ(Ctl(engine, "param 5"), "ok 3");

    // A silenced re-initialisation brings no restart notice.
    EXPECT_EQ(Ctl(engine, "silent 0x87"), "ok");
    EXPECT_TRUE(Exchange(engine, {0x87}, 0, 10000).empty());

    EXPECT_EQ(Ctl(engine, "absent on"), "ok");
    EXPECT_TRUE(Exchange(engine, {0x01}, 0, 10000).empty());
    EXPECT_EQ(Ctl(engine, "absent off"), "ok");
    EXPECT_EQ(Exchange(engine, {0x01}), (std::vector<Bytes>{{0x81, 2, 1, 30}}));
    // Everything the PC sent is recorded, answered or not.
    EXPECT_EQ(engine.Received().size(), 7u);
}

TEST(DeviceEngine, SettingsFromTheCommandLineApply)
{
    DeviceSettings settings;
    settings.hwId = 5;
    settings.major = 1;
    settings.minor = 25;
    settings.silent[0x03] = true;
    DeviceEngine engine(settings);
    EXPECT_EQ(Exchange(engine, {0x01}), (std::vector<Bytes>{{0x81, 5, 1, 25}}));
    EXPECT_TRUE(Exchange(engine, {0x03}).empty());
    settings.absent = true;
    DeviceEngine absent(settings);
    EXPECT_TRUE(Exchange(absent, {0x01}).empty());
}

TEST(DeviceEngine, IdentityAndTemperatureChangeAtRunTime)
{
    DeviceEngine engine;
    EXPECT_EQ(Ctl(engine, "ident 3 2 0x10"), "ok");
    EXPECT_EQ(Exchange(engine, {0x01}), (std::vector<Bytes>{{0x81, 3, 2, 0x10}}));
    EXPECT_EQ(Ctl(engine, "temp -3"), "ok");
    EXPECT_EQ(Exchange(engine, {0x21}), (std::vector<Bytes>{{0xA1, 0xFD, 0xFF}}));
    EXPECT_EQ(Ctl(engine, "temp 300"), "ok");
    EXPECT_EQ(Exchange(engine, {0x21}), (std::vector<Bytes>{{0xA1, 0x2C, 0x01}}));
    EXPECT_EQ(Ctl(engine, "param 0x05 9"), "ok");
    EXPECT_EQ(Exchange(engine, {0x05}), (std::vector<Bytes>{{0x85, 9}}));
}

TEST(DeviceEngine, TouchReportLayout)
{
    struct Case {
        const char* line;
        Bytes payload;
    };
    const Case cases[] = {
        {"touch 0 0", {0x90, 0x00, 0x00, 0x00}},
        {"touch 0xABC 0x123", {0x90, 0xBC, 0x23, 0x1A}},
        {"touch 4095 4095", {0x90, 0xFF, 0xFF, 0xFF}},
        {"touch 256 0", {0x90, 0x00, 0x00, 0x01}},
        {"touch 0 256", {0x90, 0x00, 0x00, 0x10}},
        {"touch 2048 1024", {0x90, 0x00, 0x00, 0x48}},
        {"release", {0x91}},
        {"restart", {0x92}},
        {"send 81 02 01 1e", {0x81, 0x02, 0x01, 0x1E}},
        {"send 10", {0x10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        DeviceEngine engine;
        // Sent at once, whatever the reply delay.
        Ctl(engine, "delay 500");
        EXPECT_EQ(Ctl(engine, c.line, 7), "ok");
        const Bytes wire = engine.TakeDue(7);
        EXPECT_EQ(wire, Frame(c.payload));
    }
}

TEST(DeviceEngine, MountingTransformsTouches)
{
    struct Case {
        const char* mount;
        Bytes payload; // for "touch 100 700"
    };
    const Case cases[] = {
        {"mount as-is", {0x90, 0x64, 0xBC, 0x20}},      // 100, 700
        {"mount mirror-x", {0x90, 0x9C, 0xBC, 0x23}},   // 924, 700
        {"mount mirror-y", {0x90, 0x64, 0x44, 0x10}},   // 100, 324
        {"mount rotate-180", {0x90, 0x9C, 0x44, 0x13}}, // 924, 324
        {"mount swap-xy", {0x90, 0xBC, 0x64, 0x02}},    // 700, 100
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mount);
        DeviceEngine engine;
        EXPECT_EQ(Ctl(engine, c.mount), "ok");
        EXPECT_EQ(Ctl(engine, "touch 100 700", 3), "ok");
        EXPECT_EQ(engine.TakeDue(3), Frame(c.payload));
    }
    DeviceEngine engine;
    Ctl(engine, "mount mirror-x");
    Ctl(engine, "touch 2000 0", 3);
    EXPECT_EQ(engine.TakeDue(3), Frame({0x90, 0x00, 0x00, 0x00})) << "beyond full scale mirrors to 0";
    EXPECT_EQ(Ctl(engine, "mount sideways"), "err usage: mount as-is|mirror-x|mirror-y|rotate-180|swap-xy");
}

// Touch noise: every touch within the amplitude of its aim on each axis,
// the whole range used, the same sequence on every run, clamped at the
// sensor's edge; 0 aims exactly.
TEST(DeviceEngine, TouchNoiseKeepsWithinItsAmplitude)
{
    for (int amplitude : {0, 1, 4, 30}) {
        int lowest = 0, highest = 0;
        for (uint64_t n = 0; n < 2000; ++n) {
            lowest = std::min(lowest, TouchNoiseOffset(n, amplitude));
            highest = std::max(highest, TouchNoiseOffset(n, amplitude));
        }
        EXPECT_EQ(lowest, -amplitude);
        EXPECT_EQ(highest, amplitude);
    }
    const auto land = [](const char* noise, const char* touch) {
        DeviceEngine engine;
        Ctl(engine, noise);
        Ctl(engine, touch, 3);
        Ctl(engine, touch, 3);
        return Payloads(engine.TakeDue(3));
    };
    const std::vector<Bytes> noisy = land("touch-noise 8", "touch 500 4095");
    ASSERT_EQ(noisy.size(), 2u);
    EXPECT_EQ(land("touch-noise 8", "touch 500 4095"), noisy) << "the same every run";
    EXPECT_NE(noisy[0], noisy[1]);
    for (const Bytes& p : noisy) {
        EXPECT_LE(std::abs((p[1] | (p[3] & 0x0F) << 8) - 500), 8);
        EXPECT_GE(p[2] | (p[3] & 0xF0) << 4, 4087);
    }
    EXPECT_EQ(land("touch-noise 0", "touch 500 500")[1], Bytes({0x90, 0xF4, 0xF4, 0x11}));
    DeviceEngine engine;
    EXPECT_EQ(Ctl(engine, "touch-noise 256"), "err usage: touch-noise COUNTS (0..255)");
}

TEST(DeviceEngine, RawBytesGoOutUnframed)
{
    DeviceEngine engine;
    EXPECT_EQ(Ctl(engine, "raw 10 01 4 ff"), "ok");
    EXPECT_EQ(engine.TakeDue(0), (Bytes{0x10, 0x01, 0x04, 0xFF}));
}

TEST(DeviceEngine, ReceivedPayloadsAreListedAndCleared)
{
    DeviceEngine engine;
    Exchange(engine, {0x01}, 12);
    Exchange(engine, {0x85, 0x10}, 340);
    EXPECT_EQ(Ctl(engine, "rx"), "ok 2\n12 01\n340 85 10");
    EXPECT_EQ(Ctl(engine, "clear"), "ok");
    EXPECT_EQ(Ctl(engine, "rx"), "ok 0");

    ControlResult wait = engine.Control("wait-rx 3 250", 0);
    EXPECT_EQ(wait.kind, ControlResult::Kind::WaitRx);
    EXPECT_EQ(wait.count, 3u);
    EXPECT_EQ(wait.ms, 250);
    ControlResult sleep = engine.Control("sleep 20", 0);
    EXPECT_EQ(sleep.kind, ControlResult::Kind::Sleep);
    EXPECT_EQ(sleep.ms, 20);
    EXPECT_EQ(engine.Control("quit", 0).kind, ControlResult::Kind::Quit);
}

TEST(DeviceEngine, FrameSplitIntoSingleBytesIsAnsweredOnce)
{
    DeviceEngine engine;
    Bytes noise = {0x55, 0x03, 0x10, 0x03};
    Bytes wire = Frame({0x01});
    noise.insert(noise.end(), wire.begin(), wire.end());
    for (size_t i = 0; i < noise.size(); ++i)
        engine.FeedFromPc(&noise[i], 1, static_cast<int64_t>(i));
    EXPECT_EQ(Payloads(engine.TakeDue(100)), (std::vector<Bytes>{{0x81, 2, 1, 30}}));
    EXPECT_EQ(engine.Received().size(), 1u);
}

TEST(DeviceEngine, LogShowsBothDirections)
{
    DeviceEngine engine;
    std::vector<std::string> lines;
    engine.SetLogSink([&](int64_t ms, const char* direction, const std::string& hex) {
        lines.push_back(std::to_string(ms) + " " + direction + " " + hex);
    });
    Ctl(engine, "delay 5");
    Exchange(engine, {0x01}, 10, 15);
    Ctl(engine, "raw aa", 20);
    engine.TakeDue(20);
    EXPECT_EQ(lines, (std::vector<std::string>{"10 RX 01", "15 TX 81 02 01 1e", "20 RAW aa"}));
}

TEST(DeviceEngine, BadControlLinesAreRejected)
{
    const char* bad[] = {
        "bogus",          "touch 1",        "touch 4096 0", "touch -1 0",
        "ident 1 2",      "ident 256 1 1",  "silent",       "silent 256",
        "absent maybe",   "delay -1",       "delay x",      "param 0x07 1",
        "param 0x0d 1",   "param 1 1",      "param 5 256",  "temp 40000",
        "send",           "send 1g",        "send 100",     "raw",
        "wait-rx 1",      "sleep",          "rx 1",         "clear now",
        "reinit-delay",   "release 1",      "stream 0 1 1", "stream 100001 1 1",
        "stream 85 1 51", "stream 85 -1 1", "stream 85 1",  "stream on",
        "drop",           "drop -1",        "drop 600001",  "mute",
        "mute 1 2",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        DeviceEngine engine;
        ControlResult r = engine.Control(line, 0);
        EXPECT_EQ(r.kind, ControlResult::Kind::Answer);
        EXPECT_EQ(r.answer.rfind("err ", 0), 0u) << r.answer;
        EXPECT_EQ(engine.NextDueMs(), -1);
    }
    std::string tooLong = "send";
    for (int i = 0; i < 47; ++i)
        tooLong += " 00";
    DeviceEngine engine;
    EXPECT_EQ(Ctl(engine, tooLong).rfind("err ", 0), 0u);
    EXPECT_EQ(engine.Control("", 0).kind, ControlResult::Kind::None);
    EXPECT_EQ(engine.Control("   ", 0).kind, ControlResult::Kind::None);
    EXPECT_EQ(engine.Control("# touch 1 1", 0).kind, ControlResult::Kind::None);
}

// What a stream puts on the line, decoded as the PC would, with the noise
// bytes that lay between the frames.
struct StreamWire {
    std::vector<Bytes> payloads;
    size_t bytes = 0;
    size_t noise = 0;
};

StreamWire Decode(const Bytes& wire)
{
    StreamWire out;
    out.payloads = Payloads(wire);
    out.bytes = wire.size();
    size_t framed = 0;
    for (const Bytes& p : out.payloads)
        framed += Frame(p).size();
    out.noise = wire.size() - framed;
    return out;
}

Bytes TouchAt(int x, int y)
{
    return {0x90, static_cast<uint8_t>(x & 0xFF), static_cast<uint8_t>(y & 0xFF),
            static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4))};
}

TEST(DeviceEngine, StreamPlacesChangeWithEveryReportAndStayOnScreen)
{
    devsim::StreamPoint previous = devsim::StreamPlace(0);
    for (long long k = 1; k < 3000; ++k) {
        const devsim::StreamPoint p = devsim::StreamPlace(k);
        ASSERT_TRUE(p.x != previous.x || p.y != previous.y) << k;
        ASSERT_TRUE(p.x >= 0 && p.x <= 1024 && p.y >= 0 && p.y <= 1024) << k;
        previous = p;
    }
    // Neighbours along a row are 3 apart; rows are 200 apart.
    EXPECT_EQ(devsim::StreamPlace(1).x - devsim::StreamPlace(0).x, 3);
    EXPECT_EQ(devsim::StreamPlace(270).y - devsim::StreamPlace(0).y, 200);
    EXPECT_EQ(devsim::StreamPlace(810).y, devsim::StreamPlace(0).y);
}

TEST(DeviceEngine, NoiseNeverHoldsTheEscapeByteAndCoversAllOthers)
{
    std::array<int, 256> seen{};
    for (uint64_t n = 0; n < 100000; ++n)
        ++seen[devsim::NoiseByte(n)];
    EXPECT_EQ(seen[0x10], 0);
    for (int v = 0; v < 256; ++v)
        if (v != 0x10) EXPECT_GT(seen[static_cast<size_t>(v)], 250) << v;
    EXPECT_EQ(devsim::NoiseByte(12345), devsim::NoiseByte(12345));
}

TEST(DeviceEngine, StreamKeepsItsPaceAndItsPlaces)
{
    struct Case {
        int rate;
        int64_t until;
        size_t reports; // due by `until`, the first at once
    };
    const Case cases[] = {{85, 0, 1},     {85, 10, 1},       {85, 11, 2},
                          {85, 1000, 86}, {1000, 999, 1000}, {1, 5500, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " until " + std::to_string(c.until));
        DeviceEngine engine;
        EXPECT_EQ(Ctl(engine, "stream " + std::to_string(c.rate) + " 0 0", 0), "ok");
        const StreamWire wire = Decode(engine.TakeDue(c.until));
        ASSERT_EQ(wire.payloads.size(), c.reports);
        EXPECT_EQ(wire.noise, 0u);
        for (size_t k = 0; k < wire.payloads.size(); ++k) {
            const devsim::StreamPoint p = devsim::StreamPlace(static_cast<long long>(k));
            EXPECT_EQ(wire.payloads[k], TouchAt(p.x, p.y)) << k;
        }
        // The next report is what the poll loop waits for.
        EXPECT_EQ(engine.NextDueMs(), static_cast<int64_t>(c.reports) * 1000 / c.rate);
    }
}

TEST(DeviceEngine, StreamStrokesEndWithAReleaseAndNoiseMakesNoFrames)
{
    struct Case {
        int stroke;
        int noise;
        size_t noiseMin, noiseMax; // noise bytes with 850 reports: p / (100 - p) of the frame bytes
    };
    const Case cases[] = {{50, 1, 85, 90}, {0, 1, 85, 90}, {10, 0, 0, 0}, {1, 10, 1600, 1610}};
    for (const auto& c : cases) {
        SCOPED_TRACE("stroke " + std::to_string(c.stroke) + " noise " + std::to_string(c.noise));
        DeviceEngine engine;
        const std::string line = "stream 85 " + std::to_string(c.stroke) + " " + std::to_string(c.noise);
        EXPECT_EQ(Ctl(engine, line, 1000), "ok");
        const StreamWire wire = Decode(engine.TakeDue(1000 + 9999)); // 850 reports
        size_t touches = 0, releases = 0, run = 0;
        for (const Bytes& p : wire.payloads) {
            ASSERT_TRUE(p[0] == 0x90 || p == Bytes{0x91}) << devsim::HexBytes(p.data(), p.size());
            if (p[0] == 0x90) {
                ++touches;
                ++run;
            } else {
                ++releases;
                EXPECT_EQ(run, static_cast<size_t>(c.stroke)) << "a release ends each full stroke";
                run = 0;
            }
        }
        EXPECT_EQ(touches, 850u);
        EXPECT_EQ(releases, c.stroke > 0 ? 850u / static_cast<size_t>(c.stroke) : 0u);
        EXPECT_GE(wire.noise, c.noiseMin);
        EXPECT_LE(wire.noise, c.noiseMax);
        const std::string counts =
            "ok reports 850 releases " + std::to_string(releases) + " noise " + std::to_string(wire.noise);
        EXPECT_EQ(Ctl(engine, "stream", 10999), counts);
    }
}

TEST(DeviceEngine, StreamOffLiftsAFingerThatIsDown)
{
    DeviceEngine engine;
    Ctl(engine, "stream 100 5 0", 0);
    EXPECT_EQ(Decode(engine.TakeDue(20)).payloads.size(), 3u);
    EXPECT_EQ(Ctl(engine, "stream off", 25), "ok");
    EXPECT_EQ(Decode(engine.TakeDue(25)).payloads, (std::vector<Bytes>{{0x91}}));
    EXPECT_EQ(engine.NextDueMs(), -1);
    EXPECT_TRUE(engine.TakeDue(5000).empty());

    // Between two strokes nothing is down: off sends nothing.
    Ctl(engine, "stream 100 2 0", 6000);
    EXPECT_EQ(Decode(engine.TakeDue(6010)).payloads.size(), 3u); // touch, touch, release
    EXPECT_EQ(Ctl(engine, "stream off", 6015), "ok");
    EXPECT_TRUE(engine.TakeDue(6015).empty());
    EXPECT_EQ(Ctl(engine, "stream off", 6016), "ok") << "off twice is harmless";

    // A late caller gets every report that was due, none skipped, and a
    // restarted stream goes on to the next place.
    Ctl(engine, "stream 100 0 0", 7000);
    const StreamWire late = Decode(engine.TakeDue(7095));
    ASSERT_EQ(late.payloads.size(), 10u);
    const devsim::StreamPoint next = devsim::StreamPlace(5);
    EXPECT_EQ(late.payloads[0], TouchAt(next.x, next.y));
}

TEST(DeviceEngine, StreamFollowsTheMounting)
{
    DeviceEngine engine;
    Ctl(engine, "mount mirror-x");
    Ctl(engine, "stream 10 0 0", 0);
    const devsim::StreamPoint p = devsim::StreamPlace(0);
    EXPECT_EQ(Decode(engine.TakeDue(0)).payloads, (std::vector<Bytes>{TouchAt(1024 - p.x, p.y)}));
}

TEST(DeviceEngine, DropAsksTheCallerToTakeTheLineAway)
{
    DeviceEngine engine;
    ControlResult r = engine.Control("drop 5000", 0);
    EXPECT_EQ(r.kind, ControlResult::Kind::Drop);
    EXPECT_EQ(r.ms, 5000);
    EXPECT_EQ(engine.Control("drop 0", 0).kind, ControlResult::Kind::Drop);
}

// A device switched off answers nothing and sends nothing, its stroke is
// cut off unreleased, and once back it announces itself.
TEST(DeviceEngine, MutedDeviceIsSilentThenAnnouncesItsRestart)
{
    DeviceEngine engine;
    Ctl(engine, "stream 100 0 0", 0);
    EXPECT_EQ(Decode(engine.TakeDue(15)).payloads.size(), 2u);
    ControlResult r = engine.Control("mute 1000", 20);
    EXPECT_EQ(r.kind, ControlResult::Kind::Mute);
    EXPECT_EQ(r.ms, 1000);
    EXPECT_TRUE(engine.Muted(20));
    EXPECT_TRUE(Exchange(engine, {0x01}, 500, 600).empty()) << "no answer while off";
    EXPECT_EQ(Ctl(engine, "touch 5 5", 700), "ok");
    EXPECT_TRUE(engine.TakeDue(1019).empty()) << "nothing leaves a device that is off";
    EXPECT_EQ(engine.Received().size(), 1u) << "what the PC sent is still recorded";

    const std::vector<Bytes> back = Decode(engine.TakeDue(1020)).payloads;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], Bytes{0x92}) << "the restart notice comes first";
    const devsim::StreamPoint p = devsim::StreamPlace(2);
    EXPECT_EQ(back[1], TouchAt(p.x, p.y)) << "then the stream goes on from the next place";
    EXPECT_FALSE(engine.Muted(1020));
    Ctl(engine, "stream off", 1020);
    EXPECT_EQ(Decode(engine.TakeDue(1020)).payloads, (std::vector<Bytes>{{0x91}}));
    EXPECT_EQ(Exchange(engine, {0x01}, 1100, 1100), (std::vector<Bytes>{{0x81, 0x02, 0x01, 0x1E}}));
}

TEST(DeviceEngine, ParseNumberAcceptsDecimalAndHex)
{
    struct Case {
        const char* text;
        std::optional<long long> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"10", 10},
        {"0x1F", 31},
        {"0X1f", 31},
        {"-3", -3},
        {"-0x10", -16},
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"12a", std::nullopt},
        {"+1", std::nullopt},
        {"--1", std::nullopt},
        {"9999999999999", std::nullopt},
        {" 1", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(devsim::ParseNumber(c.text), c.value);
    }
}

} // namespace
