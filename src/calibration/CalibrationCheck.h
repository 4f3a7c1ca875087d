// How good a calibration is, without the window: where the check point
// stands, how far its touch landed from it, whether the touches of a run fit
// the crosses' layout, and the least-squares line correction over more than
// two crosses. Platform-free; the calibration window feeds it screen pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calibration/CalibrationMath.h"

// "CheckLimit" when none is stored: a check point further off than this many
// pixels refuses the run. 0 switches the check off.
constexpr int32_t kDefaultCheckLimit = 15;
// Refused attempts after which the run gives up, as Escape does.
constexpr int kCalibrationAttempts = 3;
// A touch closer than this to the one before it is a bounce.
constexpr uint32_t kCalibrationBounceMs = 200;
// "CalibrationPoints": 3 (the default) or 5.
constexpr int32_t kCalibrationPointsDefault = 3;
constexpr int kMaxCalibrationPoints = 5;

// The targets of the two extra crosses of a five-point run in the client
// rectangle with the given margins: 3 top right, 4 the centre.
CalPoint ExtraCrossTarget(int cross, int32_t left, int32_t top, int32_t right, int32_t bottom,
                          CalPoint margins);

// The check point on a width x height screen: inside the middle half,
// at least an eighth of the width or of the height away from every cross of
// the run (count crosses), placed by the draws r1, r2 (0..32767). Where the
// draw lands too close, the nearest free place of a fixed grid is taken, so
// that the result never depends on drawing again.
CalPoint CheckPointTarget(int32_t width, int32_t height, const CalPoint* crosses, int count, int32_t r1,
                          int32_t r2);

// Whether a press comes so soon after the previous lift (at lastLiftMs; none
// yet when hadLift is false) that it is the finger bouncing, in message time
// (milliseconds, wrapping).
bool IsBounce(bool hadLift, uint32_t lastLiftMs, uint32_t nowMs);

// Distance between the check point and where its touch landed, in whole
// pixels (rounded to the nearest).
int32_t CheckResidual(CalPoint target, CalPoint touched);

// Whether a residual is accepted under "CheckLimit" (0 accepts everything).
bool ResidualAccepted(int32_t residual, int32_t limit);

// Whether the touches of a run fit the geometry of its crosses: crosses
// that share a screen column must have touches that share one (within
// limit pixels), and likewise for rows. The touches are the cursor
// positions with the zeroed calibration after the mounting transform, so
// they are the sensor's counts scaled onto the screen, and a pixel of the
// limit is a pixel there. worst gets the largest miss found; limit 0 fits
// everything.
bool TouchesFitCrosses(const CalPoint* target, const CalPoint* touch, int count, int32_t limit,
                       int32_t* worst);

// The line correction fitted to count crosses (2 or more) by least squares
// per axis, into the stored form (LineDir as (scale - 1) x 1000, LineShift
// on the absolute 0..65535 scale). For touches without noise it puts every
// touch on its cross within the rounding of the stored values.
struct LineFit {
    CalibrationFault fault = CalibrationFault::None;
    int32_t LineDirX = 0;
    int32_t LineDirY = 0;
    int32_t LineShiftX = 0;
    int32_t LineShiftY = 0;
};
LineFit FitLineCorrection(const CalPoint* target, const CalPoint* touch, int count, int32_t width,
                          int32_t height);

// A five-point run: the mounting from the first three crosses as the
// three-point run finds it, then the correction fitted to all five touches
// after the same transform.
CalibrationResult ComputeFivePointCalibration(const CalibrationInput& firstThree,
                                              const CalPoint extraTarget[2], const CalPoint extraTouch[2]);

// Where a touch at screen pixel p lands with a line correction: the touch
// path's arithmetic on the absolute scale, back in pixels.
CalPoint ApplyLineCorrection(CalPoint p, int32_t width, int32_t height, int32_t LineDirX, int32_t LineDirY,
                             int32_t LineShiftX, int32_t LineShiftY);

// A message-table text with one number: pattern up to its first line end,
// its first "%i" replaced by value, every other character (another '%'
// included) as it is. Into buffer[size], always NUL-terminated when size > 0;
// the pattern is never used as a format.
void FillNumber(const char* pattern, int32_t value, char* buffer, size_t size);
