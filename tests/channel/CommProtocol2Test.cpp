// The serial channel against the simulated device on COM3: identification,
// re-initialisation, restart notices, delivery to the listener, opening and
// closing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CommTestSupport.h"
#include "base/AppContext.h"
#include "channel/CommProtocol2.h"
#include "channel/FrameCodec.h"
#include "support/DevSim.h"

namespace {

constexpr int kComNumber = 3;
constexpr int kChannelIndex = kComNumber - 1;
constexpr WORD kCmdDeviceRestarted = 4002;
constexpr WORD kCmdIdentified = 4004;
const uint8_t kIdentQuery[] = {0x01};

std::string Hex(const uint8_t* bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof(pair), i == 0 ? "%02x" : " %02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::vector<uint8_t> FrameOf(const Bytes& payload)
{
    uint8_t frame[kFrameBufferSize];
    const int size = EncodeFrame(payload.data(), static_cast<int>(payload.size()), frame);
    return std::vector<uint8_t>(frame, frame + size);
}

std::string HexOf(const std::vector<uint8_t>& bytes, size_t from = 0, size_t to = SIZE_MAX)
{
    to = to < bytes.size() ? to : bytes.size();
    return from < to ? Hex(bytes.data() + from, to - from) : std::string();
}

// The thirteen channel values with the given read timeouts and the default
// line settings.
void StoreReadTimeouts(uint32_t interval, uint32_t constant, uint32_t multiplier)
{
    const std::string key = ChannelKeyPath(kComNumber);
    const struct {
        const char* name;
        uint32_t value;
    } values[] = {
        {"RdIntTimeout", interval},
        {"RdTotTimeoutConst", constant},
        {"RdTotTimeoutMult", multiplier},
        {"WrTotTimeoutConst", 0},
        {"WrTotTimeoutMult", 0},
        {"ByteSize", 8},
        {"BaudRate", 9600},
        {"Parity", 2},
        {"CheckParity", 1},
        {"ErrorChar", 1},
        {"StopBits", 0},
        {"RdBufferSize", 20},
        {"WrBufferSize", 10},
    };
    for (const auto& v : values)
        ASSERT_TRUE(SetRegDword(key, v.name, v.value));
}

class ChannelOnDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteChannelKey(kComNumber);
        App().messageWindow = nullptr;
        App().restartPending = 0;
    }

    void TearDown() override
    {
        JoinWorker();
        channel.reset();
        sim.Stop();
        DeleteChannelKey(kComNumber);
        App().messageWindow = nullptr;
        App().restartPending = 0;
    }

    // Starts the device and opens the channel with the default line settings
    // (nothing is stored without reportDefaults).
    void StartAndOpen(const DevSim::Options& options = DevSim::Options{})
    {
        ASSERT_TRUE(sim.Start(options)) << sim.LastError();
        channel = std::make_unique<CommProtocol2>(kChannelIndex, false);
        ASSERT_TRUE(channel->Open());
        channel->SetListener(&listener);
    }

    // Runs Identify on another thread so that the test can act on the
    // device meanwhile.
    void IdentifyInBackground()
    {
        worker = std::thread([this] { identified = channel->Identify(&ident, false); });
    }
    void JoinWorker()
    {
        if (worker.joinable()) worker.join();
    }

    // The simulated device puts its pty settings back once it sees the PC
    // close the port; a pty refuses the PC's next configuration until then.
    // A control round trip lets it see the hang-up first.
    void LetDeviceSeeTheClose() { EXPECT_TRUE(sim.Command("wait-closed 2000")) << sim.LastError(); }

    size_t QueriesReceived()
    {
        size_t n = 0;
        for (const Bytes& p : sim.Received())
            n += p == Bytes{0x01} ? 1 : 0;
        return n;
    }

    RecordingListener listener; // outlives the channel
    DevSim sim;
    std::unique_ptr<CommProtocol2> channel;
    std::thread worker;
    IdentRecord ident;
    bool identified = false;
};

TEST_F(ChannelOnDevice, IdentifyReportsTheDevicesIdentity)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    IdentRecord out;
    ASSERT_TRUE(channel->Identify(&out, false));
    EXPECT_EQ(out.HwId, 2);
    EXPECT_EQ(out.MajorSwVer, 1);
    EXPECT_EQ(out.MinorSwVer, 30);

    ASSERT_TRUE(sim.Command("ident 4 2 7"));
    ASSERT_TRUE(channel->Identify(&out, false));
    EXPECT_EQ(out.HwId, 4);
    EXPECT_EQ(out.MajorSwVer, 2);
    EXPECT_EQ(out.MinorSwVer, 7);
}

TEST_F(ChannelOnDevice, IdentifyWithNotifySendsTheRecordToTheMessageWindow)
{
    CommandWindow window;
    App().messageWindow = window.hwnd();
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    IdentRecord out;
    ASSERT_TRUE(channel->Identify(&out, true));
    ASSERT_EQ(window.Count(kCmdIdentified), 1);
    // Sent, not posted: the window handled it before Identify returned, and
    // the record was already filled in.
    const CommandWindow::Command& command = window.Commands().front();
    EXPECT_EQ(command.lParam, reinterpret_cast<LPARAM>(&out));
    EXPECT_EQ(command.identAtDelivery.HwId, 2);
    EXPECT_EQ(command.identAtDelivery.MinorSwVer, 30);

    ASSERT_TRUE(channel->Identify(&out, false));
    EXPECT_EQ(window.Count(kCmdIdentified), 1);
}

TEST_F(ChannelOnDevice, QueriesGiveUpAfterAboutEightHundredMsWhenNobodyAnswers)
{
    DevSim::Options options;
    options.absent = true;
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(options));

    IdentRecord out;
    out.HwId = 9;
    bool result = true;
    long long ms = ElapsedMs([&] { result = channel->Identify(&out, false); });
    EXPECT_FALSE(result);
    EXPECT_GE(ms, 500);
    EXPECT_LE(ms, 2500);
    EXPECT_EQ(out.HwId, 0);
    EXPECT_EQ(out.MajorSwVer, 0);
    EXPECT_EQ(out.MinorSwVer, 0);
    EXPECT_EQ(QueriesReceived(), 3u);

    sim.ClearReceived();
    ms = ElapsedMs([&] { result = channel->ReInit(); });
    EXPECT_FALSE(result);
    EXPECT_GE(ms, 500);
    EXPECT_LE(ms, 2500);
    ASSERT_TRUE(sim.WaitReceived(3, 1000));
    for (const Bytes& p : sim.Received())
        EXPECT_EQ(p, Bytes{0x87});
}

TEST_F(ChannelOnDevice, QueriesOnAClosedChannelFailAtOnce)
{
    ASSERT_TRUE(sim.Start(DevSim::Options{})) << sim.LastError();
    CommProtocol2 never(kChannelIndex, false);
    IdentRecord out;
    out.HwId = 9;
    bool result = true;
    EXPECT_LT(ElapsedMs([&] { result = never.Identify(&out, false); }), 150);
    EXPECT_FALSE(result);
    EXPECT_EQ(out.HwId, 0);
    EXPECT_FALSE(never.ReInit());
    EXPECT_FALSE(never.Send(kIdentQuery, 1));

    ASSERT_TRUE(never.Open());
    ASSERT_TRUE(never.Close());
    EXPECT_LT(ElapsedMs([&] { result = never.Identify(&out, false); }), 150);
    EXPECT_FALSE(result);
    EXPECT_FALSE(never.Send(kIdentQuery, 1));

    ::Sleep(100);
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(ChannelOnDevice, ReInitReplyDuringIdentifyIsAFailedAttempt)
{
    DevSim::Options options;
    options.silent = {0x01};
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(options));

    IdentifyInBackground();
    ASSERT_TRUE(sim.WaitReceived(1, 1000));
    ASSERT_TRUE(sim.Command("send 07"));
    // The 0x07 ends the first attempt without success: a second query follows.
    ASSERT_TRUE(sim.WaitReceived(2, 1000));
    ASSERT_TRUE(sim.Command("unsilent 0x01"));
    JoinWorker();

    EXPECT_TRUE(identified);
    EXPECT_EQ(ident.HwId, 2);
    EXPECT_EQ(ident.MinorSwVer, 30);
    EXPECT_GE(QueriesReceived(), 2u);
    // The channel's own replies reach the listener too.
    ASSERT_FALSE(listener.Payloads().empty());
    EXPECT_EQ(listener.Payloads().front(), Bytes{0x07});
}

TEST_F(ChannelOnDevice, ShortIdentificationReplyDoesNotCompleteButReachesTheListener)
{
    DevSim::Options options;
    options.silent = {0x01};
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(options));

    IdentifyInBackground();
    ASSERT_TRUE(sim.WaitReceived(1, 1000));
    ASSERT_TRUE(sim.Command("send 81 02 01"));
    JoinWorker();

    EXPECT_FALSE(identified);
    EXPECT_EQ(ident.HwId, 0);
    EXPECT_EQ(QueriesReceived(), 3u);
    ASSERT_TRUE(listener.WaitFor(1, 500));
    EXPECT_EQ(listener.Payloads().front(), (Bytes{0x81, 0x02, 0x01}));
}

TEST_F(ChannelOnDevice, FrameSplitAcrossReadsIsDeliveredOnceWhenComplete)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    // A touch report whose second byte is a DLE: the split falls between
    // the two bytes of the doubled DLE, so the decoder's escape state must
    // survive from one read to the next.
    const uint8_t touch[] = {0x90, 0x10, 0x20, 0x03};
    uint8_t frame[kFrameBufferSize];
    const int size = EncodeFrame(touch, sizeof(touch), frame);
    ASSERT_EQ(Hex(frame, 5), "10 01 04 90 10");

    ASSERT_TRUE(sim.Command("raw " + Hex(frame, 5)));
    ::Sleep(150);
    EXPECT_TRUE(listener.Payloads().empty());
    ASSERT_TRUE(sim.Command("raw " + Hex(frame + 5, static_cast<size_t>(size - 5))));
    ASSERT_TRUE(listener.WaitFor(1, 1000));
    ::Sleep(100);
    ASSERT_EQ(listener.Payloads().size(), 1u);
    EXPECT_EQ(listener.Payloads().front(), Bytes(touch, touch + sizeof(touch)));
}

// The receive thread wakes on arrival and reads what is queued: a frame cut
// at any byte, with the rest arriving while the thread waits again, is
// delivered once and in order with the frame that follows it.
TEST_F(ChannelOnDevice, FramesSplitAtEveryByteAreDeliveredInOrder)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    const Bytes follower = {0x91};
    const std::vector<uint8_t> next = FrameOf(follower);
    size_t expected = 0;
    // A DLE in the payload and in the checksum's neighbourhood makes the
    // escape state cross the cut for some of the cuts.
    for (uint8_t k = 1;; ++k) {
        const Bytes touch = {0x90, 0x10, k, 0x03};
        std::vector<uint8_t> frame = FrameOf(touch);
        if (k >= frame.size()) break;
        ASSERT_TRUE(sim.Command("raw " + HexOf(frame, 0, k)));
        ::Sleep(20); // the head is read; the thread waits for more
        ASSERT_TRUE(sim.Command("raw " + HexOf(frame, k) + " " + HexOf(next)));
        expected += 2;
        ASSERT_TRUE(listener.WaitFor(expected, 2000)) << "cut after byte " << int{k};
        const std::vector<Bytes> got = listener.Payloads();
        ASSERT_EQ(got.size(), expected) << "cut after byte " << int{k};
        EXPECT_EQ(got[expected - 2], touch) << "cut after byte " << int{k};
        EXPECT_EQ(got[expected - 1], follower) << "cut after byte " << int{k};
    }
    EXPECT_GE(expected, 16u);
}

// Many frames written at once fill several reads of the channel's buffer.
TEST_F(ChannelOnDevice, BurstLargerThanTheReadBufferArrivesWhole)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    std::vector<uint8_t> burst;
    std::vector<Bytes> sent;
    for (uint8_t i = 0; i < 120; ++i) {
        sent.push_back({0x90, i, static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i & 0x0F)});
        const std::vector<uint8_t> frame = FrameOf(sent.back());
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    ASSERT_GT(burst.size(), 400u);
    // In writes of 250 bytes (the most the simulator sends at once), each
    // well beyond the 100-byte buffer.
    for (size_t from = 0; from < burst.size(); from += 250)
        ASSERT_TRUE(sim.Command("raw " + HexOf(burst, from, from + 250)));
    ASSERT_TRUE(listener.WaitFor(sent.size(), 3000));
    ::Sleep(50);
    EXPECT_EQ(listener.Payloads(), sent);
}

// Close while the thread waits for a byte, and while it works through a
// burst whose deliveries are slow: it returns, and nothing is delivered
// after it has.
TEST_F(ChannelOnDevice, CloseEndsTheThreadWhileWaitingAndDuringABurst)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    ::Sleep(50); // waiting in its read
    EXPECT_LT(ElapsedMs([&] { EXPECT_TRUE(channel->Close()); }), 2000);
    LetDeviceSeeTheClose();

    ASSERT_TRUE(channel->Open());
    listener.onReceive = [](const uint8_t*, int) { ::Sleep(5); };
    std::vector<uint8_t> burst;
    for (int i = 0; i < 120; ++i) {
        const std::vector<uint8_t> frame = FrameOf({0x90, 1, 2, 3});
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    for (size_t from = 0; from < burst.size(); from += 250)
        ASSERT_TRUE(sim.Command("raw " + HexOf(burst, from, from + 250)));
    ASSERT_TRUE(listener.WaitFor(5, 2000));
    EXPECT_LT(ElapsedMs([&] { EXPECT_TRUE(channel->Close()); }), 2000);
    const size_t seen = listener.Payloads().size();
    EXPECT_LT(seen, 120u); // the burst was cut short
    ::Sleep(100);
    EXPECT_EQ(listener.Payloads().size(), seen);
    listener.onReceive = nullptr;
}

// Whatever read timeouts a user has stored, touches arrive when they are
// sent, frames cut in two are put together, and Close does not wait for
// the line.
TEST_F(ChannelOnDevice, StoredReadTimeoutsNeitherHoldTouchesNorClose)
{
    const struct {
        const char* what;
        uint32_t interval, constant, multiplier;
    } cases[] = {
        {"defaults", 20, 1, 0},
        {"all zero", 0, 0, 0},
        {"long", 5000, 60000, 1000},
        {"return at once", MAXDWORD, 0, 0},
    };
    ASSERT_TRUE(sim.Start(DevSim::Options{})) << sim.LastError();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(StoreReadTimeouts(c.interval, c.constant, c.multiplier));
        channel = std::make_unique<CommProtocol2>(kChannelIndex, false);
        ASSERT_EQ(channel->Settings().RdIntTimeout, c.interval);
        ASSERT_TRUE(channel->Open());
        channel->SetListener(&listener);
        const size_t before = listener.Payloads().size();

        ASSERT_TRUE(sim.Command("touch 100 200"));
        // Far below any of the stored timeouts that could hold it.
        EXPECT_TRUE(listener.WaitFor(before + 1, 1000));
        const std::vector<uint8_t> frame = FrameOf({0x90, 7, 8, 0});
        ASSERT_TRUE(sim.Command("raw " + HexOf(frame, 0, 3)));
        ::Sleep(20);
        ASSERT_TRUE(sim.Command("raw " + HexOf(frame, 3)));
        EXPECT_TRUE(listener.WaitFor(before + 2, 1000));
        const std::vector<Bytes> got = listener.Payloads();
        ASSERT_EQ(got.size(), before + 2);
        EXPECT_EQ(got[before], (Bytes{0x90, 100, 200, 0}));
        EXPECT_EQ(got[before + 1], (Bytes{0x90, 7, 8, 0}));

        IdentRecord out;
        EXPECT_TRUE(channel->Identify(&out, false));
        EXPECT_LT(ElapsedMs([&] { channel->Close(); }), 2000);
        channel.reset();
        LetDeviceSeeTheClose();
    }
}

TEST_F(ChannelOnDevice, ClearedListenerGetsNothingMore)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    ASSERT_TRUE(sim.Command("touch 100 200"));
    ASSERT_TRUE(listener.WaitFor(1, 1000));
    EXPECT_EQ(listener.Payloads().front(), (Bytes{0x90, 100, 200, 0x00}));

    EXPECT_EQ(channel->ClearListener(), &listener);
    ASSERT_TRUE(sim.Command("touch 1 2"));
    ::Sleep(200);
    EXPECT_EQ(listener.Payloads().size(), 1u);
    EXPECT_EQ(channel->SetListener(&listener), nullptr);
}

TEST_F(ChannelOnDevice, ListenerMaySendFromWithinADelivery)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    const uint8_t temperatureQuery[] = {0x21};
    bool sent = false;
    listener.onReceive = [&](const uint8_t* payload, int) {
        if (payload[0] == 0x90) sent = channel->Send(temperatureQuery, 1);
    };
    ASSERT_TRUE(sim.Command("touch 5 6"));
    ASSERT_TRUE(sim.WaitReceived(1, 1000));
    EXPECT_EQ(sim.Received().front(), Bytes{0x21});
    // The device answers 0xA1; it arrives through the same lock.
    ASSERT_TRUE(listener.WaitFor(2, 1000));
    EXPECT_EQ(listener.Payloads()[1][0], 0xA1);
    EXPECT_TRUE(sent);
    channel->ClearListener();
}

TEST_F(ChannelOnDevice, SendRejectsPayloadsThatDoNotFitAFrame)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    const uint8_t big[kMaxEncodePayload + 1] = {};
    EXPECT_FALSE(channel->Send(nullptr, 1));
    EXPECT_FALSE(channel->Send(big, 0));
    EXPECT_FALSE(channel->Send(big, -1));
    EXPECT_FALSE(channel->Send(big, kMaxEncodePayload + 1));
    EXPECT_TRUE(channel->Send(kIdentQuery, 1));
    ASSERT_TRUE(sim.WaitReceived(1, 1000));
    EXPECT_EQ(sim.Received().size(), 1u);
}

TEST_F(ChannelOnDevice, CloseTwiceThenReopenAndIdentify)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    IdentRecord out;
    ASSERT_TRUE(channel->Identify(&out, false));
    EXPECT_TRUE(channel->Close());
    EXPECT_TRUE(channel->Close());
    LetDeviceSeeTheClose();
    ASSERT_TRUE(channel->Open()) << "error " << ::GetLastError();
    ASSERT_TRUE(channel->Identify(&out, false));
    EXPECT_EQ(out.HwId, 2);
    // A second Open of an open channel changes nothing.
    EXPECT_TRUE(channel->Open());
    ASSERT_TRUE(channel->Identify(&out, false));
}

TEST_F(ChannelOnDevice, NoDeliveryAfterCloseReturns)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    ASSERT_TRUE(sim.Command("touch 1 1"));
    ASSERT_TRUE(listener.WaitFor(1, 1000));
    ASSERT_TRUE(channel->Close());
    const size_t seen = listener.Payloads().size();
    ASSERT_TRUE(sim.Command("touch 2 2"));
    ASSERT_TRUE(sim.Command("restart"));
    ::Sleep(200);
    EXPECT_EQ(listener.Payloads().size(), seen);
}

// With all-zero timeouts a read waits until its buffer is full, which the
// device never fills: neither Send nor Close may wait for that read.
TEST_F(ChannelOnDevice, ZeroTimeoutsBlockNeitherSendNorClose)
{
    const std::string key = ChannelKeyPath(kComNumber);
    const struct {
        const char* name;
        uint32_t value;
    } values[] = {
        {"RdIntTimeout", 0},     {"RdTotTimeoutConst", 0}, {"RdTotTimeoutMult", 0}, {"WrTotTimeoutConst", 0},
        {"WrTotTimeoutMult", 0}, {"ByteSize", 8},          {"BaudRate", 9600},      {"Parity", 2},
        {"CheckParity", 1},      {"ErrorChar", 1},         {"StopBits", 0},         {"RdBufferSize", 20},
        {"WrBufferSize", 10},
    };
    for (const auto& v : values)
        ASSERT_TRUE(SetRegDword(key, v.name, v.value));

    ASSERT_TRUE(sim.Start(DevSim::Options{})) << sim.LastError();
    channel = std::make_unique<CommProtocol2>(kChannelIndex, false);
    ASSERT_EQ(channel->Settings().RdTotTimeoutConst, 0u);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(channel->Open());
        ::Sleep(100); // the receive thread is now inside its read
        bool sent = false;
        EXPECT_LT(ElapsedMs([&] { sent = channel->Send(kIdentQuery, 1); }), 1000);
        EXPECT_TRUE(sent);
        EXPECT_LT(ElapsedMs([&] { channel->Close(); }), 1000);
        LetDeviceSeeTheClose();
    }
    EXPECT_TRUE(sim.WaitReceived(2, 1000));
}

TEST_F(ChannelOnDevice, CloseIsQuickWithTheDefaultTimeouts)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    ::Sleep(50);
    EXPECT_LT(ElapsedMs([&] { channel->Close(); }), 1000);
}

TEST_F(ChannelOnDevice, ReInitAndTheRestartNoticeReachTheMessageWindowOnce)
{
    CommandWindow window;
    App().messageWindow = window.hwnd();
    DevSim::Options options;
    options.reinitDelayMs = 200;
    ASSERT_NO_FATAL_FAILURE(StartAndOpen(options));

    ASSERT_TRUE(channel->ReInit());
    ASSERT_TRUE(sim.WaitReceived(1, 500));
    EXPECT_EQ(sim.Received().front(), Bytes{0x87});
    PumpMessages(2000, [&] { return window.Count(kCmdDeviceRestarted) >= 1; });
    EXPECT_EQ(window.Count(kCmdDeviceRestarted), 1);
    EXPECT_EQ(App().restartPending.load(), 1);

    // Still pending: a further notice posts nothing.
    ASSERT_TRUE(sim.Command("restart"));
    ASSERT_TRUE(listener.WaitFor(3, 1000)); // 07, 92, 92
    PumpMessages(200);
    EXPECT_EQ(window.Count(kCmdDeviceRestarted), 1);

    // Handled: the next notice posts again.
    App().restartPending = 0;
    ASSERT_TRUE(sim.Command("restart"));
    PumpMessages(2000, [&] { return window.Count(kCmdDeviceRestarted) >= 2; });
    EXPECT_EQ(window.Count(kCmdDeviceRestarted), 2);
}

// A reply that arrived before an attempt's send is not taken for its answer:
// a stray 07 must not make ReInit fail its first attempt and send again.
TEST_F(ChannelOnDevice, StrayReplyBeforeReInitIsNotTakenForItsAnswer)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    ASSERT_TRUE(sim.Command("send 07"));
    ASSERT_TRUE(listener.WaitFor(1, 1000));
    EXPECT_TRUE(channel->ReInit());
    ::Sleep(100);
    size_t requests = 0;
    for (const Bytes& p : sim.Received())
        requests += p == Bytes{0x87} ? 1 : 0;
    EXPECT_EQ(requests, 1u);
}

TEST_F(ChannelOnDevice, PortWithoutDeviceOrWithoutNameDoesNotOpen)
{
    // Nothing is linked at COM5.
    CommProtocol2 absent(4, false);
    EXPECT_FALSE(absent.Open());
    EXPECT_NE(::GetLastError(), 0u);
    EXPECT_TRUE(absent.Close());

    CommProtocol2 none(-1, false);
    EXPECT_FALSE(none.Open());
}

// Line settings the port refuses: Open fails, and the port is released at
// once rather than held until Close.
TEST_F(ChannelOnDevice, PortIsReleasedWhenItsConfigurationFails)
{
    const std::string key = ChannelKeyPath(kComNumber);
    const struct {
        const char* name;
        uint32_t value;
    } values[] = {
        {"RdIntTimeout", 20},    {"RdTotTimeoutConst", 1}, {"RdTotTimeoutMult", 0}, {"WrTotTimeoutConst", 0},
        {"WrTotTimeoutMult", 0}, {"ByteSize", 9},          {"BaudRate", 9600},      {"Parity", 2},
        {"CheckParity", 1},      {"ErrorChar", 1},         {"StopBits", 7},         {"RdBufferSize", 20},
        {"WrBufferSize", 10},
    };
    for (const auto& v : values)
        ASSERT_TRUE(SetRegDword(key, v.name, v.value));

    ASSERT_TRUE(sim.Start(DevSim::Options{})) << sim.LastError();
    channel = std::make_unique<CommProtocol2>(kChannelIndex, false);
    ASSERT_EQ(channel->Settings().ByteSize, 9u);
    EXPECT_FALSE(channel->Open());
    EXPECT_NE(::GetLastError(), 0u);

    UniqueFileHandle again(
        ::CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(again.valid()) << "error " << ::GetLastError();
}

} // namespace

// The device's line goes away (the simulator closes its pty and the link)
// and comes back on the same name: the listener hears of the loss once, Send
// fails meanwhile, and once the port is back the channel delivers again by
// itself and asks the message window to identify and configure the device.
TEST_F(ChannelOnDevice, PortThatGoesAwayIsOpenedAgainWhenItComesBack)
{
    CommandWindow window;
    App().messageWindow = window.hwnd();
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    ASSERT_TRUE(sim.Command("touch 100 100"));
    ASSERT_TRUE(listener.WaitFor(1, 2000));

    sim.Stop();
    PumpMessages(3000, [&] { return listener.LinesLost() >= 1; });
    ASSERT_EQ(listener.LinesLost(), 1);
    EXPECT_FALSE(channel->Send(kIdentQuery, 1));
    EXPECT_TRUE(channel->Open()); // still open: the thread waits for the port

    ASSERT_TRUE(sim.Start(DevSim::Options{})) << sim.LastError();
    PumpMessages(5000, [&] { return window.Count(kCmdDeviceRestarted) >= 1; });
    EXPECT_EQ(window.Count(kCmdDeviceRestarted), 1);
    ASSERT_TRUE(sim.Command("touch 200 200"));
    ASSERT_TRUE(listener.WaitFor(2, 2000));
    EXPECT_TRUE(channel->Send(kIdentQuery, 1));
    ASSERT_TRUE(sim.WaitReceived(1, 1000));
    EXPECT_EQ(sim.Received().front(), Bytes{0x01});
    EXPECT_EQ(listener.LinesLost(), 1);
}

TEST_F(ChannelOnDevice, CloseEndsTheWaitForAPortThatWentAway)
{
    ASSERT_NO_FATAL_FAILURE(StartAndOpen());
    sim.Stop();
    PumpMessages(3000, [&] { return listener.LinesLost() >= 1; });
    ASSERT_EQ(listener.LinesLost(), 1);
    channel->Close(); // returns: the thread leaves its wait for the port
    EXPECT_FALSE(channel->Open());
    ASSERT_TRUE(sim.Start(DevSim::Options{})) << sim.LastError();
    EXPECT_TRUE(channel->Open());
    IdentRecord out;
    EXPECT_TRUE(channel->Identify(&out, false));
}
