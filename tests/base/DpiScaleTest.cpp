// Sizes given at 100 % turned into pixels at other DPIs.
#include "base/DpiScale.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DpiScale, SizesFollowTheDpiRoundedLikeMulDiv)
{
    struct Case {
        int value;
        uint32_t from, to;
        int expected;
    };
    const Case cases[] = {
        {20, 96, 96, 20},
        {20, 96, 120, 25},
        {20, 96, 144, 30},
        {20, 96, 192, 40},
        {11, 96, 144, 17}, // 16.5: half away from zero
        {-11, 96, 144, -17},
        {5, 96, 120, 6},
        {1, 96, 144, 2},
        {1, 96, 120, 1},
        {0, 96, 192, 0},
        {48, 144, 96, 32},
        {17, 144, 96, 11},
        {30, 144, 192, 40},
        {-13, 96, 192, -26},
        {100, 192, 144, 75},
        {7, 96, 168, 12}, // 12.25
        // A DPI that cannot be real counts as 100 %.
        {20, 0, 144, 30},
        {20, 96, 0, 20},
        {20, 96, 5000, 20},
        {20, 23, 144, 30},
        {20, 96, 24, 5},
        {20, 96, 1920, 400},
        // No wrap round at the ends of the range.
        {INT_MAX, 96, 192, INT_MAX},
        {INT_MIN, 96, 192, INT_MIN},
        {INT_MAX, 192, 96, INT_MAX / 2 + 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RescaleForDpi(c.value, c.from, c.to), c.expected)
            << c.value << " from " << c.from << " to " << c.to;
    }
    EXPECT_EQ(ScaleForDpi(48, 144), 72);
    EXPECT_EQ(ScaleForDpi(48, 96), 48);
}

TEST(DpiScale, RectanglesKeepNeighboursTouching)
{
    struct Case {
        DpiRect rect;
        uint32_t from, to;
        DpiRect expected;
    };
    const Case cases[] = {
        {{7, 7, 57, 21}, 96, 96, {7, 7, 57, 21}},       {{7, 7, 57, 21}, 96, 144, {11, 11, 86, 32}},
        {{57, 7, 107, 21}, 96, 144, {86, 11, 161, 32}}, // starts where the first ends
        {{-3, -5, 3, 5}, 96, 192, {-6, -10, 6, 10}},    {{11, 11, 86, 32}, 144, 96, {7, 7, 57, 21}},
    };
    for (const Case& c : cases) {
        const DpiRect r = RescaleRectForDpi(c.rect, c.from, c.to);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
    for (uint32_t dpi : {0u, 23u, 24u, 96u, 144u, 192u, 1920u, 1921u, 0xFFFFFFFFu}) {
        const uint32_t usable = UsableDpi(dpi);
        EXPECT_EQ(usable, dpi >= 24 && dpi <= 1920 ? dpi : 96u) << dpi;
    }
}

} // namespace
