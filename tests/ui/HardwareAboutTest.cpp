// The Hardware and About pages against the simulated device: the port change
// to a port with a controller and to one without, the configuration export
// with its sections, the About page's lines, and on the embedded path
// "Reboot" and "Exec App" behind the access-code keypad.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Messages.h"
#include "app/Startup.h"
#include "base/ExportPath.h"
#include "base/Handles.h"
#include "base/Monitors.h"
#include "base/ObjectNames.h"
#include "base/ModalLoop.h"
#include "controller/ModelTable.h"
#include "base/Reporting.h"
#include "base/VersionInfo.h"
#include "resources/resource.h"
#include "support/ScreenCapture.h"
#include "ui/AboutPage.h"
#include "ui/CodeKeypad.h"
#include "ui/ConfigurationExport.h"
#include "ui/HardwarePage.h"
#include "ui/SettingsTestSupport.h"

using namespace settings_test;

namespace {

HWND Hardware()
{
    return SettingsPage(kPageHardware);
}

HWND About()
{
    return SettingsPage(kPageAbout);
}

struct EventLog {
    std::vector<std::pair<uint32_t, std::string>> entries;
    static void Observe(void* self, uint32_t id, const char* insert)
    {
        static_cast<EventLog*>(self)->entries.emplace_back(id, insert != nullptr ? insert : "");
    }
    bool Has(uint32_t id, const std::string& insert) const
    {
        return std::find(entries.begin(), entries.end(), std::make_pair(id, insert)) != entries.end();
    }
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string TempFile(const char* name)
{
    char dir[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

// Whether COM<comNumber> can be opened within 2 s (under load Wine may take
// a moment to let go of a closed port).
bool CanOpenNow(int comNumber)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        CommProtocol2 probe(comNumber - 1, false);
        const bool opened = probe.Open();
        probe.Close();
        if (opened) return true;
        ::Sleep(100);
    }
    return false;
}

class HardwareAboutTest : public SettingsFixture {
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        SetAppEventObserver(&EventLog::Observe, &events);
    }
    void TearDown() override
    {
        SetAppEventObserver(nullptr, nullptr);
        // The fixture releases the channel that is current now.
        channel = dynamic_cast<CommProtocol2*>(App().channel.load());
        SettingsFixture::TearDown();
        other.Stop();
        SetRestartAction(nullptr);
        SetProgramChooser(nullptr);
        App().embedded = false;
    }
    // Chooses port index in the list as a finished choice does.
    std::vector<SeenBox> ChangePortTo(int index)
    {
        ::SendDlgItemMessageA(Hardware(), 1056, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ModalBoxCloser closer(IDOK); // Yes to the question; ends the countdown and the message
        HardwarePagePortChange(Hardware());
        return closer.seen();
    }
    // The pointer moves when the device on sim touches.
    bool DrivesPointer(DevSim& device)
    {
        ::SetCursorPos(3, 3);
        if (!device.Command("touch 512 512") || !device.Command("release")) return false;
        POINT at = {};
        const auto moved = [&] {
            ::GetCursorPos(&at);
            return at.x != 3 || at.y != 3;
        };
        PumpUntil(moved, 2000);
        return moved();
    }
    void StartOther(bool absent)
    {
        DevSim::Options o;
        o.port = 6;
        o.hwId = 5;
        o.major = 1;
        o.minor = 30;
        o.absent = absent;
        ASSERT_TRUE(other.Start(o)) << other.LastError();
    }

    EventLog events;
    DevSim other;
};

TEST_F(HardwareAboutTest, PageShowsPortLineSettingsAndTypes)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    EXPECT_EQ(::SendDlgItemMessageA(Hardware(), 1056, CB_GETCOUNT, 0, 0), 8);
    EXPECT_EQ(::SendDlgItemMessageA(Hardware(), 1056, CB_GETCURSEL, 0, 0), 4);
    EXPECT_EQ(ItemText(Hardware(), 1062), std::to_string(channel->Settings().BaudRate));
    EXPECT_EQ(ItemText(Hardware(), 1063), "Even parity");
    EXPECT_EQ(ItemText(Hardware(), 1041), "8 bits");
    EXPECT_EQ(ItemText(Hardware(), 1042), "One stop bit");
    EXPECT_EQ(ItemText(Hardware(), 1051), ControllerModelName(App().controllerModel));
    EXPECT_EQ(ItemText(Hardware(), 1054), LcdModelName(App().lcdModel));
    // The same port again asks nothing; no selection changes nothing.
    ModalBoxCloser closer(IDOK);
    HardwarePagePortChange(Hardware());
    ::SendDlgItemMessageA(Hardware(), 1056, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    HardwarePagePortChange(Hardware());
    EXPECT_TRUE(closer.seen().empty());
    EXPECT_EQ(App().channel.load()->ChannelIndex(), 4);
}

TEST_F(HardwareAboutTest, ChangeToPortWithControllerSwitchesAndReleasesTheOldPort)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ASSERT_NO_FATAL_FAILURE(StartOther(false));
    const std::vector<SeenBox> seen = ChangePortTo(5);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].caption, "Warning");
    EXPECT_EQ(App().channel.load()->ChannelIndex(), 5);
    EXPECT_TRUE(events.Has(kEventChannelChanged, "COM6"));
    DWORD type = 0;
    std::string stored;
    ASSERT_TRUE(GetRootValue("CurrentChannel", &type, &stored));
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0], 5);
    EXPECT_EQ(ItemText(Hardware(), 1062),
              std::to_string(dynamic_cast<CommProtocol2*>(App().channel.load())->Settings().BaudRate));
    EXPECT_TRUE(DrivesPointer(other));
    // The old port was closed: it can be opened again.
    CommProtocol2 again(4, false);
    EXPECT_TRUE(again.Open());
    again.Close();
}

// The ports the system reports follow COM1..COM8, by their friendly names;
// choosing one opens it by its device path, and its number is stored. A
// current port that the system stops reporting stays listed.
TEST_F(HardwareAboutTest, OtherPresentPortsAreListedAndChosenLikeTheFirstEight)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ::SetEnvironmentVariableA("TP_PRESENT_PORTS", "COM15;COM12=USB Serial Port (COM12);COM3=Port (COM3)");
    ::SendMessageA(Hardware(), WM_COMMAND, MAKEWPARAM(CMD_PAGE_RELOAD, 0), 0);
    std::vector<std::string> shown;
    const LRESULT count = ::SendDlgItemMessageA(Hardware(), 1056, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[64] = {};
        ::SendDlgItemMessageA(Hardware(), 1056, CB_GETLBTEXT, static_cast<WPARAM>(i),
                              reinterpret_cast<LPARAM>(text));
        shown.push_back(text);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8",
                                               "USB Serial Port (COM12)", "COM15"}));

    DevSim::Options o = SimOn(12, 5, 1, 30);
    ASSERT_TRUE(other.Start(o)) << other.LastError();
    ChangePortTo(8);
    EXPECT_EQ(App().channel.load()->ChannelIndex(), 11);
    EXPECT_TRUE(events.Has(kEventChannelChanged, "COM12"));
    DWORD type = 0;
    std::string stored;
    ASSERT_TRUE(GetRootValue("CurrentChannel", &type, &stored));
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0], 11);
    EXPECT_TRUE(DrivesPointer(other));

    ::SetEnvironmentVariableA("TP_PRESENT_PORTS", nullptr);
    ::SendMessageA(Hardware(), WM_COMMAND, MAKEWPARAM(CMD_PAGE_RELOAD, 0), 0);
    EXPECT_EQ(::SendDlgItemMessageA(Hardware(), 1056, CB_GETCOUNT, 0, 0), 9);
    EXPECT_EQ(::SendDlgItemMessageA(Hardware(), 1056, CB_GETCURSEL, 0, 0), 8);
}

// The controller's configuration as WriteConfig sends it, by command code.
std::vector<uint8_t> ConfigCodes(int model)
{
    std::vector<uint8_t> codes;
    const ControllerModel* info = ControllerModelInfo(model);
    for (int i = 0; info != nullptr && i < info->writeConfigCount; ++i)
        codes.push_back(info->writeConfig[i].command);
    return codes;
}

std::vector<uint8_t> CodesOf(const Payloads& payloads)
{
    std::vector<uint8_t> codes;
    for (const auto& p : payloads)
        codes.push_back(p.empty() ? 0 : p[0]);
    return codes;
}

// A finger is down on the old device while the port changes: the touch is
// released. The new device gets its identification, then the configuration
// of the controller (sent by the model check when the model changes, by the
// port change when it stays) and the LCD's; the old one nothing; no send
// error is shown. There and back: the same model, then another one.
TEST_F(HardwareAboutTest, ChangeOfPortConfiguresTheNewPortOnly)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ASSERT_NO_FATAL_FAILURE(StartOther(false));
    char sendError[256] = {};
    FormatAppMessage(kMsgCtrlSendError, sendError, sizeof sendError);
    struct Case {
        int port;          // index chosen in the list
        DevSim* from;      // device on the port in use
        DevSim* to;        // device on the chosen port
        const char* ident; // what the chosen device says it is
        int model;         // controller model expected afterwards
    };
    const Case cases[] = {{5, &sim, &other, "ident 5 1 30", kControllerModelZmr03},
                          {4, &other, &sim, "ident 2 1 30", kControllerModelZmr02}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ident);
        ASSERT_TRUE(c.to->Command(c.ident));
        ASSERT_TRUE(c.from->Command("touch 512 512"));
        PumpUntil([this] { return Controller()->m_bPressed != 0; }, 2000);
        ASSERT_NE(Controller()->m_bPressed, 0);
        sim.ClearReceived();
        other.ClearReceived();

        const std::vector<SeenBox> seen = ChangePortTo(c.port);
        PumpUntil([] { return false; }, 300); // anything more would come now
        EXPECT_EQ(App().channel.load()->ChannelIndex(), c.port);
        EXPECT_EQ(App().controllerModel, c.model);
        ASSERT_NE(Controller(), nullptr);
        EXPECT_EQ(Controller()->m_bPressed, 0) << "the touch held on the old line is released";
        EXPECT_EQ(::GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);

        const std::vector<uint8_t> got = CodesOf(c.to->Received());
        std::vector<uint8_t> expected = {0x01};
        const std::vector<uint8_t> config = ConfigCodes(c.model);
        expected.insert(expected.end(), config.begin(), config.end());
        ASSERT_GE(got.size(), expected.size());
        EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + static_cast<long>(expected.size())),
                  expected);
        for (size_t i = expected.size(); i < got.size(); ++i)
            EXPECT_EQ(got[i], 0x8c) << "only the LCD's brightness follows";
        EXPECT_TRUE(c.from->Received().empty()) << "the old line gets nothing more";
        for (const SeenBox& box : seen)
            EXPECT_NE(box.text, sendError);
        CloseInfoBoxes();
    }
}

// Answers Yes to the boxes of a port change until the one with its caption
// is up, then sends the program's exit command.
struct PortChangeQuitter {
    const char* caption;
    std::vector<std::string> seen;
};
PortChangeQuitter* g_portQuitter = nullptr;

void CALLBACK PortChangeQuitTick(HWND, UINT, UINT_PTR, DWORD)
{
    for (HWND box : ThreadBoxes()) {
        if (!::IsWindowVisible(box) || g_portQuitter == nullptr) continue;
        const SeenBox seen = Inspect(box);
        g_portQuitter->seen.push_back(seen.caption);
        if (seen.caption == g_portQuitter->caption) {
            ::PostMessageA(App().messageWindow, WM_COMMAND, MAKEWPARAM(CMD_EXIT_PROGRAM, 0), 0);
            g_portQuitter = nullptr;
        } else {
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        }
    }
}

// The stop request while the port change's boxes are up: the change goes no
// further, the old channel stays current, nothing more is asked.
TEST_F(HardwareAboutTest, QuitDuringThePortChangeLeavesTheOldChannel)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ASSERT_NO_FATAL_FAILURE(StartOther(false));
    ChannelVirt* before = App().channel.load();
    for (const char* caption : {"Warning", "Information"}) {
        SCOPED_TRACE(caption);
        PortChangeQuitter quitter{caption, {}};
        g_portQuitter = &quitter;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &PortChangeQuitTick);
        ::SendDlgItemMessageA(Hardware(), 1056, CB_SETCURSEL, 5, 0);
        other.ClearReceived();
        HardwarePagePortChange(Hardware());
        ::KillTimer(nullptr, timer);
        g_portQuitter = nullptr;
        EXPECT_EQ(quitter.seen.back(), caption);
        EXPECT_TRUE(QuitRequested());
        EXPECT_EQ(App().channel.load(), before);
        EXPECT_EQ(::SendDlgItemMessageA(Hardware(), 1056, CB_GETCURSEL, 0, 0), 4);
        EXPECT_TRUE(other.Received().empty()) << "no identification on the new port";
        EXPECT_TRUE(CanOpenNow(6)) << "the new port was let go";
        ForgetQuitRequest();
    }
}

TEST_F(HardwareAboutTest, ChangeToPortWithoutControllerKeepsTheOldChannel)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ASSERT_NO_FATAL_FAILURE(StartOther(true));
    ChannelVirt* before = App().channel.load();
    const std::vector<SeenBox> seen = ChangePortTo(5);
    char expected[256] = {};
    FormatAppMessage(kMsgControllerNotFound, expected, sizeof expected);
    bool shown = false;
    for (const SeenBox& box : seen)
        shown = shown || box.text == expected;
    EXPECT_TRUE(shown) << "0xa02a002c not shown";
    EXPECT_TRUE(events.Has(kEventChannelSwitchFailed, "COM6"));
    EXPECT_EQ(App().channel.load(), before);
    EXPECT_EQ(::SendDlgItemMessageA(Hardware(), 1056, CB_GETCURSEL, 0, 0), 4);
    EXPECT_TRUE(DrivesPointer(sim));
}

TEST_F(HardwareAboutTest, ExportWritesEverySectionInOrder)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    const char* lcdType = LcdModelName(App().lcdModel);
    ASSERT_TRUE(channel->SaveSettings()); // the channel section reads what is stored
    const std::string path = TempFile("tp-export.txt");
    // No mini-bar position: every section before it is written.
    StorePosition(lcdType, 500, 2);
    EXPECT_EQ(WriteConfigurationFile(path.c_str()), kMsgExportWindowPosition);
    std::string text = ReadFile(path);
    char header[256] = {};
    FormatAppMessage(kMsgExportHeader, header, sizeof header);
    EXPECT_EQ(text.rfind(header, 0), 0u);
    const size_t version = text.find("\n\nProductVersion: 1.0.0\n");
    const size_t channelSection = text.find("Channel parameters.");
    const size_t positions =
        text.find("\n\n\nWindow position.\nHKEY_CURRENT_USER\\Software\\Mavrel\\TactilePane : \n");
    EXPECT_EQ(version, std::string(header).size());
    EXPECT_NE(channelSection, std::string::npos);
    EXPECT_LT(version, channelSection);
    ASSERT_NE(positions, std::string::npos);
    EXPECT_LT(channelSection, positions);
    const std::string tail = std::string("LCD type: ") + lcdType + "\n" + std::string(29, ' ') + "x : 1f4\n" +
                             std::string(29, ' ') + "y : 2\nMini LCD\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

    // With both positions the export is complete and replaces the old file.
    StorePosition("MiniLcd", 16, 0);
    EXPECT_EQ(WriteConfigurationFile(path.c_str()), 0u);
    text = ReadFile(path);
    const std::string full = tail + std::string(29, ' ') + "x : 10\n" + std::string(29, ' ') + "y : 0\n";
    // After every other section: the values added later, defaulted for a
    // configuration stored without them.
    const size_t later = text.find("\n\n\nCalibration check and touch hold.\nHKEY_LOCAL_MACHINE\\");
    ASSERT_NE(later, std::string::npos);
    ASSERT_GE(later, full.size());
    EXPECT_EQ(text.substr(later - full.size(), full.size()), full);
    const std::string values = std::string(20, ' ') + "CheckLimit : f\n" + std::string(17, ' ') +
                               "CheckResidual : ffffffff\n" + std::string(13, ' ') +
                               "CalibrationPoints : 3\n" + std::string(16, ' ') + "HoldRightClick : 0\n";
    // Then, last, the touch screen's monitor as found.
    const size_t monitor = text.find("\n\n\nTouch screen monitor.\nHKEY_LOCAL_MACHINE\\");
    ASSERT_NE(monitor, std::string::npos);
    ASSERT_GE(monitor, values.size());
    EXPECT_EQ(text.substr(monitor - values.size(), values.size()), values);
    EXPECT_NE(text.find(std::string(14, ' ') + "TouchMonitorLeft : 0\n", monitor), std::string::npos);
    // Last, the port's name, which the import reads past.
    const std::string port = "\n\n\nSerial port.\nName : COM5\n";
    ASSERT_GE(text.size(), port.size());
    EXPECT_EQ(text.substr(text.size() - port.size()), port);
    ::DeleteFileA(path.c_str());
}

TEST_F(HardwareAboutTest, ExportButtonCreatesBothDirectoryLevels)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ExportPaths paths;
    ASSERT_TRUE(ConfigurationExportPaths(&paths));
    ::DeleteFileA(paths.file);
    ::RemoveDirectoryA(paths.productDir);
    ::RemoveDirectoryA(paths.vendorDir);
    ASSERT_TRUE(channel->SaveSettings());
    StorePosition(LcdModelName(App().lcdModel), 1, 1);
    StorePosition("MiniLcd", 1, 1);
    ModalBoxCloser closer(IDOK);
    ::SendMessageA(Hardware(), WM_COMMAND, MAKEWPARAM(1112, BN_CLICKED), 0);
    EXPECT_TRUE(closer.seen().empty());
    EXPECT_NE(::GetFileAttributesA(paths.file), INVALID_FILE_ATTRIBUTES) << paths.file;
}

TEST_F(HardwareAboutTest, AboutShowsVersionAuthorAndTemperature)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    // The program's own date: a build that runs past midnight compiles this
    // file on another day than the program's.
    EXPECT_EQ(ItemText(About(), 1115), std::string("V 1.0.0 ") + ProgramBuildDate());
    EXPECT_EQ(std::strlen(ProgramBuildDate()), 11u); // "Oct 11 2010"
    EXPECT_EQ(ItemText(About(), 1139), "Mavrel touch screen team");
    EXPECT_EQ(ItemText(About(), 1138), "");
    ASSERT_TRUE(sim.Command("temp 40")); // 0xA1 reply: 40 half degrees
    ::SendMessageA(window, WM_TIMER, kTemperatureTimerId, 0);
    PumpUntil([] { return !ItemText(About(), 1138).empty(); }, 2000);
    EXPECT_EQ(ItemText(About(), 1138), "Act. Temp: 20.0\xB0"
                                       "C");
    // Desktop: no buttons.
    for (int id : {1044, 1131, 5})
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(About(), id))) << id;
    EXPECT_EQ(ItemText(About(), 1044), "Exit");
}

UINT g_restartFlags = 0;
int g_chooserCalls = 0;
HWND g_chooserOwner = nullptr;

// Records the restart instead of restarting the machine (or the prefix).
bool RecordRestart(UINT flags)
{
    g_restartFlags = flags;
    return true;
}

// Hands out a program that prints a line and ends.
bool ChooseHostname(HWND owner, char* path, size_t size)
{
    ++g_chooserCalls;
    g_chooserOwner = owner;
    char dir[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(dir, MAX_PATH);
    return length > 0 && length < MAX_PATH &&
           std::snprintf(path, size, "%s\\hostname.exe", dir) < static_cast<int>(size);
}

// Works the keypad the way a user would: the keys of one keypad opening,
// digits first, then the key that ends it (IDCANCEL is the close box; the
// keypad's own ESC key only clears the entry).
struct KeypadKeys {
    std::string digits;
    int last = IDCANCEL;
    int openings = 0;

    static void OnOpen(void* context, HWND keypad, int)
    {
        auto* keys = static_cast<KeypadKeys*>(context);
        ++keys->openings;
        for (char c : keys->digits)
            ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(IDC_KEYPAD_DIGIT0 + (c - '0'), BN_CLICKED), 0);
        ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(keys->last, BN_CLICKED), 0);
    }
};

// Takes SeShutdownPrivilege out of this process's token for good, so that
// enabling it reports ERROR_NOT_ALL_ASSIGNED, as for a user without it.
bool RemoveShutdownPrivilege()
{
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
    const UniqueKernelHandle token(raw);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
    if (!::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return false;
    ::SetLastError(ERROR_SUCCESS);
    return ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           ::GetLastError() == ERROR_SUCCESS;
}

class EmbeddedAboutTest : public HardwareAboutTest {
protected:
    void SetUp() override
    {
        HardwareAboutTest::SetUp();
        g_restartFlags = 0;
        g_chooserCalls = 0;
        g_chooserOwner = nullptr;
        SetRestartAction(&RecordRestart);
        SetProgramChooser(&ChooseHostname);
        App().keypadState = 0;
        App().accessCode = 0x4711;
        App().accessCodeDamaged = false;
    }
    void TearDown() override
    {
        SetKeypadOpenObserver(nullptr, nullptr);
        ::SetEnvironmentVariableA(kEmbeddedVariable, nullptr);
        App().accessCode = 0;
        HardwareAboutTest::TearDown(); // puts the system's restart and file dialog back
    }
    // Exec App with the keypad worked as keys says; the boxes it showed.
    bool ExecApp(KeypadKeys& keys, std::vector<SeenBox>* seen)
    {
        SetKeypadOpenObserver(&KeypadKeys::OnOpen, &keys);
        ModalBoxCloser closer(IDOK);
        const bool started = AboutPageExecApp(About());
        SetKeypadOpenObserver(nullptr, nullptr);
        *seen = closer.seen();
        return started;
    }
};

TEST_F(EmbeddedAboutTest, SwitchGivesTheEmbeddedButtons)
{
    struct Case {
        const char* value; // nullptr: unset
        bool embedded;
    };
    for (const Case& c : {Case{nullptr, false}, Case{"1", true}, Case{"0", false}, Case{"yes", false},
                          Case{"11", false}, Case{"", false}}) {
        ::SetEnvironmentVariableA(kEmbeddedVariable, c.value);
        EXPECT_EQ(EmbeddedSwitchSet(), c.embedded) << (c.value != nullptr ? c.value : "unset");
    }
    ASSERT_FALSE(QueryEmbeddedSystem()) << "the bench runs a desktop system";
    ::SetEnvironmentVariableA(kEmbeddedVariable, "1");
    // As start-up decides it.
    App().embedded = QueryEmbeddedSystem() || EmbeddedSwitchSet();
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    EXPECT_EQ(ItemText(About(), 1044), "Reboot");
    EXPECT_EQ(ItemText(About(), 1131), "Exec App");
    SelectTab(kPageAbout);
    ::ShowWindow(Settings(), SW_SHOW);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(About(), 1044)));
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(About(), 1131)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(About(), 5)));
    ::ShowWindow(Settings(), SW_HIDE);
}

TEST_F(EmbeddedAboutTest, ExecAppStartsAProgramOnlyAfterTheRightCode)
{
    App().embedded = true;
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    char refused[256] = {};
    FormatAppMessage(kMsgCodeNotCorrect, refused, sizeof refused);

    struct Case {
        const char* what;
        std::string digits;
        int last;
    };
    const Case refusals[] = {
        {"closed", "4711", IDCANCEL},
        {"wrong code", "4712", IDC_KEYPAD_ENTER},
        {"no code", "", IDC_KEYPAD_ENTER},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.what);
        KeypadKeys keys{c.digits, c.last};
        std::vector<SeenBox> seen;
        EXPECT_FALSE(ExecApp(keys, &seen));
        EXPECT_EQ(keys.openings, 1);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, refused);
        EXPECT_EQ(g_chooserCalls, 0) << "no file dialog without the code";
    }

    {
        // A keypad that cannot be shown at all (-1) is no acceptance either.
        SCOPED_TRACE("keypad fails");
        KeypadKeys keys{"4711", IDC_KEYPAD_ENTER};
        std::vector<SeenBox> seen;
        const HINSTANCE saved = App().instance;
        App().instance = ::GetModuleHandleA("kernel32.dll"); // no keypad template there
        const bool started = ExecApp(keys, &seen);
        App().instance = saved;
        EXPECT_FALSE(started);
        EXPECT_EQ(keys.openings, 0);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, refused);
        EXPECT_EQ(g_chooserCalls, 0);
    }

    // ESC clears a wrong start; then the right code opens the file dialog,
    // owned by the page, and the chosen program runs.
    KeypadKeys keys{"99", IDC_KEYPAD_ESC};
    SetKeypadOpenObserver(
        [](void* context, HWND keypad, int state) {
            KeypadKeys::OnOpen(context, keypad, state);
            for (int digit : {4, 7, 1, 1})
                ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(IDC_KEYPAD_DIGIT0 + digit, BN_CLICKED), 0);
            ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(IDC_KEYPAD_ENTER, BN_CLICKED), 0);
        },
        &keys);
    ModalBoxCloser closer(IDOK);
    EXPECT_TRUE(AboutPageExecApp(About()));
    SetKeypadOpenObserver(nullptr, nullptr);
    EXPECT_TRUE(closer.seen().empty());
    EXPECT_EQ(keys.openings, 1);
    EXPECT_EQ(g_chooserCalls, 1);
    EXPECT_EQ(g_chooserOwner, About());

    // The button does the same.
    g_chooserCalls = 0;
    KeypadKeys again{"4711", IDC_KEYPAD_ENTER};
    SetKeypadOpenObserver(&KeypadKeys::OnOpen, &again);
    ::SendMessageA(About(), WM_COMMAND, MAKEWPARAM(1131, BN_CLICKED), 0);
    SetKeypadOpenObserver(nullptr, nullptr);
    EXPECT_EQ(again.openings, 1);
    EXPECT_EQ(g_chooserCalls, 1);
}

// A quit request in the keypad or in the file dialog: nothing more is asked
// and nothing is started. The file dialog is the system's; its loop ends on
// the request as on Cancel, which the chooser here plays.
TEST_F(EmbeddedAboutTest, QuitDuringExecAppStartsNothing)
{
    App().embedded = true;
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    KeypadKeys keys{"4711", IDC_KEYPAD_ENTER};
    SetKeypadOpenObserver([](void*, HWND, int) { ::PostQuitMessage(0); }, nullptr);
    ModalBoxCloser closer(IDOK);
    EXPECT_FALSE(AboutPageExecApp(About()));
    EXPECT_TRUE(closer.seen().empty()) << "no \"code not correct\" box";
    EXPECT_EQ(g_chooserCalls, 0);
    ForgetQuitRequest();

    SetKeypadOpenObserver(&KeypadKeys::OnOpen, &keys);
    SetProgramChooser([](HWND owner, char* path, size_t size) {
        ::PostQuitMessage(0);
        return ChooseHostname(owner, path, size);
    });
    EXPECT_FALSE(AboutPageExecApp(About())) << "the chosen program is not started";
    EXPECT_EQ(g_chooserCalls, 1);
    EXPECT_TRUE(QuitRequested());
    ForgetQuitRequest();
}

// Last case of the run that needs the shutdown privilege: the second half
// takes it out of this process for good.
TEST_F(EmbeddedAboutTest, RebootOnlyWithTheShutdownPrivilege)
{
    App().embedded = true;
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ::SendMessageA(About(), WM_COMMAND, MAKEWPARAM(1044, BN_CLICKED), 0);
    EXPECT_EQ(g_restartFlags, kRestartFlags);
    EXPECT_EQ(g_restartFlags, 0x12u);

    ASSERT_TRUE(RemoveShutdownPrivilege());
    g_restartFlags = 0;
    EXPECT_FALSE(AboutPageReboot());
    ::SendMessageA(About(), WM_COMMAND, MAKEWPARAM(1044, BN_CLICKED), 0);
    EXPECT_EQ(g_restartFlags, 0u) << "no restart without the privilege";
    EXPECT_TRUE(::IsWindow(About())) << "the page stays";
}

// The bench's screen twice over, the touch screen being the second.
bool TwoScreens(MonitorList* list)
{
    const MonitorRect screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    *list = MonitorList{};
    AddMonitor(*list, "\\\\.\\DISPLAY1", screen, true, 0);
    AddMonitor(*list, "\\\\.\\DISPLAY2", screen, false, 0);
    list->virtualScreen = screen;
    return true;
}

// Pictures of the pages for the documentation, each inside the settings
// window as the user sees it (the Controller page's are taken by the
// settings-window cases); only with TP_SCREENSHOT_DIR set.
TEST_F(HardwareAboutTest, Screenshots)
{
    if (ScreenshotDirectory().empty()) GTEST_SKIP() << "TP_SCREENSHOT_DIR not set";
    App().embedded = true;
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ASSERT_TRUE(sim.Command("temp 47"));
    ::SendMessageA(window, WM_TIMER, kTemperatureTimerId, 0);
    PumpUntil([] { return !ItemText(About(), 1138).empty(); }, 2000);
    ::ShowWindow(Settings(), SW_SHOW);
    ::SetForegroundWindow(Settings());
    // The Calibration page names the touch screen's monitor.
    SetMonitorListSource(&TwoScreens);
    RefreshMonitors();
    WriteStoredMonitor(CurrentMonitors().entries[1]);
    RefreshMonitors();
    ::SendMessageA(SettingsPage(kPageCalibration), WM_COMMAND, MAKEWPARAM(CMD_PAGE_RELOAD, 0), 0);
    const std::pair<int, const char*> shots[] = {{kPageHardware, "/hardware-page.bmp"},
                                                 {kPageCalibration, "/calibration-page.bmp"},
                                                 {kPageDriver, "/driver-page.bmp"},
                                                 {kPageMouse, "/mouse-page.bmp"},
                                                 {kPageAbout, "/about-page.bmp"}};
    for (const auto& [page, name] : shots) {
        SelectTab(page);
        ::RedrawWindow(Settings(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpUntil([] { return false; }, 500);
        EXPECT_TRUE(CaptureWindowToBmp(Settings(), ScreenshotDirectory() + name));
    }
    SetMonitorListSource(nullptr);
    RefreshMonitors();
    // The port list with a USB adapter's port.
    SelectTab(kPageHardware);
    ::SetEnvironmentVariableA("TP_PRESENT_PORTS", "COM12=USB Serial Port (COM12);COM15");
    ::SendMessageA(Hardware(), WM_COMMAND, MAKEWPARAM(CMD_PAGE_RELOAD, 0), 0);
    ::SendDlgItemMessageA(Hardware(), 1056, CB_SHOWDROPDOWN, TRUE, 0);
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(CaptureWindowToBmp(Settings(), ScreenshotDirectory() + "/hardware-port-list.bmp"));
    ::SendDlgItemMessageA(Hardware(), 1056, CB_SHOWDROPDOWN, FALSE, 0);
    ::SetEnvironmentVariableA("TP_PRESENT_PORTS", nullptr);
    ::ShowWindow(Settings(), SW_HIDE);
}

} // namespace
