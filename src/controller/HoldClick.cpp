#include "controller/HoldClick.h"

#include <cstdlib>

namespace {

constexpr int32_t kHoldChoices[kHoldChoiceCount] = {0, 500, 1000, 2000};

} // namespace

int32_t HoldChoiceMs(int index)
{
    return index >= 0 && index < kHoldChoiceCount ? kHoldChoices[index] : kHoldRightClickOff;
}

int HoldChoiceIndex(int32_t ms)
{
    for (int i = 0; i < kHoldChoiceCount; ++i)
        if (kHoldChoices[i] == ms) return i;
    return -1;
}

int32_t HoldSlopAbsolute(int32_t screenSize)
{
    if (screenSize <= 0) return 0;
    return static_cast<int32_t>(static_cast<int64_t>(kHoldSlopPixels) * 65535 / screenSize);
}

void HoldSteps::Add(HoldAction action, int32_t x, int32_t y)
{
    if (count < 4) step[count++] = HoldStep{action, x, y};
}

void HoldClick::Configure(uint32_t holdMs, int32_t slopX, int32_t slopY)
{
    m_holdMs = holdMs;
    m_slopX = slopX < 0 ? 0 : slopX;
    m_slopY = slopY < 0 ? 0 : slopY;
}

bool HoldClick::WithinSlop(int32_t x, int32_t y) const
{
    return std::abs(static_cast<int64_t>(x) - m_firstX) <= m_slopX &&
           std::abs(static_cast<int64_t>(y) - m_firstY) <= m_slopY;
}

// The hold time has passed with the finger still near its first point.
HoldSteps HoldClick::Decide(uint32_t nowMs)
{
    HoldSteps out;
    if (m_state == State::Waiting && nowMs - m_startMs >= m_holdMs) {
        out.Add(HoldAction::ShowHeld, m_firstX, m_firstY);
        out.Add(HoldAction::RightDown, m_firstX, m_firstY);
        out.Add(HoldAction::RightUp, m_firstX, m_firstY);
        m_state = State::Held;
    }
    return out;
}

HoldSteps HoldClick::Press(int32_t x, int32_t y, uint32_t nowMs)
{
    HoldSteps out;
    if (m_state != State::Idle) return Move(x, y, nowMs);
    m_firstX = m_lastX = x;
    m_firstY = m_lastY = y;
    m_startMs = nowMs;
    if (m_holdMs == 0) {
        out.Add(HoldAction::LeftDown, x, y);
        m_state = State::Dragging;
    } else {
        // Nothing yet: the pointer stays where it was until the touch has
        // shown what it is.
        m_state = State::Waiting;
    }
    return out;
}

HoldSteps HoldClick::Move(int32_t x, int32_t y, uint32_t nowMs)
{
    HoldSteps out;
    switch (m_state) {
    case State::Idle:
        return Press(x, y, nowMs);
    case State::Waiting:
        // A report after the hold time decides for the hold: the finger was
        // within reach when the time ran out, whatever it does now.
        out = Decide(nowMs);
        if (out.count > 0) return out;
        if (!WithinSlop(x, y)) {
            out.Add(HoldAction::LeftDown, m_firstX, m_firstY);
            out.Add(HoldAction::Move, x, y);
            m_state = State::Dragging;
        }
        break;
    case State::Dragging:
        out.Add(HoldAction::Move, x, y);
        break;
    case State::Held:
        // The right click was all: the rest of the touch does nothing.
        return out;
    }
    m_lastX = x;
    m_lastY = y;
    return out;
}

HoldSteps HoldClick::Release(uint32_t nowMs)
{
    HoldSteps out;
    switch (m_state) {
    case State::Idle:
    case State::Held:
        break;
    case State::Waiting:
        out = Decide(nowMs);
        if (out.count == 0) {
            out.Add(HoldAction::LeftDown, m_firstX, m_firstY);
            out.Add(HoldAction::LeftUp, m_firstX, m_firstY);
        }
        break;
    case State::Dragging:
        out.Add(HoldAction::LeftUp, m_lastX, m_lastY);
        break;
    }
    m_state = State::Idle;
    return out;
}

HoldSteps HoldClick::Tick(uint32_t nowMs)
{
    return Decide(nowMs);
}
