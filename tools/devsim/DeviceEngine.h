// The simulated touch controller: answers the PC's framed commands, sends
// touch reports and restart notices on request, and executes the control
// language. No I/O and no clock of its own: the caller feeds the bytes read
// from the line, passes the current time and writes out what is due, so the
// whole behaviour can be tested without a pseudo-terminal.
#pragma once

#include "channel/FrameCodec.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

// Parses a whole token as a decimal or 0x-hex number, optionally negative.
std::optional<long long> ParseNumber(std::string_view text);

// "81 02 01 1e": two lower-case digits per byte, single blanks.
std::string HexBytes(const uint8_t* bytes, size_t count);

// How the simulated sensor is mounted: what it reports for a finger at
// (x, y) on the 1024-wide scale the PC treats as full scale.
enum class Mounting { AsIs, MirrorX, MirrorY, Rotate180, SwapXY };

struct DeviceSettings {
    uint8_t hwId = 2;
    uint8_t major = 1;
    uint8_t minor = 30;
    int replyDelayMs = 0;
    int reinitDelayMs = 500;
    bool absent = false;
    std::array<bool, 256> silent{};
    Mounting mounting = Mounting::AsIs;
    // A finger is never exactly where it aims: each `touch` lands up to
    // this many sensor counts off on each axis (0 = exactly).
    int touchNoise = 0;
};

// What the caller must do with a control line beyond printing the answer.
struct ControlResult {
    enum class Kind {
        Answer, // print `answer`
        Sleep,  // hold this command source for `ms`, then print "ok"
        WaitRx, // print "ok" once `count` payloads were received, "err timeout" after `ms`
        Quit,   // print `answer`, then end the program
        None,   // blank line or comment: no answer at all
        Drop,   // take the line away (the port vanishes) for `ms`, then print "ok"
        Mute,   // the device is off for `ms` (Mute() is done): print "ok" when it is back
    };
    Kind kind = Kind::Answer;
    std::string answer; // one or more lines without the final line feed
    size_t count = 0;
    int ms = 0;
};

// A touch stream at a steady pace: strokes of `stroke` reports, each ended by
// a release (0 = one endless stroke), and noise bytes between the frames
// amounting to `noisePercent` of the bytes on the line. Report k (counted from
// the start of the stream) lies at StreamPlace(k).
struct StreamSettings {
    int rate = 0; // reports per second; 0 = no stream
    int stroke = 0;
    int noisePercent = 0;
};

struct StreamCounts {
    long long reports = 0;
    long long releases = 0;
    long long noiseBytes = 0;
};

// Where report k of a stream touches, on the 1024 scale: 270 places 3 apart
// along a row, then the next of three rows, so that every report lands
// somewhere else than the one before it.
struct StreamPoint {
    int x;
    int y;
};
StreamPoint StreamPlace(long long k);

// Noise byte n of a stream: a fixed pseudo-random sequence that never holds
// the escape byte 0x10, so no noise can open, close or corrupt a frame.
uint8_t NoiseByte(uint64_t n);

// The offset of touch coordinate n (two per touch: x, then y) under touch
// noise of amplitude counts: a fixed pseudo-random sequence, evenly spread
// over -amplitude..amplitude.
int TouchNoiseOffset(uint64_t n, int amplitude);

struct ReceivedPayload {
    int64_t ms;
    std::vector<uint8_t> bytes;
};

class DeviceEngine {
public:
    // One line per payload: (ms, "RX" / "TX" / "RAW", hex bytes).
    using LogSink = std::function<void(int64_t ms, const char* direction, const std::string& hex)>;

    // Parameter store indexed by read code; 0x07 is the re-initialisation and
    // never stored.
    static constexpr int kParamCount = 0x0D;
    // Received payloads kept for "rx"; a flooding peer cannot exhaust memory.
    static constexpr size_t kMaxReceived = 100000;

    explicit DeviceEngine(const DeviceSettings& settings = DeviceSettings{});

    void SetLogSink(LogSink sink) { m_log = std::move(sink); }

    // Bytes read from the line; every decoded payload is recorded and answered.
    void FeedFromPc(const uint8_t* bytes, size_t count, int64_t nowMs);

    // The bytes whose time has come, in the order they were scheduled.
    std::vector<uint8_t> TakeDue(int64_t nowMs);
    // Time of the earliest scheduled output, or -1 when nothing is pending.
    int64_t NextDueMs() const;

    ControlResult Control(std::string_view line, int64_t nowMs);

    // The device is off from now for `ms`, as when the cable is pulled at
    // its end while the PC's port stays: it answers nothing, what it was to
    // send is lost, a stroke in progress ends unreleased; when it is back it
    // announces itself with the restart notice, as after power-up.
    void Mute(int64_t nowMs, int ms);
    bool Muted(int64_t nowMs) const { return nowMs < m_mutedUntil; }

    const std::deque<ReceivedPayload>& Received() const { return m_received; }
    const StreamCounts& Stream() const { return m_streamCounts; }
    const DeviceSettings& Settings() const { return m_settings; }
    uint8_t Param(int code) const;

private:
    struct Pending {
        int64_t dueMs;
        std::vector<uint8_t> payload; // logged as TX when framed, RAW otherwise
        bool framed;
    };

    static void OnFrame(void* context, const uint8_t* payload, int length);
    void HandlePayload(const uint8_t* payload, int length);
    void Schedule(int64_t dueMs, std::vector<uint8_t> bytes, bool framed);
    void Reply(std::vector<uint8_t> payload, int extraDelayMs = 0);
    std::vector<uint8_t> TouchPayload(long long x, long long y) const;
    int64_t StreamDueMs(long long index) const;
    void GenerateStream(int64_t nowMs);
    ControlResult StreamCommand(const std::vector<std::string_view>& t, int64_t nowMs);

    DeviceSettings m_settings;
    std::array<uint8_t, kParamCount> m_params{};
    int16_t m_temperature = 40;
    FrameDecoder m_decoder;
    int64_t m_now = 0;             // time of the bytes being fed, for the replies they cause
    std::deque<Pending> m_pending; // sorted by dueMs, stable for equal times
    std::deque<ReceivedPayload> m_received;
    LogSink m_log;

    int64_t m_mutedUntil = 0;
    StreamSettings m_stream;
    int64_t m_streamStartMs = 0;
    long long m_streamNext = 0;  // index of the next report since the stream started
    long long m_streamPlace = 0; // place of the next report; runs on across restarts of the stream
    int m_streamInStroke = 0;    // reports of the current stroke sent so far
    long long m_noiseCredit = 0; // noise owed, in hundredths of a byte
    uint64_t m_noiseNext = 0;
    uint64_t m_touchNoiseNext = 0; // coordinates of `touch` under noise so far
    StreamCounts m_streamCounts;
};

} // namespace devsim
