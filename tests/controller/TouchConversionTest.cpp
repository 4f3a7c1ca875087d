#include "controller/TouchConversion.h"

#include "base/MonitorPlacement.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr TouchTransform kZmr01Default{0, 0, -2041, 58, 66858, -1538};
constexpr TouchTransform kCleared{};

constexpr uint32_t kMove = kMouseMove | kMouseAbsolute;

// Carries out plans the way the controller's receive path does, recording
// what would reach the system and the windows.
struct PlanRunner {
    TouchSnapshot s;
    std::vector<InjectRecord> injected;
    int identifyRequests = 0;
    int buttonWindowNotices = 0;
    int lastResult = -1;

    PlanRunner()
    {
        s.identified = true;
        s.transform = kCleared;
    }

    void Apply(const TouchPlan& plan)
    {
        lastResult = plan.result;
        if (plan.malformed) return;
        if (plan.needsIdentify) {
            ++identifyRequests;
            return;
        }
        s.pressed = plan.pressed;
        s.press = plan.press;
        s.last = plan.position;
        if (plan.disarmAssigned) {
            s.options.AssignedArmed = 0;
            ++buttonWindowNotices;
        }
        for (int i = 0; i < plan.recordCount; ++i)
            injected.push_back(plan.records[i]);
    }

    void Touch(uint8_t b1, uint8_t b2, uint8_t b3)
    {
        const uint8_t payload[] = {kTouchReportCode, b1, b2, b3};
        Apply(PlanTouch(payload, 4, s));
    }
    void Release()
    {
        const uint8_t payload[] = {kTouchReleaseCode};
        Apply(PlanTouch(payload, 1, s));
    }
};

bool Same(const InjectRecord& a, const InjectRecord& b)
{
    return a.dx == b.dx && a.dy == b.dy && a.flags == b.flags;
}

void ExpectRecords(const std::vector<InjectRecord>& actual, const std::vector<InjectRecord>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(Same(actual[i], expected[i]))
            << "record " << i << ": got " << actual[i].dx << "," << actual[i].dy << " flags 0x" << std::hex
            << actual[i].flags << ", want " << std::dec << expected[i].dx << "," << expected[i].dy
            << " flags 0x" << std::hex << expected[i].flags;
}

TEST(TouchDecode, TakesTwelveBitCoordinates)
{
    struct Case {
        uint8_t payload[5];
        int length;
        int32_t x, y;
    } cases[] = {
        {{0x90, 0x00, 0x00, 0x22}, 4, 512, 512},
        {{0x90, 0x10, 0x20, 0x00}, 4, 16, 32},
        {{0x90, 0xFF, 0xFF, 0x33}, 4, 1023, 1023},
        {{0x90, 0x34, 0x12, 0xA5}, 4, 0x534, 0xA12},
        {{0x90, 0xFF, 0xFF, 0xFF}, 4, 4095, 4095},
        {{0x90, 0x01, 0x02, 0x00, 0x77}, 5, 1, 2}, // trailing bytes are ignored
    };
    for (const Case& c : cases) {
        RawTouch raw;
        ASSERT_TRUE(DecodeTouchReport(c.payload, c.length, &raw));
        EXPECT_EQ(raw.x, c.x);
        EXPECT_EQ(raw.y, c.y);
    }
}

TEST(TouchDecode, RejectsShortOrMissingPayload)
{
    const uint8_t payload[] = {0x90, 0x11, 0x22, 0x33};
    for (int length = -1; length < 4; ++length) {
        RawTouch raw{7, 9};
        EXPECT_FALSE(DecodeTouchReport(payload, length, &raw)) << length;
        EXPECT_EQ(raw.x, 7);
        EXPECT_EQ(raw.y, 9);
    }
    RawTouch raw;
    EXPECT_FALSE(DecodeTouchReport(nullptr, 4, &raw));
    EXPECT_FALSE(DecodeTouchReport(payload, 4, nullptr));
}

TEST(TouchTransform, WorkedExamples)
{
    TouchTransform swap = kCleared;
    swap.SwapXY = 1;
    TouchTransform rot1 = kCleared, rot2 = kCleared, rot3 = kCleared, rot7 = kCleared;
    rot1.Rotate = 1;
    rot2.Rotate = 2;
    rot3.Rotate = 3;
    rot7.Rotate = 7;
    TouchTransform swapRot1 = swap;
    swapRot1.Rotate = 1;
    struct Case {
        const char* what;
        RawTouch raw;
        TouchTransform t;
        int32_t dx, dy;
    } cases[] = {
        {"ZMR01 centre", {512, 512}, kZmr01Default, 32748, 33129},
        {"ZMR01 origin clamps", {0, 0}, kZmr01Default, 65535, 0},
        {"ZMR01 far corner clamps", {1023, 1023}, kZmr01Default, 0, 65535},
        {"cleared centre", {512, 512}, kCleared, 32767, 32767},
        {"cleared full scale", {1024, 1024}, kCleared, 65535, 65535},
        {"cleared 1023", {1023, 1023}, kCleared, 65471, 65471},
        {"plain", {16, 32}, kCleared, 1023, 2047},
        {"swap", {16, 32}, swap, 2047, 1023},
        {"rotate 1", {16, 32}, rot1, 64511, 2047},
        {"rotate 2", {16, 32}, rot2, 64511, 63487},
        {"rotate 3", {16, 32}, rot3, 1023, 63487},
        {"unknown rotate leaves it", {16, 32}, rot7, 1023, 2047},
        {"swap before flip", {16, 32}, swapRot1, 63487, 1023},
        {"raw above full scale clamps high", {4095, 2000}, kCleared, 65535, 65535},
        {"raw above full scale flipped clamps low", {4095, 2000}, rot2, 0, 0},
    };
    for (const Case& c : cases) {
        const AbsolutePoint p = TransformTouch(c.raw, c.t);
        EXPECT_EQ(p.x, c.dx) << c.what;
        EXPECT_EQ(p.y, c.dy) << c.what;
    }
}

TEST(TouchTransform, CalibrationBeyondThirtyTwoBitsStaysExact)
{
    struct Case {
        int32_t value, dir, shift, expected;
    } cases[] = {
        // 40000 * 65535 does not fit in 32 bits.
        {65535, 40000, -2650000, 36935},
        {65535, -40000, 2600000, 44135},
        {65535, 40000, 0, 65535},
        {65535, -40000, 0, 0},
        {262079, INT32_MAX, INT32_MIN, 65535},
        {262079, INT32_MIN, INT32_MAX, 0},
        {-196543, INT32_MAX, INT32_MAX, 0},
        {-196543, INT32_MIN, INT32_MIN, 65535},
        // Division truncates toward zero: -999 / 1000 is 0, -1500 / 1000 is -1.
        {1, -999, 0, 1},
        {3, -500, 0, 2},
        {0, INT32_MIN, 100, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CalibrateAxis(c.value, c.dir, c.shift), c.expected)
            << c.value << " " << c.dir << " " << c.shift;

    // Raw values handed in directly far outside 12 bits must not overflow.
    const AbsolutePoint p = ScaleTouch(RawTouch{INT32_MIN, INT32_MAX}, 0, 2);
    (void)p;
}

// A panel of 1920 x 1080 calibrated in one orientation and used in another:
// a touch at a known place of the panel must land on the pixel the turned
// picture shows there, within 2 px.
TEST(TouchTransform, TurnedDisplayKeepsTheCalibration)
{
    constexpr int32_t kW = 1920; // the panel's pixels, landscape
    constexpr int32_t kH = 1080;
    // A calibration that moves every touch 40 px right and 30 px down on the
    // landscape picture.
    constexpr int32_t kShiftX = 40 * 65536 / kW;
    constexpr int32_t kShiftY = 30 * 65536 / kH;
    struct Case {
        int32_t calibrated, now;
    } const cases[] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {-1, 2}};
    const RawTouch raws[] = {{100, 100}, {512, 512}, {900, 200}, {40, 980}};
    for (const Case& c : cases) {
        const int32_t turn = TurnBetween(c.calibrated, c.now);
        TouchTransform t{0, 0, 0, 0, kShiftX, kShiftY};
        t.Turn = turn;
        const bool portrait = turn % 2 != 0;
        const int32_t width = portrait ? kH : kW; // the desktop's now
        const int32_t height = portrait ? kW : kH;
        for (const RawTouch raw : raws) {
            // Where the finger is on the landscape picture.
            const int32_t px = raw.x * kW / kRawFullScale + 40;
            const int32_t py = raw.y * kH / kRawFullScale + 30;
            int32_t ex = px;
            int32_t ey = py;
            if (turn == 1) ex = py, ey = kW - 1 - px;
            if (turn == 2) ex = kW - 1 - px, ey = kH - 1 - py;
            if (turn == 3) ex = kH - 1 - py, ey = px;
            const AbsolutePoint at = TransformTouch(raw, t);
            const int32_t x = static_cast<int32_t>(int64_t{at.x} * width / 65536);
            const int32_t y = static_cast<int32_t>(int64_t{at.y} * height / 65536);
            EXPECT_NEAR(x, ex, 2) << c.calibrated << "->" << c.now << " raw " << raw.x << "," << raw.y;
            EXPECT_NEAR(y, ey, 2) << c.calibrated << "->" << c.now << " raw " << raw.x << "," << raw.y;
        }
    }
}

TEST(TouchButtons, ChoiceTable)
{
    struct Case {
        ButtonDirection dir;
        int32_t armed, assigned, mouseButton;
        uint32_t flag;
        bool disarm;
        int result;
    } cases[] = {
        {ButtonDirection::Down, 0, 2, kMouseButtonLeft, kMouseLeftDown, false, 1},
        {ButtonDirection::Up, 0, 2, kMouseButtonLeft, kMouseLeftUp, false, 1},
        {ButtonDirection::Down, 0, 2, kMouseButtonMiddle, kMouseMiddleDown, false, 1},
        {ButtonDirection::Up, 0, 2, kMouseButtonMiddle, kMouseMiddleUp, false, 1},
        {ButtonDirection::Down, 0, 2, kMouseButtonRight, kMouseRightDown, false, 1},
        {ButtonDirection::Up, 0, 2, kMouseButtonRight, kMouseRightUp, false, 1},
        {ButtonDirection::Down, 0, 2, 999, 0, false, 0},
        {ButtonDirection::Up, 0, 2, 1003, 0, false, 0},
        {ButtonDirection::Down, 1, 0, kMouseButtonRight, kMouseLeftDown, false, 1},
        {ButtonDirection::Up, 1, 0, kMouseButtonRight, kMouseLeftUp, true, 1},
        {ButtonDirection::Down, 1, 1, kMouseButtonLeft, kMouseMiddleDown, false, 1},
        {ButtonDirection::Up, 1, 1, kMouseButtonLeft, kMouseMiddleUp, true, 1},
        {ButtonDirection::Down, 1, 2, kMouseButtonLeft, kMouseRightDown, false, 1},
        {ButtonDirection::Up, 1, 2, kMouseButtonLeft, kMouseRightUp, true, 1},
        // An invalid one-shot value clicks nothing but is still disarmed.
        {ButtonDirection::Down, 1, 3, kMouseButtonLeft, 0, false, 0},
        {ButtonDirection::Up, 1, -1, kMouseButtonLeft, 0, true, 0},
        // Only exactly 1 arms the one-shot.
        {ButtonDirection::Up, 2, 2, kMouseButtonLeft, kMouseLeftUp, false, 1},
    };
    for (const Case& c : cases) {
        TouchOptions o;
        o.AssignedArmed = c.armed;
        o.AssignedMouseButton = c.assigned;
        o.MouseButton = c.mouseButton;
        const ButtonChoice choice = ChooseButton(c.dir, o);
        EXPECT_EQ(choice.flag, c.flag) << c.armed << " " << c.assigned << " " << c.mouseButton;
        EXPECT_EQ(choice.disarm, c.disarm) << c.armed << " " << c.assigned << " " << c.mouseButton;
        EXPECT_EQ(choice.result, c.result) << c.armed << " " << c.assigned << " " << c.mouseButton;
    }
}

TEST(TouchSequences, ContinuousDragsAndReleasesAtLastPosition)
{
    PlanRunner r;
    r.Touch(0x10, 0x20, 0x00); // 1023, 2047
    r.Touch(0x00, 0x00, 0x22); // 32767, 32767
    r.Release();
    ExpectRecords(r.injected, {{1023, 2047, kMove},
                               {1023, 2047, kMove | kMouseLeftDown},
                               {32767, 32767, kMove},
                               {32767, 32767, kMove | kMouseLeftUp}});
    EXPECT_EQ(r.s.pressed, 0);
    EXPECT_EQ(r.lastResult, 1);
}

TEST(TouchSequences, DownUpAndUpReleaseAtFirstPosition)
{
    for (int32_t mode : {kTouchModeDownUp, kTouchModeUp}) {
        PlanRunner r;
        r.s.options.TouchMode = mode;
        r.Touch(0x10, 0x20, 0x00);
        r.Touch(0x00, 0x00, 0x22);
        r.Release();
        ExpectRecords(
            r.injected,
            {{1023, 2047, kMove}, {1023, 2047, kMove | kMouseLeftDown}, {1023, 2047, kMove | kMouseLeftUp}});
        EXPECT_EQ(r.s.pressed, 0) << mode;
    }
}

TEST(TouchSequences, DownModeNeverSendsUp)
{
    PlanRunner r;
    r.s.options.TouchMode = kTouchModeDown;
    r.s.options.MouseButton = kMouseButtonMiddle;
    r.Touch(0x10, 0x20, 0x00);
    r.Touch(0x00, 0x00, 0x22);
    r.Release();
    EXPECT_EQ(r.s.pressed, 0);
    r.Touch(0x00, 0x00, 0x22);
    ExpectRecords(r.injected, {{1023, 2047, kMove},
                               {1023, 2047, kMove | kMouseMiddleDown},
                               {32767, 32767, kMove},
                               {32767, 32767, kMove | kMouseMiddleDown}});
}

TEST(TouchSequences, ArmedOneShotRightClickThenBackToMouseButton)
{
    PlanRunner r;
    r.s.options.AssignedMouseButton = kAssignedButtonRight;
    r.s.options.AssignedArmed = 1;
    r.Touch(0x00, 0x00, 0x22);
    r.Release();
    EXPECT_EQ(r.s.options.AssignedArmed, 0);
    EXPECT_EQ(r.buttonWindowNotices, 1);
    r.Touch(0x00, 0x00, 0x22);
    r.Release();
    EXPECT_EQ(r.buttonWindowNotices, 1);
    const int32_t c = 32767;
    ExpectRecords(r.injected, {{c, c, kMove},
                               {c, c, kMove | kMouseRightDown},
                               {c, c, kMove | kMouseRightUp},
                               {c, c, kMove},
                               {c, c, kMove | kMouseLeftDown},
                               {c, c, kMove | kMouseLeftUp}});
}

// Options changed while the finger is down (the mouse-button window, the
// Mouse or Driver page) never leave the pressed button down: the release lets
// go of the button the press pressed.
TEST(TouchSequences, ReleaseLetsGoOfThePressedButtonWhateverChangedMeanwhile)
{
    struct Case {
        const char* what;
        TouchOptions before;
        TouchOptions after;
        uint32_t down;
        uint32_t up; // 0: no up (pressed in "DOWN" and still so)
        int32_t armedAfterRelease;
    };
    TouchOptions left;
    TouchOptions right = left;
    right.MouseButton = kMouseButtonRight;
    TouchOptions downMode = left;
    downMode.TouchMode = kTouchModeDown;
    TouchOptions armed = left;
    armed.AssignedArmed = 1; // the one-shot's right button
    const Case cases[] = {
        {"button changed to right", left, right, kMouseLeftDown, kMouseLeftUp, 0},
        {"button changed to left", right, left, kMouseRightDown, kMouseRightUp, 0},
        {"mode changed to DOWN", left, downMode, kMouseLeftDown, kMouseLeftUp, 0},
        {"mode changed from DOWN", downMode, left, kMouseLeftDown, kMouseLeftUp, 0},
        {"pressed in DOWN, still DOWN", downMode, downMode, kMouseLeftDown, 0, 0},
        {"one-shot armed meanwhile: kept for the next touch", left, armed, kMouseLeftDown, kMouseLeftUp, 1},
        {"one-shot used by the press: disarmed by its release", armed, left, kMouseRightDown, kMouseRightUp,
         0},
    };
    for (const Case& c : cases) {
        PlanRunner r;
        r.s.options = c.before;
        r.Touch(0x00, 0x00, 0x22);
        const int32_t armedNow = c.before.AssignedArmed == 1 ? 1 : c.after.AssignedArmed;
        r.s.options = c.after;
        r.s.options.AssignedArmed = armedNow;
        r.Release();
        const int32_t m = 32767;
        std::vector<InjectRecord> expected = {{m, m, kMove}, {m, m, kMove | c.down}};
        if (c.up != 0) expected.push_back({m, m, kMove | c.up});
        SCOPED_TRACE(c.what);
        ExpectRecords(r.injected, expected);
        EXPECT_EQ(r.s.options.AssignedArmed, c.armedAfterRelease);
        // The same through the release of a controller going away.
        PlanRunner d;
        d.s.options = c.before;
        d.Touch(0x00, 0x00, 0x22);
        d.s.options = c.after;
        d.s.options.AssignedArmed = armedNow;
        d.Apply(PlanReleaseOnDestroy(d.s));
        ExpectRecords(d.injected, expected);
    }
}

TEST(TouchSequences, DownModeReleaseKeepsOneShotArmed)
{
    PlanRunner r;
    r.s.options.TouchMode = kTouchModeDown;
    r.s.options.AssignedArmed = 1;
    r.Touch(0x00, 0x00, 0x22);
    r.Release();
    EXPECT_EQ(r.s.options.AssignedArmed, 1);
    EXPECT_EQ(r.buttonWindowNotices, 0);
}

TEST(TouchSequences, UnidentifiedDeviceOnlyAsksForIdentification)
{
    for (int32_t pressed : {0, 1}) {
        PlanRunner r;
        r.s.identified = false;
        r.s.pressed = pressed;
        r.s.last = {5, 6};
        r.Touch(0x00, 0x00, 0x22);
        r.Release();
        EXPECT_TRUE(r.injected.empty());
        EXPECT_EQ(r.identifyRequests, 2);
        EXPECT_EQ(r.s.pressed, pressed);
        EXPECT_EQ(r.s.last.x, 5);
        EXPECT_EQ(r.lastResult, 1);
    }
}

TEST(TouchSequences, InvalidButtonMovesWithoutClickingAndReportsZero)
{
    PlanRunner r;
    r.s.options.MouseButton = 1234;
    r.Touch(0x00, 0x00, 0x22);
    EXPECT_EQ(r.lastResult, 0);
    EXPECT_EQ(r.s.pressed, 1);
    r.Release();
    EXPECT_EQ(r.lastResult, 0);
    ExpectRecords(r.injected, {{32767, 32767, kMove}, {32767, 32767, kMove}});

    PlanRunner a;
    a.s.options.AssignedArmed = 1;
    a.s.options.AssignedMouseButton = 5;
    a.Touch(0x00, 0x00, 0x22);
    a.Release();
    EXPECT_EQ(a.lastResult, 0);
    EXPECT_EQ(a.s.options.AssignedArmed, 0);
    EXPECT_EQ(a.buttonWindowNotices, 1);
}

TEST(TouchSequences, ReleaseWithoutTouchMovesToLastPosition)
{
    PlanRunner r;
    r.s.last = {100, 200};
    r.Release();
    ExpectRecords(r.injected, {{100, 200, kMove}});
    EXPECT_EQ(r.lastResult, 1);
}

TEST(TouchSequences, MalformedPayloadsChangeNothing)
{
    PlanRunner r;
    r.s.pressed = 1;
    r.s.last = {9, 9};
    const uint8_t shortReport[] = {kTouchReportCode, 0x00, 0x00};
    const uint8_t notice[] = {kRestartNoticeCode};
    struct Case {
        const uint8_t* payload;
        int length;
    } cases[] = {{shortReport, 3}, {shortReport, 1}, {nullptr, 4}, {notice, 1}, {shortReport, 0}};
    for (const Case& c : cases) {
        const TouchPlan plan = PlanTouch(c.payload, c.length, r.s);
        EXPECT_TRUE(plan.malformed);
        EXPECT_EQ(plan.result, 0);
        r.Apply(plan);
    }
    // Even while unidentified a garbled report is no evidence of a device.
    r.s.identified = false;
    r.Apply(PlanTouch(shortReport, 3, r.s));
    EXPECT_EQ(r.identifyRequests, 0);
    EXPECT_TRUE(r.injected.empty());
    EXPECT_EQ(r.s.pressed, 1);
    EXPECT_EQ(r.s.last.x, 9);
}

TEST(TouchDestroy, ReleasesAButtonLeftDown)
{
    struct Case {
        const char* what;
        int32_t pressed, mode, armed;
        bool identified;
        std::vector<InjectRecord> records;
        bool disarm;
    } cases[] = {
        {"not pressed", 0, kTouchModeContinuous, 0, true, {}, false},
        {"continuous", 1, kTouchModeContinuous, 0, true, {{40, 50, kMove | kMouseLeftUp}}, false},
        {"down mode never ups", 1, kTouchModeDown, 0, true, {}, false},
        {"down-up", 1, kTouchModeDownUp, 0, true, {{40, 50, kMove | kMouseLeftUp}}, false},
        {"one-shot", 1, kTouchModeUp, 1, true, {{40, 50, kMove | kMouseRightUp}}, true},
        {"identification lost", 1, kTouchModeContinuous, 0, false, {{40, 50, kMove | kMouseLeftUp}}, false},
    };
    for (const Case& c : cases) {
        TouchSnapshot s;
        s.pressed = c.pressed;
        s.identified = c.identified;
        s.options.TouchMode = c.mode;
        s.options.AssignedArmed = c.armed;
        s.last = {40, 50};
        const TouchPlan plan = PlanReleaseOnDestroy(s);
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(plan.needsIdentify);
        EXPECT_EQ(plan.pressed, 0);
        EXPECT_EQ(plan.disarmAssigned, c.disarm);
        ExpectRecords(std::vector<InjectRecord>(plan.records, plan.records + plan.recordCount), c.records);
        // Whoever breaks the stream next (another break, the controller's
        // end) finds nothing down: one up for one press.
        s.pressed = plan.pressed;
        s.options.AssignedArmed = plan.disarmAssigned ? 0 : c.armed;
        const TouchPlan again = PlanReleaseOnDestroy(s);
        EXPECT_EQ(again.recordCount, 0);
        EXPECT_FALSE(again.disarmAssigned);
    }
}

} // namespace
