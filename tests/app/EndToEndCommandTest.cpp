// The command line of setup scripts, run as a script runs it, with the output
// redirected: export -> import -> export without a running program, a bad
// file refused with its line, an import handed to the running program which
// then configures the simulated device, "/status" with and without a device,
// "busy" while the running program has a box up, and "/calibrate" handed to
// the running program, touched at its crosses, escaped and confirmed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/EndToEndSupport.h"
#include "calibration/CalibrationMath.h"
#include "support/ExportFile.h"

namespace {

constexpr int kReadyMs = 20000;
constexpr int kExitMs = 10000;
constexpr int kJobMs = 30000;
constexpr int kDevicePort = 4; // COM4
// Exit codes of the user guide's table.
constexpr DWORD kSuccess = 0, kBadFile = 3, kNoDevice = 5, kBusy = 6, kAborted = 7;
constexpr int kMarkerDistance12 = 1048;

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
    // The device on its port and the program running with it, boxes closed.
    void StartWithDevice(DevSim& sim, ProgramUnderTest& program)
    {
        SetAppValue("CurrentChannel", kDevicePort - 1);
        ASSERT_TRUE(sim.Start(SimOn(kDevicePort))) << sim.LastError();
        ASSERT_TRUE(program.Start());
        ASSERT_TRUE(program.WaitReady(kReadyMs));
        program.CloseBoxes();
    }

    std::string first, edited, second;
};

// A second instance run in the background, as a script that waits for it.
class Background {
public:
    explicit Background(const std::string& arguments)
        : m_thread([this, arguments] { code = RunCapturing(ProgramPath(), arguments, 120000, &out, &err); })
    {
    }
    ~Background()
    {
        if (m_thread.joinable()) m_thread.join();
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    void Join() { m_thread.join(); }

    DWORD code = 0xDEAD;
    std::string out, err;

private:
    std::thread m_thread;
};

// Where a touch aimed at pixel p lands before the run has a calibration:
// the raw values (0..1024 across the screen) as the sensor's mounting turns
// them. nullptr: through a calibration that undoes the mounting.
CalPoint Landing(const char* mount, CalPoint p, int w, int h)
{
    if (mount == nullptr) return p;
    CalPoint raw{p.x * 1024 / w, p.y * 1024 / h};
    if (std::string(mount) == "rotate-180") raw = CalPoint{1024 - raw.x, 1024 - raw.y};
    if (std::string(mount) == "swap-xy") raw = CalPoint{raw.y, raw.x};
    return CalPoint{raw.x * w / 1024, raw.y * h / 1024};
}

// Whether the screen shows a cross at p (its arm, beside the black centre line).
bool CrossShown(CalPoint p)
{
    const HDC screen = ::GetDC(nullptr);
    const COLORREF colour = ::GetPixel(screen, p.x + 12, p.y + 3);
    ::ReleaseDC(nullptr, screen);
    return colour == RGB(0x80, 0xFF, 0xFF);
}

// A finger on the screen pixel p: down until the cursor is where the touch
// lands, then up, then the bounce time.
void TouchAt(DevSim& sim, CalPoint p, const char* mount)
{
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    const CalPoint land = Landing(mount, p, w, h);
    ASSERT_TRUE(
        sim.Command("touch " + std::to_string(p.x * 1024 / w) + " " + std::to_string(p.y * 1024 / h)));
    POINT at = {};
    bool landed = false;
    for (int i = 0; i < 100 && !landed; ++i) {
        ::Sleep(20);
        ::GetCursorPos(&at);
        landed = std::abs(at.x - land.x) <= 4 && std::abs(at.y - land.y) <= 4;
    }
    EXPECT_TRUE(landed) << "aimed at " << land.x << ", " << land.y << "; at " << at.x << ", " << at.y;
    ASSERT_TRUE(sim.Command("release"));
    ::Sleep(400);
}

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
    EXPECT_EQ(Run("/calibrate", &out, &err), kNoDevice) << out << err;
    EXPECT_NE(err.find("does not answer on COM8"), std::string::npos) << err;
}

TEST_F(EndToEndCommand, RunningProgramTakesTheImportAndReportsItsStatus)
{
    DevSim sim;
    ProgramUnderTest program;
    ASSERT_NO_FATAL_FAILURE(StartWithDevice(sim, program));

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

TEST_F(EndToEndCommand, CalibrateStoresOnlyWhatTheUserConfirmedInTheRunningProgramOrAlone)
{
    DevSim sim;
    ProgramUnderTest program;
    ASSERT_NO_FATAL_FAILURE(StartWithDevice(sim, program));

    // Without the check point, whose place a script cannot see.
    std::string out, err;
    ASSERT_EQ(Run("/export " + Quoted(first), &out, &err), kSuccess) << err;
    const std::string noCheck = WithValue(ReadText(first), "CheckLimit", "f", "0");
    ASSERT_FALSE(noCheck.empty());
    WriteText(edited, noCheck);
    ASSERT_EQ(Run("/import " + Quoted(edited), &out, &err), kSuccess) << err;

    // Each sensor mounting is found by the run and stored only when confirmed.
    struct Case {
        bool alone;
        bool confirm;
        const char* mount;
        const char* name;
        const char* found;
    };
    const Case cases[] = {{false, false, "rotate-180", "Rotate", "2"},
                          {false, true, "rotate-180", "Rotate", "2"},
                          {true, false, "swap-xy", "SwapXY", "1"},
                          {true, true, "swap-xy", "SwapXY", "1"}};
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    const CalPoint margins = MarginsFor(kMarkerDistance12, w, h);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.alone ? "alone, " : "running, ") + (c.confirm ? "confirmed" : "escaped"));
        if (c.alone && program.Running()) {
            DWORD code = 1;
            ASSERT_TRUE(program.Exit(kExitMs, &code));
            EXPECT_EQ(code, 0u);
        }
        ASSERT_EQ(Run("/export " + Quoted(first), &out, &err), kSuccess) << err;
        const std::string stored = ReadText(first);
        ASSERT_TRUE(sim.Command(std::string("mount ") + c.mount));

        Background calibrate("/calibrate");
        HWND window = nullptr;
        for (int i = 0; i < 250 && window == nullptr; ++i) {
            ::Sleep(40);
            window = ::FindWindowA("WndCalibrationClass", nullptr);
        }
        ASSERT_NE(window, nullptr) << "the calibration window is open";
        // Started: the first cross is drawn once the touches reach the run.
        bool shown = false;
        for (int i = 0; i < 100 && !shown; ++i) {
            ::Sleep(50);
            shown = CrossShown(CrossTarget(0, 0, 0, w, h, margins));
        }
        ASSERT_TRUE(shown) << "the first cross is shown";
        ASSERT_NO_FATAL_FAILURE(TouchAt(sim, CrossTarget(0, 0, 0, w, h, margins), c.mount));
        if (!c.confirm) {
            ::PostMessageA(window, WM_CHAR, 27, 0);
        } else {
            for (int i = 1; i < 3; ++i)
                ASSERT_NO_FATAL_FAILURE(TouchAt(sim, CrossTarget(i, 0, 0, w, h, margins), c.mount));
            HWND button = nullptr;
            for (int i = 0; i < 100 && button == nullptr; ++i) {
                ::Sleep(40);
                button = ::FindWindowExA(window, nullptr, "Button", nullptr);
            }
            ASSERT_NE(button, nullptr) << "the confirm button is shown";
            RECT r = {};
            ::GetWindowRect(button, &r);
            // Through the new calibration, which undoes the mounting.
            ASSERT_NO_FATAL_FAILURE(
                TouchAt(sim, CalPoint{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, nullptr));
        }
        calibrate.Join();
        if (!c.alone && !c.confirm) {
            // The user sees the run's error box, as after the Calibrate button.
            std::vector<std::string> boxes;
            for (int i = 0; i < 100 && boxes.empty(); ++i) {
                ::Sleep(50);
                boxes = program.BoxTexts();
            }
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_NE(boxes[0].find("calibration"), std::string::npos) << boxes[0];
            for (int i = 0; i < 100 && !program.BoxTexts().empty(); ++i) {
                program.CloseBoxes();
                ::Sleep(100);
            }
        }
        if (c.alone) {
            EXPECT_EQ(::FindWindowA("WndMessageClass", "TouchDevice"), nullptr) << "it ended";
        }
        ASSERT_EQ(Run("/export " + Quoted(second), &out, &err), kSuccess)
            << err << calibrate.code << calibrate.out << calibrate.err;
        const std::string now = ReadText(second);
        if (!c.confirm) {
            EXPECT_EQ(calibrate.code, kAborted) << calibrate.out << calibrate.err;
            EXPECT_NE(calibrate.err.find("aborted"), std::string::npos) << calibrate.err;
            EXPECT_EQ(now, stored) << "nothing was stored";
        } else {
            EXPECT_EQ(calibrate.code, kSuccess) << calibrate.out << calibrate.err;
            EXPECT_NE(calibrate.out.find("stored"), std::string::npos) << calibrate.out;
            EXPECT_NE(now.find(ValueLine(c.name, c.found)), std::string::npos) << now;
            EXPECT_EQ(stored.find(ValueLine(c.name, c.found)), std::string::npos) << stored;
            if (!c.alone) {
                EXPECT_TRUE(program.BoxTexts().empty());
            }
        }
    }
}

} // namespace
