// Which stored tool-window positions are accepted, where a window goes
// without one, and when a position is worth storing.
#include "base/ToolWindowPosition.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct CaptionCase {
    const char* what;
    int x, y, width, captionHeight;
    PixelRect screen;
    bool accepted;
};

constexpr PixelRect kScreen{0, 0, 1024, 768};
// A second monitor left of the primary one.
constexpr PixelRect kTwoScreens{-1280, 0, 1920, 1080};

TEST(ToolWindowPosition, CaptionMustLieWhollyOnTheScreen)
{
    const CaptionCase cases[] = {
        {"inside", 100, 100, 300, 20, kScreen, true},
        {"top-left corner", 0, 0, 300, 20, kScreen, true},
        {"caption touches right and bottom edges", 724, 748, 300, 20, kScreen, true},
        {"one pixel past the right edge", 725, 100, 300, 20, kScreen, false},
        {"corner on screen, caption reaching off it", 1000, 100, 300, 20, kScreen, false},
        {"entirely off the right edge", 1100, 100, 300, 20, kScreen, false},
        {"entirely below the screen", 100, 800, 300, 20, kScreen, false},
        {"caption below the bottom edge", 100, 749, 300, 20, kScreen, false},
        {"negative x", -20, 100, 300, 20, kScreen, false},
        {"negative y: caption above the screen", 100, -1, 300, 20, kScreen, false},
        {"minimised corner", -32000, -32000, 300, 20, kScreen, false},
        {"largest x does not wrap round", INT_MAX, 0, 300, 20, kScreen, false},
        {"largest y does not wrap round", 0, INT_MAX, 300, 20, kScreen, false},
        {"smallest values", INT_MIN, INT_MIN, 300, 20, kScreen, false},
        {"no width", 100, 100, 0, 20, kScreen, false},
        {"no caption", 100, 100, 300, 0, kScreen, false},
        {"on the left monitor", -1000, 10, 300, 20, kTwoScreens, true},
        {"left of the left monitor", -1281, 10, 300, 20, kTwoScreens, false},
        {"window wider than the screen", 0, 0, 1025, 20, kScreen, false},
    };
    for (const CaptionCase& c : cases) {
        EXPECT_EQ(CaptionOnScreen(c.x, c.y, c.width, c.captionHeight, c.screen), c.accepted) << c.what;
    }
}

TEST(ToolWindowPosition, DefaultIsTheBottomRightCornerOfTheClientArea)
{
    struct Case {
        int width, height, fullWidth, fullHeight, x, y;
    };
    const Case cases[] = {
        {300, 60, 1024, 738, 724, 678},
        {1024, 738, 1024, 738, 0, 0},
        // A window larger than the screen keeps its top-left corner
        // where its bottom-right one fits; it is not shrunk.
        {1200, 800, 1024, 738, -176, -62},
    };
    for (const Case& c : cases) {
        int x = 1, y = 1;
        DefaultToolWindowPosition(c.width, c.height, c.fullWidth, c.fullHeight, &x, &y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
}

TEST(ToolWindowPosition, MinimisedPlacesAreNeverStored)
{
    struct Case {
        int x, y;
        bool minimised, stored;
    };
    const Case cases[] = {
        {10, 10, false, true},
        {-100, 50, false, true}, // on a monitor left of the primary one
        {10, 10, true, false},
        {-32000, -32000, true, false},
        // The corner Windows parks a minimised window at, even when the
        // minimised state was not seen.
        {-32000, -32000, false, false},
        {-32000, 5, false, false},
        {5, -32000, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PositionWorthStoring(c.x, c.y, c.minimised), c.stored)
            << c.x << "," << c.y << " " << c.minimised;
    }
}

} // namespace
