#include "channel/PortSearch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// One scripted tick: the time, the line as the main thread sees it, an
// announced port (0 none), then the port the search asks (0 none), which the
// script marks as asked.
struct Tick {
    uint32_t at;
    LineState line;
    int arrived;
    int expected;
};

struct Script {
    const char* name;
    uint32_t start; // where the tick counter stands at the first tick
    std::vector<Tick> ticks;
};

constexpr LineState W = LineState::Working;
constexpr LineState L = LineState::Lost;
constexpr LineState S = LineState::Silent;

TEST(PortSearch, WhenAndWhichPortIsAsked)
{
    const std::vector<int> present = {3, 12, 15}; // COM3 is current
    const Script scripts[] = {
        {"a working line asks nobody", 0, {{0, W, 0, 0}, {20000, W, 0, 0}, {40000, W, 12, 0}}},
        {"a lost line waits 5 s, then each other port once per 10 s",
         0,
         {{0, W, 0, 0},
          {1000, L, 0, 0},
          {5999, L, 0, 0},
          {6000, L, 0, 12},
          {7000, L, 0, 15},
          {8000, L, 0, 0},
          {15999, L, 0, 0},
          {16000, L, 0, 12},
          {17000, L, 0, 15}}},
        {"the line back within the grace asks nobody",
         0,
         {{0, W, 0, 0},
          {1000, L, 0, 0},
          {4000, W, 0, 0},
          {6000, W, 0, 0},
          {7000, L, 0, 0},
          {11999, L, 0, 0}}},
        {"a port that arrives is asked at once, even when asked just before",
         0,
         {{0, W, 0, 0},
          {100, L, 0, 0},
          {5100, L, 0, 12},
          {5200, L, 0, 15},
          {5300, L, 12, 12},
          {5400, L, 0, 0}}},
        {"an arrival before the grace waits for it",
         0,
         {{0, W, 0, 0}, {100, L, 15, 0}, {5099, L, 0, 0}, {5100, L, 0, 15}, {5200, L, 0, 12}}},
        {"at start a port that never worked is searched at once",
         0,
         {{0, S, 0, 12}, {1, S, 0, 15}, {2, S, 0, 0}, {10000, S, 0, 12}}},
        {"a silent line after working waits like a lost one",
         0,
         {{0, W, 0, 0}, {10, S, 0, 0}, {5009, S, 0, 0}, {5010, S, 0, 12}}},
        {"the tick counter wraps around",
         0xFFFFF000u,
         {{0xFFFFF000u, W, 0, 0}, {0xFFFFF100u, L, 0, 0}, {0x00000000u, L, 0, 0}, {0x00000500u, L, 0, 12}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        PortSearch search;
        for (const Tick& t : script.ticks) {
            search.Observe(t.at, t.line);
            if (t.arrived != 0) search.PortArrived(t.arrived);
            const int port = search.NextPort(t.at, 3, present);
            EXPECT_EQ(port, t.expected) << "at " << t.at;
            if (port != 0) search.Asked(port, t.at);
        }
    }
}

TEST(PortSearch, NeverTheCurrentPortNorAbsentOnesAndAfreshAfterASwitch)
{
    PortSearch search;
    search.Observe(0, LineState::Silent);
    EXPECT_EQ(search.NextPort(0, 12, {12}), 0);
    EXPECT_EQ(search.NextPort(0, 12, {}), 0);
    // A port that would not open got nothing and is tried again sooner.
    search.NotOpened(15, 0);
    EXPECT_EQ(search.NextPort(PortSearch::kReopenMs - 1, 12, {12, 15}), 0);
    EXPECT_EQ(search.NextPort(PortSearch::kReopenMs, 12, {12, 15}), 15);
    // Ports retried soon after failed opens do not starve one asked before:
    // the one tried longest ago comes first.
    {
        PortSearch rounds;
        rounds.Observe(0, LineState::Silent);
        const std::vector<int> listed = {1, 2, 30};
        std::vector<int> order;
        for (uint32_t t = 0; t < 5; ++t) {
            const uint32_t at = t * PortSearch::kReopenMs;
            const int n = rounds.NextPort(at, 12, listed);
            order.push_back(n);
            if (n == 30)
                rounds.Asked(n, at);
            else if (n != 0)
                rounds.NotOpened(n, at);
        }
        EXPECT_EQ(order, (std::vector<int>{1, 2, 30, 1, 2}));
    }
    search.PortArrived(40); // announced, then gone again before it was asked
    EXPECT_EQ(search.NextPort(0, 12, {12, 20}), 20);
    search.Asked(20, 0);
    EXPECT_EQ(search.NextPort(1, 12, {12, 20, 40}), 40);

    // Found on COM20: the old and new ports are one more change away from
    // being asked, and nothing is asked while the new line works.
    search.Switched();
    EXPECT_FALSE(search.Searching(2));
    search.Observe(3, LineState::Working);
    search.Observe(4, LineState::Lost);
    EXPECT_EQ(search.NextPort(4 + PortSearch::kGraceMs, 20, {12, 20}), 12);
}

} // namespace
