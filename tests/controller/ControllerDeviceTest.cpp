// The controller over the real serial channel against the simulated device:
// configuration both ways, the output port, the temperature, a silent
// command's retries, and a touch from the device reaching the injector.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "ControllerTestSupport.h"
#include "channel/CommProtocol2.h"
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

} // namespace
