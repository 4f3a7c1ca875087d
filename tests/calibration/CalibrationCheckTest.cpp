#include "calibration/CalibrationCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kW = 1024;
constexpr int32_t kH = 768;
// Crosses at 12 % on 1024 x 768, then the five-point extras.
constexpr CalPoint kCrosses[5] = {{122, 92}, {122, 676}, {902, 676}, {902, 92}, {512, 384}};

// A sensor that sees target t at a x t + b per axis, possibly mirrored: the
// cursor position of the zeroed calibration for a finger on t.
struct Sensor {
    double ax, bx, ay, by;
    bool mirrorX, mirrorY;
    double noise; // pixels, +- alternating per touch

    CalPoint Touch(CalPoint t, int i) const
    {
        const double n = (i % 2 == 0 ? 1 : -1) * noise;
        double x = ax * t.x + bx + n;
        double y = ay * t.y + by - n;
        if (mirrorX) x = kW - x;
        if (mirrorY) y = kH - y;
        return CalPoint{static_cast<int32_t>(x), static_cast<int32_t>(y)};
    }
};

// Both fits on touches without noise put every cross's touch back on it
// within the rounding of the stored values, whatever the scale, offset and
// mirroring.
TEST(CalibrationCheck, ThreeAndFivePointFitsPutTouchesOnTheirCrosses)
{
    const Sensor sensors[] = {
        {1.0, 0, 1.0, 0, false, false, 0},   {0.93, 20, 1.06, -15, false, false, 0},
        {1.1, -40, 0.95, 3, true, false, 0}, {0.97, 12, 0.95, 8, true, true, 0},
        {1.02, 5, 0.98, -6, false, true, 0},
    };
    for (const Sensor& s : sensors) {
        SCOPED_TRACE(testing::Message()
                     << "a " << s.ax << "/" << s.ay << " mirror " << s.mirrorX << s.mirrorY);
        CalibrationInput in;
        in.screenWidth = kW;
        in.screenHeight = kH;
        CalPoint touch[5];
        for (int i = 0; i < 5; ++i)
            touch[i] = s.Touch(kCrosses[i], i);
        for (int i = 0; i < 3; ++i) {
            in.target[i] = kCrosses[i];
            in.touch[i] = touch[i];
        }
        const CalibrationResult three = ComputeCalibration(in);
        const CalibrationResult five = ComputeFivePointCalibration(in, &kCrosses[3], &touch[3]);
        ASSERT_TRUE(three.ok());
        ASSERT_TRUE(five.ok());
        EXPECT_EQ(five.Rotate, three.Rotate);
        EXPECT_EQ(five.SwapXY, three.SwapXY);
        for (const CalibrationResult* r : {&three, &five}) {
            for (int i = 0; i < 5; ++i) {
                CalPoint p = touch[i];
                ASSERT_TRUE(TransformCalibrationTouch(r->transform, kW, kH, &p));
                const CalPoint landed =
                    ApplyLineCorrection(p, kW, kH, r->LineDirX, r->LineDirY, r->LineShiftX, r->LineShiftY);
                EXPECT_LE(CheckResidual(kCrosses[i], landed), 2)
                    << "cross " << i << (r == &five ? " (5)" : " (3)");
            }
        }
    }

    // Too few crosses, or all in one column, cannot be fitted.
    const CalPoint column[3] = {{100, 10}, {100, 300}, {100, 600}};
    EXPECT_EQ(FitLineCorrection(column, column, 3, kW, kH).fault, CalibrationFault::ZeroDenominator);
    EXPECT_EQ(FitLineCorrection(kCrosses, kCrosses, 1, kW, kH).fault, CalibrationFault::ZeroDenominator);
    EXPECT_EQ(FitLineCorrection(kCrosses, kCrosses, 5, 0, kH).fault, CalibrationFault::BadScreen);
}

// The check point stands in the middle half, clear of every cross of the
// run, for any draw, on screens of every shape and with either cross set.
TEST(CalibrationCheck, CheckPointIsInTheMiddleAndClearOfTheCrosses)
{
    struct Screen {
        int32_t w, h;
    };
    for (const Screen s : {Screen{1024, 768}, Screen{1920, 1080}, Screen{768, 1024}, Screen{800, 480}}) {
        const CalPoint m = MarginsFor(kMarkerDistance22, s.w, s.h);
        CalPoint crosses[5];
        for (int i = 0; i < 3; ++i)
            crosses[i] = CrossTarget(i, 0, 0, s.w, s.h, m);
        crosses[3] = ExtraCrossTarget(3, 0, 0, s.w, s.h, m);
        crosses[4] = ExtraCrossTarget(4, 0, 0, s.w, s.h, m);
        for (int count : {3, 5}) {
            for (int32_t r = 0; r <= 32767; r += 1489) {
                const CalPoint p = CheckPointTarget(s.w, s.h, crosses, count, r, 32767 - r);
                SCOPED_TRACE(testing::Message()
                             << s.w << "x" << s.h << " crosses " << count << " draw " << r);
                EXPECT_GE(p.x, s.w / 4);
                EXPECT_LE(p.x, s.w * 3 / 4);
                EXPECT_GE(p.y, s.h / 4);
                EXPECT_LE(p.y, s.h * 3 / 4);
                for (int i = 0; i < count; ++i) {
                    EXPECT_TRUE(std::abs(p.x - crosses[i].x) >= s.w / 8 ||
                                std::abs(p.y - crosses[i].y) >= s.h / 8)
                        << "too close to cross " << i;
                }
            }
        }
    }
}

// The residual and the two refusals: a check point too far off, and
// touches that do not share the column or row their crosses share.
TEST(CalibrationCheck, ResidualsAndMisplacedTouches)
{
    EXPECT_EQ(CheckResidual({100, 100}, {103, 104}), 5);
    EXPECT_EQ(CheckResidual({100, 100}, {100, 100}), 0);
    EXPECT_EQ(CheckResidual({500, 300}, {541, 300}), 41);
    EXPECT_TRUE(ResidualAccepted(15, kDefaultCheckLimit));
    EXPECT_FALSE(ResidualAccepted(16, kDefaultCheckLimit));
    EXPECT_TRUE(ResidualAccepted(400, 0));

    struct Case {
        CalPoint touch[3];
        int32_t limit;
        bool fits;
        int32_t worst;
    };
    const Case cases[] = {
        {{{130, 100}, {126, 660}, {880, 650}}, 15, true, 10},  // a good run: 4 px in x, 10 px in y
        {{{130, 100}, {170, 660}, {880, 650}}, 15, false, 40}, // touch 1 slipped 40 px sideways
        {{{130, 100}, {126, 700}, {880, 650}}, 15, false, 50}, // touch 1 slipped down
        {{{130, 100}, {170, 660}, {880, 650}}, 0, true, 40},   // no check
    };
    for (const Case& c : cases) {
        int32_t worst = -1;
        EXPECT_EQ(TouchesFitCrosses(kCrosses, c.touch, 3, c.limit, &worst), c.fits);
        EXPECT_EQ(worst, c.worst);
    }
}

TEST(CalibrationCheck, BouncesAndTexts)
{
    EXPECT_FALSE(IsBounce(false, 0, 5)) << "the first touch";
    for (uint32_t last : {1000u, 0xFFFFFFA0u}) { // the clock may wrap
        EXPECT_TRUE(IsBounce(true, last, last));
        EXPECT_TRUE(IsBounce(true, last, last + 199));
        EXPECT_FALSE(IsBounce(true, last, last + 200));
    }
    struct Text {
        const char* pattern;
        int32_t value;
        size_t size;
        const char* out;
    };
    const Text texts[] = {
        {"Check point: %i px off\r\n", 3, 64, "Check point: 3 px off"},
        {"%i%i %s %d 100%", -7, 64, "-7%i %s %d 100%"}, // only the first %i, nothing as a format
        {"Last check: %i px", 12345, 16, "Last check: 123"},
        {"two\nlines %i", 5, 64, "two"},
        {nullptr, 5, 8, ""},
        {"%i", 5, 1, ""},
    };
    for (const Text& t : texts) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        FillNumber(t.pattern, t.value, out, t.size);
        EXPECT_STREQ(out, t.out);
    }
}

} // namespace
