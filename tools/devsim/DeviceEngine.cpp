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
    if (m_settings.absent || m_settings.silent[code]) return;

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

std::vector<uint8_t> DeviceEngine::TakeDue(int64_t nowMs)
{
    std::vector<uint8_t> out;
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
    return m_pending.empty() ? -1 : m_pending.front().dueMs;
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
        long long mx = *x, my = *y;
        Mount(m_settings.mounting, &mx, &my);
        const auto ux = static_cast<unsigned>(mx), uy = static_cast<unsigned>(my);
        Schedule(nowMs,
                 {kTouch, static_cast<uint8_t>(ux & 0xFF), static_cast<uint8_t>(uy & 0xFF),
                  static_cast<uint8_t>((ux >> 8) | ((uy >> 8) << 4))},
                 true);
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
