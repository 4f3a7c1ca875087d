// The touch path catching up with the line: reads of reports with their
// arrival times and the driver's queue go through the backlog estimate, the
// touch plans and the batch, as on the receive thread; the records that
// reach the system come out.
#include "channel/LineBacklog.h"
#include "controller/TouchBatch.h"
#include "controller/TouchConversion.h"

#include <gtest/gtest.h>

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

PipelineOut Pipeline(uint32_t byteNs, const std::vector<Read>& reads)
{
    LineBacklog backlog(byteNs);
    Sink sink;
    TouchBatch batch(&Sink::Take, &Sink::Pause, &sink);
    TouchSnapshot s;
    s.identified = true;
    int touch = 0;
    for (const Read& r : reads) {
        const std::string reports = r.reports;
        uint32_t bytes = 0;
        for (char c : reports)
            bytes += c == 't' ? kTouchReportLineBytes : kReleaseLineBytes;
        batch.Begin(backlog.OnRead(r.atUs, bytes, r.queuedAfter, r.waited));
        for (char c : reports) {
            TouchPlan plan;
            if (c == 't') {
                ++touch;
                const uint8_t x = static_cast<uint8_t>(8 * touch);
                const uint8_t payload[4] = {kTouchReportCode, x, 0x10,
                                            static_cast<uint8_t>((8 * touch) >> 8)};
                plan = PlanTouch(payload, 4, s);
            } else {
                const uint8_t payload[1] = {kTouchReleaseCode};
                plan = PlanTouch(payload, 1, s);
            }
            s.pressed = plan.pressed;
            s.press = plan.press;
            s.last = plan.position;
            batch.Add(plan.records, plan.recordCount);
        }
        batch.End();
        backlog.OnHandedOver(r.atUs + r.busyUs);
    }
    return {sink.out, batch.Merged(), sink.calls};
}

TEST(CatchUp, MovesMergeOnlyWhileBehindAndButtonEventsKeepTheirPlaces)
{
    struct Case {
        const char* name;
        uint32_t byteNs;
        std::vector<Read> reads;
        const char* records;
        uint64_t merged;
        int calls;
    };
    const Case cases[] = {
        {"keeping up with the line: every report at its own place",
         kByteNs115200,
         {{0, "t", 0, true}, {1000, "t", 0, true}, {2000, "tt", 0, true}, {4000, "r", 0, true}},
         "m1 D1 m2 m3 m4 U4",
         0,
         4},
        // A pty or a USB adapter hands over a stretch of the line at once:
        // much line time, but nothing has waited for the path.
        {"a burst handed over at once is no backlog",
         kByteNs115200,
         {{0, "tttttttttt", 200, true}, {400, "tttttttttt", 100, false}, {800, "tttttttttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20 m21 m22 m23 m24 m25 m26 "
         "m27 "
         "m28 m29 m30",
         0,
         3},
        // The queue stays full while the path takes 3 ms a read: from the
        // read whose oldest report waited over 8 ms on, each read's moves
        // go as one; the release, the next press and its position stay.
        // The last read's ten reports take 3 ms: they go one by one.
        {"behind: moves merged, presses and releases kept in order",
         kByteNs115200,
         {{0, "tttttttttt", 400, true, 3000},
          {3000, "tttttttttt", 400, false, 3000},
          {6000, "tttttttttt", 400, false, 3000},
          {9000, "tttttttttt", 400, false, 3000},
          {12000, "tttrtttttt", 400, false, 3000},
          {15000, "tttttttttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20 m21 m22 m23 m24 m25 m26 "
         "m27 "
         "m28 m29 m30 m40 m43 U43 m44 D44 m49 m50 m51 m52 m53 m54 m55 m56 m57 m58 m59",
         9 + 2 + 4,
         6},
        {"behind only as long as the queue holds what waited",
         kByteNs115200,
         {{0, "tttttttttt", 100, true, 9000},
          {9000, "tttttttttt", 0, false, 500},
          {9500, "ttt", 0, false},
          {9800, "r", 0, true}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m20 m21 m22 m23 U23",
         9,
         4},
        // At 9600 baud one report is 11.5 ms of line: a second one waiting
        // behind it, 12 ms after the first arrived, is already behind.
        {"a slow line is behind after one report",
         kByteNs9600,
         {{0, "t", 10, true, 12000}, {12000, "tt", 0, false}, {30000, "t", 0, true}},
         "m1 D1 m3 m4",
         1,
         3},
        // Four reports of a slow line that waited 14 ms, at a pace the line
        // could not carry: handed over at once, they are no backlog; once
        // the path takes 15 ms a report, they are.
        {"waiting reports that go at once are no backlog, slow ones are",
         kByteNs9600,
         {{0, "tttt", 0, true},
          {14000, "tttt", 0, false},
          {40000, "tttt", 0, true, 60000},
          {101000, "tttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m16",
         3,
         4},
        // Handing over goes at 0.3 ms a report; once it is held up for 9 ms
        // the six reports behind have waited that long, but they go in
        // 2 ms: a moment's lag, not six positions lost. A hold-up of 20 ms
        // is caught up all the same.
        {"a short hold-up at a quick pace is no backlog, a long one is",
         kByteNs9600,
         {{0, "tttttttttt", 0, true, 3000},
          {20000, "tttttttttt", 60, true, 9000},
          {29000, "tttttt", 0, false},
          {49000, "tttttttttt", 60, true, 20000},
          {69000, "tttttt", 0, false}},
         "m1 D1 m2 m3 m4 m5 m6 m7 m8 m9 m10 m11 m12 m13 m14 m15 m16 m17 m18 m19 m20 m21 m22 m23 m24 m25 m26 "
         "m27 m28 m29 m30 m31 m32 m33 m34 m35 m36 m42",
         5,
         5},
        // A long read while behind (more records than the batch holds)
        // still reaches the system in one hand-over.
        {"a long read while behind is merged, not handed over early",
         kByteNs115200,
         {{0, "t", 500, true, 10000}, {10000, "tttttttttttttttttttrtttttttttttttttttttt", 0, false}},
         "m1 D1 m20 U20 m21 D21 m40",
         36,
         2},
    };
    for (const Case& c : cases) {
        const PipelineOut run = Pipeline(c.byteNs, c.reads);
        EXPECT_EQ(run.records, c.records) << c.name;
        EXPECT_EQ(run.merged, c.merged) << c.name;
        EXPECT_EQ(run.calls, c.calls) << c.name;
    }
}

} // namespace
