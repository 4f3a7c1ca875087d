#include "DeviceEngine.h"

#include <utility>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace devsim {

namespace {

constexpr uint8_t kIdentify = 0x01;
constexpr uint8_t kReInit = 0x87;
constexpr uint8_t kBrightness = 0x8C;
constexpr uint8_t kTemperature = 0x21;
constexpr uint8_t kTouch = 0x90;
constexpr uint8_t kRelease = 0x91;
constexpr uint8_t kRestart = 0x92;
constexpr int kMaxCoordinate = 0x0FFF;
// The PC takes this raw value for the full width or height.
constexpr long long kFullScale = 1024;

// A mirrored coordinate beyond full scale would go negative; the sensor
// reports 0 there.
long long Mirror(long long v)
{
    return v > kFullScale ? 0 : kFullScale - v;
}

void Mount(Mounting mounting, long long* x, long long* y)
{
    switch (mounting) {
    case Mounting::AsIs:
        break;
    case Mounting::MirrorX:
        *x = Mirror(*x);
        break;
    case Mounting::MirrorY:
        *y = Mirror(*y);
        break;
    case Mounting::Rotate180:
        *x = Mirror(*x);
        *y = Mirror(*y);
        break;
    case Mounting::SwapXY:
        std::swap(*x, *y);
        break;
    }
}
// Longest pause or timeout a control line may ask for (ten minutes).
constexpr long long kMaxMs = 600000;
constexpr size_t kMaxRawBytes = 256;
// Far beyond any line: the headroom bench offers the receive path tens of
// thousands of reports a second.
constexpr long long kMaxStreamRate = 100000;
constexpr long long kMaxNoisePercent = 50;
// Places of a stream: kStreamColumns along a row, kStreamRows rows.
constexpr long long kStreamColumns = 270;
constexpr long long kStreamRows = 3;

bool IsReadableParam(uint8_t code)
{
    return (code >= 0x02 && code <= 0x06) || code == 0x08 || code == 0x0B;
}

bool IsStoredParam(long long code)
{
    return code >= 0x02 && code < DeviceEngine::kParamCount && code != 0x07;
}

std::vector<std::string_view> Tokens(std::string_view line)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool InRange(const std::optional<long long>& value, long long lo, long long hi)
{
    return value && *value >= lo && *value <= hi;
}

// One byte as written by a person: one or two hex digits.
std::optional<uint8_t> ParseHexByte(std::string_view text)
{
    if (text.empty() || text.size() > 2) return std::nullopt;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return static_cast<uint8_t>(value);
}

bool ParseHexList(const std::vector<std::string_view>& tokens, size_t first, std::vector<uint8_t>* out)
{
    for (size_t i = first; i < tokens.size(); ++i) {
        auto b = ParseHexByte(tokens[i]);
        if (!b) return false;
        out->push_back(*b);
    }
    return true;
}

ControlResult Ok(std::string text = "ok")
{
    ControlResult r;
    r.answer = std::move(text);
    return r;
}

ControlResult Err(std::string_view reason)
{
    ControlResult r;
    r.answer = "err ";
    r.answer += reason;
    return r;
}

} // namespace

StreamPoint StreamPlace(long long k)
{
    const long long column = k % kStreamColumns;
    const long long row = (k / kStreamColumns) % kStreamRows;
    return {static_cast<int>(100 + column * 3), static_cast<int>(250 + row * 200)};
}

uint8_t NoiseByte(uint64_t n)
{
    // splitmix64: well mixed, and the same sequence on every run.
    uint64_t z = n + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    const auto v = static_cast<unsigned>(z % 255); // 255 values: all but the escape byte
    return static_cast<uint8_t>(v < kDle ? v : v + 1);
}

int TouchNoiseOffset(uint64_t n, int amplitude)
{
    if (amplitude <= 0) return 0;
    uint64_t z = (n ^ 0x5DEECE66DULL) + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    const uint64_t span = 2 * static_cast<uint64_t>(amplitude) + 1;
    return static_cast<int>(static_cast<long long>(z % span) - amplitude);
}

std::optional<long long> ParseNumber(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 12) return std::nullopt;
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return negative ? -value : value;
}

std::string HexBytes(const uint8_t* bytes, size_t count)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0F];
    }
    return out;
}

DeviceEngine::DeviceEngine(const DeviceSettings& settings)
    : m_settings(settings), m_decoder(&DeviceEngine::OnFrame, this)
{
    m_params[0x02] = 6;    // Deglitch
    m_params[0x03] = 2;    // PressDelay
    m_params[0x04] = 4;    // ReleaseDelay
    m_params[0x05] = 3;    // Stabilization
    m_params[0x06] = 0xFF; // output port: no LCD key pressed
    m_params[0x08] = 8;    // Filter
    m_params[0x09] = 0;    // Threshold
    m_params[0x0B] = 8;    // ChargeWS
    m_params[0x0C] = 50;   // LCD brightness
}

uint8_t DeviceEngine::Param(int code) const
{
    return code >= 0 && code < kParamCount ? m_params[static_cast<size_t>(code)] : 0;
}

void DeviceEngine::FeedFromPc(const uint8_t* bytes, size_t count, int64_t nowMs)
{
    m_now = nowMs;
    // The decoder takes an int count; feed in slices so no size_t is narrowed.
    while (count > 0) {
        int slice = static_cast<int>(std::min<size_t>(count, 4096));
        m_decoder.Feed(bytes, slice);
        bytes += slice;
        count -= static_cast<size_t>(slice);
    }
}

void DeviceEngine::OnFrame(void* context, const uint8_t* payload, int length)
{
    static_cast<DeviceEngine*>(context)->HandlePayload(payload, length);
}

void DeviceEngine::Schedule(int64_t dueMs, std::vector<uint8_t> bytes, bool framed)
{
    auto pos = std::upper_bound(m_pending.begin(), m_pending.end(), dueMs,
                                [](int64_t due, const Pending& p) { return due < p.dueMs; });
    m_pending.insert(pos, Pending{dueMs, std::move(bytes), framed});
}

void DeviceEngine::Reply(std::vector<uint8_t> payload, int extraDelayMs)
{
    Schedule(m_now + m_settings.replyDelayMs + extraDelayMs, std::move(payload), true);
}

void DeviceEngine::HandlePayload(const uint8_t* payload, int length)
{
    if (m_log) m_log(m_now, "RX", HexBytes(payload, static_cast<size_t>(length)));
    if (m_received.size() < kMaxReceived)
        m_received.push_back(ReceivedPayload{m_now, std::vector<uint8_t>(payload, payload + length)});

    // A silenced command is ignored as a whole: nothing stored, nothing sent,
    // as if the device had not understood it.
    const uint8_t code = payload[0];
    if (m_settings.absent || m_settings.silent[code] || Muted(m_now)) return;

    if (code == kIdentify && length == 1) {
        Reply({0x81, m_settings.hwId, m_settings.major, m_settings.minor});
    } else if (code == kReInit && length == 1) {
        Reply({0x07});
        Reply({kRestart}, m_settings.reinitDelayMs);
    } else if (code == kTemperature && length == 1) {
        auto t = static_cast<uint16_t>(m_temperature);
        Reply({0xA1, static_cast<uint8_t>(t & 0xFF), static_cast<uint8_t>(t >> 8)});
    } else if (IsReadableParam(code) && length == 1) {
        Reply({static_cast<uint8_t>(code + 0x80), m_params[code]});
    } else if (code >= 0x82 && code <= kBrightness && code != kReInit && length == 2) {
        const uint8_t param = static_cast<uint8_t>(code - 0x80);
        m_params[param] = payload[1];
        Reply({param});
    }
    // Anything else gets no answer, like the real controller; it is in the
    // log and in "rx" for the tests to look at.
}

std::vector<uint8_t> DeviceEngine::TouchPayload(long long x, long long y) const
{
    Mount(m_settings.mounting, &x, &y);
    const auto ux = static_cast<unsigned>(x), uy = static_cast<unsigned>(y);
    return {kTouch, static_cast<uint8_t>(ux & 0xFF), static_cast<uint8_t>(uy & 0xFF),
            static_cast<uint8_t>((ux >> 8) | ((uy >> 8) << 4))};
}

int64_t DeviceEngine::StreamDueMs(long long index) const
{
    return m_streamStartMs + index * 1000 / m_stream.rate;
}

// Schedules every stream report whose time has come (all of them at once if
// the caller was late: a real device does not skip reports).
void DeviceEngine::GenerateStream(int64_t nowMs)
{
    while (m_stream.rate > 0 && StreamDueMs(m_streamNext) <= nowMs) {
        const int64_t due = StreamDueMs(m_streamNext);
        if (Muted(due)) {
            // Nobody touches a switched-off device; its stroke is cut off.
            ++m_streamNext;
            m_streamInStroke = 0;
            continue;
        }
        const StreamPoint p = StreamPlace(m_streamPlace);
        std::vector<uint8_t> touch = TouchPayload(p.x, p.y);
        uint8_t frame[kFrameBufferSize];
        long long lineBytes = EncodeFrame(touch.data(), static_cast<int>(touch.size()), frame);
        Schedule(due, std::move(touch), true);
        ++m_streamCounts.reports;
        ++m_streamNext;
        ++m_streamPlace;
        ++m_streamInStroke;
        if (m_stream.stroke > 0 && m_streamInStroke >= m_stream.stroke) {
            Schedule(due, {kRelease}, true);
            lineBytes += 7;
            ++m_streamCounts.releases;
            m_streamInStroke = 0;
        }
        // Noise owed so far, in hundredths of a byte: p % of all bytes
        // means p / (100 - p) noise bytes per frame byte.
        m_noiseCredit += lineBytes * 100 * m_stream.noisePercent / (100 - m_stream.noisePercent);
        std::vector<uint8_t> noise;
        for (; m_noiseCredit >= 100; m_noiseCredit -= 100)
            noise.push_back(NoiseByte(m_noiseNext++));
        if (!noise.empty()) {
            m_streamCounts.noiseBytes += static_cast<long long>(noise.size());
            Schedule(due, std::move(noise), false);
        }
    }
}

ControlResult DeviceEngine::StreamCommand(const std::vector<std::string_view>& t, int64_t nowMs)
{
    if (t.size() == 1) {
        return Ok("ok reports " + std::to_string(m_streamCounts.reports) + " releases " +
                  std::to_string(m_streamCounts.releases) + " noise " +
                  std::to_string(m_streamCounts.noiseBytes));
    }
    if (t.size() == 2 && t[1] == "off") {
        GenerateStream(nowMs);
        // The finger leaves the screen with the stream.
        if (m_stream.rate > 0 && m_streamInStroke > 0) {
            Schedule(nowMs, {kRelease}, true);
            ++m_streamCounts.releases;
        }
        m_stream = StreamSettings{};
        m_streamInStroke = 0;
        return Ok();
    }
    auto rate = t.size() == 4 ? ParseNumber(t[1]) : std::nullopt;
    auto stroke = t.size() == 4 ? ParseNumber(t[2]) : std::nullopt;
    auto noise = t.size() == 4 ? ParseNumber(t[3]) : std::nullopt;
    if (!InRange(rate, 1, kMaxStreamRate) || !InRange(stroke, 0, 1000000) ||
        !InRange(noise, 0, kMaxNoisePercent))
        return Err("usage: stream [RATE STROKE NOISE_PERCENT | off] (RATE 1..100000, NOISE_PERCENT 0..50)");
    GenerateStream(nowMs);
    m_stream.rate = static_cast<int>(*rate);
    m_stream.stroke = static_cast<int>(*stroke);
    m_stream.noisePercent = static_cast<int>(*noise);
    m_streamStartMs = nowMs;
    m_streamNext = 0;
    return Ok();
}

void DeviceEngine::Mute(int64_t nowMs, int ms)
{
    m_mutedUntil = nowMs + ms;
    Schedule(m_mutedUntil, {kRestart}, true);
}

std::vector<uint8_t> DeviceEngine::TakeDue(int64_t nowMs)
{
    GenerateStream(nowMs);
    std::vector<uint8_t> out;
    // What fell due while the device was off never left it.
    while (!m_pending.empty() && Muted(m_pending.front().dueMs)) {
        if (m_log)
            m_log(m_pending.front().dueMs, "LOST",
                  HexBytes(m_pending.front().payload.data(), m_pending.front().payload.size()));
        m_pending.pop_front();
    }
    while (!m_pending.empty() && m_pending.front().dueMs <= nowMs) {
        Pending p = std::move(m_pending.front());
        m_pending.pop_front();
        if (p.framed) {
            uint8_t frame[kFrameBufferSize];
            int n = EncodeFrame(p.payload.data(), static_cast<int>(p.payload.size()), frame);
            out.insert(out.end(), frame, frame + n);
        } else {
            out.insert(out.end(), p.payload.begin(), p.payload.end());
        }
        if (m_log) m_log(nowMs, p.framed ? "TX" : "RAW", HexBytes(p.payload.data(), p.payload.size()));
    }
    return out;
}

int64_t DeviceEngine::NextDueMs() const
{
    int64_t next = m_pending.empty() ? -1 : m_pending.front().dueMs;
    if (m_stream.rate > 0) {
        const int64_t stream = StreamDueMs(m_streamNext);
        if (next < 0 || stream < next) next = stream;
    }
    return next;
}

ControlResult DeviceEngine::Control(std::string_view line, int64_t nowMs)
{
    m_now = nowMs;
    const auto t = Tokens(line);
    if (t.empty() || t[0].front() == '#') {
        ControlResult none;
        none.kind = ControlResult::Kind::None;
        return none;
    }
    const std::string_view cmd = t[0];
    const size_t args = t.size() - 1;
    auto num = [&](size_t i) { return i < t.size() ? ParseNumber(t[i]) : std::nullopt; };

    if (cmd == "ident") {
        auto hw = num(1), major = num(2), minor = num(3);
        if (args != 3 || !InRange(hw, 0, 255) || !InRange(major, 0, 255) || !InRange(minor, 0, 255))
            return Err("usage: ident HWID MAJOR MINOR (0..255 each)");
        m_settings.hwId = static_cast<uint8_t>(*hw);
        m_settings.major = static_cast<uint8_t>(*major);
        m_settings.minor = static_cast<uint8_t>(*minor);
        return Ok();
    }
    if (cmd == "silent" || cmd == "unsilent") {
        auto code = num(1);
        if (args != 1 || !InRange(code, 0, 255)) return Err("usage: silent|unsilent CODE (0..255)");
        m_settings.silent[static_cast<size_t>(*code)] = cmd == "silent";
        return Ok();
    }
    if (cmd == "absent") {
        if (args == 1 && (t[1] == "on" || t[1] == "off")) {
            m_settings.absent = t[1] == "on";
            return Ok();
        }
        return Err("usage: absent on|off");
    }
    if (cmd == "delay" || cmd == "reinit-delay") {
        auto ms = num(1);
        if (args != 1 || !InRange(ms, 0, kMaxMs)) return Err("usage: delay|reinit-delay MS (0..600000)");
        (cmd == "delay" ? m_settings.replyDelayMs : m_settings.reinitDelayMs) = static_cast<int>(*ms);
        return Ok();
    }
    if (cmd == "param") {
        auto code = num(1), value = num(2);
        if ((args != 1 && args != 2) || !IsStoredParam(code.value_or(-1)))
            return Err("usage: param CODE [VALUE] (CODE 0x02..0x0c, not 0x07)");
        const auto index = static_cast<size_t>(*code);
        if (args == 1) return Ok("ok " + std::to_string(m_params[index]));
        if (!InRange(value, 0, 255)) return Err("usage: param CODE VALUE (VALUE 0..255)");
        m_params[index] = static_cast<uint8_t>(*value);
        return Ok();
    }
    if (cmd == "temp") {
        auto half = num(1);
        if (args != 1 || !InRange(half, -32768, 32767))
            return Err("usage: temp HALF_DEGREES (-32768..32767)");
        m_temperature = static_cast<int16_t>(*half);
        return Ok();
    }
    if (cmd == "mount") {
        static const struct {
            const char* name;
            Mounting mounting;
        } kMountings[] = {{"as-is", Mounting::AsIs},
                          {"mirror-x", Mounting::MirrorX},
                          {"mirror-y", Mounting::MirrorY},
                          {"rotate-180", Mounting::Rotate180},
                          {"swap-xy", Mounting::SwapXY}};
        for (const auto& m : kMountings) {
            if (args == 1 && t[1] == m.name) {
                m_settings.mounting = m.mounting;
                return Ok();
            }
        }
        return Err("usage: mount as-is|mirror-x|mirror-y|rotate-180|swap-xy");
    }
    if (cmd == "touch") {
        auto x = num(1), y = num(2);
        if (args != 2 || !InRange(x, 0, kMaxCoordinate) || !InRange(y, 0, kMaxCoordinate))
            return Err("usage: touch X Y (0..4095 each)");
        const int noise = m_settings.touchNoise;
        const long long nx = *x + TouchNoiseOffset(m_touchNoiseNext, noise);
        const long long ny = *y + TouchNoiseOffset(m_touchNoiseNext + 1, noise);
        if (noise > 0) m_touchNoiseNext += 2;
        const auto clamp = [](long long v) { return v < 0 ? 0 : (v > kMaxCoordinate ? kMaxCoordinate : v); };
        Schedule(nowMs, TouchPayload(clamp(nx), clamp(ny)), true);
        return Ok();
    }
    if (cmd == "touch-noise") {
        auto counts = num(1);
        if (args != 1 || !InRange(counts, 0, 255)) return Err("usage: touch-noise COUNTS (0..255)");
        m_settings.touchNoise = static_cast<int>(*counts);
        return Ok();
    }
    if (cmd == "release" || cmd == "restart") {
        if (args != 0) return Err("usage: release | restart");
        Schedule(nowMs, {cmd == "release" ? kRelease : kRestart}, true);
        return Ok();
    }
    if (cmd == "send" || cmd == "raw") {
        std::vector<uint8_t> bytes;
        const size_t limit = cmd == "send" ? static_cast<size_t>(kMaxEncodePayload) : kMaxRawBytes;
        if (args == 0 || args > limit || !ParseHexList(t, 1, &bytes))
            return Err(cmd == "send" ? "usage: send HEX... (1..46 bytes)"
                                     : "usage: raw HEX... (1..256 bytes)");
        Schedule(nowMs, std::move(bytes), cmd == "send");
        return Ok();
    }
    if (cmd == "stream") return StreamCommand(t, nowMs);
    if (cmd == "drop" || cmd == "mute") {
        // The line itself belongs to the caller; the device only asks.
        auto ms = num(1);
        if (args != 1 || !InRange(ms, 0, kMaxMs)) return Err("usage: drop|mute MS (0..600000)");
        ControlResult r;
        r.ms = static_cast<int>(*ms);
        if (cmd == "drop") {
            r.kind = ControlResult::Kind::Drop;
        } else {
            r.kind = ControlResult::Kind::Mute;
            Mute(nowMs, r.ms);
        }
        return r;
    }
    if (cmd == "sleep") {
        auto ms = num(1);
        if (args != 1 || !InRange(ms, 0, kMaxMs)) return Err("usage: sleep MS (0..600000)");
        ControlResult r;
        r.kind = ControlResult::Kind::Sleep;
        r.ms = static_cast<int>(*ms);
        return r;
    }
    if (cmd == "rx") {
        if (args != 0) return Err("usage: rx");
        std::string out = "ok " + std::to_string(m_received.size());
        for (const auto& r : m_received) {
            out += '\n';
            out += std::to_string(r.ms);
            out += ' ';
            out += HexBytes(r.bytes.data(), r.bytes.size());
        }
        return Ok(std::move(out));
    }
    if (cmd == "clear") {
        if (args != 0) return Err("usage: clear");
        m_received.clear();
        return Ok();
    }
    if (cmd == "wait-rx") {
        auto n = num(1), ms = num(2);
        if (args != 2 || !InRange(n, 0, static_cast<long long>(kMaxReceived)) || !InRange(ms, 0, kMaxMs))
            return Err("usage: wait-rx N TIMEOUT_MS");
        ControlResult r;
        r.kind = ControlResult::Kind::WaitRx;
        r.count = static_cast<size_t>(*n);
        r.ms = static_cast<int>(*ms);
        return r;
    }
    if (cmd == "quit") {
        ControlResult r = Ok();
        r.kind = ControlResult::Kind::Quit;
        return r;
    }
    std::string reason = "unknown command '";
    reason.append(cmd.substr(0, 40));
    reason += '\'';
    return Err(reason);
}

} // namespace devsim
