// Texts of the line settings for every stored value, including those that
// have no text.
#include "ui/LineSettingsText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    uint32_t value;
    const char* text;
};

TEST(LineSettingsText, ParityHasFiveTextsAndANumberOtherwise)
{
    const Case cases[] = {{0, "No parity"},   {1, "Odd parity"},         {2, "Even parity"},
                          {3, "Mark parity"}, {4, "Space parity"},       {5, "5"},
                          {255, "255"},       {0xFFFFFFFF, "4294967295"}};
    for (const Case& c : cases) {
        char text[256] = "untouched";
        EXPECT_TRUE(ParityText(c.value, text, sizeof text));
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

TEST(LineSettingsText, StopBitsHaveThreeTextsAndANumberOtherwise)
{
    const Case cases[] = {{0, "One stop bit"},
                          {1, "One half stop bit"},
                          {2, "Two stop bits"},
                          {3, "3"},
                          {0x80000000, "2147483648"}};
    for (const Case& c : cases) {
        char text[256] = "untouched";
        EXPECT_TRUE(StopBitsText(c.value, text, sizeof text));
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

TEST(LineSettingsText, ShortBuffersAreCutAndSaySo)
{
    char text[4] = {};
    EXPECT_FALSE(ParityText(4, text, sizeof text));
    EXPECT_STREQ(text, "Spa");
    EXPECT_FALSE(StopBitsText(123456, text, sizeof text));
    EXPECT_STREQ(text, "123");
}

} // namespace
