// Command exchanges of the controller models against an in-process device:
// retries and timing of a transaction, the configuration sequences, the
// single-parameter operations, the output port, the temperature and the
// receive filters.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ControllerTestSupport.h"
#include "FakeChannel.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

template <typename Model> class Attached {
public:
    Attached()
    {
        ClearControllerRegistry();
        ctrl = std::make_unique<Model>();
        CloseThreadBoxes();
        App().channel = &channel;
        App().controller = ctrl.get();
        channel.SetListener(ctrl.get());
    }
    ~Attached()
    {
        channel.ClearListener();
        App().controller = nullptr;
        App().channel = nullptr;
        ctrl.reset();
        ClearControllerRegistry();
    }
    FakeChannel channel;
    std::unique_ptr<Model> ctrl;
};

std::vector<Bytes> Payloads(FakeChannel& channel)
{
    std::vector<Bytes> out;
    for (const auto& s : channel.SentPayloads())
        out.push_back(s.payload);
    return out;
}

TEST(ControllerTransact, SilentControllerIsAskedThreeTimesAbout100msApart)
{
    Attached<ZMR02Ctrl> a;
    a.channel.silent.insert(0x05);
    const uint8_t cmd[1] = {0x05};
    const auto start = Clock::now();
    EXPECT_EQ(a.ctrl->Transact(cmd, 1, 0x85), 1);
    const long long elapsed = MsSince(start);
    const auto sent = a.channel.SentPayloads();
    ASSERT_EQ(sent.size(), 3u);
    for (size_t i = 1; i < sent.size(); ++i) {
        const auto gap =
            std::chrono::duration_cast<std::chrono::milliseconds>(sent[i].at - sent[i - 1].at).count();
        EXPECT_GE(gap, 80) << "attempt " << i;
        EXPECT_LE(gap, 250) << "attempt " << i;
    }
    EXPECT_GE(elapsed, 250);
    EXPECT_LE(elapsed, 1200);
}

TEST(ControllerTransact, ReplyWithAnotherCodeIsIgnoredUntilTheRightOneComes)
{
    Attached<ZMR02Ctrl> a;
    a.channel.scripted[0x03] = {{0x84, 0x09}, {0x83, 0x07}};
    EXPECT_EQ(a.ctrl->ReadStabilization(0), 0); // regular answer for 0x05
    const uint8_t cmd[1] = {0x03};
    EXPECT_EQ(a.ctrl->Transact(cmd, 1, 0x83), 0);
    EXPECT_EQ(a.ctrl->m_Reply[0], 0x83);
    EXPECT_EQ(a.ctrl->m_Reply[1], 0x07);
    EXPECT_EQ(a.channel.SentPayloads().size(), 2u); // answered at the first attempt
}

// Only a reply stored after the command went out counts for it: one left
// in the store by an earlier exchange (a late answer, a reply nobody waited
// for) is neither taken for the answer nor read as its value.
TEST(ControllerTransact, ReplyStoredBeforeTheCommandWentOutDoesNotCount)
{
    const struct {
        const char* what;
        bool deviceAnswers;
        TransactResult result;
        int32_t stabilization; // what ReadStabilization leaves
        size_t sends;
    } cases[] = {
        {"silent device: no reply, the default", false, 1, 4, 3},
        {"answering device: its own value", true, 0, 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Attached<ZMR01Ctrl> a;
        if (c.deviceAnswers) {
            a.channel.params[0x05] = 7;
        } else {
            a.channel.silent.insert(0x05);
        }
        a.channel.Deliver({0x85, 0x01}); // a stale answer with the expected code
        a.channel.Drain();
        EXPECT_EQ(a.ctrl->ReadStabilization(0), c.result);
        EXPECT_EQ(a.ctrl->Stabilization, c.stabilization);
        EXPECT_EQ(a.channel.SentPayloads().size(), c.sends);
    }
}

TEST(ControllerTransact, QuitEventAbortsAWaitingTransaction)
{
    Attached<ZMR01Ctrl> a;
    a.channel.silent.insert(0x05);
    ::SetEvent(a.ctrl->m_hQuitEvent.get());
    const uint8_t cmd[1] = {0x05};
    EXPECT_EQ(a.ctrl->Transact(cmd, 1, 0x85), -1);
}

// A channel whose device answers inside Send, before the transaction has
// begun to wait: the reply is stored and signalled between two waits.
class AnswersInsideSend : public FakeChannel {
public:
    std::vector<Bytes> replies;
    bool Send(const uint8_t* payload, int length) override
    {
        FakeChannel::Send(payload, length);
        ::EnterCriticalSection(&m_Lock);
        for (const Bytes& reply : replies) {
            if (m_pListener != nullptr) m_pListener->OnReceive(reply.data(), static_cast<int>(reply.size()));
        }
        ::LeaveCriticalSection(&m_Lock);
        return true;
    }
};

// The transaction waits on the quit event, the reply and the timer at once;
// a reply that is already there when a wait begins is taken by it, and the
// quit event goes before everything.
TEST(ControllerTransact, ReplyThatArrivesBetweenTwoWaitsIsTaken)
{
    const struct {
        const char* what;
        std::vector<Bytes> insideSend; // stored before the first wait
        std::vector<Bytes> fromDevice; // delivered at once, from the device's thread
        bool quit;
        TransactResult result;
    } cases[] = {
        {"before the first wait", {{0x85, 0x07}}, {}, false, 0},
        {"wrong code, then the right one, both before the wait", {{0x84, 0x01}, {0x85, 0x07}}, {}, false, 0},
        {"right one while the wrong one is handled", {}, {{0x84, 0x01}, {0x85, 0x07}}, false, 0},
        {"quit goes before a reply that is there", {{0x85, 0x07}}, {}, true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearControllerRegistry();
        AnswersInsideSend channel;
        channel.replies = c.insideSend;
        channel.replyDelayMs = 0;
        if (c.fromDevice.empty()) {
            channel.silent.insert(0x05);
        } else {
            channel.scripted[0x05] = c.fromDevice;
        }
        ZMR02Ctrl ctrl;
        CloseThreadBoxes();
        App().channel = &channel;
        channel.SetListener(&ctrl);
        if (c.quit) ::SetEvent(ctrl.m_hQuitEvent.get());

        const uint8_t cmd[1] = {0x05};
        EXPECT_EQ(ctrl.Transact(cmd, 1, 0x85), c.result);
        if (c.result == 0) {
            EXPECT_EQ(ctrl.m_Reply[0], 0x85);
            EXPECT_EQ(ctrl.m_Reply[1], 0x07);
        }
        EXPECT_EQ(channel.SentPayloads().size(), 1u); // never sent again
        channel.Drain();
        channel.ClearListener();
        App().channel = nullptr;
    }
    ClearControllerRegistry();
}

TEST(ControllerTransact, WithoutAChannelEveryCommandReturns2AndShowsNothing)
{
    ClearControllerRegistry();
    ZMR03Ctrl ctrl;
    CloseThreadBoxes();
    const HWND box =
        ::CreateWindowA("STATIC", "box", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    App().commInfoBox = box;
    ctrl.m_bShowCommInfo = 1;
    uint8_t buffer[32];
    uint8_t length = 0;
    float t = 1.5f;
    EXPECT_EQ(ctrl.ReadConfig(), 2);
    EXPECT_EQ(ctrl.WriteConfig(), 2);
    EXPECT_EQ(ctrl.ReadStabilization(0), 2);
    EXPECT_EQ(ctrl.WriteStabilization(0), 2);
    EXPECT_EQ(ctrl.ReadFilter(0), 2);
    EXPECT_EQ(ctrl.WriteFilter(0), 2);
    EXPECT_EQ(ctrl.WriteOutputPort(0xFD), 2);
    EXPECT_EQ(ctrl.ReadOutputPort(buffer, sizeof(buffer), &length), 2);
    EXPECT_EQ(ctrl.ReadTemperature(&t), 0);
    EXPECT_EQ(t, 1.5f);
    EXPECT_FALSE(::IsWindowVisible(box));
    App().commInfoBox = nullptr;
    ::DestroyWindow(box);
    ClearControllerRegistry();
}

TEST(ControllerConfig, ReadConfigOnASilentControllerKeepsTheModelDefaults)
{
    struct Case {
        int model;
        size_t exchanges;
    };
    for (const Case c : {Case{0, 5}, Case{1, 6}}) {
        ClearControllerRegistry();
        FakeChannel channel;
        std::unique_ptr<ZmrModelCtrl> ctrl;
        if (c.model == 0)
            ctrl = std::make_unique<ZMR01Ctrl>();
        else
            ctrl = std::make_unique<ZMR02Ctrl>();
        CloseThreadBoxes();
        App().channel = &channel;
        channel.SetListener(ctrl.get());
        for (int code = 0; code < 256; ++code)
            channel.silent.insert(static_cast<uint8_t>(code));
        ctrl->PressDelay = 77;
        ctrl->Filter = 77;
        EXPECT_EQ(ctrl->ReadConfig(), 1) << "model " << c.model;
        EXPECT_EQ(channel.SentPayloads().size(), 3 * c.exchanges);
        EXPECT_EQ(ctrl->PressDelay, 2);
        EXPECT_EQ(ctrl->Filter, c.model == 0 ? 32 : 8);
        EXPECT_EQ(ctrl->Deglitch, c.model == 0 ? 16 : 6);
        channel.ClearListener();
        App().channel = nullptr;
    }
    ClearControllerRegistry();
}

TEST(ControllerConfig, ReadConfigTakesEveryAnsweredValueAndReportsTheLastExchange)
{
    Attached<ZMR02Ctrl> a;
    a.channel.params = {{0x03, 11}, {0x02, 12}, {0x04, 13}, {0x05, 14}, {0x08, 15}, {0x0B, 16}};
    a.channel.silent.insert(0x0B); // everything but the last question
    EXPECT_EQ(a.ctrl->ReadConfig(), 1);
    EXPECT_EQ(a.ctrl->PressDelay, 11);
    EXPECT_EQ(a.ctrl->Deglitch, 12);
    EXPECT_EQ(a.ctrl->ReleaseDelay, 13);
    EXPECT_EQ(a.ctrl->Stabilization, 14);
    EXPECT_EQ(a.ctrl->Filter, 15);
    EXPECT_EQ(a.ctrl->ChargeWS, 8);
    const auto sent = Payloads(a.channel);
    ASSERT_GE(sent.size(), 5u);
    EXPECT_EQ(sent[0], Bytes({0x03}));
    EXPECT_EQ(sent[1], Bytes({0x02}));
    EXPECT_EQ(sent[2], Bytes({0x04}));
    EXPECT_EQ(sent[3], Bytes({0x05}));
    EXPECT_EQ(sent[4], Bytes({0x08}));
}

TEST(ControllerConfig, WriteConfigSendsSixParametersAsLowBytesInOrder)
{
    Attached<ZMR01Ctrl> a;
    a.ctrl->PressDelay = 300; // travels as 300 mod 256
    a.ctrl->Deglitch = 16;
    a.ctrl->ReleaseDelay = 8;
    a.ctrl->Stabilization = 4;
    a.ctrl->Filter = 32;
    a.ctrl->Threshold = 75;
    EXPECT_EQ(a.ctrl->WriteConfig(), 0);
    EXPECT_EQ(Payloads(a.channel),
              (std::vector<Bytes>{{0x83, 44}, {0x82, 16}, {0x84, 8}, {0x85, 4}, {0x88, 32}, {0x89, 75}}));
    EXPECT_EQ(a.ctrl->PressDelay, 300);

    Attached<ZMR03Ctrl> b;
    EXPECT_EQ(b.ctrl->WriteConfig(), 0);
    const auto sent = Payloads(b.channel);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[5], Bytes({0x8B, 8}));
}

TEST(ControllerConfig, WriteConfigStopsAtTheFirstUnansweredCommand)
{
    Attached<ZMR02Ctrl> a;
    a.channel.silent.insert(0x83);
    EXPECT_EQ(a.ctrl->WriteConfig(), 1);
    EXPECT_EQ(a.channel.SentPayloads().size(), 3u);
}

TEST(ControllerConfig, SingleParameterOperations)
{
    Attached<ZMR01Ctrl> a;
    a.channel.scripted[0x05] = {{0x85, 0x07}};
    EXPECT_EQ(a.ctrl->ReadStabilization(0), 0);
    EXPECT_EQ(a.ctrl->Stabilization, 7);
    a.channel.silent.insert(0x08);
    a.ctrl->Filter = 50;
    EXPECT_EQ(a.ctrl->ReadFilter(0), 1);
    EXPECT_EQ(a.ctrl->Filter, 32);
    a.channel.ClearSent();
    a.ctrl->Filter = 21;
    EXPECT_EQ(a.ctrl->WriteFilter(99), 0);
    EXPECT_EQ(a.ctrl->WriteStabilization(0), 0);
    EXPECT_EQ(Payloads(a.channel), (std::vector<Bytes>{{0x88, 21}, {0x85, 7}}));
    // A reply without its value counts as no reply: the default is taken.
    a.channel.scripted[0x05] = {{0x85}};
    EXPECT_EQ(a.ctrl->ReadStabilization(0), 1);
    EXPECT_EQ(a.ctrl->Stabilization, 4);
}

TEST(ControllerConfig, OutputPort)
{
    Attached<ZMR02Ctrl> a;
    EXPECT_EQ(a.ctrl->WriteOutputPort(0xFD), 0);
    EXPECT_EQ(Payloads(a.channel), (std::vector<Bytes>{{0x86, 0xFD}}));
    uint8_t buffer[32] = {};
    uint8_t length = 0;
    EXPECT_EQ(a.ctrl->ReadOutputPort(buffer, sizeof(buffer), &length), 0);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(buffer[0], 0x86);
    EXPECT_EQ(buffer[1], 0xFD);
    // A buffer smaller than the reply gets what fits, nothing beyond it.
    uint8_t small[2] = {0, 0x55};
    EXPECT_EQ(a.ctrl->ReadOutputPort(small, 1, &length), 0);
    EXPECT_EQ(length, 1);
    EXPECT_EQ(small[0], 0x86);
    EXPECT_EQ(small[1], 0x55);
}

TEST(ControllerConfig, CommInfoBoxIsShownDuringCommandsOnlyWhenAskedFor)
{
    Attached<ZMR02Ctrl> a;
    const HWND box =
        ::CreateWindowA("STATIC", "box", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    App().commInfoBox = box;
    bool seenVisible = false;
    a.channel.scripted[0x05] = {}; // silent, but we look while it waits
    std::thread probe([&] {
        for (int i = 0; i < 30 && !seenVisible; ++i) {
            seenVisible = ::IsWindowVisible(box) != FALSE;
            ::Sleep(10);
        }
    });
    a.ctrl->m_bShowCommInfo = 1;
    a.ctrl->ReadStabilization(0);
    probe.join();
    EXPECT_TRUE(seenVisible);
    EXPECT_FALSE(::IsWindowVisible(box));
    App().commInfoBox = nullptr;
    ::DestroyWindow(box);
}

TEST(ControllerReceive, TemperatureOfTheModelsThatHaveIt)
{
    Attached<ZMR03Ctrl> a;
    a.channel.scripted[0x21] = {{0xA1, 0x28, 0x00}};
    float t = 0;
    EXPECT_EQ(a.ctrl->ReadTemperature(&t), 1);
    EXPECT_FLOAT_EQ(t, 20.0f);
    a.channel.scripted[0x21] = {{0xA1, 0xCE, 0xFF}}; // -50: out of range
    EXPECT_EQ(a.ctrl->ReadTemperature(&t), 1);
    EXPECT_EQ(a.ctrl->m_nTemperature, 255);
    EXPECT_FLOAT_EQ(t, 127.5f);
    a.channel.scripted[0x21] = {{0xA1, 0x28}}; // too short to hold a reading
    EXPECT_EQ(a.ctrl->ReadTemperature(&t), 1);
    EXPECT_FLOAT_EQ(t, 127.5f);

    Attached<ZMR01Ctrl> b;
    t = 3.0f;
    EXPECT_EQ(b.ctrl->ReadTemperature(&t), 0);
    EXPECT_EQ(t, 3.0f);
    EXPECT_TRUE(b.channel.SentPayloads().empty());
}

TEST(ControllerReceive, RejectedCodesAreLoggedWithTheFilterText)
{
    EventRecorder events;
    {
        Attached<ZMR01Ctrl> a;
        const uint8_t p[2] = {0x8B, 0x05};
        a.ctrl->m_Reply[0] = 0;
        EXPECT_EQ(a.ctrl->OnReceive(p, 2), 1);
        EXPECT_EQ(a.ctrl->m_Reply[0], 0); // nothing stored
    }
    {
        Attached<ZMR04Ctrl> a;
        const uint8_t p[1] = {0x09};
        a.ctrl->OnReceive(p, 1);
        const uint8_t accepted[2] = {0x8B, 0x05};
        a.ctrl->OnReceive(accepted, 2);
        EXPECT_EQ(a.ctrl->m_Reply[0], 0x8B);
    }
    std::vector<std::string> inserts;
    for (const auto& e : events.Events()) {
        if (e.id == 0xa02a0008) inserts.push_back(e.insert);
    }
    EXPECT_EQ(inserts, (std::vector<std::string>{"139 - Controller ZMR01", "9 - Controller ZMR03"}));
}

TEST(ControllerReceive, LongPayloadIsStoredTruncatedAndSignalled)
{
    Attached<ZMR02Ctrl> a;
    Bytes p(40, 0x11);
    p[0] = 0x82;
    ::WaitForSingleObject(a.ctrl->m_hRecEvent.get(), 0);
    a.ctrl->OnReceive(p.data(), static_cast<int>(p.size()));
    EXPECT_EQ(a.ctrl->m_nReplyLen, 32);
    EXPECT_EQ(::WaitForSingleObject(a.ctrl->m_hRecEvent.get(), 0), WAIT_OBJECT_0);
}

} // namespace
