// The calibration run without the window: where the crosses stand, how the
// press/lift steps advance, how the sensor's mounting is told from the three
// touches, and the line correction that puts the touches on their crosses.
// Platform-free; the calibration window feeds it screen pixels.
#pragma once

#include <cstdint>

// Marker-distance choices (the control ids of the Calibration page's radio
// buttons) as `MarkerDistance` holds them.
constexpr int32_t kMarkerDistance0 = 1047;
constexpr int32_t kMarkerDistance12 = 1048;
constexpr int32_t kMarkerDistance22 = 1049;

struct CalPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const CalPoint&) const = default;
};

// Distance of the crosses from the screen edges in pixels: 12 % or 22 % of
// the screen size for 1048 and 1049, none for any other value.
CalPoint MarginsFor(int32_t markerDistance, uint32_t screenWidth, uint32_t screenHeight);

// Screen position of cross 0 (top left), 1 (bottom left) or 2 (bottom right)
// in the client rectangle (left, top, right, bottom) with the given margins.
CalPoint CrossTarget(int cross, int32_t left, int32_t top, int32_t right, int32_t bottom, CalPoint margins);

// --- steps ------------------------------------------------------------------

// How a run is laid out: three crosses (or five), then the check point
// unless "CheckLimit" is 0.
struct RunLayout {
    int crosses = 3;
    bool check = false;
};

// Cross k is shown in step 2k and the finger is down on it in step 2k + 1.
// After the last cross: computing at the next paint; with the check point,
// the check point shown, the finger down on it, judging its touch at the
// next paint; then the confirm button shown; beyond that, invalid. A plain
// three-cross run: 0..5 crosses, 6 computing, 7 confirm button, 8 invalid.
constexpr uint32_t kStepComputing = 6;
constexpr uint32_t kStepConfirming = 7;
uint32_t ComputingStep(RunLayout layout);
uint32_t CheckShownStep(RunLayout layout); // only with the check point
uint32_t JudgingStep(RunLayout layout);    // only with the check point
uint32_t ConfirmingStep(RunLayout layout);

// What a press or lift does to the step. touchIndex is the touch to take
// (the cursor position at the lift) or -1; layout.crosses stands for the
// check point's touch.
struct StepChange {
    uint32_t step = 0;
    int touchIndex = -1;
};
StepChange StepAfterPress(uint32_t step, RunLayout layout = {});
StepChange StepAfterLift(uint32_t step, RunLayout layout = {});

enum class PaintAction : uint8_t {
    DrawCross,      // the cross of crossIndex
    ComputeResult,  // run the computation, then the check point or the confirm button
    DrawCheckPoint, // the check point
    JudgeCheck,     // the check point's touch: the confirm button, or a refusal
    Nothing,        // the confirm button is shown
    Abort,          // a paint in a step that cannot be painted ends the run
};
struct PaintPlan {
    PaintAction action = PaintAction::Abort;
    int crossIndex = -1;
};
PaintPlan PaintFor(uint32_t step, RunLayout layout = {});

// --- the computation ----------------------------------------------------------

enum class MountingRule : uint8_t { A, B, C, D, E };

// How a touch set is transformed before the line correction: none, a mirror
// (M1..M3) or a swap with a mirror (S0..S3); the digit is `Rotate`.
enum class TouchTransformKind : uint8_t { None, M1, M2, M3, S0, S1, S2, S3 };

struct CalibrationInput {
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    CalPoint target[3];
    CalPoint touch[3]; // cursor positions taken at the lifts
};

enum class CalibrationFault : uint8_t {
    None,
    BadScreen,        // width or height not positive
    Overflow,         // a 32-bit intermediate or a transformed touch does not fit
    ZeroDenominator,  // touch 0 and touch 2 in the same column or row
    NotRepresentable, // a line value is not finite or does not fit 32 bits after R()
};

struct CalibrationResult {
    CalibrationFault fault = CalibrationFault::None;
    MountingRule rule = MountingRule::E;
    TouchTransformKind transform = TouchTransformKind::None;
    int32_t Rotate = 0;
    int32_t SwapXY = 0;
    CalPoint touch[3]; // after the transform
    int32_t LineDirX = 0;
    int32_t LineDirY = 0;
    int32_t LineShiftX = 0;
    int32_t LineShiftY = 0;

    bool ok() const { return fault == CalibrationFault::None; }
};

// Mounting decision, transform and line correction. Nothing of a result
// whose fault is not None may be used.
CalibrationResult ComputeCalibration(const CalibrationInput& input);

// Which rule the distances of the three touches from their targets pick.
MountingRule ChooseMountingRule(const CalPoint target[3], const CalPoint touch[3],
                                TouchTransformKind* transform);

// One touch through a transform on a width x height screen; false when the
// result does not fit 32 bits.
bool TransformCalibrationTouch(TouchTransformKind kind, int32_t width, int32_t height, CalPoint* touch);

// A half moved away from zero, then truncated toward zero. False when v is
// not finite or the result does not fit 32 bits.
bool RoundAway(double v, int32_t* out);

// --- the confirm button --------------------------------------------------------

// Where the confirm button goes in a client area of width x height: a short
// random distance (r1, r2 are draws 0..32767, r1 first) right of the
// horizontal centre and below the top edge.
CalPoint ConfirmButtonOrigin(int32_t width, int32_t height, int32_t r1, int32_t r2);
