// Model selection from the identification, the firmware warning text, the
// port detection order and the open-with-retries policy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ModelSelection.h"

namespace {

struct SelectionCase {
    IdentRecord ident;
    int stored;
    int controller;
    bool controllerWarning;
    int lcd;
    bool lcdWarning;
};

class Selection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(Selection, PicksModelsAndWarnings)
{
    const SelectionCase& c = GetParam();
    const ModelChoice ctrl = SelectControllerModel(c.ident, c.stored);
    const ModelChoice lcd = SelectLcdModel(c.ident, c.stored);
    EXPECT_EQ(ctrl.model, c.controller);
    EXPECT_EQ(ctrl.incompatible, c.controllerWarning);
    EXPECT_EQ(lcd.model, c.lcd);
    EXPECT_EQ(lcd.incompatible, c.lcdWarning);
}

// stored is used for both tables here; -1 means nothing stored.
INSTANTIATE_TEST_SUITE_P(
    Table, Selection,
    ::testing::Values(
        // Nothing answered: stored models, else the fallbacks; never a warning.
        SelectionCase{{0, 0, 0}, -1, 3, false, 2, false}, SelectionCase{{0, 0, 0}, 1, 1, false, 1, false},
        SelectionCase{{0, 9, 9}, 0, 0, false, 0, false},
        // Out-of-range stored values count as not stored.
        SelectionCase{{0, 0, 0}, 4, 3, false, 2, false}, SelectionCase{{0, 0, 0}, 3, 3, false, 2, false},
        SelectionCase{{0, 0, 0}, -7, 3, false, 2, false}, SelectionCase{{1, 1, 0}, -1, 3, true, 0, false},
        // HwId 2: the firmware version decides, 1.25 | 1.26 is the border.
        SelectionCase{{2, 0, 99}, 1, 1, false, 0, false}, SelectionCase{{2, 0, 0}, -1, 3, false, 0, false},
        SelectionCase{{2, 1, 0}, -1, 0, false, 0, false}, SelectionCase{{2, 1, 25}, -1, 0, false, 0, false},
        SelectionCase{{2, 1, 26}, -1, 1, false, 0, false}, SelectionCase{{2, 1, 255}, -1, 1, false, 0, false},
        SelectionCase{{2, 2, 0}, -1, 3, true, 0, false}, SelectionCase{{2, 255, 0}, -1, 3, true, 0, false},
        SelectionCase{{3, 1, 0}, -1, 3, true, 2, true}, SelectionCase{{4, 0, 0}, -1, 1, false, 0, false},
        SelectionCase{{5, 0, 0}, -1, 2, false, 1, false}, SelectionCase{{6, 3, 3}, -1, 3, false, 2, false},
        SelectionCase{{7, 0, 0}, 0, 3, true, 2, true}, SelectionCase{{9, 1, 2}, -1, 3, true, 2, true},
        SelectionCase{{255, 255, 255}, -1, 3, true, 2, true}));

TEST(FirmwareWarning, TextsCarryIdentityWithTwoDigitMinor)
{
    char text[256];
    ASSERT_TRUE(FormatFirmwareWarning(FirmwareCheck::Controller, IdentRecord{9, 1, 5}, text, sizeof text));
    EXPECT_STREQ(text,
                 "Controller firmware could be incompatible with the app (CTRL). (HW Id: 9, SW Ver: 1.05)");
    ASSERT_TRUE(FormatFirmwareWarning(FirmwareCheck::Lcd, IdentRecord{255, 255, 255}, text, sizeof text));
    EXPECT_STREQ(
        text, "Controller firmware could be incompatible with the app (LCD). (HW Id: 255, SW Ver: 255.255)");
}

TEST(FirmwareWarning, SmallBufferIsTruncatedAndReported)
{
    char text[16];
    EXPECT_FALSE(FormatFirmwareWarning(FirmwareCheck::Lcd, IdentRecord{3, 1, 0}, text, sizeof text));
    EXPECT_EQ(std::string(text), "Controller firm");
}

TEST(ChannelIndex, RequestedStoredOrDetection)
{
    struct Case {
        int requested, stored, expected;
    };
    const Case cases[] = {{-1, -1, -1},   {-1, 0, 0},    {-1, 5, 5},   {-1, 7, 7}, {-1, 8, 8},
                          {-1, 254, 254}, {-1, 255, -1}, {-1, -2, -1}, {2, 5, 2},  {0, -1, 0},
                          {8, 5, 8},      {11, 2, 11},   {255, 5, -1}, {-2, 5, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveChannelIndex(c.requested, c.stored), c.expected) << c.requested << " " << c.stored;
    }
}

TEST(Detection, TriesPortsInOrderUntilOneAnswers)
{
    std::vector<int> tried;
    EXPECT_EQ(DetectPort([&](int port) {
                  tried.push_back(port);
                  return port == 2;
              }),
              2);
    EXPECT_EQ(tried, (std::vector<int>{0, 1, 2}));

    tried.clear();
    EXPECT_EQ(DetectPort([&](int port) {
                  tried.push_back(port);
                  return false;
              }),
              -1);
    EXPECT_EQ(tried, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

    // Then the other ports present, in their order; none of COM1..COM8
    // twice, nothing out of range.
    tried.clear();
    const std::vector<int> others = {11, 3, 39, 255, -1, 9};
    EXPECT_EQ(DetectPort(
                  [&](int port) {
                      tried.push_back(port);
                      return port == 39;
                  },
                  others),
              39);
    EXPECT_EQ(tried, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 11, 39}));
}

TEST(OpenRetries, TenAttemptsWithPauseAfterEachFailure)
{
    std::vector<std::string> trace;
    const bool opened =
        OpenWithRetries([&] { return trace.push_back("open"), false; },
                        [&](int attempt) { trace.push_back("fail" + std::to_string(attempt)); },
                        [&](unsigned ms) { trace.push_back("pause" + std::to_string(ms)); });
    EXPECT_FALSE(opened);
    ASSERT_EQ(trace.size(), 30u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(trace[3 * i], "open");
        EXPECT_EQ(trace[3 * i + 1], "fail" + std::to_string(i + 1));
        EXPECT_EQ(trace[3 * i + 2], "pause3000");
    }
}

TEST(OpenRetries, StopsAtFirstSuccess)
{
    int opens = 0, failures = 0, pauses = 0;
    EXPECT_TRUE(
        OpenWithRetries([&] { return ++opens == 4; }, [&](int) { ++failures; }, [&](unsigned) { ++pauses; }));
    EXPECT_EQ(opens, 4);
    EXPECT_EQ(failures, 3);
    EXPECT_EQ(pauses, 3);
}

TEST(OpenRetries, AStopDuringAPauseEndsTheRetries)
{
    int opens = 0, failures = 0;
    EXPECT_FALSE(OpenWithRetries([&] { return ++opens, false; }, [&](int) { ++failures; },
                                 [&](unsigned) { return failures < 2; }));
    EXPECT_EQ(opens, 2);
    EXPECT_EQ(failures, 2);
}

} // namespace
