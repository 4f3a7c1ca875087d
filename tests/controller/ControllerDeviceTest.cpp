// The controller over the real serial channel against the simulated device:
// configuration both ways, the output port, the temperature, a silent
// command's retries, touches from the device reaching the injector, and the
// path catching up when the system is slow.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <memory>

#include "ControllerTestSupport.h"
#include "channel/CommProtocol2.h"
#include "channel/FrameCodec.h"
#include "controller/ZmrCtrlVirt.h"
#include "support/DevSim.h"
#include "support/DeviceWiring.h"

namespace {

constexpr int kPort = 4; // COM4
std::vector<INPUT> g_injected;

UINT Record(const INPUT* input)
{
    g_injected.push_back(*input);
    return 1;
}

class ControllerDevice : public ::testing::Test {
protected:
    template <typename Model> void Start(const DevSim::Options& options = DevSim::Options{})
    {
        ClearControllerRegistry();
        ASSERT_NO_FATAL_FAILURE(OpenDeviceChannel(sim, options, kPort, &channel));
        ctrl = std::make_unique<Model>();
        CloseThreadBoxes();
        App().ident = IdentRecord{2, 1, 30};
        App().channel = channel.get();
        App().controller = ctrl.get();
        channel->SetListener(ctrl.get());
        sim.ClearReceived();
    }
    void TearDown() override
    {
        if (channel) channel->ClearListener();
        App().controller = nullptr;
        App().channel = nullptr;
        ctrl.reset();
        if (channel) channel->Close();
        channel.reset();
        sim.Stop();
        SetInputInjector(nullptr);
        App().ident = IdentRecord{};
        ClearControllerRegistry();
    }
    DevSim sim;
    std::unique_ptr<CommProtocol2> channel;
    std::unique_ptr<ZmrModelCtrl> ctrl;
};

TEST_F(ControllerDevice, ConfigurationTravelsBothWays)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR02Ctrl>());
    ASSERT_TRUE(sim.Command("param 0x03 11"));
    ASSERT_TRUE(sim.Command("param 0x0b 13"));
    EXPECT_EQ(ctrl->ReadConfig(), 0);
    EXPECT_EQ(ctrl->PressDelay, 11);
    EXPECT_EQ(ctrl->ChargeWS, 13);

    sim.ClearReceived();
    ctrl->PressDelay = 300;
    EXPECT_EQ(ctrl->WriteConfig(), 0);
    EXPECT_EQ(sim.Received(), (std::vector<std::vector<uint8_t>>{
                                  {0x83, 44}, {0x82, 6}, {0x84, 4}, {0x85, 3}, {0x88, 8}, {0x8b, 13}}));

    sim.ClearReceived();
    EXPECT_EQ(ctrl->WriteOutputPort(0xFD), 0);
    EXPECT_EQ(sim.Received(), (std::vector<std::vector<uint8_t>>{{0x86, 0xFD}}));
}

TEST_F(ControllerDevice, SilentCommandIsSentThreeTimes)
{
    DevSim::Options options;
    options.silent = {0x05};
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(options));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ctrl->ReadStabilization(0), 1);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_EQ(ctrl->Stabilization, 4);
    EXPECT_EQ(sim.Received(), (std::vector<std::vector<uint8_t>>{{0x05}, {0x05}, {0x05}}));
    EXPECT_GE(ms, 250);
    EXPECT_LE(ms, 1500);
}

TEST_F(ControllerDevice, TemperatureOfTheThirdModel)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR03Ctrl>());
    ASSERT_TRUE(sim.Command("temp 50"));
    float t = 0;
    EXPECT_EQ(ctrl->ReadTemperature(&t), 1);
    EXPECT_FLOAT_EQ(t, 25.0f);
}

TEST_F(ControllerDevice, TouchFromTheDeviceIsInjected)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR02Ctrl>());
    ctrl->m_Calibration.LineDirX = ctrl->m_Calibration.LineDirY = 0;
    ctrl->m_Calibration.LineShiftX = ctrl->m_Calibration.LineShiftY = 0;
    g_injected.clear();
    SetInputInjector(&Record);
    ASSERT_TRUE(sim.Command("touch 512 256"));
    ASSERT_TRUE(sim.Command("release"));
    for (int i = 0; i < 100 && g_injected.size() < 3; ++i)
        ::Sleep(10);
    SetInputInjector(nullptr);
    ASSERT_EQ(g_injected.size(), 3u);
    EXPECT_EQ(g_injected[1].mi.dwFlags,
              static_cast<DWORD>(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN));
    EXPECT_EQ(g_injected[1].mi.dx, 32767);
    EXPECT_EQ(g_injected[1].mi.dy, 16383);
    EXPECT_EQ(g_injected[2].mi.dwFlags,
              static_cast<DWORD>(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP));
}

// A burst of touches that arrives in a few reads: every report moves the
// pointer to its own place, in order (unless the path fell behind and merged
// moves), the buttons go down and up exactly as reported, and the records of
// one read reach the system together.
std::vector<UINT> g_batchSizes;

UINT RecordBatch(UINT count, const INPUT* inputs)
{
    g_batchSizes.push_back(count);
    g_injected.insert(g_injected.end(), inputs, inputs + count);
    return count;
}

std::string HexFrames(const std::vector<std::vector<uint8_t>>& payloads)
{
    std::string text;
    for (const std::vector<uint8_t>& payload : payloads) {
        uint8_t frame[kFrameBufferSize];
        const int size = EncodeFrame(payload.data(), static_cast<int>(payload.size()), frame);
        for (int i = 0; i < size; ++i) {
            char pair[4];
            std::snprintf(pair, sizeof(pair), text.empty() ? "%02x" : " %02x", frame[i]);
            text += pair;
        }
    }
    return text;
}

// The records as moves, downs and ups ('m', 'D', 'U'), each run of moves
// written once: what must hold whether or not moves were merged. Fails the
// test when a move is not further right than the one before it, or a
// release is not where the last move went.
std::string ButtonShape(const std::vector<INPUT>& injected)
{
    const DWORD move = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    std::string shape;
    LONG lastX = -1;
    for (const INPUT& in : injected) {
        const DWORD flags = in.mi.dwFlags;
        const char c = flags == move                            ? 'm'
                       : flags == (move | MOUSEEVENTF_LEFTDOWN) ? 'D'
                       : flags == (move | MOUSEEVENTF_LEFTUP)   ? 'U'
                                                                : '?';
        if (c == 'm' && in.mi.dx <= lastX) ADD_FAILURE() << "every report at its own place, in order";
        if (c == 'm') lastX = in.mi.dx;
        if (c == 'U') {
            EXPECT_EQ(in.mi.dx, lastX) << "released where the last move went";
        }
        if (c != 'm' || shape.empty() || shape.back() != 'm') shape += c;
    }
    return shape;
}

TEST_F(ControllerDevice, BurstOfTouchesReachesTheSystemInOrderAndTogether)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR02Ctrl>());
    ctrl->m_Calibration.LineDirX = ctrl->m_Calibration.LineDirY = 0;
    ctrl->m_Calibration.LineShiftX = ctrl->m_Calibration.LineShiftY = 0;
    g_injected.clear();
    g_batchSizes.clear();
    SetInputBatchInjector(&RecordBatch);
    // Two strokes of ten reports each, x rising by 16 raw units a report,
    // each ended by a release, then a tap: 24 frames, some 235 bytes in one
    // write.
    std::vector<std::vector<uint8_t>> payloads;
    for (int stroke = 0; stroke < 2; ++stroke) {
        for (int i = 0; i < 10; ++i) {
            const int x = 64 + 16 * (stroke * 10 + i);
            payloads.push_back({0x90, static_cast<uint8_t>(x & 0xFF), 0x40, static_cast<uint8_t>(x >> 8)});
        }
        payloads.push_back({0x91});
    }
    payloads.push_back({0x90, 0x00, 0x40, 0x02});
    payloads.push_back({0x91});
    ASSERT_TRUE(sim.Command("raw " + HexFrames(payloads)));
    const size_t expected = 2 * 12 + 3; // per stroke: ten moves, a down, an up; then a tap
    // A loaded machine may leave the path behind the line for a moment: the
    // moves it merged then count with those injected.
    for (int i = 0; i < 300 && g_injected.size() + ctrl->MergedPositions() < expected; ++i)
        ::Sleep(10);
    ::Sleep(50);
    SetInputBatchInjector(nullptr);

    ASSERT_EQ(g_injected.size() + ctrl->MergedPositions(), expected);
    EXPECT_EQ(ButtonShape(g_injected), "mDmUmDmUmDU");
    EXPECT_EQ(ctrl->m_bPressed, 0);
    // Some 235 bytes take at least three reads of 100; they may come in more as
    // the line delivers them, but never one call per report.
    EXPECT_LT(g_batchSizes.size(), payloads.size());
    for (UINT n : g_batchSizes)
        EXPECT_LE(n, static_cast<UINT>(TouchBatch::kCapacity));
}

// A system that takes 5 ms a hand-over, as Wine's injection can on a busy
// machine: the reports of a long burst wait in the driver, and the path
// catches up by merging moves. Every press and release still arrives, in
// order, each press at the place of its stroke's first report.
UINT SlowBatch(UINT count, const INPUT* inputs)
{
    ::Sleep(5);
    return RecordBatch(count, inputs);
}

TEST_F(ControllerDevice, PathBehindTheLineMergesMovesButKeepsEveryClick)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR02Ctrl>());
    ctrl->m_Calibration.LineDirX = ctrl->m_Calibration.LineDirY = 0;
    ctrl->m_Calibration.LineShiftX = ctrl->m_Calibration.LineShiftY = 0;
    g_injected.clear();
    SetInputBatchInjector(&SlowBatch);
    // Six strokes of twelve reports, x rising by 8 raw units a report.
    std::vector<std::vector<uint8_t>> payloads;
    for (int stroke = 0; stroke < 6; ++stroke) {
        for (int i = 0; i < 12; ++i) {
            const int x = 32 + 8 * (stroke * 12 + i);
            payloads.push_back({0x90, static_cast<uint8_t>(x & 0xFF), 0x40, static_cast<uint8_t>(x >> 8)});
        }
        payloads.push_back({0x91});
    }
    const std::string hex = HexFrames(payloads);
    for (size_t from = 0; from < hex.size(); from += 750) // 250 bytes a write
        ASSERT_TRUE(sim.Command("raw " + hex.substr(from, 749)));
    const size_t expected = 6 * 14; // per stroke: twelve moves, a down, an up
    for (int i = 0; i < 500 && g_injected.size() + ctrl->MergedPositions() < expected; ++i)
        ::Sleep(10);
    ::Sleep(50);
    SetInputBatchInjector(nullptr);

    EXPECT_GT(ctrl->MergedPositions(), 0u);
    EXPECT_EQ(g_injected.size() + ctrl->MergedPositions(), expected);
    EXPECT_EQ(ButtonShape(g_injected), "mDmUmDmUmDmUmDmUmDmUmDmU");
    int stroke = 0;
    for (const INPUT& in : g_injected) {
        if ((in.mi.dwFlags & MOUSEEVENTF_LEFTDOWN) == 0) continue;
        EXPECT_EQ(in.mi.dx, (32 + 8 * 12 * stroke) * 65535 / 1024) << "press of stroke " << stroke;
        ++stroke;
    }
    EXPECT_EQ(ctrl->m_bPressed, 0);
}

} // namespace
