// The touch monitor's choice among the system's monitors, the injection's
// mapping onto it in the virtual desktop, and the turn of a turned display.
#include "base/MonitorPlacement.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

MonitorList Desk(std::initializer_list<MonitorEntry> monitors, MonitorRect virtualScreen)
{
    MonitorList list;
    for (const MonitorEntry& m : monitors)
        AddMonitor(list, m.name, m.rect, m.primary, m.orientation);
    list.virtualScreen = virtualScreen;
    return list;
}

StoredMonitor Stored(const char* name, MonitorRect rect = {}, bool hasRect = false)
{
    StoredMonitor s;
    std::strncpy(s.name, name, kMonitorNameMax - 1);
    s.rect = rect;
    s.hasRect = hasRect;
    return s;
}

// The operator screen on the right as primary, the touch screen left of it.
const MonitorList kPair = Desk(
    {{"\\\\.\\DISPLAY1", {0, 0, 1920, 1080}, true, 0}, {"\\\\.\\DISPLAY2", {-1280, 56, 0, 1080}, false, 0}},
    {-1280, 0, 1920, 1080});

TEST(MonitorPlacement, ChoosesByNameThenRectangleElsePrimary)
{
    struct Case {
        const char* what;
        StoredMonitor stored;
        int index;
        bool fellBack;
    } const cases[] = {
        {"nothing stored", Stored(""), 0, false},
        {"stored by name", Stored("\\\\.\\DISPLAY2"), 1, false},
        {"name gone, rectangle there", Stored("\\\\.\\DISPLAY7", {-1280, 56, 0, 1080}, true), 1, false},
        {"name and rectangle gone", Stored("\\\\.\\DISPLAY7", {1920, 0, 2720, 600}, true), 0, true},
        {"name gone, no rectangle", Stored("\\\\.\\DISPLAY3"), 0, true},
        {"name wins over rectangle", Stored("\\\\.\\DISPLAY1", {-1280, 56, 0, 1080}, true), 0, false},
    };
    for (const Case& c : cases) {
        const MonitorChoice choice = ChooseMonitor(kPair, c.stored);
        EXPECT_EQ(choice.index, c.index) << c.what;
        EXPECT_EQ(choice.fellBack, c.fellBack) << c.what;
    }
    EXPECT_EQ(ChooseMonitor(MonitorList{}, Stored("\\\\.\\DISPLAY2")).index, -1);
    // A list without a primary monitor (a seam's) gives its first.
    const MonitorList noPrimary = Desk({{"A", {0, 0, 10, 10}, false, 0}}, {0, 0, 10, 10});
    EXPECT_EQ(ChooseMonitor(noPrimary, Stored("")).index, 0);
}

TEST(MonitorPlacement, FallbackIsReportedOnceUntilTheMonitorIsBack)
{
    FallbackNotice notice;
    const bool states[] = {false, true, true, true, false, false, true, true};
    const bool reported[] = {false, true, false, false, false, false, true, false};
    for (size_t i = 0; i < sizeof states; ++i)
        EXPECT_EQ(notice.Update(states[i]), reported[i]) << "step " << i;
}

// Where the system puts an absolute virtual-desktop value: truncating and
// rounding scalers must both reach the pixel aimed at.
int32_t Truncated(int32_t value, const MonitorRect& desk)
{
    return desk.left + static_cast<int32_t>(int64_t{value} * desk.Width() / 65536);
}
int32_t Rounded(int32_t value, const MonitorRect& desk)
{
    return desk.left + static_cast<int32_t>((int64_t{value} * desk.Width() + 32767) / 65535);
}

TEST(MonitorPlacement, InjectionLandsOnTheChosenMonitorsPixels)
{
    struct Case {
        const char* what;
        MonitorList list;
        int index;
    } const cases[] = {
        {"left of the primary", kPair, 1},
        {"above the primary, odd sizes",
         Desk({{"P", {0, 0, 1023, 767}, true, 0}, {"T", {-3, -601, 797, -1}, false, 0}},
              {-3, -601, 1023, 767}),
         1},
        {"right of the primary",
         Desk({{"P", {0, 0, 1024, 768}, true, 0}, {"T", {1024, 0, 1824, 600}, false, 0}}, {0, 0, 1824, 768}),
         1},
        {"both at the origin (the bench)",
         Desk({{"P", {0, 0, 1024, 768}, true, 0}, {"T", {0, 0, 800, 600}, false, 0}}, {0, 0, 1024, 768}), 1},
    };
    const int32_t values[] = {0, 1, 32767, 32768, 65534, 65535};
    for (const Case& c : cases) {
        const DeskMapping m = MappingFor(c.list, c.index);
        ASSERT_TRUE(m.virtualDesk) << c.what;
        const MonitorRect& mon = c.list.entries[c.index].rect;
        const MonitorRect& desk = c.list.virtualScreen;
        MonitorRect deskY{desk.top, 0, desk.bottom, 0};
        for (int32_t v : values) {
            int32_t x = v;
            int32_t y = v;
            MapToDesk(m, &x, &y);
            const int32_t px = mon.left + static_cast<int32_t>(int64_t{v} * mon.Width() / 65536);
            const int32_t py = mon.top + static_cast<int32_t>(int64_t{v} * mon.Height() / 65536);
            EXPECT_EQ(Truncated(x, desk), px) << c.what << " x " << v;
            EXPECT_EQ(Rounded(x, desk), px) << c.what << " x " << v;
            EXPECT_EQ(Truncated(y, deskY), py) << c.what << " y " << v;
            EXPECT_EQ(Rounded(y, deskY), py) << c.what << " y " << v;
        }
    }
    // The primary monitor keeps the values as they are.
    const DeskMapping primary = MappingFor(kPair, 0);
    int32_t x = 12345;
    int32_t y = 54321;
    MapToDesk(primary, &x, &y);
    EXPECT_FALSE(primary.virtualDesk);
    EXPECT_EQ(x, 12345);
    EXPECT_EQ(y, 54321);
    // Out-of-range values stay on the monitor.
    EXPECT_EQ(DeskAxis(-5, 0, 800, 1600), DeskAxis(0, 0, 800, 1600));
    EXPECT_EQ(DeskAxis(70000, 0, 800, 1600), DeskAxis(65535, 0, 800, 1600));
}

TEST(MonitorPlacement, TurnsComposeAndUndo)
{
    struct Case {
        int32_t calibrated, now, turn;
    } const cases[] = {{0, 0, 0}, {0, 1, 1}, {0, 3, 3}, {1, 0, 3}, {3, 1, 2}, {-1, 2, 0}, {2, 7, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(TurnBetween(c.calibrated, c.now), c.turn) << c.calibrated << "->" << c.now;
    for (int32_t a = 0; a < 4; ++a) {
        int32_t x = 1000;
        int32_t y = 2000;
        TurnAbsolute(a, &x, &y);
        TurnAbsolute((4 - a) % 4, &x, &y);
        EXPECT_EQ(x, 1000) << a;
        EXPECT_EQ(y, 2000) << a;
    }
}

} // namespace
