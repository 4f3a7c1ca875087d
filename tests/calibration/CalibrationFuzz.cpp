// Fuzz target for the calibration computation: arbitrary screen sizes,
// targets and touches, and an arbitrary press/lift sequence.
//
// Input layout: 2 x int32 screen size, 3 x 2 x int32 targets, 3 x 2 x int32
// touches (little-endian, missing bytes read as 0), then one byte per
// press (even) or lift (odd).
// Invariants checked:
//  - the computation is deterministic;
//  - a result without fault has Rotate 0..3 and SwapXY 0/1 matching its
//    transform, rule E only with no transform, and transformed touches 0
//    and 2 in different columns and rows (the denominators were not zero);
//  - a zero-denominator fault means touches 0 and 2 share a column or row;
//  - the step machine never leaves an invalid step for a valid one.
#include "calibration/CalibrationMath.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

int32_t Take(const uint8_t*& data, size_t& size)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t byte = 0;
        if (size > 0) {
            byte = *data++;
            --size;
        }
        v |= byte << (8 * i);
    }
    int32_t out = 0;
    std::memcpy(&out, &v, sizeof out);
    return out;
}

bool SameResult(const CalibrationResult& a, const CalibrationResult& b)
{
    bool same = a.fault == b.fault && a.rule == b.rule && a.transform == b.transform &&
                a.Rotate == b.Rotate && a.SwapXY == b.SwapXY && a.LineDirX == b.LineDirX &&
                a.LineDirY == b.LineDirY && a.LineShiftX == b.LineShiftX && a.LineShiftY == b.LineShiftY;
    for (int i = 0; i < 3; ++i)
        same = same && a.touch[i] == b.touch[i];
    return same;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CalibrationInput in;
    in.screenWidth = Take(data, size);
    in.screenHeight = Take(data, size);
    for (CalPoint& p : in.target) {
        p.x = Take(data, size);
        p.y = Take(data, size);
    }
    for (CalPoint& p : in.touch) {
        p.x = Take(data, size);
        p.y = Take(data, size);
    }

    const CalibrationResult r = ComputeCalibration(in);
    Check(SameResult(r, ComputeCalibration(in)), "deterministic");
    if (r.ok()) {
        const int kind = static_cast<int>(r.transform);
        const bool swapped = r.transform >= TouchTransformKind::S0;
        Check(r.SwapXY == (swapped ? 1 : 0), "SwapXY matches the transform");
        Check(r.Rotate == (swapped ? kind - static_cast<int>(TouchTransformKind::S0) : kind),
              "Rotate matches");
        Check(r.Rotate >= 0 && r.Rotate <= 3, "Rotate 0..3");
        Check(r.rule != MountingRule::E || r.transform == TouchTransformKind::None,
              "rule E transforms nothing");
        Check(r.touch[0].x != r.touch[2].x && r.touch[0].y != r.touch[2].y, "denominators not zero");
    }
    if (r.fault == CalibrationFault::ZeroDenominator)
        Check(r.touch[0].x == r.touch[2].x || r.touch[0].y == r.touch[2].y, "zero denominator is real");

    uint32_t step = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t before = step;
        step = (data[i] & 1) != 0 ? StepAfterLift(step).step : StepAfterPress(step).step;
        Check(before < 8 || step >= 8, "an invalid step stays invalid");
        Check(PaintFor(step).action != PaintAction::DrawCross || PaintFor(step).crossIndex == int(step / 2),
              "cross of the step");
    }
    return 0;
}
