// Rendering of message-table texts looked up without insert values.
#include "base/MessageText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Render(const char* raw, size_t size = 256)
{
    std::string out(size, '\x7f');
    RenderMessageText(raw, out.data(), size);
    return std::string(out.c_str());
}

struct Case {
    const char* raw;
    const char* rendered;
};

class RenderMessageTextCases : public ::testing::TestWithParam<Case> {};

TEST_P(RenderMessageTextCases, RendersAsTheUserReadsIt)
{
    EXPECT_EQ(Render(GetParam().raw), GetParam().rendered) << "raw: " << GetParam().raw;
}

INSTANTIATE_TEST_SUITE_P(
    Escapes, RenderMessageTextCases,
    ::testing::Values(Case{"plain text\r\n", "plain text\r\n"}, Case{"", ""},
                      // Inserts stay empty: there is nothing to put into them.
                      Case{"Fatal error, please send email to x@y.example about it%. Detailed: %1.\r\n",
                           "Fatal error, please send email to x@y.example about it. Detailed: .\r\n"},
                      Case{"a%1b%2c%9d", "abcd"}, Case{"two digits %12 and %99!", "two digits  and !"},
                      Case{"spec %1!d! done", "spec  done"}, Case{"spec %1!08lx!", "spec "},
                      Case{"unterminated %1!d rest", "unterminated !d rest"},
                      // Escapes that callers rely on when they print the text as a format.
                      Case{"Controller info: HW Id: %%i - SW Ver: %%i%.%%02i\r\n",
                           "Controller info: HW Id: %i - SW Ver: %i.%02i\r\n"},
                      Case{"Please check.%nTimeout: %%is.\r\n", "Please check.\r\nTimeout: %is.\r\n"},
                      Case{"r%rt%tsp% x", "r\rt\tsp x"}, Case{"bang%!", "bang!"},
                      // %0 ends the text and swallows the table's line break.
                      Case{"no break%0\r\n", "no break"},
                      // Nothing else may leave a lone '%' that a later printf would read.
                      Case{"odd %i %s %", "odd i s "}, Case{"100%", "100"}));

TEST(RenderMessageText, TruncatesWithinTheBufferAndSaysSo)
{
    char out[6];
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(RenderMessageText("abcdefgh", out, sizeof out));
    EXPECT_STREQ(out, "abcde");

    std::memset(out, 'x', sizeof out);
    EXPECT_TRUE(RenderMessageText("ab%%c", out, sizeof out));
    EXPECT_STREQ(out, "ab%c");

    // An escape that expands past the end is cut, never overruns.
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(RenderMessageText("abcd%n", out, sizeof out));
    EXPECT_STREQ(out, "abcd\r");
}

TEST(RenderMessageText, DegenerateArguments)
{
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_FALSE(RenderMessageText("abc", out, 0));
    EXPECT_EQ(out[0], 'x'); // size 0: nothing written at all
    EXPECT_FALSE(RenderMessageText("abc", out, 1));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(RenderMessageText(nullptr, out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(RenderMessageText("abc", nullptr, 4));
}

} // namespace
