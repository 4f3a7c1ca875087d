#include "calibration/CalibrationCheck.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kAbsoluteScale = 65535.0;

int64_t Abs64(int64_t v)
{
    return v < 0 ? -v : v;
}

// Far enough from every cross: an eighth of the width or of the height
// away along at least one axis.
bool ClearOfCrosses(CalPoint p, int32_t width, int32_t height, const CalPoint* crosses, int count)
{
    const int64_t minX = width / 8;
    const int64_t minY = height / 8;
    for (int i = 0; i < count; ++i) {
        const int64_t dx = Abs64(static_cast<int64_t>(p.x) - crosses[i].x);
        const int64_t dy = Abs64(static_cast<int64_t>(p.y) - crosses[i].y);
        if (dx < minX && dy < minY) return false;
    }
    return true;
}

// The gain and offset (in pixels) of one axis: target - touch = k x touch
// + offset, by least squares over the crosses.
CalibrationFault FitAxis(const int64_t* target, const int64_t* touch, int count, int32_t size, int32_t* dir,
                         int32_t* shift)
{
    double meanP = 0;
    double meanD = 0;
    for (int i = 0; i < count; ++i) {
        meanP += static_cast<double>(touch[i]);
        meanD += static_cast<double>(target[i] - touch[i]);
    }
    meanP /= count;
    meanD /= count;
    double spread = 0;
    double together = 0;
    for (int i = 0; i < count; ++i) {
        const double p = static_cast<double>(touch[i]) - meanP;
        spread += p * p;
        together += p * (static_cast<double>(target[i] - touch[i]) - meanD);
    }
    if (spread == 0) return CalibrationFault::ZeroDenominator;
    const double k = together / spread;
    const double offset = (meanD - k * meanP) * kAbsoluteScale / size;
    if (!RoundAway(k * 1000.0, dir) || !RoundAway(offset, shift)) return CalibrationFault::NotRepresentable;
    return CalibrationFault::None;
}

int32_t CorrectAxis(int32_t p, int32_t size, int32_t dir, int32_t shift)
{
    // The touch path works on the absolute scale: there and back.
    const double v = static_cast<double>(p) * kAbsoluteScale / size;
    const double corrected = v + std::trunc(static_cast<double>(dir) * v / 1000.0) + shift;
    return static_cast<int32_t>(std::lround(corrected * size / kAbsoluteScale));
}

} // namespace

CalPoint ExtraCrossTarget(int cross, int32_t left, int32_t top, int32_t right, int32_t bottom,
                          CalPoint margins)
{
    if (cross == 3) return CalPoint{right - margins.x, top + margins.y};
    return CalPoint{left + (right - left) / 2, top + (bottom - top) / 2};
}

CalPoint CheckPointTarget(int32_t width, int32_t height, const CalPoint* crosses, int count, int32_t r1,
                          int32_t r2)
{
    // The middle half of the screen: a quarter in from every edge.
    const int32_t x0 = width / 4;
    const int32_t y0 = height / 4;
    const int32_t spanX = width / 2;
    const int32_t spanY = height / 2;
    const auto draw = [](int32_t r, int32_t span) {
        const int64_t v = r < 0 ? 0 : (r > 32767 ? 32767 : r);
        return static_cast<int32_t>(v * span / 32768);
    };
    const CalPoint drawn{x0 + draw(r1, spanX), y0 + draw(r2, spanY)};
    if (ClearOfCrosses(drawn, width, height, crosses, count)) return drawn;

    // A fixed grid over the middle half, nearest to the draw first.
    constexpr int kGrid = 8;
    CalPoint best = drawn;
    int64_t bestDistance = -1;
    for (int gy = 0; gy <= kGrid; ++gy) {
        for (int gx = 0; gx <= kGrid; ++gx) {
            const CalPoint p{x0 + spanX * gx / kGrid, y0 + spanY * gy / kGrid};
            if (!ClearOfCrosses(p, width, height, crosses, count)) continue;
            const int64_t dx = static_cast<int64_t>(p.x) - drawn.x;
            const int64_t dy = static_cast<int64_t>(p.y) - drawn.y;
            const int64_t d = dx * dx + dy * dy;
            if (bestDistance < 0 || d < bestDistance) {
                best = p;
                bestDistance = d;
            }
        }
    }
    return best;
}

bool IsBounce(bool hadLift, uint32_t lastLiftMs, uint32_t nowMs)
{
    return hadLift && nowMs - lastLiftMs < kCalibrationBounceMs;
}

int32_t CheckResidual(CalPoint target, CalPoint touched)
{
    const double dx = static_cast<double>(target.x) - touched.x;
    const double dy = static_cast<double>(target.y) - touched.y;
    const double d = std::lround(std::sqrt(dx * dx + dy * dy));
    return d > INT32_MAX ? INT32_MAX : static_cast<int32_t>(d);
}

bool ResidualAccepted(int32_t residual, int32_t limit)
{
    return limit <= 0 || residual <= limit;
}

bool TouchesFitCrosses(const CalPoint* target, const CalPoint* touch, int count, int32_t limit,
                       int32_t* worst)
{
    int64_t largest = 0;
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            if (target[i].x == target[j].x) {
                const int64_t miss = Abs64(static_cast<int64_t>(touch[i].x) - touch[j].x);
                if (miss > largest) largest = miss;
            }
            if (target[i].y == target[j].y) {
                const int64_t miss = Abs64(static_cast<int64_t>(touch[i].y) - touch[j].y);
                if (miss > largest) largest = miss;
            }
        }
    }
    if (worst != nullptr) *worst = largest > INT32_MAX ? INT32_MAX : static_cast<int32_t>(largest);
    return limit <= 0 || largest <= limit;
}

LineFit FitLineCorrection(const CalPoint* target, const CalPoint* touch, int count, int32_t width,
                          int32_t height)
{
    LineFit fit;
    if (width <= 0 || height <= 0) {
        fit.fault = CalibrationFault::BadScreen;
        return fit;
    }
    if (count < 2 || count > kMaxCalibrationPoints) {
        fit.fault = CalibrationFault::ZeroDenominator;
        return fit;
    }
    int64_t tx[kMaxCalibrationPoints];
    int64_t ty[kMaxCalibrationPoints];
    int64_t px[kMaxCalibrationPoints];
    int64_t py[kMaxCalibrationPoints];
    for (int i = 0; i < count; ++i) {
        tx[i] = target[i].x;
        ty[i] = target[i].y;
        px[i] = touch[i].x;
        py[i] = touch[i].y;
    }
    fit.fault = FitAxis(tx, px, count, width, &fit.LineDirX, &fit.LineShiftX);
    if (fit.fault == CalibrationFault::None)
        fit.fault = FitAxis(ty, py, count, height, &fit.LineDirY, &fit.LineShiftY);
    return fit;
}

CalibrationResult ComputeFivePointCalibration(const CalibrationInput& firstThree,
                                              const CalPoint extraTarget[2], const CalPoint extraTouch[2])
{
    CalibrationResult r = ComputeCalibration(firstThree);
    if (!r.ok()) return r;

    CalPoint target[kMaxCalibrationPoints];
    CalPoint touch[kMaxCalibrationPoints];
    for (int i = 0; i < 3; ++i) {
        target[i] = firstThree.target[i];
        touch[i] = r.touch[i];
    }
    for (int i = 0; i < 2; ++i) {
        target[3 + i] = extraTarget[i];
        touch[3 + i] = extraTouch[i];
        if (!TransformCalibrationTouch(r.transform, firstThree.screenWidth, firstThree.screenHeight,
                                       &touch[3 + i])) {
            r.fault = CalibrationFault::Overflow;
            return r;
        }
    }
    const LineFit fit = FitLineCorrection(target, touch, kMaxCalibrationPoints, firstThree.screenWidth,
                                          firstThree.screenHeight);
    r.fault = fit.fault;
    r.LineDirX = fit.LineDirX;
    r.LineDirY = fit.LineDirY;
    r.LineShiftX = fit.LineShiftX;
    r.LineShiftY = fit.LineShiftY;
    return r;
}

CalPoint ApplyLineCorrection(CalPoint p, int32_t width, int32_t height, int32_t LineDirX, int32_t LineDirY,
                             int32_t LineShiftX, int32_t LineShiftY)
{
    if (width <= 0 || height <= 0) return p;
    return CalPoint{CorrectAxis(p.x, width, LineDirX, LineShiftX),
                    CorrectAxis(p.y, height, LineDirY, LineShiftY)};
}

void FillNumber(const char* pattern, int32_t value, char* buffer, size_t size)
{
    if (buffer == nullptr || size == 0) return;
    char number[16] = {};
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(value));
    size_t n = 0;
    bool filled = false;
    for (const char* p = pattern != nullptr ? pattern : ""; *p != '\0' && *p != '\r' && *p != '\n'; ++p) {
        if (!filled && p[0] == '%' && p[1] == 'i') {
            for (const char* q = number; *q != '\0' && n + 1 < size; ++q)
                buffer[n++] = *q;
            filled = true;
            ++p;
            continue;
        }
        if (n + 1 < size) buffer[n++] = *p;
    }
    buffer[n] = '\0';
}
