// The command line of setup scripts, run as a script runs it, with the output
// redirected: export -> import -> export without a running program, a bad
// file refused with its line, an import handed to the running program which
// then configures the simulated device, "/status" with and without a device,
// and "busy" while the running program has a box up.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/EndToEndSupport.h"
#include "support/ExportFile.h"

namespace {

constexpr int kReadyMs = 20000;
constexpr int kExitMs = 10000;
constexpr int kJobMs = 30000;
constexpr int kDevicePort = 4; // COM4
// Exit codes of the user guide's table.
constexpr DWORD kSuccess = 0, kBadFile = 3, kNoDevice = 5, kBusy = 6;

class EndToEndCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearProgramRegistry();
        // The export's last section: both bars have a place.
        for (const char* bar : {"Type1", "Type3", "MiniLcd"}) {
            SetUserValue(bar, "x", 10);
            SetUserValue(bar, "y", 20);
        }
        first = TempPath("tp-cmd-a.txt");
        edited = TempPath("tp-cmd-b.txt");
        second = TempPath("tp-cmd-c.txt");
    }
    void TearDown() override
    {
        for (const std::string* p : {&first, &edited, &second})
            ::DeleteFileA(p->c_str());
        ClearProgramRegistry();
    }
    // The output with its line ends as LF alone.
    DWORD Run(const std::string& arguments, std::string* out = nullptr, std::string* err = nullptr)
    {
        const DWORD code = RunCapturing(ProgramPath(), arguments, kJobMs, out, err);
        for (std::string* text : {out, err}) {
            if (text != nullptr) text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
        }
        return code;
    }
    std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

    std::string first, edited, second;
};

TEST_F(EndToEndCommand, RoundTripWithoutARunningProgramAndABadFile)
{
    std::string out, err;
    ASSERT_EQ(Run("/export " + Quoted(first), &out, &err), kSuccess) << err;
    EXPECT_NE(out.find("The configuration was written to"), std::string::npos) << out;
    const std::string exported = ReadText(first);
    const std::string changed = WithValue(exported, "PressDelay", "2", "7");
    ASSERT_FALSE(changed.empty()) << exported;
    WriteText(edited, changed);

    ASSERT_EQ(Run("/import " + Quoted(edited), &out, &err), kSuccess) << err;
    ASSERT_EQ(Run("/export " + Quoted(second), &out, &err), kSuccess) << err;
    EXPECT_EQ(ReadText(second), changed) << "export -> import -> export: the same file";

    // A bad line late in the file: refused with its number, nothing written.
    std::string bad = WithValue(exported, "BaudRate", "2580", "25k0");
    ASSERT_FALSE(bad.empty());
    WriteText(edited, bad);
    ASSERT_EQ(Run("/import " + Quoted(first + "-missing"), &out, &err), kBadFile);
    ASSERT_EQ(Run("/import " + Quoted(edited), &out, &err), kBadFile);
    const std::string line = "line " + std::to_string(LineNumberOf(bad, ValueLine("BaudRate", "25k0")));
    EXPECT_NE(err.find(line + ": BaudRate : 25k0"), std::string::npos) << err;
    ASSERT_EQ(Run("/export " + Quoted(second), &out, &err), kSuccess) << err;
    EXPECT_EQ(ReadText(second), changed) << "the refused file changed nothing";

    EXPECT_EQ(Run("/?", &out, &err), kSuccess);
    EXPECT_NE(out.find("/import FILE"), std::string::npos) << out;
}

TEST_F(EndToEndCommand, StatusWithoutADevice)
{
    SetAppValue("CurrentChannel", 7); // COM8: nothing there
    std::string out, err;
    EXPECT_EQ(Run("/status", &out, &err), kNoDevice) << out << err;
    EXPECT_NE(out.find("Port: COM8"), std::string::npos) << out;
    EXPECT_NE(out.find("Device answers: no"), std::string::npos) << out;
    EXPECT_NE(out.find("Program running: no"), std::string::npos) << out;
}

TEST_F(EndToEndCommand, RunningProgramTakesTheImportAndReportsItsStatus)
{
    SetAppValue("CurrentChannel", kDevicePort - 1);
    DevSim sim;
    ASSERT_TRUE(sim.Start(SimOn(kDevicePort))) << sim.LastError();
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start());
    ASSERT_TRUE(program.WaitReady(kReadyMs));
    program.CloseBoxes();

    std::string out, err;
    ASSERT_EQ(Run("/export " + Quoted(first), &out, &err), kSuccess) << err;
    const std::string exported = ReadText(first);
    WriteText(edited, WithValue(exported, "PressDelay", "2", "7"));
    sim.ClearReceived();
    ASSERT_EQ(Run("/import " + Quoted(edited), &out, &err), kSuccess) << err;
    const auto received = sim.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), std::vector<uint8_t>{0x83, 7}), received.end())
        << "the running program sent the new press delay";
    EXPECT_TRUE(program.BoxTexts().empty()) << "a command shows no box";

    EXPECT_EQ(Run("/status", &out, &err), kSuccess) << err;
    EXPECT_NE(out.find("Port: COM4\nController: ZMR02\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Identification: HW Id 2, SW Ver 1.30"), std::string::npos) << out;
    EXPECT_NE(out.find("Device answers: yes\nProgram running: yes"), std::string::npos) << out;

    // A box up in the running program: the job waits, then says "busy".
    const HWND page = FindHardwarePage(program.FindTopWindow("#32770", "Touch device"));
    ASSERT_NE(page, nullptr);
    ::SendDlgItemMessageA(page, 1056, CB_SETCURSEL, 5, 0); // COM6
    ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(1056, CBN_SELENDOK),
                   reinterpret_cast<LPARAM>(::GetDlgItem(page, 1056)));
    const HWND warning = WaitForBox(program, "Warning", 5000);
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(Run("/status", &out, &err), kBusy) << out;
    EXPECT_NE(err.find("busy"), std::string::npos) << err;
    ::PostMessageA(warning, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);

    DWORD code = 1;
    ASSERT_TRUE(program.Exit(kExitMs, &code));
    EXPECT_EQ(code, 0u);
}

} // namespace
