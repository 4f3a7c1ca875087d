#include "calibration/CalibrationMath.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kAbsoluteScale = 65535.0;

bool FitsInt32(int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

// A double stored as single precision, as the computation keeps its
// quotients; false when it is not finite or beyond the float range.
bool ToFloat(double v, float* out)
{
    if (!std::isfinite(v) || std::fabs(v) > static_cast<double>(FLT_MAX)) return false;
    *out = static_cast<float>(v);
    return true;
}

// trunc(v) toward zero as a 32-bit value; false when it does not fit.
bool TruncInt32(double v, int64_t* out)
{
    if (!std::isfinite(v)) return false;
    const double t = std::trunc(v);
    if (t < static_cast<double>(INT32_MIN) || t > static_cast<double>(INT32_MAX)) return false;
    *out = static_cast<int64_t>(t);
    return true;
}

// A quotient of screen sizes, kept in single precision.
float ScreenRatio(int32_t a, int32_t b)
{
    return static_cast<float>(static_cast<double>(a) / b);
}

int64_t Distance(int32_t a, int32_t b)
{
    const int64_t d = static_cast<int64_t>(a) - b;
    return d < 0 ? -d : d;
}

struct Distances {
    int64_t dx[3];
    int64_t dy[3];
    int32_t bx[3];
    int32_t by[3];

    bool NearX(int i) const { return dx[i] < bx[i]; }
    bool NearY(int i) const { return dy[i] < by[i]; }
    bool FarX(int i) const { return dx[i] > bx[i]; }
    bool FarY(int i) const { return dy[i] > by[i]; }
};

Distances Measure(const CalPoint target[3], const CalPoint touch[3])
{
    Distances d{};
    for (int i = 0; i < 3; ++i) {
        d.dx[i] = Distance(target[i].x, touch[i].x);
        d.dy[i] = Distance(target[i].y, touch[i].y);
        d.bx[i] = target[i].x / 5;
        d.by[i] = target[i].y / 5;
    }
    return d;
}

// Applies one transform to a touch; false when the result does not fit.
bool Transform(TouchTransformKind kind, int32_t w, int32_t h, float ratioWH, float ratioHW, CalPoint* p)
{
    int64_t x = p->x;
    int64_t y = p->y;
    int64_t sx = 0; // y scaled onto the x axis, x onto the y axis
    int64_t sy = 0;
    const bool swap = kind == TouchTransformKind::S0 || kind == TouchTransformKind::S1 ||
                      kind == TouchTransformKind::S2 || kind == TouchTransformKind::S3;
    if (swap && (!TruncInt32(static_cast<double>(p->y) * static_cast<double>(ratioWH), &sx) ||
                 !TruncInt32(static_cast<double>(p->x) * static_cast<double>(ratioHW), &sy))) {
        return false;
    }
    switch (kind) {
    case TouchTransformKind::None:
        break;
    case TouchTransformKind::M1:
        x = w - x;
        break;
    case TouchTransformKind::M2:
        x = w - x;
        y = h - y;
        break;
    case TouchTransformKind::M3:
        y = h - y;
        break;
    case TouchTransformKind::S0:
        x = sx;
        y = sy;
        break;
    case TouchTransformKind::S1:
        x = w - sx;
        y = sy;
        break;
    case TouchTransformKind::S2:
        x = w - sx;
        y = h - sy;
        break;
    case TouchTransformKind::S3:
        x = sx;
        y = h - sy;
        break;
    }
    if (!FitsInt32(x) || !FitsInt32(y)) return false;
    p->x = static_cast<int32_t>(x);
    p->y = static_cast<int32_t>(y);
    return true;
}

// Line correction of one axis: the gain k from touches 0 and 2 and the
// offset on the absolute scale. t0/t2 targets, p0/p2 transformed touches,
// size the screen size along the axis.
CalibrationFault LineCorrection(int32_t t0, int32_t p0, int32_t t2, int32_t p2, int32_t size, int32_t* dir,
                                int32_t* shift)
{
    const int64_t diff = static_cast<int64_t>(t0) - p0;
    const int64_t diff2 = static_cast<int64_t>(t2) - p2;
    const int64_t numerator = diff - diff2;
    const int64_t denominator = static_cast<int64_t>(p0) - p2;
    if (!FitsInt32(diff) || !FitsInt32(diff2) || !FitsInt32(numerator) || !FitsInt32(denominator))
        return CalibrationFault::Overflow;
    if (denominator == 0) return CalibrationFault::ZeroDenominator;

    float k = 0;
    float offset = 0;
    if (!ToFloat(static_cast<double>(numerator) / static_cast<double>(denominator), &k))
        return CalibrationFault::NotRepresentable;
    const double shifted = (static_cast<double>(diff) - static_cast<double>(k) * static_cast<double>(p0)) *
                           kAbsoluteScale / size;
    if (!ToFloat(shifted, &offset)) return CalibrationFault::NotRepresentable;
    if (!RoundAway(static_cast<double>(k) * 1000.0, dir) || !RoundAway(static_cast<double>(offset), shift))
        return CalibrationFault::NotRepresentable;
    return CalibrationFault::None;
}

} // namespace

CalPoint MarginsFor(int32_t markerDistance, uint32_t screenWidth, uint32_t screenHeight)
{
    uint32_t percent = 0;
    if (markerDistance == kMarkerDistance12) percent = 12;
    if (markerDistance == kMarkerDistance22) percent = 22;
    // In 64 bits so that no screen size can wrap the product; a fifth of
    // any 32-bit size fits a 32-bit margin.
    const uint64_t x = static_cast<uint64_t>(screenWidth) * percent / 100;
    const uint64_t y = static_cast<uint64_t>(screenHeight) * percent / 100;
    return CalPoint{static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

CalPoint CrossTarget(int cross, int32_t left, int32_t top, int32_t right, int32_t bottom, CalPoint margins)
{
    switch (cross) {
    case 0:
        return CalPoint{left + margins.x, top + margins.y};
    case 1:
        return CalPoint{left + margins.x, bottom - margins.y};
    default:
        return CalPoint{right - margins.x, bottom - margins.y};
    }
}

uint32_t ComputingStep(RunLayout layout)
{
    const int crosses = layout.crosses < 3 ? 3 : (layout.crosses > 5 ? 5 : layout.crosses);
    return static_cast<uint32_t>(2 * crosses);
}

uint32_t CheckShownStep(RunLayout layout)
{
    return ComputingStep(layout) + 1;
}

uint32_t JudgingStep(RunLayout layout)
{
    return ComputingStep(layout) + 3;
}

uint32_t ConfirmingStep(RunLayout layout)
{
    return ComputingStep(layout) + (layout.check ? 4 : 1);
}

StepChange StepAfterPress(uint32_t step, RunLayout layout)
{
    const bool crossShown = step < ComputingStep(layout) && step % 2 == 0;
    const bool checkShown = layout.check && step == CheckShownStep(layout);
    return StepChange{crossShown || checkShown ? step + 1 : step, -1};
}

StepChange StepAfterLift(uint32_t step, RunLayout layout)
{
    StepChange change;
    if (step < ComputingStep(layout) && step % 2 == 1) change.touchIndex = static_cast<int>(step / 2);
    if (layout.check && step == CheckShownStep(layout) + 1)
        change.touchIndex = static_cast<int>(ComputingStep(layout) / 2);
    // Any lift moves on; from an invalid step it stays invalid rather than
    // wrapping round to a valid one.
    const uint32_t invalid = ConfirmingStep(layout) + 1;
    change.step = step >= invalid ? invalid : step + 1;
    return change;
}

PaintPlan PaintFor(uint32_t step, RunLayout layout)
{
    if (step < ComputingStep(layout))
        return step % 2 == 0 ? PaintPlan{PaintAction::DrawCross, static_cast<int>(step / 2)}
                             : PaintPlan{PaintAction::Abort, -1};
    if (step == ComputingStep(layout)) return PaintPlan{PaintAction::ComputeResult, -1};
    if (step == ConfirmingStep(layout)) return PaintPlan{PaintAction::Nothing, -1};
    if (layout.check && step == CheckShownStep(layout)) return PaintPlan{PaintAction::DrawCheckPoint, -1};
    if (layout.check && step == JudgingStep(layout)) return PaintPlan{PaintAction::JudgeCheck, -1};
    return PaintPlan{PaintAction::Abort, -1};
}

bool TransformCalibrationTouch(TouchTransformKind kind, int32_t width, int32_t height, CalPoint* touch)
{
    if (width <= 0 || height <= 0) return false;
    return Transform(kind, width, height, ScreenRatio(width, height), ScreenRatio(height, width), touch);
}

bool RoundAway(double v, int32_t* out)
{
    if (!std::isfinite(v)) return false;
    const double t = std::trunc(v >= 0 ? v + 0.5 : v - 0.5);
    if (t < static_cast<double>(INT32_MIN) || t > static_cast<double>(INT32_MAX)) return false;
    *out = static_cast<int32_t>(t);
    return true;
}

MountingRule ChooseMountingRule(const CalPoint target[3], const CalPoint touch[3],
                                TouchTransformKind* transform)
{
    const Distances d = Measure(target, touch);
    MountingRule rule = MountingRule::E;
    TouchTransformKind kind = TouchTransformKind::None;
    if (d.NearX(0) && d.NearY(0)) {
        rule = MountingRule::A;
        kind = d.NearX(1) && d.NearY(1) ? TouchTransformKind::None : TouchTransformKind::S0;
    } else if (d.FarX(1) && d.NearY(1)) {
        rule = MountingRule::B;
        kind = d.FarX(0) && d.NearY(0) ? TouchTransformKind::M1 : TouchTransformKind::S1;
    } else if (d.FarX(2) && d.FarY(2)) {
        rule = MountingRule::C;
        kind = d.FarX(1) && d.FarY(1) ? TouchTransformKind::M2 : TouchTransformKind::S2;
    } else if (d.NearX(1) && d.FarY(1)) {
        rule = MountingRule::D;
        kind = d.NearX(0) && d.FarY(0) ? TouchTransformKind::M3 : TouchTransformKind::S3;
    }
    if (transform != nullptr) *transform = kind;
    return rule;
}

CalibrationResult ComputeCalibration(const CalibrationInput& input)
{
    CalibrationResult r;
    const int32_t w = input.screenWidth;
    const int32_t h = input.screenHeight;
    if (w <= 0 || h <= 0) {
        r.fault = CalibrationFault::BadScreen;
        return r;
    }
    for (int i = 0; i < 3; ++i) {
        if (!FitsInt32(static_cast<int64_t>(input.target[i].x) - input.touch[i].x) ||
            !FitsInt32(static_cast<int64_t>(input.target[i].y) - input.touch[i].y)) {
            r.fault = CalibrationFault::Overflow;
            return r;
        }
    }

    const float ratioWH = ScreenRatio(w, h);
    const float ratioHW = ScreenRatio(h, w);

    r.rule = ChooseMountingRule(input.target, input.touch, &r.transform);
    switch (r.transform) {
    case TouchTransformKind::None:
        break;
    case TouchTransformKind::M1:
    case TouchTransformKind::M2:
    case TouchTransformKind::M3:
        r.Rotate = static_cast<int32_t>(r.transform) - static_cast<int32_t>(TouchTransformKind::None);
        break;
    case TouchTransformKind::S0:
    case TouchTransformKind::S1:
    case TouchTransformKind::S2:
    case TouchTransformKind::S3:
        r.Rotate = static_cast<int32_t>(r.transform) - static_cast<int32_t>(TouchTransformKind::S0);
        r.SwapXY = 1;
        break;
    }

    for (int i = 0; i < 3; ++i) {
        r.touch[i] = input.touch[i];
        if (!Transform(r.transform, w, h, ratioWH, ratioHW, &r.touch[i])) {
            r.fault = CalibrationFault::Overflow;
            return r;
        }
    }

    r.fault = LineCorrection(input.target[0].x, r.touch[0].x, input.target[2].x, r.touch[2].x, w, &r.LineDirX,
                             &r.LineShiftX);
    if (r.fault == CalibrationFault::None) {
        r.fault = LineCorrection(input.target[0].y, r.touch[0].y, input.target[2].y, r.touch[2].y, h,
                                 &r.LineDirY, &r.LineShiftY);
    }
    return r;
}

CalPoint ConfirmButtonOrigin(int32_t width, int32_t height, int32_t r1, int32_t r2)
{
    // A client area too small to divide leaves the button at the centre or
    // the top edge rather than dividing by zero.
    const int32_t xStep = width / 4;
    const int32_t yStep = height / 2;
    return CalPoint{width / 2 + (xStep != 0 ? r1 / xStep : 0), yStep != 0 ? r2 / yStep : 0};
}
