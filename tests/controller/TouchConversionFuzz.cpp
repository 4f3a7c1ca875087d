// Fuzz target for the touch conversion: arbitrary stored options and
// calibration values, then a stream of arbitrary payloads carried out the
// way the controller's receive path carries out its plans.
//
// Input layout: 4 bytes of flags (identified, pressed, the low bits choose
// between a stored value and a typical one), ten 32-bit little-endian
// values (last x/y, TouchMode, MouseButton, AssignedMouseButton,
// AssignedArmed, SwapXY, Rotate, LineDirX/Y, LineShiftX/Y: twelve, the
// last four read in pairs), then payloads, each one length byte and its
// bytes.
// Invariants checked for every plan:
//  - a malformed or unidentified payload changes nothing and injects
//    nothing; pressed and result are 0 or 1; at most two records;
//  - every record carries move and absolute, at most one button flag, and
//    the plan's position; two records are a pure move then a down there;
//  - a down only when no touch was down, an up only when one was;
//  - a position computed from a report lies in 0..65535, as does any
//    calibrated axis for any stored values, and it never decreases as the
//    shift grows;
//  - with the options left alone and a mode other than "DOWN", every up
//    releases the button the down pressed, and a controller destroyed with
//    a touch down releases it too: no button is left down.
#include "controller/TouchConversion.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    int32_t Int()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return static_cast<int32_t>(v);
    }
    // A stored value, or (when the choice bit is clear) one of the values a
    // real installation holds, so that the mutations also reach the usual
    // paths quickly.
    int32_t Value(bool stored, int32_t typical)
    {
        const int32_t v = Int();
        return stored ? v : typical + (v & 0x3);
    }
    size_t Left() const { return m_size - m_pos; }
    const uint8_t* Here() const { return m_data + m_pos; }
    void Skip(size_t n) { m_pos += n < Left() ? n : Left(); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

constexpr uint32_t kButtonFlags = kMouseDownFlags | kMouseLeftUp | kMouseRightUp | kMouseMiddleUp;

bool InRange(int32_t v)
{
    return v >= 0 && v <= kAbsoluteMax;
}

int BitCount(uint32_t v)
{
    int n = 0;
    for (; v != 0; v &= v - 1)
        ++n;
    return n;
}

void CheckRecords(const TouchPlan& plan)
{
    Check(plan.recordCount >= 0 && plan.recordCount <= 2, "record count");
    for (int i = 0; i < plan.recordCount; ++i) {
        const InjectRecord& r = plan.records[i];
        Check((r.flags & (kMouseMove | kMouseAbsolute)) == (kMouseMove | kMouseAbsolute),
              "move and absolute");
        Check(BitCount(r.flags & kButtonFlags) <= 1, "one button flag at most");
        Check(r.dx == plan.position.x && r.dy == plan.position.y, "record at the plan's position");
    }
    if (plan.recordCount == 2) {
        Check((plan.records[0].flags & kButtonFlags) == 0, "first of two is a pure move");
        Check((plan.records[1].flags & kMouseDownFlags) != 0, "second of two is a down");
    }
}

uint32_t PlanButtons(const TouchPlan& plan)
{
    uint32_t flags = 0;
    for (int i = 0; i < plan.recordCount; ++i)
        flags |= plan.records[i].flags & kButtonFlags;
    return flags;
}

void CheckCalibrateAxis(int32_t value, int32_t dir, int32_t shift)
{
    const int32_t v = CalibrateAxis(value, dir, shift);
    Check(InRange(v), "calibrated axis in range");
    if (shift < INT32_MAX) Check(CalibrateAxis(value, dir, shift + 1) >= v, "monotonic in the shift");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096) return 0;
    Reader in(data, size);
    const uint8_t f0 = in.Byte();
    const uint8_t f1 = in.Byte();
    in.Byte();
    in.Byte();

    TouchSnapshot s;
    s.identified = (f0 & 0x01) != 0;
    s.pressed = (f0 & 0x02) != 0 ? in.Int() : 0;
    s.last.x = in.Int();
    s.last.y = in.Int();
    s.options.TouchMode = in.Value(f0 & 0x04, kTouchModeContinuous);
    s.options.MouseButton = in.Value(f0 & 0x08, kMouseButtonLeft);
    s.options.AssignedMouseButton = in.Value(f0 & 0x10, kAssignedButtonLeft);
    s.options.AssignedArmed = in.Value(f0 & 0x20, 0) & ((f0 & 0x20) != 0 ? -1 : 1);
    s.transform.SwapXY = in.Value(f0 & 0x40, 0);
    s.transform.Rotate = in.Value(f0 & 0x80, 0);
    s.transform.LineDirX = in.Value(f1 & 0x01, -20);
    s.transform.LineDirY = in.Value(f1 & 0x02, -20);
    s.transform.LineShiftX = in.Value(f1 & 0x04, -300);
    s.transform.LineShiftY = in.Value(f1 & 0x08, -300);

    CheckCalibrateAxis(s.last.x, s.transform.LineDirX, s.transform.LineShiftX);
    CheckCalibrateAxis(s.last.y, s.transform.LineDirY, s.transform.LineShiftY);

    // The press balance holds only while the options stay as they are and
    // the mode sends ups; a press handed in by the snapshot has no known
    // button.
    const bool balanced = s.options.TouchMode != kTouchModeDown && s.pressed == 0;
    uint32_t held = 0;

    while (in.Left() > 0) {
        const size_t length = in.Byte();
        const size_t n = length < in.Left() ? length : in.Left();
        const uint8_t* payload = n > 0 ? in.Here() : nullptr;
        const TouchPlan plan = PlanTouch(payload, static_cast<int>(n), s);
        in.Skip(n);

        Check(plan.result == 0 || plan.result == 1, "result 0 or 1");
        Check(plan.pressed == 0 || plan.pressed == 1, "pressed 0 or 1");
        CheckRecords(plan);
        const uint32_t buttons = PlanButtons(plan);
        if (plan.malformed || plan.needsIdentify) {
            Check(!plan.malformed || plan.result == 0, "malformed result");
            Check(!plan.needsIdentify || !s.identified, "identify only when unidentified");
            Check(plan.recordCount == 0 && !plan.disarmAssigned, "nothing injected");
            Check(plan.pressed == (s.pressed != 0 ? 1 : 0), "pressed unchanged");
            Check(plan.position.x == s.last.x && plan.position.y == s.last.y, "position unchanged");
            continue;
        }
        if ((buttons & kMouseDownFlags) != 0) Check(s.pressed == 0 && plan.pressed == 1, "down only from up");
        if ((buttons & ~kMouseDownFlags) != 0)
            Check(s.pressed != 0 && plan.pressed == 0, "up only from down");
        if (payload[0] == kTouchReportCode && plan.recordCount > 0)
            Check(InRange(plan.position.x) && InRange(plan.position.y), "reported position in range");

        if (balanced) {
            if ((buttons & kMouseDownFlags) != 0) {
                held = buttons;
            } else if (s.pressed != 0 && plan.pressed == 0) {
                Check(buttons == held << 1, "the up releases the pressed button");
                held = 0;
            }
        }
        // Carried out as the controller does: fields first.
        s.pressed = plan.pressed;
        s.last = plan.position;
        if (plan.disarmAssigned) s.options.AssignedArmed = 0;
    }

    const TouchPlan last = PlanReleaseOnDestroy(s);
    CheckRecords(last);
    if (balanced && held != 0)
        Check(PlanButtons(last) == held << 1, "destroyed with a touch down releases it");
    if (s.pressed == 0) Check(last.recordCount == 0, "nothing to release");
    return 0;
}
