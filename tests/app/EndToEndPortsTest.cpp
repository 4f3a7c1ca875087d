// The running program on a port above COM9, following its device to
// another port, and through sleep and wake: what the device receives, the
// port stored, the pointer. The system's list of ports comes through the
// program's TP_PRESENT_PORTS switch: the bench's port links are not
// reported by the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Messages.h"
#include "app/EndToEndSupport.h"
#include "base/RegistryIO.h"

namespace {

using Payloads = std::vector<std::vector<uint8_t>>;
constexpr int kReadyMs = 20000;
constexpr int kExitMs = 10000;
const Payloads kZmr02Config = {{0x83, 2}, {0x82, 6}, {0x84, 4}, {0x85, 3}, {0x88, 8}, {0x8b, 8}};

class EndToEndPorts : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearProgramRegistry();
        ::SetEnvironmentVariableA("TP_PRESENT_PORTS", "COM12=USB Serial Port (COM12)");
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableA("TP_PRESENT_PORTS", nullptr);
        ClearProgramRegistry();
    }

    void StartProgram()
    {
        ASSERT_TRUE(program.Start());
        ASSERT_TRUE(program.WaitReady(kReadyMs));
        program.CloseBoxes(); // notices about defaults written at first start
    }

    static bool LeftDown() { return (::GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

    // A finger down and up again on sim: the system's left button follows.
    static void TouchDrivesThePointer(DevSim& sim)
    {
        ASSERT_TRUE(sim.Command("touch 2048 2048"));
        bool down = false;
        for (int i = 0; i < 100 && !(down = LeftDown()); ++i)
            ::Sleep(20);
        EXPECT_TRUE(down);
        ASSERT_TRUE(sim.Command("release"));
        for (int i = 0; i < 100 && LeftDown(); ++i)
            ::Sleep(20);
        EXPECT_FALSE(LeftDown());
    }

    static bool Stored(DWORD expected, int timeoutMs)
    {
        for (int waited = 0;; waited += 100) {
            DWORD value = 999;
            if (GetAppValue("CurrentChannel", &value) && value == expected) return true;
            if (waited >= timeoutMs) return false;
            ::Sleep(100);
        }
    }

    void ExitCleanly()
    {
        DWORD code = 1;
        ASSERT_TRUE(program.Exit(kExitMs, &code));
        EXPECT_EQ(code, 0u);
    }

    ProgramUnderTest program;
};

TEST_F(EndToEndPorts, Com12WorksLikeCom3)
{
    SetAppValue("CurrentChannel", 11);
    DevSim sim;
    ASSERT_TRUE(sim.Start(SimOn(12))) << sim.LastError();
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    const Payloads got = sim.Received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], (std::vector<uint8_t>{0x01}));
    EXPECT_GE(got.size(), 1 + kZmr02Config.size());
    HKEY key = nullptr;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Mavrel\\TactilePane\\Channels\\COM12", 0,
                              AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_READ), &key),
              ERROR_SUCCESS);
    if (key != nullptr) ::RegCloseKey(key);
    ASSERT_NO_FATAL_FAILURE(TouchDrivesThePointer(sim));
    ExitCleanly();
}

TEST_F(EndToEndPorts, TheDeviceIsFollowedFromCom3ToCom12)
{
    SetAppValue("CurrentChannel", 2);
    DevSim com3, com12;
    ASSERT_TRUE(com3.Start(SimOn(3))) << com3.LastError();
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    // The adapter is plugged into another socket.
    com3.Stop();
    ASSERT_TRUE(com12.Start(SimOn(12))) << com12.LastError();
    ASSERT_TRUE(Stored(11, 15000));
    ASSERT_NO_FATAL_FAILURE(TouchDrivesThePointer(com12));
    // Identified and configured there.
    const Payloads got = com12.Received();
    EXPECT_GE(CountCode(got, 0x01), 1u);
    EXPECT_GE(CountCode(got, 0x83), 1u);
    bool logged = false;
    for (const TraceEvent& e : program.Events())
        logged |= e.id == MSG_PORT_FOLLOWED && e.insert == "COM12 (before: COM3)";
    EXPECT_TRUE(logged);
    ExitCleanly();
}

TEST_F(EndToEndPorts, AtStartTheOtherPortsAreAskedUnlessSwitchedOff)
{
    for (const bool search : {true, false}) {
        SCOPED_TRACE(search ? "searching" : "SearchPorts 0");
        ClearProgramRegistry();
        SetAppValue("CurrentChannel", 2);
        if (!search) SetAppValue("SearchPorts", 0);
        // COM3 opens, but the device was renumbered to COM12.
        DevSim com3, com12;
        DevSim::Options nobody = SimOn(3);
        nobody.absent = true;
        ASSERT_TRUE(com3.Start(nobody)) << com3.LastError();
        ASSERT_TRUE(com12.Start(SimOn(12))) << com12.LastError();
        ASSERT_NO_FATAL_FAILURE(StartProgram());

        if (search) {
            EXPECT_TRUE(Stored(11, 10000));
            ASSERT_NO_FATAL_FAILURE(TouchDrivesThePointer(com12));
        } else {
            ::Sleep(3000); // a search would have asked at once
            EXPECT_TRUE(com12.Received().empty());
            EXPECT_TRUE(Stored(2, 0));
            DWORD value = 1;
            EXPECT_TRUE(GetAppValue("SearchPorts", &value) && value == 0); // left as it was
        }
        ASSERT_NO_FATAL_FAILURE(ExitCleanly());
    }
}

TEST_F(EndToEndPorts, SleepReleasesTheTouchAndWakeConfiguresAgain)
{
    SetAppValue("CurrentChannel", 3);
    DevSim sim;
    ASSERT_TRUE(sim.Start(SimOn(4))) << sim.LastError();
    ASSERT_NO_FATAL_FAILURE(StartProgram());

    ASSERT_TRUE(sim.Command("touch 2048 2048"));
    for (int i = 0; i < 100 && !LeftDown(); ++i)
        ::Sleep(20);
    ASSERT_TRUE(LeftDown());
    ::SendMessageA(program.MessageWindow(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    EXPECT_FALSE(LeftDown());
    ASSERT_TRUE(sim.Command("release"));

    sim.ClearReceived();
    ::SendMessageA(program.MessageWindow(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_TRUE(sim.WaitReceived(1 + kZmr02Config.size(), 5000));
    Payloads got = sim.Received();
    got.resize(1 + kZmr02Config.size());
    Payloads expected = {{0x01}};
    expected.insert(expected.end(), kZmr02Config.begin(), kZmr02Config.end());
    EXPECT_EQ(got, expected);
    ExitCleanly();
}

} // namespace
