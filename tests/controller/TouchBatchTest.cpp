#include "controller/TouchBatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A scripted system: takes what the next scripted answer says (kAll for
// everything offered), records every call and what it took.
constexpr int kAll = -1;

struct FakeSystem {
    std::vector<int> answers; // consumed one per call; then kAll
    size_t next = 0;
    std::vector<int> offered;   // records offered per call
    std::vector<int32_t> taken; // dx of every record taken, in order
    std::vector<uint32_t> takenFlags;
    int pauses = 0;

    static int Sink(void* self, const InjectRecord* records, int count)
    {
        FakeSystem& s = *static_cast<FakeSystem*>(self);
        s.offered.push_back(count);
        int take = s.next < s.answers.size() ? s.answers[s.next++] : kAll;
        if (take == kAll) take = count;
        for (int i = 0; i < take && i < count; ++i) // a claim beyond the offer takes only the offer
        {
            s.taken.push_back(records[i].dx);
            s.takenFlags.push_back(records[i].flags);
        }
        return take;
    }
    static void Pause(void* self) { ++static_cast<FakeSystem*>(self)->pauses; }
};

// Runs a script on a batch: 'B' Begin, 'E' End, 'F' Flush, a digit n adds
// a report of n records, 'L' and 'R' a left or right button-up (dx numbered
// from 1 in the order added).
std::vector<int32_t> RunScript(const std::string& script, TouchBatch& batch)
{
    std::vector<int32_t> added;
    int32_t dx = 0;
    for (char c : script) {
        if (c == 'B') batch.Begin();
        if (c == 'E') batch.End();
        if (c == 'F') batch.Flush();
        if (c >= '0' && c <= '9') {
            InjectRecord r[9];
            for (int i = 0; i < c - '0'; ++i) {
                r[i] = InjectRecord{++dx, 0, kMouseMove | kMouseAbsolute};
                added.push_back(dx);
            }
            batch.Add(r, c - '0');
        }
        if (c == 'L' || c == 'R') {
            const InjectRecord up{++dx, 0,
                                  kMouseMove | kMouseAbsolute | (c == 'L' ? kMouseLeftUp : kMouseRightUp)};
            added.push_back(dx);
            batch.Add(&up, 1);
        }
    }
    return added;
}

struct Case {
    const char* name;
    std::string script;
    std::vector<int> answers;
    std::vector<int> offered; // expected records offered per call
    int pauses;
    bool allTaken; // every record added reaches the system, in order
    bool holdingAfter;
};

std::string Repeat(const char* s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(TouchBatch, HandsOverInOrderInAsFewCallsAsTheReadsAllow)
{
    const std::vector<Case> cases = {
        {"outside a read every report goes at once", "122", {}, {1, 2, 2}, 0, true, false},
        {"a read goes in one call at its end", "B2111E", {}, {5}, 0, true, false},
        {"an empty read makes no call", "BE", {}, {}, 0, true, false},
        {"a flush inside a read hands over what came before", "B21F11E", {}, {3, 2}, 0, true, false},
        {"a flush with nothing held makes no call", "BFF1E", {}, {1}, 0, true, false},
        {"after the end reports go at once again", "B11E1", {}, {2, 1}, 0, true, false},
        {"a flush keeps holding", "B1F", {}, {1}, 0, true, true},
        {"a read larger than the array is handed over early",
         "B" + Repeat("2", 17) + "E",
         {},
         {32, 2},
         0,
         true,
         false},
        {"the records of one report are not split",
         "B" + Repeat("1", 31) + "2E",
         {},
         {31, 2},
         0,
         true,
         false},
        {"a partial take is followed by the rest", "B111E", {1}, {3, 2}, 0, true, false},
        {"a refusal is retried after a pause", "B11E", {0, 0, 0}, {2, 2, 2, 2}, 3, true, false},
        {"a system claiming more than offered is held to it", "B11E", {7}, {2}, 0, true, false},
        {"a record refused ten times is left out, the next still goes",
         "B11E",
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1},
         10,
         false,
         false},
        {"a system refusing everything costs ten offers a record", "12", std::vector<int>(30, 0),
         std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2,
                          2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
         30, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem system;
        system.answers = c.answers;
        TouchBatch batch(&FakeSystem::Sink, &FakeSystem::Pause, &system);
        const std::vector<int32_t> added = RunScript(c.script, batch);
        EXPECT_EQ(system.offered, c.offered);
        EXPECT_EQ(system.pauses, c.pauses);
        if (c.allTaken) EXPECT_EQ(system.taken, added);
        EXPECT_EQ(batch.Held(), 0);
        EXPECT_EQ(batch.Holding(), c.holdingAfter);
    }
}

TEST(TouchBatch, RecordLeftOutAfterRefusalsIsTheOnlyOneMissing)
{
    FakeSystem system;
    system.answers = std::vector<int>(10, 0);
    TouchBatch batch(&FakeSystem::Sink, &FakeSystem::Pause, &system);
    RunScript("B111E", batch);
    EXPECT_EQ(system.taken, (std::vector<int32_t>{2, 3}));
}

std::vector<int> Refusals(int n)
{
    return std::vector<int>(static_cast<size_t>(n), 0);
}

std::vector<int> Then(std::vector<int> a, const std::vector<int>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A button-up is never given up: refused for the whole retry, it waits and
// goes before anything else once the system takes input again; whatever
// would have overtaken it is left out, and the ups among that join it.
TEST(TouchBatch, RefusedUpIsKeptAndGoesBeforeEveryLaterRecord)
{
    constexpr uint32_t kL = kMouseMove | kMouseAbsolute | kMouseLeftUp;
    constexpr uint32_t kR = kMouseMove | kMouseAbsolute | kMouseRightUp;
    constexpr uint32_t kM = kMouseMove | kMouseAbsolute;
    struct UpCase {
        const char* name;
        std::string script;
        std::vector<int> answers;
        std::vector<int32_t> taken;
        std::vector<uint32_t> flags;
        int pauses;
        bool pendingAfter;
    } cases[] = {
        {"kept, then first at the next report",
         "1L1",
         Then({kAll}, Refusals(10)),
         {1, 2, 3},
         {kM, kL, kM},
         10,
         false},
        {"kept while the system still refuses; later moves left out",
         "L1F",
         Refusals(20),
         {1},
         {kL},
         20,
         false},
        {"still refused at the end", "L", Refusals(10), {}, {}, 10, true},
        {"the records behind it in a read are left out, their ups joined",
         "BL1RE1",
         Refusals(10),
         {1, 4},
         {kL | kR, kM},
         10,
         false},
        {"a partial take before it keeps the order",
         "B1L1E",
         {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {1},
         {kM},
         10,
         true},
        {"a refused move before it is left out, the up still goes",
         "B1LE",
         Then(Refusals(10), {kAll}),
         {2},
         {kL},
         10,
         false},
    };
    for (const UpCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem system;
        system.answers = c.answers;
        TouchBatch batch(&FakeSystem::Sink, &FakeSystem::Pause, &system);
        RunScript(c.script, batch);
        EXPECT_EQ(system.taken, c.taken);
        EXPECT_EQ(system.takenFlags, c.flags);
        EXPECT_EQ(system.pauses, c.pauses);
        EXPECT_EQ(batch.UpPending(), c.pendingAfter);
        EXPECT_EQ(batch.Held(), 0);
    }
}

TEST(TouchBatch, NullRecordsAddNothing)
{
    FakeSystem system;
    TouchBatch batch(&FakeSystem::Sink, &FakeSystem::Pause, &system);
    batch.Add(nullptr, 3);
    EXPECT_TRUE(system.offered.empty());
    EXPECT_EQ(batch.Held(), 0);
}

} // namespace
