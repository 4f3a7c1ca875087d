// The running program against a simulated device: restart notices with the
// same and with another identity, touches from an unidentified device, the
// periodic temperature reading, the tray icon at exit, a stop request while
// a box is up, and a fault that nothing handles.
#include <windows.h>

#include <gtest/gtest.h>

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Messages.h"
#include "app/EndToEndSupport.h"

namespace {

using Payloads = std::vector<std::vector<uint8_t>>;
constexpr int kReadyMs = 20000;
constexpr int kExitMs = 10000;
constexpr int kDevicePort = 4; // COM4

const Payloads kZmr02Config = {{0x83, 2}, {0x82, 6}, {0x84, 4}, {0x85, 3}, {0x88, 8}, {0x8b, 8}};

class EndToEndRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearProgramRegistry();
        SetAppValue("CurrentChannel", kDevicePort - 1);
    }
    void TearDown() override { ClearProgramRegistry(); }

    void StartWith(const DevSim::Options& device, const ProgramUnderTest::Options& options = {})
    {
        ASSERT_TRUE(sim.Start(device)) << sim.LastError();
        ASSERT_TRUE(program.Start(options));
        ASSERT_TRUE(program.WaitReady(kReadyMs));
        program.CloseBoxes(); // notices about defaults written at first start
        eventsAtStart = program.Events().size();
        sim.ClearReceived();
    }

    static bool LeftDown() { return (::GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

    // A finger down in the middle of the screen, until the system has the
    // left button pressed.
    void HoldFinger()
    {
        ASSERT_TRUE(sim.Command("touch 2048 2048"));
        for (int i = 0; i < 100 && !LeftDown(); ++i)
            ::Sleep(20);
        ASSERT_TRUE(LeftDown());
    }

    void ExitCleanly()
    {
        DWORD code = 1;
        ASSERT_TRUE(program.Exit(kExitMs, &code));
        EXPECT_EQ(code, 0u);
    }

    DevSim sim;
    ProgramUnderTest program;
    size_t eventsAtStart = 0;
};

TEST_F(EndToEndRun, RestartWithSameIdentityResendsConfigurationOnly)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort)));
    ASSERT_TRUE(sim.Command("restart"));
    ASSERT_TRUE(sim.WaitReceived(7, 5000));
    ::Sleep(300); // anything more would come now

    Payloads expected = {{0x01}};
    expected.insert(expected.end(), kZmr02Config.begin(), kZmr02Config.end());
    EXPECT_EQ(sim.Received(), expected);
    DWORD model = 99;
    ASSERT_TRUE(GetAppValue("CurrentDevice", &model));
    EXPECT_EQ(model, 1u);
    EXPECT_EQ(program.Events().size(), eventsAtStart);
    ExitCleanly();
}

TEST_F(EndToEndRun, RestartAfterHardwareChangeReplacesControllerAndLcd)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort)));
    ASSERT_TRUE(sim.Command("ident 5 1 0"));
    ASSERT_TRUE(sim.Command("restart"));
    // Identification, the new controller's configuration, the new LCD's
    // brightness and once more the brightness of the restart handling.
    ASSERT_TRUE(sim.WaitReceived(9, 5000));
    ::Sleep(300);

    // On a busy machine an acknowledgement can come later than a send's
    // 100 ms and the command goes out again: a repeat straight after its
    // first sending is a retry, not a second command.
    Payloads got = sim.Received();
    const size_t brightness = CountCode(got, 0x8c);
    EXPECT_GE(brightness, 2u);
    got.erase(std::unique(got.begin(), got.end()), got.end());
    Payloads expected = {{0x01}};
    expected.insert(expected.end(), kZmr02Config.begin(), kZmr02Config.end());
    expected.push_back({0x8c, 50});
    EXPECT_EQ(got, expected);
    DWORD value = 99;
    ASSERT_TRUE(GetAppValue("CurrentDevice", &value));
    EXPECT_EQ(value, 2u);
    ASSERT_TRUE(GetAppValue("CurrentLcd", &value));
    EXPECT_EQ(value, 1u);
    ExitCleanly();
}

TEST_F(EndToEndRun, TouchesFromUnidentifiedDeviceAskForIdentificationWithoutFlooding)
{
    // The device does not answer the identification at start-up.
    DevSim::Options device = SimOn(kDevicePort);
    device.silent = {0x01};
    SetAppValue("CurrentDevice", 1);
    SetAppValue("CurrentLcd", 0);
    ASSERT_NO_FATAL_FAILURE(StartWith(device));

    ASSERT_TRUE(sim.Command("unsilent 0x01"));
    ASSERT_TRUE(sim.Command(TouchBurst(5)));
    ASSERT_TRUE(sim.WaitReceived(7, 5000));
    ::Sleep(500);
    // The burst asks once. The message window clears the request when it
    // starts handling, so touches that arrive while that identification is
    // under way may ask once more; never once per touch.
    Payloads got = sim.Received();
    const size_t identifications = CountCode(got, 0x01);
    EXPECT_GE(identifications, 1u);
    EXPECT_LE(identifications, 2u);
    EXPECT_EQ(CountCode(got, 0x83), identifications); // each one re-sends the configuration

    // Identified now: touches only move the pointer.
    sim.ClearReceived();
    ASSERT_TRUE(sim.Command(TouchBurst(3)));
    ::Sleep(500);
    EXPECT_EQ(CountCode(sim.Received(), 0x01), 0u);
    ExitCleanly();
}

// A finger is down when the device restarts and then leaves the
// identification unanswered, so its release arrives while it is
// unidentified: the restart notice itself releases the button.
TEST_F(EndToEndRun, RestartNoticeWhilePressedReleasesTheButton)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort)));
    ASSERT_NO_FATAL_FAILURE(HoldFinger());

    ASSERT_TRUE(sim.Command("silent 01"));
    ASSERT_TRUE(sim.Command("restart"));
    ASSERT_TRUE(sim.WaitReceived(3, 5000)); // three identification queries, unanswered
    ::Sleep(300);
    ASSERT_TRUE(sim.Command("release"));
    ::Sleep(300);
    EXPECT_FALSE(LeftDown());
    ASSERT_TRUE(sim.Command("unsilent 01"));
    ExitCleanly();
}

TEST_F(EndToEndRun, TemperatureIsReadPeriodically)
{
    ProgramUnderTest::Options fast;
    fast.temperaturePeriodMs = 250;
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort, 5, 1, 0), fast));
    ::Sleep(1300);
    EXPECT_GE(CountCode(sim.Received(), 0x21), 3u);
    ExitCleanly();
}

TEST_F(EndToEndRun, TemperatureIsNotReadAgainSoonByDefault)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort, 5, 1, 0)));
    ::Sleep(1500);
    EXPECT_EQ(CountCode(sim.Received(), 0x21), 0u);
    ExitCleanly();
}

TEST_F(EndToEndRun, ExitRemovesTrayIconAndReleasesPort)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort)));
    const HWND miniBar = program.FindTopWindow("#32770", "LCD");
    const HWND settings = program.FindTopWindow("#32770", "Touch device");
    ASSERT_NE(miniBar, nullptr);
    ASSERT_NE(settings, nullptr);
    // The shell knows an icon by window and identifier (the program's
    // instance handle, its load address, the same as this program's).
    NOTIFYICONDATAA probe = {};
    probe.cbSize = 88;
    probe.hWnd = settings;
    probe.uID = static_cast<UINT>(reinterpret_cast<uintptr_t>(::GetModuleHandleA(nullptr)));
    probe.uFlags = NIF_TIP;
    lstrcpynA(probe.szTip, "Touch device", 64);
    EXPECT_FALSE(::Shell_NotifyIconA(NIM_MODIFY, &probe)) << "no icon at start-up";
    // "&Maximize" on the mini LCD bar puts the icon into the tray.
    ::SendMessageA(miniBar, WM_COMMAND, MAKEWPARAM(1104, 0), 0);
    EXPECT_TRUE(::Shell_NotifyIconA(NIM_MODIFY, &probe));

    DWORD code = 1;
    ASSERT_TRUE(program.Exit(kExitMs, &code)) << "a failed removal would wait in a modal box";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(CanOpenPort(kDevicePort));
    EXPECT_FALSE(::Shell_NotifyIconA(NIM_MODIFY, &probe));
}

// A stop request, by the stop tool or the exit command, while a modal loop
// runs: the Warning box and the cable countdown of a port change, and the
// start-up's open retries. The program ends at once, with exit code 0 and
// without the fatal event.
TEST_F(EndToEndRun, StopWhileABoxIsUpEndsTheProgramNormally)
{
    DevSim other;
    ASSERT_TRUE(other.Start(SimOn(6))) << other.LastError();
    struct Case {
        const char* what;
        const char* box; // the box up when the request comes; nullptr: start-up
        bool stopTool;
    };
    const Case cases[] = {{"Warning, stop tool", "Warning", true},
                          {"countdown, exit command", "Information", false},
                          {"open retries, stop tool", nullptr, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.box != nullptr) {
            ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort)));
            const HWND page = FindHardwarePage(program.FindTopWindow("#32770", "Touch device"));
            ASSERT_NE(page, nullptr);
            ::SendDlgItemMessageA(page, 1056, CB_SETCURSEL, 5, 0); // COM6
            ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(1056, CBN_SELENDOK),
                           reinterpret_cast<LPARAM>(::GetDlgItem(page, 1056)));
            const HWND warning = WaitForBox(program, "Warning", 5000);
            ASSERT_NE(warning, nullptr);
            if (std::string(c.box) == "Information") {
                ::PostMessageA(warning, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
                ASSERT_NE(WaitForBox(program, "Information", 5000), nullptr);
            }
        } else {
            SetAppValue("CurrentChannel", 7); // COM8: nothing there to open
            ASSERT_TRUE(program.Start());
            for (int waited = 0; waited < 10000 && program.CountEvents(MSG_CHANNEL_CANT_OPEN) == 0;
                 waited += 50)
                ::Sleep(50);
            ASSERT_GE(program.CountEvents(MSG_CHANNEL_CANT_OPEN), 1u);
        }
        const DWORD started = ::GetTickCount();
        DWORD code = 1;
        if (c.stopTool) {
            EXPECT_EQ(RunAndWait(StopToolPath(), "10000", 15000), 0u);
            ASSERT_TRUE(program.WaitExit(kExitMs, &code));
        } else {
            const HWND mailbox = program.FindTopWindow("WndMessageClass", "TouchDevice");
            ASSERT_NE(mailbox, nullptr);
            ::PostMessageA(mailbox, WM_COMMAND, MAKEWPARAM(1044, 0), 0);
            ASSERT_TRUE(program.WaitExit(kExitMs, &code));
        }
        EXPECT_EQ(code, 0u);
        EXPECT_LT(::GetTickCount() - started, 5000u) << "ended by the request, not by the box running out";
        EXPECT_EQ(program.CountEvents(MSG_FATAL_ERROR), 0u);
        if (c.box != nullptr) {
            EXPECT_TRUE(CanOpenPort(kDevicePort));
            EXPECT_TRUE(CanOpenPort(6));
        }
        sim.Stop();
        SetAppValue("CurrentChannel", kDevicePort - 1);
    }
}

// The stop tool in a session that cannot see the program's window (an
// installer running as SYSTEM): the global event alone ends the program, as
// the exit command would, with a finger on the screen.
TEST_F(EndToEndRun, StopToolWithoutTheWindowEndsTheProgramThroughTheEvent)
{
    ASSERT_NO_FATAL_FAILURE(StartWith(SimOn(kDevicePort)));
    ASSERT_NO_FATAL_FAILURE(HoldFinger());

    ::SetEnvironmentVariableA("TP_STOP_NO_WINDOW", "1");
    const DWORD stopCode = RunAndWait(StopToolPath(), "10000", 15000);
    ::SetEnvironmentVariableA("TP_STOP_NO_WINDOW", nullptr);
    EXPECT_EQ(stopCode, 0u) << "the tool saw the program end";
    DWORD code = 1;
    ASSERT_TRUE(program.WaitExit(kExitMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(LeftDown());
    EXPECT_TRUE(CanOpenPort(kDevicePort));
    EXPECT_EQ(program.CountEvents(MSG_FATAL_ERROR), 0u);

    // Nothing running any more: the tool says so.
    ::SetEnvironmentVariableA("TP_STOP_NO_WINDOW", "1");
    EXPECT_EQ(RunAndWait(StopToolPath(), "2000", 5000), 1u);
    ::SetEnvironmentVariableA("TP_STOP_NO_WINDOW", nullptr);
}

TEST(EndToEndFault, UnhandledFaultIsShownAndEndsWithMinusOne)
{
    for (const char* mode : {"raise", "throw", "receive-throw"}) {
        const std::string probe = WinePathOf(TP_FAULT_PROBE_PATH);
        std::string commandLine = "\"" + probe + "\" " + mode;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        ASSERT_TRUE(::CreateProcessA(probe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &info));
        UniqueKernelHandle process(info.hProcess);
        UniqueKernelHandle thread(info.hThread);

        // The box waits for the user; read it and answer it.
        std::string text;
        for (int i = 0; i < 500 && text.empty(); ++i) {
            ::Sleep(20);
            HWND box = ::FindWindowA("#32770", "Information");
            DWORD pid = 0;
            if (box != nullptr) ::GetWindowThreadProcessId(box, &pid);
            if (pid != info.dwProcessId) continue;
            char buffer[256] = {};
            // The box can be found while it is still being built, before its
            // text is set (no control yet, or the template's text): answering
            // it then would lose the text.
            if (::GetDlgItemTextA(box, 1100, buffer, sizeof buffer) == 0 ||
                std::string(buffer) == "information")
                continue;
            text = buffer;
            ::PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        }
        EXPECT_EQ(text.rfind("Fatal error, please send email to support@mavrel.example about it.", 0), 0u)
            << mode << ": " << text;
        ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0) << mode;
        DWORD code = 0;
        ::GetExitCodeProcess(process.get(), &code);
        EXPECT_EQ(code, 0xFFFFFFFFu) << mode;
    }
}

} // namespace
