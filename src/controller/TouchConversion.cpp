#include "controller/TouchConversion.h"

#include "base/MonitorPlacement.h"

namespace {

constexpr uint32_t kRecordBaseFlags = kMouseMove | kMouseAbsolute;

int32_t ClampAbsolute(int64_t v)
{
    if (v < 0) return 0;
    if (v > kAbsoluteMax) return kAbsoluteMax;
    return static_cast<int32_t>(v);
}

uint32_t ButtonFlag(int32_t button, ButtonDirection direction)
{
    const bool down = direction == ButtonDirection::Down;
    switch (button) {
    case kMouseButtonLeft:
        return down ? kMouseLeftDown : kMouseLeftUp;
    case kMouseButtonMiddle:
        return down ? kMouseMiddleDown : kMouseMiddleUp;
    case kMouseButtonRight:
        return down ? kMouseRightDown : kMouseRightUp;
    default:
        return 0;
    }
}

// Fills the plan's records for a record with the given flags at position:
// a down goes in after a pure move to the same place, so that the system
// sees the pointer arrive before the button changes.
void AddRecords(TouchPlan& plan, AbsolutePoint position, uint32_t flags)
{
    flags |= kRecordBaseFlags;
    plan.recordCount = 0;
    if ((flags & kMouseDownFlags) != 0)
        plan.records[plan.recordCount++] = InjectRecord{position.x, position.y, flags & ~kMouseDownFlags};
    plan.records[plan.recordCount++] = InjectRecord{position.x, position.y, flags};
}

// The up that lets go of what a down flag pressed.
uint32_t UpFlagFor(uint32_t downFlag)
{
    if ((downFlag & kMouseLeftDown) != 0) return kMouseLeftUp;
    if ((downFlag & kMouseRightDown) != 0) return kMouseRightUp;
    if ((downFlag & kMouseMiddleDown) != 0) return kMouseMiddleUp;
    return 0;
}

TouchPlan Unchanged(const TouchSnapshot& s)
{
    TouchPlan plan;
    plan.pressed = s.pressed != 0 ? 1 : 0;
    plan.press = s.press;
    plan.position = s.last;
    return plan;
}

// A payload that is not a usable touch payload: dropped without a trace.
TouchPlan Malformed(const TouchSnapshot& s)
{
    TouchPlan plan = Unchanged(s);
    plan.malformed = true;
    plan.result = 0;
    return plan;
}

TouchPlan PlanReport(const uint8_t* payload, int length, const TouchSnapshot& s)
{
    // Checked before anything else: a garbled report is no evidence that a
    // device is attached either.
    RawTouch raw;
    if (!DecodeTouchReport(payload, length, &raw)) return Malformed(s);
    TouchPlan plan = Unchanged(s);
    if (!s.identified) {
        plan.needsIdentify = true;
        return plan;
    }
    const bool pressed = s.pressed != 0;
    const int32_t mode = s.options.TouchMode;
    // Only the continuous mode drags; the others keep the first position.
    if (pressed && (mode == kTouchModeDown || mode == kTouchModeDownUp || mode == kTouchModeUp)) return plan;

    plan.position = TransformTouch(raw, s.transform);
    uint32_t flags = 0;
    if (!pressed) {
        const ButtonChoice choice = ChooseButton(ButtonDirection::Down, s.options);
        flags = choice.flag;
        plan.result = choice.result;
        plan.press =
            TouchPress{true, UpFlagFor(choice.flag), s.options.AssignedArmed == 1, mode == kTouchModeDown};
    }
    plan.pressed = 1;
    AddRecords(plan, plan.position, flags);
    return plan;
}

// The release path, identification already settled.
TouchPlan PlanReleaseIdentified(const TouchSnapshot& s)
{
    TouchPlan plan = Unchanged(s);
    const bool pressed = s.pressed != 0;
    plan.pressed = 0;
    plan.press = TouchPress{};
    const bool downMode = s.options.TouchMode == kTouchModeDown;
    if (pressed && s.press.known && s.press.upFlag != 0) {
        // A touch pressed in "DOWN" stays down while that mode lasts (the
        // one-shot stays armed); any other press is let go of with the up of
        // the button it pressed, whatever the options say now.
        if (s.press.downMode && downMode) return plan;
        plan.disarmAssigned = s.press.oneShot;
        AddRecords(plan, plan.position, s.press.upFlag);
        return plan;
    }
    // Touch mode "DOWN" never sends an up; the one-shot stays armed.
    if (pressed && downMode) return plan;

    uint32_t flags = 0;
    if (pressed) {
        const ButtonChoice choice = ChooseButton(ButtonDirection::Up, s.options);
        flags = choice.flag;
        plan.disarmAssigned = choice.disarm;
        plan.result = choice.result;
    }
    AddRecords(plan, plan.position, flags);
    return plan;
}

} // namespace

const char* TouchModeName(int32_t mode)
{
    static const char* const kNames[] = {"CONTINUOUS", "DOWN", "DOWN_UP", "UP"};
    if (mode < 0 || mode >= static_cast<int32_t>(sizeof(kNames) / sizeof(kNames[0]))) return nullptr;
    return kNames[mode];
}

bool DecodeTouchReport(const uint8_t* payload, int length, RawTouch* out)
{
    if (payload == nullptr || out == nullptr || length < kTouchReportLength) return false;
    out->x = payload[1] | (payload[3] & 0x0F) << 8;
    out->y = payload[2] | (payload[3] & 0xF0) << 4;
    return true;
}

AbsolutePoint ScaleTouch(RawTouch raw, int32_t swapXY, int32_t rotate)
{
    // 64 bits: a raw value handed in from elsewhere than the decoder must not
    // overflow the flip or the scaling.
    int64_t x = raw.x;
    int64_t y = raw.y;
    if (swapXY != 0) {
        const int64_t t = x;
        x = y;
        y = t;
    }
    switch (rotate) {
    case 1:
        x = kRawFullScale - x;
        break;
    case 2:
        x = kRawFullScale - x;
        y = kRawFullScale - y;
        break;
    case 3:
        y = kRawFullScale - y;
        break;
    default:
        break;
    }
    x = x * kAbsoluteMax / kRawFullScale;
    y = y * kAbsoluteMax / kRawFullScale;
    return AbsolutePoint{static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

int32_t CalibrateAxis(int32_t value, int32_t dir, int32_t shift)
{
    const int64_t v = value;
    return ClampAbsolute(v + static_cast<int64_t>(dir) * v / 1000 + shift);
}

AbsolutePoint TransformTouch(RawTouch raw, const TouchTransform& t)
{
    const AbsolutePoint scaled = ScaleTouch(raw, t.SwapXY, t.Rotate);
    AbsolutePoint p{CalibrateAxis(scaled.x, t.LineDirX, t.LineShiftX),
                    CalibrateAxis(scaled.y, t.LineDirY, t.LineShiftY)};
    TurnAbsolute(t.Turn, &p.x, &p.y);
    return p;
}

ButtonChoice ChooseButton(ButtonDirection direction, const TouchOptions& options)
{
    ButtonChoice choice;
    if (options.AssignedArmed == 1) {
        static const int32_t kAssignedToButton[] = {kMouseButtonLeft, kMouseButtonMiddle, kMouseButtonRight};
        const int32_t assigned = options.AssignedMouseButton;
        if (assigned >= kAssignedButtonLeft && assigned <= kAssignedButtonRight)
            choice.flag = ButtonFlag(kAssignedToButton[assigned], direction);
        // Disarmed whatever the value, so that a bad value cannot leave the
        // one-shot armed for ever.
        choice.disarm = direction == ButtonDirection::Up;
    } else {
        choice.flag = ButtonFlag(options.MouseButton, direction);
    }
    choice.result = choice.flag != 0 ? 1 : 0;
    return choice;
}

TouchPlan PlanTouch(const uint8_t* payload, int length, const TouchSnapshot& snapshot)
{
    if (payload == nullptr || length < 1) return Malformed(snapshot);
    switch (payload[0]) {
    case kTouchReportCode:
        return PlanReport(payload, length, snapshot);
    case kTouchReleaseCode:
        if (!snapshot.identified) {
            TouchPlan plan = Unchanged(snapshot);
            plan.needsIdentify = true;
            return plan;
        }
        return PlanReleaseIdentified(snapshot);
    default:
        return Malformed(snapshot);
    }
}

TouchPlan PlanReleaseOnDestroy(const TouchSnapshot& snapshot)
{
    if (snapshot.pressed == 0) return Unchanged(snapshot);
    return PlanReleaseIdentified(snapshot);
}
