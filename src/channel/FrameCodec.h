// Framing of payloads on the serial line: DLE SOH, LEN, payload, CHK, DLE ETX,
// with DLE doubled inside LEN, payload and CHK. Platform-free.
#pragma once

#include <cstdint>

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kEtx = 0x03;

// Capacity of a transmit buffer; a payload of up to kMaxEncodePayload bytes
// always fits even when every stuffable byte is a DLE (2 * LEN + 8).
constexpr int kFrameBufferSize = 100;
constexpr int kMaxEncodePayload = 46;
// The decoder accepts LEN 1..kMaxDecodePayload.
constexpr int kMaxDecodePayload = 49;

// Builds the frame for payload[0..length) into out (capacity kFrameBufferSize)
// and returns the number of bytes written. Returns 0 for a length outside
// 1..kMaxEncodePayload or a null pointer, writing nothing.
int EncodeFrame(const uint8_t* payload, int length, uint8_t* out);

// Byte-driven frame decoder. Feed() may be called with any split of the
// stream; each complete frame with a correct checksum is handed to the
// delivery function once, synchronously, when the byte after its checksum is
// processed. The payload pointer is valid only during the call.
class FrameDecoder {
public:
    using Delivery = void (*)(void* context, const uint8_t* payload, int length);

    enum class State : uint8_t { Idle, Start, Length, Data, Checksum, Complete };

    FrameDecoder(Delivery delivery, void* context) : m_delivery(delivery), m_context(context) {}

    void Feed(const uint8_t* bytes, int count);

    // Abandons the frame in progress (after line errors). The escape flag
    // keeps its value.
    void Reset() { m_state = State::Idle; }

    State state() const { return m_state; }
    bool escape() const { return m_escape; }

private:
    void Dispatch(uint8_t b);

    Delivery m_delivery;
    void* m_context;
    State m_state = State::Idle;
    bool m_escape = false;
    uint8_t m_length = 0;
    int m_count = 0;
    uint8_t m_checksum = 0;
    uint8_t m_payload[kMaxDecodePayload] = {};
};
