// "Load configuration" and the import behind it, against the simulated
// device: a good file is written and taken at once (the device gets the new
// parameters), export -> import -> export gives the same file, the
// calibration comes only when asked for, a bad file is refused with its line
// and changes nothing, a failed registry write puts everything back, and a
// quit request in the file dialog imports nothing.
#include <algorithm>
#include <cstring>

#include "app/CommandLine.h"
#include "app/ConfigurationImport.h"
#include "base/BoundedText.h"
#include "base/ModalLoop.h"
#include "base/ObjectNames.h"
#include "base/RegistryIO.h"
#include "resources/resource.h"
#include "ui/ConfigurationExport.h"
#include "ui/HardwarePage.h"
#include "support/ExportFile.h"
#include "ui/SettingsTestSupport.h"

using namespace settings_test;

namespace {

const std::string kZmr03Key = std::string(kRegistryRoot) + "\\Devices\\ZMR03";

DWORD StoredZmr03(const char* name)
{
    DWORD type = 0, value = 0xFFFFFFFF;
    std::string data;
    if (GetHklmValue(kZmr03Key.c_str(), name, &type, &data) && data.size() == 4)
        std::memcpy(&value, data.data(), 4);
    return value;
}

std::string g_chosen;
bool g_quitInDialog = false;
bool ChooseTestFile(HWND, char* path, size_t size)
{
    if (g_quitInDialog) ::PostQuitMessage(0);
    return CopyBounded(path, size, g_chosen.c_str());
}

class ConfigurationImportTest : public SettingsFixture {
protected:
    // A ZMR03 with the LCD Type2 on COM5, everything stored, exported.
    void SetUp() override
    {
        SettingsFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 30));
        ASSERT_TRUE(Controller()->SaveSettings());
        ASSERT_TRUE(channel->SaveSettings());
        ASSERT_TRUE(App().lcd.load()->SaveConfig());
        StorePosition(LcdModelName(App().lcdModel), 40, 50);
        StorePosition("MiniLcd", 60, 70);
        exported = TempPath("tp-import-a.txt");
        ASSERT_EQ(WriteConfigurationFile(exported.c_str()), 0u);
        original = ReadText(exported);
        edited = TempPath("tp-import-b.txt");
        SetConfigurationChooser(&ChooseTestFile);
    }
    void TearDown() override
    {
        SetConfigurationChooser(nullptr);
        SetDwordWriteHook(nullptr);
        g_quitInDialog = false;
        channel = dynamic_cast<CommProtocol2*>(App().channel.load());
        SettingsFixture::TearDown();
        ::DeleteFileA(exported.c_str());
        ::DeleteFileA(edited.c_str());
    }
    // "Load configuration" on the Hardware page with path chosen; the boxes
    // it shows.
    std::vector<SeenBox> LoadFromPage(const std::string& path)
    {
        g_chosen = path;
        ModalBoxCloser closer(IDCANCEL);
        ::SendMessageA(SettingsPage(kPageHardware), WM_COMMAND,
                       MAKEWPARAM(IDC_HW_LOAD_CONFIGURATION, BN_CLICKED), 0);
        return closer.seen();
    }

    std::string exported, original, edited;
};

TEST_F(ConfigurationImportTest, GoodFileIsTakenAtOnceSentToTheDeviceAndExportsAsItCame)
{
    const DWORD shift = StoredZmr03("LineShiftX");
    char shiftHex[16] = {};
    FormatBounded(shiftHex, sizeof shiftHex, "%x", static_cast<unsigned>(shift));
    std::string text = WithValue(original, "PressDelay", "2", "7");
    text = WithValue(text, "LineShiftX", shiftHex, "11");
    ASSERT_FALSE(text.empty()) << original;
    WriteText(edited, text);
    sim.ClearReceived();
    EXPECT_TRUE(LoadFromPage(edited).empty()) << "a good file shows no box";

    EXPECT_EQ(StoredZmr03("PressDelay"), 7u);
    EXPECT_EQ(*Controller()->ParamField(CtrlParam::PressDelay), 7);
    EXPECT_EQ(StoredZmr03("LineShiftX"), shift) << "the calibration comes only when asked for";
    const Payloads received = sim.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), std::vector<uint8_t>{0x83, 7}), received.end())
        << "the new press delay reached the device";

    // With the calibration, from the command line's call.
    ImportOutcome outcome = ImportConfigurationFile(edited.c_str(), true, true);
    EXPECT_EQ(outcome.exitCode, kExitSuccess) << outcome.text;
    EXPECT_EQ(StoredZmr03("LineShiftX"), 0x11u);

    // The first export back in, and out again: the same file.
    outcome = ImportConfigurationFile(exported.c_str(), true, true);
    EXPECT_EQ(outcome.exitCode, kExitSuccess) << outcome.text;
    const std::string again = TempPath("tp-import-c.txt");
    ASSERT_EQ(WriteConfigurationFile(again.c_str()), 0u);
    EXPECT_EQ(ReadText(again), original);
    ::DeleteFileA(again.c_str());
}

TEST_F(ConfigurationImportTest, BadFileIsRefusedWithItsLineAndChangesNothing)
{
    std::string text = WithValue(original, "PressDelay", "2", "7");
    text = WithValue(text, "BaudRate", "2580", "25g0");
    ASSERT_FALSE(text.empty());
    WriteText(edited, text);
    const int line = LineNumberOf(text, ValueLine("BaudRate", "25g0"));

    const std::vector<SeenBox> boxes = LoadFromPage(edited);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("line " + std::to_string(line) + ": BaudRate : 25g0"), std::string::npos)
        << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("nothing was changed"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(StoredZmr03("PressDelay"), 2u);
    EXPECT_EQ(*Controller()->ParamField(CtrlParam::PressDelay), 2);

    const ImportOutcome missing = ImportConfigurationFile("Z:\\no\\such\\file.txt", false, true);
    EXPECT_EQ(missing.exitCode, kExitBadFile);
}

bool FailBaudRate(const char* name)
{
    return std::string(name) != "BaudRate";
}

TEST_F(ConfigurationImportTest, FailedWritePutsEverythingBack)
{
    WriteText(edited, WithValue(original, "PressDelay", "2", "7"));
    // The channel key is written after the controller's.
    SetDwordWriteHook(&FailBaudRate);
    const ImportOutcome outcome = ImportConfigurationFile(edited.c_str(), false, true);
    SetDwordWriteHook(nullptr);
    EXPECT_EQ(outcome.exitCode, kExitNoRights);
    EXPECT_NE(outcome.text.find("nothing was changed"), std::string::npos) << outcome.text;
    EXPECT_EQ(StoredZmr03("PressDelay"), 2u);
}

TEST_F(ConfigurationImportTest, QuitRequestInTheFileDialogImportsNothing)
{
    WriteText(edited, WithValue(original, "PressDelay", "2", "7"));
    g_quitInDialog = true;
    EXPECT_TRUE(LoadFromPage(edited).empty());
    EXPECT_TRUE(QuitRequested());
    EXPECT_EQ(StoredZmr03("PressDelay"), 2u);
    ForgetQuitRequest();
}

} // namespace
