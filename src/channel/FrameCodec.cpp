#include "channel/FrameCodec.h"

namespace {

// Appends b, doubled when it is a DLE.
inline int PutStuffed(uint8_t* out, int pos, uint8_t b)
{
    out[pos++] = b;
    if (b == kDle) out[pos++] = kDle;
    return pos;
}

} // namespace

int EncodeFrame(const uint8_t* payload, int length, uint8_t* out)
{
    if (payload == nullptr || out == nullptr || length < 1 || length > kMaxEncodePayload) return 0;

    int pos = 0;
    out[pos++] = kDle;
    out[pos++] = kSoh;
    uint8_t checksum = kSoh;
    const uint8_t len = static_cast<uint8_t>(length);
    pos = PutStuffed(out, pos, len);
    checksum ^= len;
    for (int i = 0; i < length; ++i) {
        pos = PutStuffed(out, pos, payload[i]);
        checksum ^= payload[i];
    }
    pos = PutStuffed(out, pos, checksum);
    out[pos++] = kDle;
    out[pos++] = kEtx;
    return pos;
}

void FrameDecoder::Feed(const uint8_t* bytes, int count)
{
    if (bytes == nullptr) return;
    for (int i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (!m_escape) {
            if (b == kDle) {
                m_escape = true;
                continue;
            }
        } else if (b == kSoh) {
            // A new frame begins; whatever was in progress, even a complete
            // frame still waiting for its trailing byte, is abandoned.
            m_state = State::Start;
        } else if (b == kEtx && m_state != State::Complete) {
            m_state = State::Idle;
        }
        Dispatch(b);
        m_escape = false;
    }
}

void FrameDecoder::Dispatch(uint8_t b)
{
    switch (m_state) {
    case State::Idle:
        break;
    case State::Start:
        m_count = 0;
        m_checksum = kSoh;
        m_state = State::Length;
        break;
    case State::Length:
        m_length = b;
        if (b == 0 || b > kMaxDecodePayload) {
            m_state = State::Idle;
        } else {
            m_checksum ^= b;
            m_state = State::Data;
        }
        break;
    case State::Data:
        m_checksum ^= b;
        // m_count < m_length <= kMaxDecodePayload holds here.
        m_payload[m_count++] = b;
        if (m_count == m_length) m_state = State::Checksum;
        break;
    case State::Checksum:
        m_state = (b == m_checksum) ? State::Complete : State::Idle;
        break;
    case State::Complete:
        if (m_delivery != nullptr) m_delivery(m_context, m_payload, m_length);
        m_state = (b == kEtx) ? State::Idle : State::Start;
        break;
    }
}
