#include "calibration/CalibrationMath.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "controller/TouchConversion.h"

namespace {

constexpr int32_t kW = 1024;
constexpr int32_t kH = 768;
// Crosses at 12 % on 1024 x 768.
constexpr CalPoint kTargets[3] = {{122, 92}, {122, 676}, {902, 676}};

CalibrationInput Input(CalPoint t0, CalPoint t1, CalPoint t2, const CalPoint (&targets)[3] = kTargets)
{
    CalibrationInput in;
    in.screenWidth = kW;
    in.screenHeight = kH;
    for (int i = 0; i < 3; ++i)
        in.target[i] = targets[i];
    in.touch[0] = t0;
    in.touch[1] = t1;
    in.touch[2] = t2;
    return in;
}

// Where the conversion puts a screen pixel of the transformed touches once
// the line correction is in force, back in pixels.
int32_t Corrected(int32_t pixel, int32_t size, int32_t dir, int32_t shift)
{
    const int32_t absolute = static_cast<int32_t>(static_cast<int64_t>(pixel) * kAbsoluteMax / size);
    return static_cast<int32_t>(static_cast<int64_t>(CalibrateAxis(absolute, dir, shift)) * size /
                                kAbsoluteMax);
}

void ExpectTouchesLandOnTargets(const CalibrationInput& in, const CalibrationResult& r)
{
    for (int i : {0, 2}) {
        EXPECT_NEAR(Corrected(r.touch[i].x, kW, r.LineDirX, r.LineShiftX), in.target[i].x, 1)
            << "touch " << i;
        EXPECT_NEAR(Corrected(r.touch[i].y, kH, r.LineDirY, r.LineShiftY), in.target[i].y, 1)
            << "touch " << i;
    }
}

TEST(CalibrationMath, WorkedExample)
{
    const CalibrationInput in = Input({132, 100}, {130, 660}, {880, 650});
    const CalibrationResult r = ComputeCalibration(in);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rule, MountingRule::A);
    EXPECT_EQ(r.transform, TouchTransformKind::None);
    EXPECT_EQ(r.Rotate, 0);
    EXPECT_EQ(r.SwapXY, 0);
    EXPECT_EQ(r.LineDirX, 43);
    EXPECT_EQ(r.LineDirY, 62);
    EXPECT_EQ(r.LineShiftX, -1001);
    EXPECT_EQ(r.LineShiftY, -1210);
    EXPECT_EQ(r.touch[1], (CalPoint{130, 660}));
    ExpectTouchesLandOnTargets(in, r);
}

TEST(CalibrationMath, TouchesOnTheirTargetsNeedNoCorrection)
{
    const CalibrationResult r = ComputeCalibration(Input(kTargets[0], kTargets[1], kTargets[2]));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rule, MountingRule::A);
    EXPECT_EQ(r.LineDirX, 0);
    EXPECT_EQ(r.LineDirY, 0);
    EXPECT_EQ(r.LineShiftX, 0);
    EXPECT_EQ(r.LineShiftY, 0);
}

// Where the cursor lands for a finger on (x, y) with the calibration zeroed,
// for each way of mounting the sensor (screen-pixel forms, as the rules
// expect them).
CalPoint Mounted(TouchTransformKind mounting, CalPoint p)
{
    const int32_t sx = p.y * kW / kH; // the other axis scaled onto this one
    const int32_t sy = p.x * kH / kW;
    switch (mounting) {
    case TouchTransformKind::None:
        return p;
    case TouchTransformKind::M1:
        return {kW - p.x, p.y};
    case TouchTransformKind::M2:
        return {kW - p.x, kH - p.y};
    case TouchTransformKind::M3:
        return {p.x, kH - p.y};
    case TouchTransformKind::S0:
        return {sx, sy};
    case TouchTransformKind::S1:
        return {sx, (kW - p.x) * kH / kW};
    case TouchTransformKind::S2:
        return {(kH - p.y) * kW / kH, (kW - p.x) * kH / kW};
    case TouchTransformKind::S3:
        return {(kH - p.y) * kW / kH, sy};
    }
    return p;
}

TEST(CalibrationMath, EachMountingIsFoundAndUndone)
{
    struct Case {
        TouchTransformKind mounting;
        MountingRule rule;
        int32_t rotate;
        int32_t swap;
    };
    const Case cases[] = {
        {TouchTransformKind::None, MountingRule::A, 0, 0}, {TouchTransformKind::S0, MountingRule::A, 0, 1},
        {TouchTransformKind::M1, MountingRule::B, 1, 0},   {TouchTransformKind::S1, MountingRule::B, 1, 1},
        {TouchTransformKind::M2, MountingRule::C, 2, 0},   {TouchTransformKind::S2, MountingRule::C, 2, 1},
        {TouchTransformKind::M3, MountingRule::D, 3, 0},   {TouchTransformKind::S3, MountingRule::D, 3, 1},
    };
    for (const Case& c : cases) {
        const auto kind = static_cast<int>(c.mounting);
        // A few pixels off, as a finger is.
        const CalPoint finger[3] = {{kTargets[0].x + 3, kTargets[0].y - 2},
                                    {kTargets[1].x - 4, kTargets[1].y + 1},
                                    {kTargets[2].x + 2, kTargets[2].y + 5}};
        const CalibrationInput in = Input(Mounted(c.mounting, finger[0]), Mounted(c.mounting, finger[1]),
                                          Mounted(c.mounting, finger[2]));
        const CalibrationResult r = ComputeCalibration(in);
        ASSERT_TRUE(r.ok()) << kind;
        EXPECT_EQ(r.rule, c.rule) << kind;
        EXPECT_EQ(r.transform, c.mounting) << kind;
        EXPECT_EQ(r.Rotate, c.rotate) << kind;
        EXPECT_EQ(r.SwapXY, c.swap) << kind;
        // The transform brings each touch back to within a pixel or two of
        // where the finger was.
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(r.touch[i].x, finger[i].x, 2) << kind << " touch " << i;
            EXPECT_NEAR(r.touch[i].y, finger[i].y, 2) << kind << " touch " << i;
        }
        ExpectTouchesLandOnTargets(in, r);
    }
}

TEST(CalibrationMath, TransformsAreTheScreenFormsOfTheTable)
{
    // W - x, H - y, and the swaps scaled by the single-precision ratios.
    struct Case {
        TouchTransformKind kind;
        CalPoint out;
    };
    const Case cases[] = {
        {TouchTransformKind::None, {300, 200}}, {TouchTransformKind::M1, {724, 200}},
        {TouchTransformKind::M2, {724, 568}},   {TouchTransformKind::M3, {300, 568}},
        {TouchTransformKind::S0, {266, 225}},   {TouchTransformKind::S1, {758, 225}},
        {TouchTransformKind::S2, {758, 543}},   {TouchTransformKind::S3, {266, 543}},
    };
    for (const Case& c : cases) {
        CalPoint p{300, 200};
        ASSERT_TRUE(TransformCalibrationTouch(c.kind, kW, kH, &p));
        EXPECT_EQ(p, c.out) << static_cast<int>(c.kind);
    }
    CalPoint far{INT32_MIN, 0};
    EXPECT_FALSE(TransformCalibrationTouch(TouchTransformKind::M1, kW, kH, &far));
    CalPoint big{0, INT32_MAX};
    EXPECT_FALSE(TransformCalibrationTouch(TouchTransformKind::S0, kW, kH, &big));
}

TEST(CalibrationMath, RuleEKeepsTheMountingOfTheStart)
{
    // Distances exactly at their bounds are neither near nor far.
    const CalibrationInput in = Input({122 + 24, 92 + 18}, {122 + 24, 676 + 135}, {902 + 180, 676 + 135});
    const CalibrationResult r = ComputeCalibration(in);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rule, MountingRule::E);
    EXPECT_EQ(r.transform, TouchTransformKind::None);
    EXPECT_EQ(r.Rotate, 0);
    EXPECT_EQ(r.SwapXY, 0);
    EXPECT_EQ(r.touch[0], in.touch[0]);
}

TEST(CalibrationMath, MarginZeroHasBoundsOfZero)
{
    // Cross 1 at (0, 0): its bounds are 0, so it is never near and rule A
    // cannot hold even for touches exactly on the crosses.
    const CalPoint targets[3] = {{0, 0}, {0, kH}, {kW, kH}};
    const CalibrationResult r = ComputeCalibration(Input(targets[0], targets[1], targets[2], targets));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.rule, MountingRule::E);
    EXPECT_EQ(r.Rotate, 0);
    EXPECT_EQ(r.SwapXY, 0);
}

TEST(CalibrationMath, FaultsAbortTheComputation)
{
    struct Case {
        const char* what;
        CalibrationInput in;
        CalibrationFault fault;
    };
    // Touches 0 and 2 a pixel apart for crosses two billion pixels apart.
    const CalPoint kFarTarget[3] = {{122, 92}, {122, 676}, {2000000000, 676}};
    CalibrationInput badScreen = Input(kTargets[0], kTargets[1], kTargets[2]);
    badScreen.screenHeight = 0;
    CalibrationInput negativeScreen = badScreen;
    negativeScreen.screenHeight = kH;
    negativeScreen.screenWidth = -5;
    const Case cases[] = {
        {"touch 0 and 2 in one column", Input({130, 100}, {130, 660}, {130, 650}),
         CalibrationFault::ZeroDenominator},
        {"touch 0 and 2 in one row", Input({132, 100}, {130, 660}, {880, 100}),
         CalibrationFault::ZeroDenominator},
        {"all touches in one place", Input({500, 400}, {500, 400}, {500, 400}),
         CalibrationFault::ZeroDenominator},
        {"distance beyond 32 bits", Input({INT32_MIN, 100}, {130, 660}, {880, 650}),
         CalibrationFault::Overflow},
        {"mirror beyond 32 bits", Input({INT32_MIN + 1000, 92}, {INT32_MIN + 1000, 676}, {880, 650}),
         CalibrationFault::Overflow},
        {"gain beyond 32 bits after R()", Input({123, 93}, {122, 676}, {124, 675}, kFarTarget),
         CalibrationFault::NotRepresentable},
        {"screen without height", badScreen, CalibrationFault::BadScreen},
        {"negative screen", negativeScreen, CalibrationFault::BadScreen},
    };
    for (const Case& c : cases) {
        const CalibrationResult r = ComputeCalibration(c.in);
        EXPECT_FALSE(r.ok()) << c.what;
        EXPECT_EQ(r.fault, c.fault) << c.what;
    }
}

TEST(CalibrationMath, RoundsHalvesAwayFromZero)
{
    struct Case {
        double v;
        bool ok;
        int32_t out;
    };
    const Case cases[] = {
        {-0.5, true, -1},
        {0.5, true, 1},
        {-0.4, true, 0},
        {0.4, true, 0},
        {0.0, true, 0},
        {1234.5, true, 1235},
        {-1001.40, true, -1001},
        {2147483647.4, true, INT32_MAX},
        {2147483647.5, false, 0},
        {-2147483648.4, true, INT32_MIN},
        {-2147483648.5, false, 0},
        {std::numeric_limits<double>::infinity(), false, 0},
        {-std::numeric_limits<double>::infinity(), false, 0},
        {std::numeric_limits<double>::quiet_NaN(), false, 0},
    };
    for (const Case& c : cases) {
        int32_t out = 77;
        EXPECT_EQ(RoundAway(c.v, &out), c.ok) << c.v;
        if (c.ok) EXPECT_EQ(out, c.out) << c.v;
    }
}

TEST(CalibrationMath, MarginsAndCrosses)
{
    struct Case {
        int32_t marker;
        CalPoint margins;
    };
    const Case cases[] = {
        {kMarkerDistance0, {0, 0}},
        {kMarkerDistance12, {122, 92}},
        {kMarkerDistance22, {225, 168}},
        {0, {0, 0}},
        {1050, {0, 0}},
        {-1, {0, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MarginsFor(c.marker, kW, kH), c.margins) << c.marker;

    const CalPoint m = MarginsFor(kMarkerDistance12, kW, kH);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CrossTarget(i, 0, 0, kW, kH, m), kTargets[i]);
    EXPECT_EQ(CrossTarget(1, 0, 0, kW, kH, CalPoint{}), (CalPoint{0, kH}));
}

TEST(CalibrationMath, StepsOfThePressLiftTable)
{
    struct Case {
        uint32_t step;
        uint32_t afterPress;
        uint32_t afterLift;
        int touchTaken; // at the lift
        PaintAction paint;
    };
    const Case cases[] = {
        {0, 1, 1, -1, PaintAction::DrawCross},     {1, 1, 2, 0, PaintAction::Abort},
        {2, 3, 3, -1, PaintAction::DrawCross},     {3, 3, 4, 1, PaintAction::Abort},
        {4, 5, 5, -1, PaintAction::DrawCross},     {5, 5, 6, 2, PaintAction::Abort},
        {6, 6, 7, -1, PaintAction::ComputeResult}, {7, 7, 8, -1, PaintAction::Nothing},
        {8, 8, 8, -1, PaintAction::Abort},         {UINT32_MAX, UINT32_MAX, 8, -1, PaintAction::Abort},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StepAfterPress(c.step).step, c.afterPress) << c.step;
        EXPECT_EQ(StepAfterPress(c.step).touchIndex, -1) << c.step;
        EXPECT_EQ(StepAfterLift(c.step).step, c.afterLift) << c.step;
        EXPECT_EQ(StepAfterLift(c.step).touchIndex, c.touchTaken) << c.step;
        EXPECT_EQ(PaintFor(c.step).action, c.paint) << c.step;
    }
    EXPECT_EQ(PaintFor(4).crossIndex, 2);
}

// The walk of a finger doing everything right, with the check point and
// with five crosses: every cross drawn in its step, every touch taken at its
// lift; a repaint with the finger down, a lift where none belongs and a
// touch beside the confirm button lead to a paint that aborts.
TEST(CalibrationMath, StepsWithTheCheckPointAndFiveCrosses)
{
    struct Case {
        RunLayout layout;
        uint32_t computing, checkShown, confirming;
    };
    const Case cases[] = {
        {{3, false}, 6, 0, 7}, {{3, true}, 6, 7, 10}, {{5, false}, 10, 0, 11}, {{5, true}, 10, 11, 14}};
    for (const Case& c : cases) {
        const RunLayout l = c.layout;
        SCOPED_TRACE(testing::Message() << l.crosses << " crosses, check " << l.check);
        EXPECT_EQ(ComputingStep(l), c.computing);
        EXPECT_EQ(ConfirmingStep(l), c.confirming);
        uint32_t step = 0;
        int taken = 0;
        for (int guard = 0; guard < 40 && step != c.confirming; ++guard) {
            const PaintPlan paint = PaintFor(step, l);
            if (paint.action == PaintAction::ComputeResult || paint.action == PaintAction::JudgeCheck) {
                step = paint.action == PaintAction::ComputeResult && l.check ? c.checkShown : c.confirming;
                continue;
            }
            ASSERT_EQ(paint.action, taken < l.crosses ? PaintAction::DrawCross : PaintAction::DrawCheckPoint);
            if (taken < l.crosses) {
                EXPECT_EQ(paint.crossIndex, taken);
            }
            const uint32_t down = StepAfterPress(step, l).step;
            ASSERT_EQ(down, step + 1);
            EXPECT_EQ(PaintFor(down, l).action, PaintAction::Abort);
            EXPECT_EQ(StepAfterPress(down, l).step, down);
            EXPECT_EQ(StepAfterLift(down, l).touchIndex, taken++);
            step = StepAfterLift(down, l).step;
        }
        EXPECT_EQ(taken, l.crosses + (l.check ? 1 : 0));
        if (l.check) {
            EXPECT_EQ(PaintFor(StepAfterLift(c.checkShown, l).step, l).action, PaintAction::Abort);
        }
        EXPECT_EQ(PaintFor(c.confirming, l).action, PaintAction::Nothing);
        const uint32_t beside = StepAfterLift(c.confirming, l).step;
        EXPECT_EQ(PaintFor(beside, l).action, PaintAction::Abort);
        EXPECT_EQ(StepAfterLift(UINT32_MAX, l).step, beside);
    }
}

TEST(CalibrationMath, ConfirmButtonNearTheTopCentre)
{
    EXPECT_EQ(ConfirmButtonOrigin(1024, 768, 0, 0), (CalPoint{512, 0}));
    EXPECT_EQ(ConfirmButtonOrigin(1024, 768, 32767, 32767), (CalPoint{639, 85}));
    EXPECT_EQ(ConfirmButtonOrigin(3, 1, 32767, 32767), (CalPoint{1, 0}));
    EXPECT_EQ(ConfirmButtonOrigin(0, 0, 5, 5), (CalPoint{0, 0}));
}

} // namespace
