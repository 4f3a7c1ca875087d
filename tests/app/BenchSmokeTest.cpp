// The bench itself: the Windows tests run under Wine with the bench's
// environment and see the program's message table.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Bench, EnvironmentReachesTheTests)
{
    EXPECT_NE(std::getenv("TP_PORTS_DIR"), nullptr);
    EXPECT_NE(std::getenv("TP_DEVSIM"), nullptr);
}
