// Combo indices, slider ranges and snapping, double-click limits, the button
// letter and the stored-position check, fed the bad values a registry can hold.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "ui/DriverMouseLogic.h"

namespace {

TEST(DriverComboTest, ValueAndIndexMapOneToOneOnlyForZeroToThree)
{
    struct Case {
        int32_t value;
        int index;
    } const cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, -1}, {-1, -1}, {INT32_MAX, -1}, {INT32_MIN, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(ComboIndexForValue(c.value), c.index) << c.value;

    // Nothing selected (-1) or a stray index leaves the stored value as it is.
    struct Back {
        intptr_t selection;
        int32_t current, expected;
    } const backs[] = {{0, 3, 0}, {3, 0, 3}, {2, -7, 2}, {-1, 2, 2}, {4, 1, 1}, {INTPTR_MAX, 0, 0}};
    for (const Back& b : backs)
        EXPECT_EQ(ValueFromComboIndex(b.selection, b.current), b.expected) << b.selection;

    // The texts that used to be matched by prefix: "1" would find "180".
    EXPECT_STREQ(kRotateItems[1], "90");
    EXPECT_STREQ(kTouchModeItems[2], "Down up");
}

TEST(DriverSliderTest, RangesFallBackWhenInvertedOrBeyondSixteenBits)
{
    const SliderRange fallback{5, 305};
    struct Case {
        int32_t min, max, expMin, expMax;
    } const cases[] = {
        {5, 305, 5, 305},
        {0, 65535, 0, 65535},
        {305, 5, 5, 305},
        {-1, 100, 5, 305},
        {0, 65536, 5, 305},
        {7, 7, 7, 7},
        {INT32_MIN, INT32_MAX, 5, 305},
    };
    for (const Case& c : cases) {
        const SliderRange r = CheckedSliderRange(c.min, c.max, fallback);
        EXPECT_EQ(r.min, c.expMin) << c.min << ".." << c.max;
        EXPECT_EQ(r.max, c.expMax) << c.min << ".." << c.max;
    }
}

TEST(DriverSliderTest, DraggedThumbSnapsHalfUpThenClamps)
{
    struct Case {
        uint32_t p, step;
        SliderRange range;
        int32_t expected;
    } const cases[] = {
        {5, 20, {5, 305}, 5},     // rounds to 0, clamped up to the minimum
        {9, 20, {5, 305}, 5},     // still 0
        {10, 20, {5, 305}, 20},   // half rounds up
        {305, 20, {5, 305}, 300}, // the top is not a multiple: rounds down
        {1449, 100, {400, 1500}, 1400}, {1450, 100, {400, 1500}, 1500},
        {1500, 100, {400, 1500}, 1500}, {0xFFFFFFFFu, 100, {400, 1500}, 1500}, // no wrap to a small value
        {77, 0, {5, 305}, 77},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SnapToStep(c.p, c.step, c.range), c.expected) << c.p << " step " << c.step;
    }
}

TEST(DriverSliderTest, SystemDoubleClickValuesAreClampedToUsableLimits)
{
    EXPECT_EQ(SystemDoubleClickSize(100, 5, 305), 100);
    EXPECT_EQ(SystemDoubleClickSize(100000, 5, 305), 305);
    EXPECT_EQ(SystemDoubleClickSize(-4, 5, 305), 5);
    EXPECT_EQ(SystemDoubleClickSize(100000, 0, 200000), 305); // limits unusable: the model's
    EXPECT_EQ(SystemDoubleClickTime(0, 400, 1500), 400);
    EXPECT_EQ(SystemDoubleClickTime(INT32_MAX, 400, 1500), 1500);
    EXPECT_EQ(SystemDoubleClickTime(900, 1500, 400), 900); // inverted limits fall back
    EXPECT_EQ(SystemDoubleClickTime(2000, 1500, 400), 1500);
}

TEST(MouseButtonLetterTest, LetterComesFromTheCheckedIndexOrIsAQuestionMark)
{
    struct Case {
        int32_t mouseButton, assigned, armed;
        const char* letter;
    } const cases[] = {
        {1000, 2, 0, "L"},  {1001, 2, 0, "M"},         {1002, 0, 0, "R"},      {1000, 2, 1, "R"},
        {1002, 0, 1, "L"},  {1000, 1, 1, "M"},         {999, 0, 0, "?"},       {1003, 0, 0, "?"},
        {0, 0, 0, "?"},     {INT32_MIN, 0, 0, "?"},    {INT32_MAX, 0, 0, "?"}, {1000, 3, 1, "?"},
        {1000, -1, 1, "?"}, {1000, INT32_MIN, 1, "?"}, {1001, 7, 2, "M"}, // only 1 means armed
    };
    for (const Case& c : cases)
        EXPECT_STREQ(MouseButtonWindowLetter(c.mouseButton, c.assigned, c.armed), c.letter)
            << c.mouseButton << " " << c.assigned << " " << c.armed;

    EXPECT_STREQ(MouseButtonInsert(1000), "LEFT");
    EXPECT_STREQ(MouseButtonInsert(1002), "RIGHT");
    EXPECT_EQ(MouseButtonInsert(1003), nullptr);
    EXPECT_EQ(MouseButtonInsert(999), nullptr);
}

TEST(MouseButtonPositionTest, OnlyACaptionWhollyOnTheScreenIsAccepted)
{
    const ScreenRect screen{0, 0, 1024, 768};
    struct Case {
        int32_t x, y;
        bool accepted;
    } const cases[] = {
        {10, 10, true},        {0, 0, true},
        {974, 748, true},      {975, 10, false},
        {10, 749, false},      {-1, 10, false},
        {10, -1, false},       {-32000, -32000, false},
        {2000, 10, false},     {INT32_MAX, INT32_MAX, false},
        {INT32_MIN, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CaptionOnScreen(c.x, c.y, 50, 20, screen), c.accepted) << c.x << "," << c.y;

    // A second monitor left of the primary one has negative coordinates.
    EXPECT_TRUE(CaptionOnScreen(-1500, 100, 50, 20, ScreenRect{-1600, 0, 1024, 768}));
    EXPECT_FALSE(CaptionOnScreen(10, 10, 0, 20, screen));
}

} // namespace
