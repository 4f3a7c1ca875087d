// Key operations of the LCD models against controller models on the
// in-process device: the codes per model and controller, their pauses,
// failures part-way, the command-in-progress box and the semaphore.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "LcdTestSupport.h"

namespace {

using KeyOp = int (LcdVirt::*)();

enum Lcd { kType1 = 0, kType2 = 1, kType3 = 2 };
enum Ctrl { kZmr01 = 0, kZmr02 = 1, kZmr03 = 2, kZmr04 = 3 };

const char* OpName(KeyOp op)
{
    if (op == &LcdVirt::KeySelect) return "KeySelect";
    if (op == &LcdVirt::KeyAuto) return "KeyAuto";
    if (op == &LcdVirt::KeySpare) return "KeySpare";
    if (op == &LcdVirt::KeyLeft) return "KeyLeft";
    if (op == &LcdVirt::KeyRight) return "KeyRight";
    if (op == &LcdVirt::KeyUp) return "KeyUp";
    if (op == &LcdVirt::KeyDown) return "KeyDown";
    return "ReleaseKeys";
}

const KeyOp kAllKeys[] = {&LcdVirt::KeySelect, &LcdVirt::KeyAuto, &LcdVirt::KeySpare, &LcdVirt::KeyLeft,
                          &LcdVirt::KeyRight,  &LcdVirt::KeyUp,   &LcdVirt::KeyDown,  &LcdVirt::ReleaseKeys};

std::vector<Bytes> PortPayloads(std::initializer_list<uint8_t> codes)
{
    std::vector<Bytes> out;
    for (uint8_t c : codes)
        out.push_back({0x86, c});
    return out;
}

class LcdKeys : public ::testing::Test {
protected:
    void SetUp() override { ClearLcdRegistry(); }
    void TearDown() override { ClearLcdRegistry(); }
};

struct SequenceCase {
    int lcd;
    int ctrl;
    KeyOp op;
    std::vector<Bytes> sent;
    int result;
};

TEST_F(LcdKeys, EachModelSendsItsCodesOnlyThroughFitControllers)
{
    const SequenceCase cases[] = {
        {kType1, kZmr01, &LcdVirt::KeySelect, PortPayloads({0xFF, 0xFD, 0xFF}), 0},
        {kType1, kZmr02, &LcdVirt::KeyAuto, PortPayloads({0xFE}), 0},
        {kType1, kZmr02, &LcdVirt::KeySpare, PortPayloads({0xFF, 0xEF, 0xFF}), 0},
        {kType1, kZmr01, &LcdVirt::KeyLeft, PortPayloads({0xF7, 0xF3, 0xFB, 0xFF}), 0},
        {kType1, kZmr02, &LcdVirt::KeyRight, PortPayloads({0xFB, 0xF3, 0xF7, 0xFF}), 0},
        {kType1, kZmr02, &LcdVirt::KeyUp, {}, 1},
        {kType1, kZmr02, &LcdVirt::KeyDown, {}, 1},
        // Nothing stays pressed on this display: releasing is done at once.
        {kType1, kZmr02, &LcdVirt::ReleaseKeys, {}, 0},
        // ZMR03 and ZMR04 cannot carry it, except for the Left key.
        {kType1, kZmr03, &LcdVirt::KeySelect, {}, 2},
        {kType1, kZmr03, &LcdVirt::KeyAuto, {}, 2},
        {kType1, kZmr03, &LcdVirt::KeySpare, {}, 2},
        {kType1, kZmr03, &LcdVirt::KeyRight, {}, 2},
        {kType1, kZmr03, &LcdVirt::KeyLeft, PortPayloads({0xF7, 0xF3, 0xFB, 0xFF}), 0},
        {kType1, kZmr04, &LcdVirt::KeyRight, {}, 2},
        {kType1, kZmr04, &LcdVirt::KeyLeft, PortPayloads({0xF7, 0xF3, 0xFB, 0xFF}), 0},
        // The brightness display has only Left and Right, both sending the
        // brightness (default 50). It sets no model condition: ZMR01 and
        // ZMR02 take the command but their filter drops the reply, so the
        // transaction gives up after three sends.
        {kType2, kZmr03, &LcdVirt::KeyLeft, {{0x8C, 0x32}}, 0},
        {kType2, kZmr04, &LcdVirt::KeyRight, {{0x8C, 0x32}}, 0},
        {kType2, kZmr01, &LcdVirt::KeyLeft, {{0x8C, 0x32}, {0x8C, 0x32}, {0x8C, 0x32}}, 1},
        {kType2, kZmr03, &LcdVirt::KeySelect, {}, 1},
        {kType2, kZmr03, &LcdVirt::KeyAuto, {}, 1},
        {kType2, kZmr03, &LcdVirt::KeySpare, {}, 1},
        {kType2, kZmr03, &LcdVirt::KeyUp, {}, 1},
        {kType2, kZmr03, &LcdVirt::KeyDown, {}, 1},
        {kType2, kZmr03, &LcdVirt::ReleaseKeys, {}, 0},
        {kType3, kZmr04, &LcdVirt::KeySelect, PortPayloads({0xDD, 0xFF}), 0},
        {kType3, kZmr04, &LcdVirt::KeyAuto, PortPayloads({0xDE, 0xFF}), 0},
        {kType3, kZmr04, &LcdVirt::KeySpare, PortPayloads({0xCF, 0xFF}), 0},
        {kType3, kZmr04, &LcdVirt::KeyLeft, PortPayloads({0xD7}), 0},
        {kType3, kZmr04, &LcdVirt::KeyRight, PortPayloads({0xDB}), 0},
        {kType3, kZmr04, &LcdVirt::KeyUp, PortPayloads({0x5F}), 0},
        {kType3, kZmr04, &LcdVirt::KeyDown, PortPayloads({0x9F}), 0},
        {kType3, kZmr04, &LcdVirt::ReleaseKeys, PortPayloads({0xFF}), 0},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "Type" << c.lcd + 1 << " on ZMR0" << c.ctrl + 1 << " " << OpName(c.op));
        Rig rig(c.ctrl);
        auto lcd = MakeLcd(c.lcd, rig.ctrl.get());
        EXPECT_EQ((lcd.get()->*c.op)(), c.result);
        EXPECT_EQ(rig.Sent(), c.sent);
    }
}

TEST_F(LcdKeys, Type3NeedsZmr04ForEveryKeyAndTheRelease)
{
    for (int ctrl : {kZmr01, kZmr02, kZmr03}) {
        Rig rig(ctrl);
        auto lcd = MakeLcd(kType3, rig.ctrl.get());
        for (KeyOp op : kAllKeys) {
            SCOPED_TRACE(::testing::Message() << "ZMR0" << ctrl + 1 << " " << OpName(op));
            EXPECT_EQ((lcd.get()->*op)(), 2);
        }
        EXPECT_TRUE(rig.Sent().empty());
    }
}

TEST_F(LcdKeys, WithoutControllerNothingIsSent)
{
    for (int type : {kType1, kType2, kType3}) {
        Rig rig(kZmr04);
        auto lcd = MakeLcd(type, nullptr);
        for (KeyOp op : kAllKeys) {
            SCOPED_TRACE(::testing::Message() << "Type" << type + 1 << " " << OpName(op));
            const int expected = op == &LcdVirt::ReleaseKeys && type != kType3 ? 0 : 1;
            EXPECT_EQ((lcd.get()->*op)(), expected);
        }
        EXPECT_TRUE(rig.Sent().empty());
    }
}

struct TimingCase {
    int lcd;
    int ctrl;
    KeyOp op;
    std::vector<int> pauseAfterMs; // per code; the last one before the operation returns
};

// Every pause is taken in full between the reply to one code and the next
// code (or the return), and not stretched beyond reason.
TEST_F(LcdKeys, PausesSeparateTheCodesOfASequence)
{
    const TimingCase cases[] = {
        {kType1, kZmr02, &LcdVirt::KeyRight, {5, 5, 5, 10}},
        {kType1, kZmr01, &LcdVirt::KeyLeft, {5, 5, 5, 10}},
        {kType1, kZmr02, &LcdVirt::KeySpare, {0, 25, 0}},
        {kType3, kZmr04, &LcdVirt::KeySelect, {150, 0}},
        {kType3, kZmr04, &LcdVirt::KeyAuto, {150, 0}},
        {kType3, kZmr04, &LcdVirt::KeySpare, {150, 0}},
    };
    for (const TimingCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "Type" << c.lcd + 1 << " on ZMR0" << c.ctrl + 1 << " " << OpName(c.op));
        Rig rig(c.ctrl);
        auto lcd = MakeLcd(c.lcd, rig.ctrl.get());
        ASSERT_EQ((lcd.get()->*c.op)(), 0);
        const Clock::time_point end = Clock::now();
        const auto writes = rig.log.Writes();
        ASSERT_EQ(writes.size(), c.pauseAfterMs.size());
        for (size_t i = 0; i < writes.size(); ++i) {
            const Clock::time_point next = i + 1 < writes.size() ? writes[i + 1].sent : end;
            const long long gap = Micros(writes[i].done, next);
            EXPECT_GE(gap, c.pauseAfterMs[i] * 1000LL) << "after code " << i;
            EXPECT_LE(gap, (c.pauseAfterMs[i] + 150) * 1000LL) << "after code " << i;
        }
    }
}

struct FailureCase {
    int lcd;
    int ctrl;
    KeyOp op;
    std::map<size_t, TransactResult> failAt;
    std::vector<uint8_t> written; // codes that reached WriteOutputPort
    int result;
};

TEST_F(LcdKeys, AFailingCodeEndsTheSequenceWithItsResult)
{
    const FailureCase cases[] = {
        {kType1, kZmr02, &LcdVirt::KeyRight, {{1, 1}}, {0xFB, 0xF3}, 1},
        {kType1, kZmr03, &LcdVirt::KeyLeft, {{0, 1}}, {0xF7}, 1},
        {kType1, kZmr03, &LcdVirt::KeyLeft, {{3, -1}}, {0xF7, 0xF3, 0xFB, 0xFF}, -1},
        {kType1, kZmr01, &LcdVirt::KeySelect, {{1, 2}}, {0xFF, 0xFD}, 2},
        // The spare key is always released, whatever its press did.
        {kType1, kZmr02, &LcdVirt::KeySpare, {{0, 1}, {1, 1}}, {0xFF, 0xEF, 0xFF}, 0},
        {kType1, kZmr02, &LcdVirt::KeySpare, {{2, 1}}, {0xFF, 0xEF, 0xFF}, 1},
        // No release after a press that did not go through.
        {kType3, kZmr04, &LcdVirt::KeySelect, {{0, 1}}, {0xDD}, 1},
        {kType3, kZmr04, &LcdVirt::KeyAuto, {{1, -1}}, {0xDE, 0xFF}, -1},
        {kType3, kZmr04, &LcdVirt::ReleaseKeys, {{0, 1}}, {0xFF}, 1},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "Type" << c.lcd + 1 << " on ZMR0" << c.ctrl + 1 << " "
                                          << OpName(c.op) << " failing at " << c.failAt.begin()->first);
        Rig rig(c.ctrl);
        rig.log.failAt = c.failAt;
        auto lcd = MakeLcd(c.lcd, rig.ctrl.get());
        EXPECT_EQ((lcd.get()->*c.op)(), c.result);
        EXPECT_EQ(rig.log.Codes(), c.written);
    }
}

TEST_F(LcdKeys, Type3SkipsThePressPauseWhenThePressFails)
{
    Rig rig(kZmr04);
    rig.log.failAt = {{0, 1}};
    auto lcd = MakeLcd(kType3, rig.ctrl.get());
    const auto start = Clock::now();
    EXPECT_EQ(lcd->KeySelect(), 1);
    EXPECT_LT(Micros(start, Clock::now()), 100 * 1000LL);
}

TEST_F(LcdKeys, AnUnansweredCodeIsRetriedByTheControllerThenEndsTheSequence)
{
    Rig rig(kZmr02);
    rig.channel.silent.insert(0x86);
    auto lcd = MakeLcd(kType1, rig.ctrl.get());
    EXPECT_EQ(lcd->KeyRight(), 1);
    EXPECT_EQ(rig.Sent(), PortPayloads({0xFB, 0xFB, 0xFB}));
}

struct BoxCase {
    const char* name;
    int lcd;
    int ctrl;
    KeyOp op;
    std::map<size_t, TransactResult> failAt;
};

TEST_F(LcdKeys, CommInfoBoxShowsWithoutFocusDuringTheOperationAndIsHiddenOnEveryWayOut)
{
    const BoxCase cases[] = {
        {"done", kType1, kZmr02, &LcdVirt::KeyRight, {}},
        {"failing step", kType1, kZmr02, &LcdVirt::KeyRight, {{1, 1}}},
        {"unfit controller", kType1, kZmr04, &LcdVirt::KeyRight, {}},
        {"unfit controller", kType3, kZmr01, &LcdVirt::ReleaseKeys, {}},
        {"brightness", kType2, kZmr03, &LcdVirt::KeyLeft, {}},
    };
    for (const BoxCase& c : cases) {
        for (int show : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << c.name << " " << OpName(c.op) << " show " << show);
            CommInfoBoxStandIn box;
            Rig rig(c.ctrl);
            rig.log.failAt = c.failAt;
            rig.ctrl->m_bShowCommInfo = show;
            auto lcd = MakeLcd(c.lcd, rig.ctrl.get());
            (lcd.get()->*c.op)();
            EXPECT_FALSE(box.Visible());
            for (const Transaction& t : rig.log.Transactions()) {
                EXPECT_EQ(t.boxVisible, show == 1);
                EXPECT_FALSE(t.boxActive);
            }
        }
    }
}

// Runs op on a worker thread and returns once its first code was written.
class Background {
public:
    Background(LcdVirt& lcd, KeyOp op, PortLog& log) : m_thread([this, &lcd, op] { result = (lcd.*op)(); })
    {
        const auto start = Clock::now();
        while (log.WriteCount() == 0 && Micros(start, Clock::now()) < 2000 * 1000LL)
            ::Sleep(1);
    }
    ~Background() { Join(); }
    void Join()
    {
        if (m_thread.joinable()) m_thread.join();
    }
    int result = -99;

private:
    std::thread m_thread;
};

TEST_F(LcdKeys, ASecondRequestGivesUpAfterAbout100msWhileASequenceRuns)
{
    Rig rig(kZmr04);
    auto lcd = MakeLcd(kType3, rig.ctrl.get());
    Background select(*lcd, &LcdVirt::KeySelect, rig.log); // holds the display for 150 ms
    const auto start = Clock::now();
    EXPECT_EQ(lcd->KeyUp(), 1);
    const long long waited = Micros(start, Clock::now());
    select.Join();
    EXPECT_EQ(select.result, 0);
    EXPECT_GE(waited, 95 * 1000LL);
    EXPECT_LE(waited, 1000 * 1000LL);
    EXPECT_EQ(rig.Sent(), PortPayloads({0xDD, 0xFF}));
}

TEST_F(LcdKeys, DetachWaitsForTheRunningSequence)
{
    Rig rig(kZmr04);
    auto lcd = MakeLcd(kType3, rig.ctrl.get());
    Background select(*lcd, &LcdVirt::KeySelect, rig.log);
    EXPECT_EQ(lcd->DetachController(), rig.ctrl.get());
    // The release went out before the link was cut.
    EXPECT_EQ(rig.log.Codes(), (std::vector<uint8_t>{0xDD, 0xFF}));
    select.Join();
    EXPECT_EQ(select.result, 0);
    EXPECT_EQ(lcd->KeySelect(), 1);
    EXPECT_EQ(lcd->AttachController(rig.ctrl.get()), nullptr);
    EXPECT_EQ(lcd->KeyLeft(), 0);
}

} // namespace
