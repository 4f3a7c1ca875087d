// Sizes given at 100 % turned into pixels at other DPIs.
#include "base/DpiScale.h"

#include <gtest/gtest.h>

#include <climits>

TEST(DpiScale, SizesAndRectanglesFollowTheDpiRoundedLikeMulDiv)
{
    struct Case {
        int value;
        uint32_t from, to;
        int expected;
    };
    const Case cases[] = {
        {20, 96, 96, 20},
        {20, 96, 144, 30},
        {20, 96, 192, 40},
        {5, 96, 120, 6},
        {7, 96, 168, 12},
        {11, 96, 144, 17},
        {-11, 96, 144, -17}, // halves away from zero
        {17, 144, 96, 11},
        {100, 192, 144, 75},
        {0, 96, 192, 0},
        // A DPI that cannot be real counts as 100 %: no collapse, no explosion.
        {20, 0, 144, 30},
        {20, 96, 0, 20},
        {20, 96, 5000, 20},
        {20, 23, 144, 30},
        {20, 96, 24, 5},
        {20, 96, 1920, 400},
        {INT_MAX, 96, 192, INT_MAX},
        {INT_MIN, 96, 192, INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RescaleForDpi(c.value, c.from, c.to), c.expected)
            << c.value << " " << c.from << ">" << c.to;
    }
    EXPECT_EQ(ScaleForDpi(48, 144), 72);
    // Edges scale on their own: a control that ends where the next starts
    // still does, and the way back gives the rectangle it came from.
    const DpiRect a = RescaleRectForDpi({7, 7, 57, 21}, 96, 144);
    const DpiRect b = RescaleRectForDpi({57, 7, 107, 21}, 96, 144);
    EXPECT_EQ(a.right, b.left);
    EXPECT_EQ(a.bottom, 32);
    const DpiRect back = RescaleRectForDpi(a, 144, 96);
    EXPECT_TRUE(back.left == 7 && back.top == 7 && back.right == 57 && back.bottom == 21);
}
