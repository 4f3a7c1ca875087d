#include "controller/HoldClick.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One event of a touch: p press, m move, r release, t tick; at ms.
struct Event {
    char kind;
    int32_t x, y;
    uint32_t ms;
};

std::string Outcome(uint32_t holdMs, const std::vector<Event>& events, uint32_t clock0 = 0)
{
    HoldClick hold;
    hold.Configure(holdMs, 100, 100);
    std::string out;
    static const char* const kNames[] = {"LD", "MV", "LU", "RD", "RU", "HELD"};
    for (const Event& e : events) {
        const uint32_t now = clock0 + e.ms;
        HoldSteps s;
        switch (e.kind) {
        case 'p':
            s = hold.Press(e.x, e.y, now);
            break;
        case 'm':
            s = hold.Move(e.x, e.y, now);
            break;
        case 'r':
            s = hold.Release(now);
            break;
        default:
            s = hold.Tick(now);
            break;
        }
        for (int i = 0; i < s.count; ++i) {
            if (!out.empty()) out += ' ';
            out += kNames[static_cast<int>(s.step[i].action)];
            out += "@" + std::to_string(s.step[i].x) + "," + std::to_string(s.step[i].y);
        }
    }
    return out;
}

TEST(HoldClick, EachTouchGivesOneOfThreeOutcomes)
{
    struct Case {
        const char* what;
        uint32_t holdMs;
        std::vector<Event> events;
        const char* expected;
    };
    const Case cases[] = {
        {"off: press at once, moves, release where it ends",
         0,
         {{'p', 1000, 1000, 0}, {'m', 1500, 1000, 10}, {'t', 0, 0, 2000}, {'r', 0, 0, 20}},
         "LD@1000,1000 MV@1500,1000 LU@1500,1000"},
        {"released before the hold time, within reach: a left click at the first point",
         500,
         {{'p', 1000, 1000, 0}, {'m', 1050, 1080, 100}, {'t', 0, 0, 200}, {'r', 0, 0, 300}},
         "LD@1000,1000 LU@1000,1000"},
        {"moved further first: a left press at the first point, then a drag",
         500,
         {{'p', 1000, 1000, 0},
          {'m', 1050, 1000, 50},
          {'m', 1200, 1000, 100},
          {'m', 1400, 1000, 700},
          {'r', 0, 0, 800}},
         "LD@1000,1000 MV@1200,1000 MV@1400,1000 LU@1400,1000"},
        {"held still: the tick at the hold time gives a right click, and nothing else",
         500,
         {{'p', 1000, 1000, 0}, {'t', 0, 0, 499}, {'t', 0, 0, 500}, {'m', 3000, 3000, 600}, {'r', 0, 0, 900}},
         "HELD@1000,1000 RD@1000,1000 RU@1000,1000"},
        {"held still without a tick: the next report decides for the hold",
         1000,
         {{'p', 1000, 1000, 0}, {'m', 1020, 990, 1200}, {'r', 0, 0, 1300}},
         "HELD@1000,1000 RD@1000,1000 RU@1000,1000"},
        {"a release after the hold time that no tick saw is still a right click",
         1000,
         {{'p', 1000, 1000, 0}, {'r', 0, 0, 1500}},
         "HELD@1000,1000 RD@1000,1000 RU@1000,1000"},
        {"two touches in a row are decided apart",
         500,
         {{'p', 10, 10, 0}, {'r', 0, 0, 100}, {'p', 900, 900, 200}, {'t', 0, 0, 800}, {'r', 0, 0, 900}},
         "LD@10,10 LU@10,10 HELD@900,900 RD@900,900 RU@900,900"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Outcome(c.holdMs, c.events), c.expected) << c.what;
        // The clock wraps after 49 days: the decision does not change.
        EXPECT_EQ(Outcome(c.holdMs, c.events, 0xFFFFFF00u), c.expected) << c.what << " (clock wrapping)";
    }
}

// The Mouse page's choices and the values they store; ten screen pixels of
// wander on the absolute scale.
TEST(HoldClick, ChoicesAndSlop)
{
    for (int i = 0; i < kHoldChoiceCount; ++i)
        EXPECT_EQ(HoldChoiceIndex(HoldChoiceMs(i)), i);
    EXPECT_EQ(HoldChoiceMs(1), 500);
    for (int32_t bad : {-1, 1, 750, 3000})
        EXPECT_EQ(HoldChoiceIndex(bad), -1) << bad;
    EXPECT_EQ(HoldChoiceMs(4), 0);
    EXPECT_EQ(HoldSlopAbsolute(1024), 639);
    EXPECT_EQ(HoldSlopAbsolute(768), 853);
    EXPECT_EQ(HoldSlopAbsolute(0), 0);
}

} // namespace
