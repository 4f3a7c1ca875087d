// The built program started as a whole against simulated devices: finding
// the port, choosing the models from the identification, sending the
// configuration, running without any device, and ending through its exit
// command or the stop tool.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "Messages.h"
#include "app/EndToEndSupport.h"

namespace {

using Payloads = std::vector<std::vector<uint8_t>>;
constexpr int kReadyMs = 20000;
constexpr int kExitMs = 10000;

class EndToEndStartup : public ::testing::Test {
protected:
    void SetUp() override { ClearProgramRegistry(); }
    void TearDown() override { ClearProgramRegistry(); }

    void ExitCleanly()
    {
        DWORD code = 1;
        ASSERT_TRUE(program.Exit(kExitMs, &code));
        EXPECT_EQ(code, 0u);
    }

    ProgramUnderTest program;
};

TEST_F(EndToEndStartup, FirstStartFindsTheDeviceOnCom3)
{
    // COM1 and COM2 exist but nobody answers there.
    DevSim com1, com2, com3;
    DevSim::Options silent1 = SimOn(1), silent2 = SimOn(2);
    silent1.absent = silent2.absent = true;
    ASSERT_TRUE(com1.Start(silent1)) << com1.LastError();
    ASSERT_TRUE(com2.Start(silent2)) << com2.LastError();
    ASSERT_TRUE(com3.Start(SimOn(3))) << com3.LastError();

    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitReady(kReadyMs));

    // Asked three times each, then left alone.
    EXPECT_EQ(com1.Received(), (Payloads{{0x01}, {0x01}, {0x01}}));
    EXPECT_EQ(com2.Received(), (Payloads{{0x01}, {0x01}, {0x01}}));

    DWORD channel = 99;
    ASSERT_TRUE(GetAppValue("CurrentChannel", &channel));
    EXPECT_EQ(channel, 2u);
    const std::vector<TraceEvent> events = program.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].id, MSG_CHANNEL_AUTODETECTED);
    EXPECT_EQ(events[0].insert, "COM3");
    // The detection's question, then start-up's own on the channel it made.
    EXPECT_EQ(CountCode(com3.Received(), 0x01), 2u);

    // Ended by the stop tool: the port is free again afterwards.
    EXPECT_EQ(RunAndWait(StopToolPath(), "", 20000), 0u);
    DWORD code = 1;
    ASSERT_TRUE(program.WaitExit(1000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(CanOpenPort(3));
}

TEST_F(EndToEndStartup, StoredChannelIsUsedWithoutDetection)
{
    DevSim com1, com6;
    DevSim::Options silent1 = SimOn(1);
    silent1.absent = true;
    ASSERT_TRUE(com1.Start(silent1)) << com1.LastError();
    ASSERT_TRUE(com6.Start(SimOn(6))) << com6.LastError();
    SetAppValue("CurrentChannel", 5);

    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitReady(kReadyMs));
    EXPECT_TRUE(com1.Received().empty());
    EXPECT_EQ(CountCode(com6.Received(), 0x01), 1u);
    EXPECT_EQ(program.CountEvents(MSG_CHANNEL_AUTODETECTED), 0u);
    EXPECT_EQ(program.CountEvents(MSG_AUTODETECT_FAILED), 0u);
    ExitCleanly();
}

struct IdentCase {
    const char* name;
    int hwId, major, minor;
    DWORD device, lcd;
    Payloads expected; // everything the device receives during start-up
    size_t firmwareEvents;
};

class EndToEndIdentification : public EndToEndStartup, public ::testing::WithParamInterface<IdentCase> {};

TEST_P(EndToEndIdentification, ChoosesModelsAndSendsTheirConfiguration)
{
    const IdentCase& c = GetParam();
    DevSim device;
    ASSERT_TRUE(device.Start(SimOn(4, c.hwId, c.major, c.minor))) << device.LastError();
    SetAppValue("CurrentChannel", 3);

    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitReady(kReadyMs));

    DWORD stored = 99;
    ASSERT_TRUE(GetAppValue("CurrentDevice", &stored));
    EXPECT_EQ(stored, c.device);
    ASSERT_TRUE(GetAppValue("CurrentLcd", &stored));
    EXPECT_EQ(stored, c.lcd);
    EXPECT_EQ(device.Received(), c.expected);
    EXPECT_EQ(program.CountEvents(MSG_INCOMPATIBLE_FIRMWARE), c.firmwareEvents);
    ExitCleanly();
}

INSTANTIATE_TEST_SUITE_P(
    Devices, EndToEndIdentification,
    ::testing::Values(
        // ZMR01 with its threshold, LcdType1 has nothing to send, no sensor.
        IdentCase{"Zmr01", 2, 1, 25, 0, 0,
                  Payloads{{0x01}, {0x83, 2}, {0x82, 16}, {0x84, 8}, {0x85, 4}, {0x88, 32}, {0x89, 75}}, 0},
        // ZMR03 with its charge setting, LcdType2's brightness, the first
        // temperature reading at once.
        IdentCase{
            "Zmr03", 5, 1, 0, 2, 1,
            Payloads{
                {0x01}, {0x83, 2}, {0x82, 6}, {0x84, 4}, {0x85, 3}, {0x88, 8}, {0x8b, 8}, {0x8c, 50}, {0x21}},
            0},
        // Unknown hardware: the fallback models (ZMR04 has a sensor too) and
        // a warning for each.
        IdentCase{"Unknown", 9, 1, 2, 3, 2,
                  Payloads{{0x01}, {0x83, 2}, {0x82, 6}, {0x84, 4}, {0x85, 3}, {0x88, 8}, {0x8b, 8}, {0x21}},
                  2}),
    [](const ::testing::TestParamInfo<IdentCase>& info) { return std::string(info.param.name); });

// Slow: ten attempts three seconds apart on a port that is not there.
TEST_F(EndToEndStartup, WithoutAnyDeviceItRunsOnTheFallbackModels)
{
    // Values this program never writes count as not stored.
    SetAppValue("CurrentDevice", 7);
    SetAppValue("CurrentLcd", 5);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitReady(90000));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 25);
    EXPECT_LE(seconds, 60);

    const std::vector<TraceEvent> events = program.Events();
    ASSERT_GE(events.size(), 11u);
    EXPECT_EQ(events[0].id, MSG_AUTODETECT_FAILED);
    EXPECT_EQ(events[0].insert, "COM1");
    EXPECT_EQ(program.CountEvents(MSG_CHANNEL_CANT_OPEN), 10u);
    for (const TraceEvent& e : events) {
        if (e.id == MSG_CHANNEL_CANT_OPEN) {
            EXPECT_EQ(e.insert.rfind("COM1, LastError: ", 0), 0u) << e.insert;
        }
    }
    DWORD value = 0;
    EXPECT_FALSE(GetAppValue("CurrentChannel", &value));
    ASSERT_TRUE(GetAppValue("CurrentDevice", &value));
    EXPECT_EQ(value, 3u);
    ASSERT_TRUE(GetAppValue("CurrentLcd", &value));
    EXPECT_EQ(value, 2u);

    // Sending the configuration failed and said so; the program runs on.
    bool sendErrorShown = false;
    for (const std::string& text : program.BoxTexts()) {
        sendErrorShown |= text.find("While new configuration was sending to controller") != std::string::npos;
    }
    EXPECT_TRUE(sendErrorShown);
    ExitCleanly();
}

TEST(EndToEndStopTool, ReportsWhenNothingRuns)
{
    EXPECT_EQ(RunAndWait(StopToolPath(), "", 20000), 1u);
    EXPECT_EQ(RunAndWait(StopToolPath(), "soon", 20000), 3u);
}

} // namespace
