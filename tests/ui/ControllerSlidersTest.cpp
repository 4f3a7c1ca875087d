// The Controller page's arithmetic: slider ranges from stored and model
// limits, where values land, and the texts beside and above the sliders.
#include "ui/ControllerSliders.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(ControllerSliders, RangeFallsBackToTheModelForUnusableLimits)
{
    struct Case {
        int32_t storedMin, storedMax, modelMin, modelMax;
        SliderRange expected;
    };
    const Case cases[] = {
        {0, 255, 0, 100, {0, 255}},
        {5, 5, 0, 100, {5, 5}},           // a single value is a range
        {0, 65535, 0, 100, {0, 65535}},   // the whole 16 bits
        {10, 3, 0, 100, {0, 100}},        // inverted
        {-1, 50, 0, 100, {0, 100}},       // below 16 bits
        {0, 65536, 0, 100, {0, 100}},     // above 16 bits
        {INT_MIN, INT_MAX, 2, 9, {2, 9}}, // damaged both ways
        {9, 1, 7, 3, {0, 0}},             // nothing usable at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.storedMin << ".." << c.storedMax);
        const SliderRange r = SliderRangeFor(c.storedMin, c.storedMax, c.modelMin, c.modelMax);
        EXPECT_EQ(r.minimum, c.expected.minimum);
        EXPECT_EQ(r.maximum, c.expected.maximum);
    }
}

TEST(ControllerSliders, ValuesSnapToTheNearerBoundAsUnsigned)
{
    struct Case {
        int32_t value;
        SliderRange range;
        int32_t expected;
    };
    const Case cases[] = {
        {7, {0, 15}, 7},        {0, {0, 15}, 0},        {15, {0, 15}, 15}, {16, {0, 15}, 15},
        {2, {5, 40}, 5},        {41, {5, 40}, 40},      {-1, {5, 40}, 40}, // a negative value is huge
                                                                           // unsigned
        {INT_MIN, {0, 15}, 15}, {300, {300, 300}, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(SnapToSlider(c.value, c.range), c.expected);
    }
}

TEST(ControllerSliders, LabelIsTheDecimalNumber)
{
    char text[8];
    FormatSliderLabel(42, text, sizeof text);
    EXPECT_STREQ(text, "42");
    FormatSliderLabel(65535, text, sizeof text);
    EXPECT_STREQ(text, "65535");
    FormatSliderLabel(1234567, text, 4); // bounded
    EXPECT_STREQ(text, "123");
}

TEST(ControllerSliders, StatusLineFromTheTableFormat)
{
    const char* table = "Controller info: HW Id: %i - SW Ver: %i.%02i\r\n";
    struct Case {
        const char* format;
        IdentRecord ident;
        const char* expected;
    };
    const Case cases[] = {
        {table, {2, 1, 25}, "Controller info: HW Id: 2 - SW Ver: 1.25\r\n"},
        {table, {5, 1, 30}, "Controller info: HW Id: 5 - SW Ver: 1.30\r\n"},
        {table, {12, 3, 7}, "Controller info: HW Id: 12 - SW Ver: 3.07\r\n"},
        {table, {255, 255, 255}, "Controller info: HW Id: 255 - SW Ver: 255.255\r\n"},
        {"100%% %d/%d/%d", {4, 1, 5}, "100% 4/1/5"},
        // Formats of another shape are not trusted with three ints.
        {"HW %s", {4, 1, 5}, "Controller info: HW Id: 4 - SW Ver: 1.05"},
        {"%i %i", {4, 1, 5}, "Controller info: HW Id: 4 - SW Ver: 1.05"},
        {"%i %i %i %i", {4, 1, 5}, "Controller info: HW Id: 4 - SW Ver: 1.05"},
        {"%i %i %", {4, 1, 5}, "Controller info: HW Id: 4 - SW Ver: 1.05"},
        {nullptr, {4, 1, 5}, "Controller info: HW Id: 4 - SW Ver: 1.05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format != nullptr ? c.format : "(null)");
        char text[256];
        FormatCtrlInfo(c.format, c.ident, text, sizeof text);
        EXPECT_STREQ(text, c.expected);
    }
    char small[10];
    FormatCtrlInfo(table, {2, 1, 25}, small, sizeof small);
    EXPECT_STREQ(small, "Controlle");
}

} // namespace
