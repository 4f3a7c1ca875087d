// Bounded formatting and copying: truncation, termination, return values.
#include "base/BoundedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool FormatVia(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool ok = FormatBoundedV(buffer, size, format, args);
    va_end(args);
    return ok;
}

TEST(BoundedText, FormatFitsOrTruncates)
{
    struct Case {
        size_t size;
        const char* expected;
        bool fitted;
    };
    // "id 0xE02A0005: COM3" is 19 characters.
    const Case cases[] = {
        {64, "id 0xE02A0005: COM3", true},
        {20, "id 0xE02A0005: COM3", true},
        {19, "id 0xE02A0005: COM", false},
        {4, "id ", false},
        {1, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(FormatBounded(buffer, c.size, "id 0x%08X: %s", 0xE02A0005u, "COM3"), c.fitted);
        EXPECT_STREQ(buffer, c.expected);
        // Nothing past the given size is touched.
        for (size_t i = c.size; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], '#') << i;
    }
}

TEST(BoundedText, FormatRejectsMissingBufferOrFormat)
{
    char buffer[8] = "keep";
    EXPECT_FALSE(FormatBounded(nullptr, 8, "x"));
    EXPECT_FALSE(FormatBounded(buffer, 0, "x"));
    EXPECT_STREQ(buffer, "keep");
    EXPECT_FALSE(FormatVia(buffer, sizeof buffer, nullptr));
    EXPECT_STREQ(buffer, "");
}

TEST(BoundedText, LongestProgramTextIsKept)
{
    const std::string longText(kTextMax + 40, 'a');
    char buffer[kTextMax + 1];
    EXPECT_FALSE(FormatBounded(buffer, sizeof buffer, "%s", longText.c_str()));
    EXPECT_EQ(std::strlen(buffer), static_cast<size_t>(kTextMax));
    EXPECT_TRUE(FormatBounded(buffer, sizeof buffer, "%s", longText.substr(0, kTextMax).c_str()));
    EXPECT_EQ(std::strlen(buffer), static_cast<size_t>(kTextMax));
}

TEST(BoundedText, CopyFitsOrTruncates)
{
    struct Case {
        const char* src;
        size_t size;
        const char* expected;
        bool fitted;
    };
    const Case cases[] = {
        {"COM8", 8, "COM8", true}, {"COM8", 5, "COM8", true}, {"COM8", 4, "COM", false},
        {"COM8", 1, "", false},    {"", 1, "", true},         {nullptr, 4, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(CopyBounded(buffer, c.size, c.src), c.fitted);
        EXPECT_STREQ(buffer, c.expected);
        for (size_t i = c.size; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], '#') << i;
    }
    char keep[4] = "abc";
    EXPECT_FALSE(CopyBounded(keep, 0, "x"));
    EXPECT_STREQ(keep, "abc");
    EXPECT_FALSE(CopyBounded(nullptr, 4, "x"));
}

TEST(BoundedText, CopyWithinTheSameBuffer)
{
    // Dropping a prefix in place ("OutOfMemory - X" -> "X" style edits).
    char buffer[16] = "abcdefgh";
    EXPECT_TRUE(CopyBounded(buffer, sizeof buffer, buffer + 3));
    EXPECT_STREQ(buffer, "defgh");
    char same[8] = "xyz";
    EXPECT_TRUE(CopyBounded(same, sizeof same, same));
    EXPECT_STREQ(same, "xyz");
}

} // namespace
