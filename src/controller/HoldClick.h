// A right click by holding the finger still: the decision between a left
// press, a left click and a right click for one touch of the Continuous touch
// mode, without the system. Platform-free; the touch path feeds it the
// positions of one touch on the absolute 0..65535 scale and its clock.
#pragma once

#include <cstdint>

// "HoldRightClick" choices in ms; 0 (the default) is off.
constexpr int32_t kHoldRightClickOff = 0;
// How far the finger may wander, in screen pixels, and still hold.
constexpr int32_t kHoldSlopPixels = 10;

// The Mouse page's choices "off", "0.5 s", "1 s", "2 s" in ms.
constexpr int kHoldChoiceCount = 4;
int32_t HoldChoiceMs(int index);
// The choice of a stored value; -1 for a value that is none of them.
int HoldChoiceIndex(int32_t ms);
// kHoldSlopPixels on the absolute 0..65535 scale of a screen this many
// pixels wide (or high); 0 for a size that is not positive.
int32_t HoldSlopAbsolute(int32_t screenSize);

enum class HoldAction : uint8_t {
    LeftDown,  // left press at (x, y)
    Move,      // the pointer to (x, y), the buttons as they are
    LeftUp,    // left release at (x, y)
    RightDown, // right press at (x, y)
    RightUp,   // right release at (x, y)
    ShowHeld,  // tell the user the hold was recognised at (x, y)
};

struct HoldStep {
    HoldAction action = HoldAction::Move;
    int32_t x = 0;
    int32_t y = 0;
};

// What one event of the touch gives: at most four steps, in order.
struct HoldSteps {
    HoldStep step[4];
    int count = 0;
    void Add(HoldAction action, int32_t x, int32_t y);
};

class HoldClick {
public:
    // holdMs 0 passes every touch straight through: a press at once, the
    // moves, the release, as without this choice. slopX and slopY are the
    // wander allowed on the absolute scale (kHoldSlopPixels converted for
    // the screen).
    void Configure(uint32_t holdMs, int32_t slopX, int32_t slopY);

    HoldSteps Press(int32_t x, int32_t y, uint32_t nowMs);
    HoldSteps Move(int32_t x, int32_t y, uint32_t nowMs);
    HoldSteps Release(uint32_t nowMs);
    // The clock without a report: a finger held still may send none.
    HoldSteps Tick(uint32_t nowMs);

    // True while the touch waits for the hold decision; then the caller
    // calls Tick at or after DueMs().
    bool Waiting() const { return m_state == State::Waiting; }
    uint32_t DueMs() const { return m_startMs + m_holdMs; }
    // True while a left button is down on the system's side.
    bool LeftDown() const { return m_state == State::Dragging; }

private:
    enum class State : uint8_t { Idle, Waiting, Dragging, Held };
    HoldSteps Decide(uint32_t nowMs);
    bool WithinSlop(int32_t x, int32_t y) const;

    uint32_t m_holdMs = 0;
    int32_t m_slopX = 0;
    int32_t m_slopY = 0;
    State m_state = State::Idle;
    int32_t m_firstX = 0;
    int32_t m_firstY = 0;
    int32_t m_lastX = 0;
    int32_t m_lastY = 0;
    uint32_t m_startMs = 0;
};
