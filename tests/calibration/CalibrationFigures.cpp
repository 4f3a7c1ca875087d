// Not a test: prints the check point's residual, median and worst over 50
// simulated calibration runs, of three against five crosses at the same
// touch noise. The touches are aimed as the calibration tests aim them,
// through a sensor a little off in scale and offset, with the simulated
// device's touch noise (devsim "touch-noise"), and land where the cursor
// would; the calibration and the check are the program's own computations.
//
//   calibration_figures [runs]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "DeviceEngine.h"
#include "calibration/CalibrationCheck.h"
#include "calibration/CalibrationMath.h"

namespace {

constexpr int32_t kW = 1024;
constexpr int32_t kH = 768;

struct Sensor {
    double gainX, gainY;     // counts per count the PC expects
    double offsetX, offsetY; // counts
};

// The cursor position for a finger aimed at screen pixel p while the
// calibration is zeroed: the raw value the sensor reports there, with noise
// n (two coordinates from index k), scaled onto the screen as the system does.
CalPoint Land(CalPoint p, const Sensor& s, int noise, uint64_t k)
{
    const auto axis = [&](int32_t pixel, int32_t size, double gain, double offset, uint64_t n) {
        const int64_t aim = static_cast<int64_t>(pixel) * 1024 / size;
        int64_t raw = static_cast<int64_t>(aim * gain + offset) + devsim::TouchNoiseOffset(n, noise);
        raw = std::clamp<int64_t>(raw, 0, 4095);
        const int64_t absolute = std::min<int64_t>(raw * 65535 / 1024, 65535);
        return static_cast<int32_t>(absolute * size / 65536);
    };
    return CalPoint{axis(p.x, kW, s.gainX, s.offsetX, k), axis(p.y, kH, s.gainY, s.offsetY, k + 1)};
}

// One run: the crosses, the fit, the check point and its residual; -1 when
// the computation fails.
int32_t Run(int crosses, int noise, int run)
{
    const Sensor s{0.97 + 0.001 * (run % 7), 1.02 - 0.001 * (run % 5), 6.0 + run % 9, -8.0 + run % 11};
    const CalPoint m = MarginsFor(kMarkerDistance12, kW, kH);
    CalPoint target[kMaxCalibrationPoints];
    CalPoint touch[kMaxCalibrationPoints];
    const uint64_t base = static_cast<uint64_t>(run) * 64;
    for (int i = 0; i < crosses; ++i) {
        target[i] = i < 3 ? CrossTarget(i, 0, 0, kW, kH, m) : ExtraCrossTarget(i, 0, 0, kW, kH, m);
        touch[i] = Land(target[i], s, noise, base + 2 * static_cast<uint64_t>(i));
    }
    CalibrationInput in;
    in.screenWidth = kW;
    in.screenHeight = kH;
    for (int i = 0; i < 3; ++i) {
        in.target[i] = target[i];
        in.touch[i] = touch[i];
    }
    const CalibrationResult r =
        crosses == 5 ? ComputeFivePointCalibration(in, &target[3], &touch[3]) : ComputeCalibration(in);
    if (!r.ok()) return -1;
    const int32_t r1 = static_cast<int32_t>(base * 2654435761u % 32768);
    const int32_t r2 = static_cast<int32_t>((base + 17) * 40503u % 32768);
    const CalPoint check = CheckPointTarget(kW, kH, target, crosses, r1, r2);
    // The check touch's noise comes after the five crosses', for both fits.
    const CalPoint landed = Land(check, s, noise, base + 2 * kMaxCalibrationPoints);
    const CalPoint corrected =
        ApplyLineCorrection(landed, kW, kH, r.LineDirX, r.LineDirY, r.LineShiftX, r.LineShiftY);
    return CheckResidual(check, corrected);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    std::printf("%d runs on %d x %d, crosses at 12 %%; residual of the check point in px\n", runs, kW, kH);
    std::printf("| touch noise | 3 points: median | worst | 5 points: median | worst |\n");
    std::printf("|---|---|---|---|---|\n");
    for (int noise : {0, 2, 4, 8}) {
        std::vector<int32_t> three, five;
        for (int run = 0; run < runs; ++run) {
            three.push_back(Run(3, noise, run));
            five.push_back(Run(5, noise, run));
        }
        std::sort(three.begin(), three.end());
        std::sort(five.begin(), five.end());
        const auto median = [](const std::vector<int32_t>& v) {
            const size_t n = v.size();
            return n % 2 == 1 ? v[n / 2] * 1.0 : (v[n / 2 - 1] + v[n / 2]) / 2.0;
        };
        std::printf("| +-%d counts | %.1f | %d | %.1f | %d |\n", noise, median(three), three.back(),
                    median(five), five.back());
    }
    return 0;
}
