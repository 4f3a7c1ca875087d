// The touch path catching up with the line: reads of reports with their
// arrival times and the driver's queue go through the backlog estimate, the
// touch plans and the batch, as on the receive thread; the records that
// reach the system come out.
#include "channel/LineBacklog.h"
#include "controller/TouchBatch.h"
#include "controller/TouchConversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(LineBacklog, ByteTimesOfLineSettings)
{
    struct Case {
        uint32_t baud, size, parity, stop, ns;
    };
    const Case cases[] = {
        {115200, 8, 2, 0, 95486},                           // 8E1: 11 bits
        {115200, 8, 0, 0, 86805},                           // 8N1: 10 bits
        {9600, 8, 2, 0, 1145833}, {9600, 7, 1, 1, 1093750}, // 1.5 stop bits
        {19200, 8, 0, 2, 572916}, {0, 8, 2, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LineByteTimeNs(c.baud, c.size, c.parity, c.stop), c.ns) << c.baud << " " << c.size;
}

constexpr uint32_t kByteNs115200 = 95486;
constexpr uint32_t kByteNs9600 = 1145833;
constexpr uint32_t kReleaseLineBytes = 7;

// One read of the line: when it ended, its reports ('t' a touch report,
// 'r' a release), what the driver still holds after it, whether it waited
// for the first byte of a quiet line, and how long its records took to
// hand over.
struct Read {
    int64_t atUs;
    const char* reports;
    uint32_t queuedAfter;
    bool waited;
    int64_t busyUs = 0;
};

struct Sink {
    std::string out;
    int calls = 0;
    static int Take(void* self, const InjectRecord* records, int count)
    {
        ++static_cast<Sink*>(self)->calls;
        std::string& out = static_cast<Sink*>(self)->out;
        for (int i = 0; i < count; ++i) {
            // Touch k lies at raw x = 8 k: its position names it.
            const int k = (records[i].dx * kRawFullScale / kAbsoluteMax + 4) / 8;
            const char kind = (records[i].flags & kMouseLeftDown) != 0 ? 'D'
                              : (records[i].flags & kMouseLeftUp) != 0 ? 'U'
                                                                       : 'm';
            if (!out.empty()) out += ' ';
            out += kind + std::to_string(k);
        }
        return count;
    }
    static void Pause(void*) {}
};

struct PipelineOut {
    std::string records;
    uint64_t merged;
    int calls; // hand-overs to the system
};

// Before the reads, optionally 220 ms of a line that brings more than the
// path hands over: ten reports every 2 ms, each read taking 3 ms to go.
constexpr int64_t kSlowerSpanUs = 220000;

void LineFasterThanPath(LineBacklog* backlog)
{
    for (int64_t t = 0; t < kSlowerSpanUs; t += 2000) {
        backlog->OnRead(t, 10 * kTouchReportLineBytes, 10 * kTouchReportLineBytes, false);
        backlog->OnHandedOver(t + 3000);
    }
    backlog->OnRead(kSlowerSpanUs, 10 * kTouchReportLineBytes, 0, false);
    backlog->OnHandedOver(kSlowerSpanUs + 3000);
}

// The controller's side of a read: each report planned against the touch
// state and its records added to the batch. Touch k lies at raw x = 8 k.
struct Planner {
    TouchSnapshot s;
    Planner() { s.identified = true; }
    void Feed(TouchBatch* batch, const uint8_t* payload, int length)
    {
        const TouchPlan plan = PlanTouch(payload, length, s);
        s.pressed = plan.pressed;
        s.press = plan.press;
        s.last = plan.position;
        batch->Add(plan.records, plan.recordCount);
    }
    void Touch(TouchBatch* batch, int k)
    {
        const uint8_t payload[4] = {kTouchReportCode, static_cast<uint8_t>(8 * k), 0x10,
                                    static_cast<uint8_t>((8 * k) >> 8)};
        Feed(batch, payload, 4);
    }
    void Release(TouchBatch* batch)
    {
        const uint8_t payload[1] = {kTouchReleaseCode};
        Feed(batch, payload, 1);
    }
};

PipelineOut Pipeline(uint32_t byteNs, const std::vector<Read>& reads, bool pathSlower = false)
{
    LineBacklog backlog(byteNs);
    const int64_t offset = pathSlower ? kSlowerSpanUs + 10000 : 0;
    if (pathSlower) LineFasterThanPath(&backlog);
    Sink sink;
    TouchBatch batch(&Sink::Take, &Sink::Pause, &sink);
    Planner planner;
    int touch = 0;
    for (const Read& r : reads) {
        const std::string reports = r.reports;
        uint32_t bytes = 0;
        for (char c : reports)
            bytes += c == 't' ? kTouchReportLineBytes : kReleaseLineBytes;
        batch.Begin(backlog.OnRead(offset + r.atUs, bytes, r.queuedAfter, r.waited));
        for (char c : reports) {
            if (c == 't') {
                planner.Touch(&batch, ++touch);
            } else {
                planner.Release(&batch);
            }
        }
        batch.End();
        backlog.OnHandedOver(offset + r.atUs + r.busyUs);
    }
    return {sink.out, batch.Merged(), sink.calls};
}

TEST(CatchUp, MovesMergeOnlyWhileBehindAndButtonEventsKeepTheirPlaces)
{
    struct Case {
        const char* name;
        uint32_t byteNs;
        bool pathSlower; // after a span of a line that brings more than the path hands over
        std::vector<Read> reads;
        const char* records;
        uint64_t merged;
        int calls;
    };
    const Case cases[] = {
        {"keeping up with the line: every report at its own place",
         kByteNs115200,
         false,
         {{0, "t", 0, true}, {1000, "t", 0, true}, {2000, "tt", 0, true}, {4000, "r", 0, true}},
         "m1 D1 m2 m3 m4 U4",
         0,
         4},
        // A pty or a USB adapter hands over a stretch of the line at once:
        // much line time, but nothing has waited for the path.
        {"a burst handed over at once is no backlog",
         kByteNs115200,
         true,
         {{0, "tttttttttt", 200, true}, {400, "tttttttttt", 100, false}, {800, "tttttttttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20 m21 m22 m23 m24 m25 m26 "
         "m27 "
         "m28 m29 m30",
         0,
         3},
        // The queue stays full while the path takes 3 ms a read: from the
        // read whose oldest report waited over 8 ms on, each read's moves
        // go as one, the last read's too; the release, the next press and
        // its position stay.
        {"behind: moves merged, presses and releases kept in order",
         kByteNs115200,
         true,
         {{0, "tttttttttt", 400, true, 3000},
          {3000, "tttttttttt", 400, false, 3000},
          {6000, "tttttttttt", 400, false, 3000},
          {9000, "tttttttttt", 400, false, 3000},
          {12000, "tttrtttttt", 400, false, 3000},
          {15000, "tttttttttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20 m21 m22 m23 m24 m25 m26 "
         "m27 "
         "m28 m29 m30 m40 m43 U43 m44 D44 m49 m59",
         9 + 2 + 4 + 9,
         6},
        {"behind only as long as the queue holds what waited",
         kByteNs115200,
         true,
         {{0, "tttttttttt", 100, true, 9000},
          {9000, "tttttttttt", 0, false, 500},
          {9500, "ttt", 0, false},
          {9800, "r", 0, true}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m20 m21 m22 m23 U23",
         9,
         4},
        // At 9600 baud one report is 11.5 ms of line: on a path slower
        // than the line, a second one waiting behind it, 12 ms after the
        // first arrived, is already behind; on a path that keeps up it is
        // a moment's lag.
        {"a slow line is behind after one report on a slow path",
         kByteNs9600,
         true,
         {{0, "t", 10, true, 12000}, {12000, "tt", 0, false}, {30000, "t", 0, true}},
         "m1 D1 m3 m4",
         1,
         3},
        {"a slow line on a path that keeps up",
         kByteNs9600,
         false,
         {{0, "t", 10, true, 12000}, {12000, "tt", 0, false}, {30000, "t", 0, true}},
         "m1 D1 m2 m3 m4",
         0,
         3},
        // Handing over goes at 0.3 ms a report; once it is held up for 9 ms
        // or 14 ms the reports behind have waited that long, but they go in
        // 2 ms: a moment's lag, not positions lost. A hold-up of 30 ms is
        // caught up.
        {"a short hold-up at a quick pace is no backlog, a long one is",
         kByteNs9600,
         false,
         {{0, "tttttttttt", 0, true, 3000},
          {20000, "tttttttttt", 60, true, 9000},
          {29000, "tttttt", 0, false},
          {49000, "tttttttttt", 60, true, 14000},
          {63000, "tttttt", 0, false},
          {89000, "tttttttttt", 60, true, 30000},
          {119000, "tttttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20 m21 m22 m23 m24 m25 m26 "
         "m27 m28 m29 m30 m31 m32 m33 m34 m35 m36 m37 m38 m39 m40 m41 m42 m43 m44 m45 m46 m47 m48 m49 m50 "
         "m51 m52 m58",
         5,
         7},
        // A long read while behind (more records than the batch holds)
        // still reaches the system in one hand-over.
        {"a long read while behind is merged, not handed over early",
         kByteNs115200,
         true,
         {{0, "t", 500, true, 10000}, {10000, "tttttttttttttttttttrtttttttttttttttttttt", 0, false}},
         "m1 D1 m20 U20 m21 D21 m40",
         36,
         2},
    };
    for (const Case& c : cases) {
        const PipelineOut run = Pipeline(c.byteNs, c.reads, c.pathSlower);
        EXPECT_EQ(run.records, c.records) << c.name;
        EXPECT_EQ(run.merged, c.merged) << c.name;
        EXPECT_EQ(run.calls, c.calls) << c.name;
    }
}

// A driver that hands over a group of reports every 20 ms, as a pty or a
// USB adapter does, each group a stroke from press to release, read ten
// reports at a time (a hundred while behind) by a path that takes `paceUs`
// a record. Returns the presses and releases that reached the system, the
// positions merged, and how far the pointer lagged the newest report of a
// read when the read was handed over, at most.
struct GroupsOut {
    int downs = 0;
    int ups = 0;
    uint64_t merged = 0;
    int64_t maxLagUs = 0;
};

GroupsOut Groups(int reportsPerGroup, int groups, int64_t paceUs)
{
    constexpr int64_t kPeriodUs = 20000;
    LineBacklog backlog(kByteNs115200);
    Sink sink;
    TouchBatch batch(&Sink::Take, &Sink::Pause, &sink);
    Planner planner;
    GroupsOut out;
    int64_t now = 0;
    int read = 0; // reports read in all
    uint32_t behind = 0;
    bool waited = true;
    const int total = reportsPerGroup * groups;
    while (read < total) {
        const int arrived =
            static_cast<int>(std::min<int64_t>(groups, now / kPeriodUs + 1)) * reportsPerGroup;
        if (arrived == read) {
            now = (now / kPeriodUs + 1) * kPeriodUs; // waits for the next group
            waited = true;
            continue;
        }
        const int take = std::min(arrived - read, behind > kCatchUpBacklogUs ? 100 : 10);
        behind = backlog.OnRead(now, static_cast<uint32_t>(take) * kTouchReportLineBytes,
                                static_cast<uint32_t>(arrived - read - take) * kTouchReportLineBytes, waited);
        waited = false;
        batch.Begin(behind);
        const size_t before = sink.out.size();
        for (int k = read; k < read + take; ++k) {
            planner.Touch(&batch, k % 30 + 1);
            if ((k + 1) % reportsPerGroup == 0) planner.Release(&batch);
        }
        batch.End();
        const std::string handed = sink.out.substr(before);
        const int records = static_cast<int>(std::count(handed.begin(), handed.end(), ' ')) + 1;
        now += records * paceUs;
        backlog.OnHandedOver(now);
        read += take;
        const int64_t newestArrived = (read - 1) / reportsPerGroup * kPeriodUs;
        out.maxLagUs = std::max(out.maxLagUs, now - newestArrived);
    }
    out.downs = static_cast<int>(std::count(sink.out.begin(), sink.out.end(), 'D'));
    out.ups = static_cast<int>(std::count(sink.out.begin(), sink.out.end(), 'U'));
    out.merged = batch.Merged();
    return out;
}

TEST(CatchUp, GroupsOfALineFasterThanAnyRealOne)
{
    // 40 reports every 20 ms (2,000 a second, beyond a 115200-baud line):
    // a path at 0.3 ms a record drains each group before the next and
    // moves the pointer to every report, though the last of a group waits
    // 12 ms; at 0.7 ms it cannot, and catches up instead of falling further
    // behind. No press or release is lost.
    struct Case {
        const char* name;
        int64_t paceUs;
        bool merges;
        int64_t maxLagUs;
    };
    const Case cases[] = {
        {"keeping up", 300, false, kCatchUpHoldUpUs},
        // Without catching up the lag would grow by 9 ms a group, to 450 ms.
        {"slower than the line", 700, true, 40000},
    };
    for (const Case& c : cases) {
        const GroupsOut run = Groups(40, 50, c.paceUs);
        EXPECT_EQ(run.downs, 50) << c.name;
        EXPECT_EQ(run.ups, 50) << c.name;
        EXPECT_EQ(run.merged > 0, c.merges) << c.name << " " << run.merged;
        EXPECT_LE(run.maxLagUs, c.maxLagUs) << c.name;
    }
}

} // namespace
