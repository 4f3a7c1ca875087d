// The displays end to end: real controller models on the serial channel to
// the simulated device.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "LcdTestSupport.h"
#include "channel/CommProtocol2.h"
#include "support/DevSim.h"

namespace {

constexpr int kComNumber = 5;

class LcdOnDevice : public LcdOnDeviceFixture {
protected:
    void SetUp() override
    {
        ClearLcdRegistry();
        ClearControllerRegistry();
    }

    template <typename Model> void Start(int lcdType, const DevSim::Options& base = DevSim::Options{})
    {
        ASSERT_NO_FATAL_FAILURE(Join<Model>(kComNumber, lcdType, base));
        sim.ClearReceived();
    }
};

TEST_F(LcdOnDevice, KeyCodesReachTheOutputPort)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR04Ctrl>(2));
    EXPECT_EQ(lcd->KeySelect(), 0);
    EXPECT_EQ(lcd->KeyDown(), 0);
    EXPECT_EQ(lcd->ReleaseKeys(), 0);
    EXPECT_EQ(sim.Received(), (std::vector<Bytes>{{0x86, 0xDD}, {0x86, 0xFF}, {0x86, 0x9F}, {0x86, 0xFF}}));
}

TEST_F(LcdOnDevice, BrightnessReachesTheDevice)
{
    SetLcdDword("Brightness", 0x1A5);
    SetLcdDword("MinBrightness", 1);
    SetLcdDword("MaxBrightness", 255);
    ASSERT_NO_FATAL_FAILURE(Start<ZMR03Ctrl>(1));
    EXPECT_EQ(lcd->SendConfig(), 0);
    EXPECT_EQ(lcd->KeyRight(), 0);
    EXPECT_EQ(sim.Received(), (std::vector<Bytes>{{0x8C, 0xA5}, {0x8C, 0xA5}}));
}

TEST_F(LcdOnDevice, SilentPortStopsTheSequenceAtItsFirstCode)
{
    DevSim::Options options;
    options.silent = {0x86};
    ASSERT_NO_FATAL_FAILURE(Start<ZMR02Ctrl>(0, options));
    EXPECT_EQ(lcd->KeyRight(), 1);
    EXPECT_EQ(sim.Received(), (std::vector<Bytes>{{0x86, 0xFB}, {0x86, 0xFB}, {0x86, 0xFB}}));
}

} // namespace
