// The controller's stored configuration: defaults written back when nothing
// (or not everything) is stored, the load/save round trip, "UseLogEvent"
// under the application key, and the sections of the configuration export.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "ControllerTestSupport.h"
#include "controller/ZmrCtrlVirt.h"
#include "base/RegistryIO.h"
#include "support/RegistryTree.h"

namespace {

class ControllerSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearControllerRegistry();
        CloseThreadBoxes();
    }
    void TearDown() override
    {
        CloseThreadBoxes();
        ClearControllerRegistry();
        App().ident = IdentRecord{};
    }
};

std::string Dump(ZmrModelCtrl& ctrl, int* result)
{
    char dir[MAX_PATH];
    char path[MAX_PATH];
    ::GetTempPathA(sizeof(dir), dir);
    ::GetTempFileNameA(dir, "tpd", 0, path);
    const HANDLE file =
        ::CreateFileA(path, GENERIC_WRITE | GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    *result = ctrl.DumpSettings(file);
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    std::string text(8192, '\0');
    DWORD read = 0;
    ::ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
    text.resize(read);
    ::CloseHandle(file);
    ::DeleteFileA(path);
    return text;
}

// Lines of each section, keyed by the section title.
std::vector<std::pair<std::string, std::vector<std::string>>> Sections(const std::string& text)
{
    std::vector<std::pair<std::string, std::vector<std::string>>> sections;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.find("parameters.") != std::string::npos) {
            sections.push_back({line, {}});
        } else if (!sections.empty() && line.rfind("HKEY_LOCAL_MACHINE", 0) != 0) {
            sections.back().second.push_back(line);
        }
    }
    return sections;
}

TEST_F(ControllerSettings, FreshSystemGetsTheDefaultsStoredAndLoadsThemSilentlyNextTime)
{
    {
        ZMR02Ctrl ctrl;
        EXPECT_EQ(ctrl.Stabilization, 3);
        EXPECT_EQ(ctrl.MaxChargeWS, 16);
        EXPECT_EQ(ctrl.m_Calibration.LineShiftY, -425);
    }
    EXPECT_EQ(CloseThreadBoxes(), 1); // "While controller configuration was reading ..."
    DWORD value = 0;
    ASSERT_TRUE(GetDwordValue(DevicesKey("ZMR02"), "MarkerDistance", &value));
    EXPECT_EQ(value, 1048u);
    ASSERT_TRUE(GetDwordValue(kRegistryRoot, "UseLogEvent", &value));
    EXPECT_EQ(value, 1u);
    {
        ZMR02Ctrl again;
    }
    EXPECT_EQ(CloseThreadBoxes(), 0);
}

TEST_F(ControllerSettings, SaveThenLoadRestoresEveryFieldNegativeValuesIncluded)
{
    App().ident = IdentRecord{5, 1, 2};
    ZMR03Ctrl ctrl;
    ctrl.PressDelay = 300;
    ctrl.MinFilter = -3;
    ctrl.ChargeWS = 12;
    ctrl.MouseButton = 1002;
    ctrl.AssignedMouseButton = 1;
    ctrl.Rotate = 3;
    ctrl.SwapXY = 1;
    ctrl.TouchMode = 2;
    ctrl.DoubleClickTime = 999;
    ctrl.m_Calibration.LineDirX = -2041;
    ctrl.m_Calibration.LineShiftY = -1538;
    ctrl.MarkerDistance = 1049;
    ctrl.UseLogEvent = 0;
    ASSERT_EQ(ctrl.SaveSettings(), 1);
    ctrl.Initialize(0);
    EXPECT_EQ(ctrl.PressDelay, 2);
    ASSERT_EQ(ctrl.LoadSettings(), 1);
    EXPECT_EQ(ctrl.PressDelay, 300);
    EXPECT_EQ(ctrl.MinFilter, -3);
    EXPECT_EQ(ctrl.ChargeWS, 12);
    EXPECT_EQ(ctrl.MouseButton, 1002);
    EXPECT_EQ(ctrl.AssignedMouseButton, 1);
    EXPECT_EQ(ctrl.Rotate, 3);
    EXPECT_EQ(ctrl.SwapXY, 1);
    EXPECT_EQ(ctrl.TouchMode, 2);
    EXPECT_EQ(ctrl.DoubleClickTime, 999);
    EXPECT_EQ(ctrl.m_Calibration.LineDirX, -2041);
    EXPECT_EQ(ctrl.m_Calibration.LineShiftY, -1538);
    EXPECT_EQ(ctrl.MarkerDistance, 1049);
    EXPECT_EQ(ctrl.UseLogEvent, 0);
    DWORD hw = 0;
    ASSERT_TRUE(GetDwordValue(DevicesKey("ZMR03"), "HwId", &hw));
    EXPECT_EQ(hw, 5u);
}

// The values added later: saved and loaded back; missing or out of range
// they keep their defaults and never make the configuration invalid (no
// notice). 0xDEAD removes the value.
TEST_F(ControllerSettings, LaterValuesAreOptionalAndRangeChecked)
{
    struct Case {
        const char* name;
        DWORD stored;
        int32_t loaded;
    };
    const Case cases[] = {
        {"CheckLimit", 0xDEAD, 15},    {"CheckLimit", 0x80000000u, 15}, {"CheckLimit", 0, 0},
        {"CheckResidual", 0xDEAD, -1}, {"CheckResidual", 4, 4},         {"CheckResidual", 0xFFFFFFFEu, -1},
        {"CalibrationPoints", 4, 3},   {"CalibrationPoints", 5, 5},     {"HoldRightClick", 0xDEAD, 0},
        {"HoldRightClick", 700, 0},    {"HoldRightClick", 2000, 2000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.stored));
        ClearControllerRegistry();
        {
            ZMR02Ctrl fresh;
        } // stores the defaults, the later values among them
        CloseThreadBoxes();
        const std::string key = DevicesKey("ZMR02");
        DWORD value = 0;
        ASSERT_TRUE(GetDwordValue(key, c.name, &value));
        if (c.stored != 0xDEAD) SetDwordValue(key, c.name, c.stored);
        HKEY h = nullptr;
        if (c.stored == 0xDEAD && ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0,
                                                  AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_SET_VALUE), &h) == 0) {
            ::RegDeleteValueA(h, c.name);
            ::RegCloseKey(h);
        }
        ZMR02Ctrl ctrl;
        EXPECT_EQ(CloseThreadBoxes(), 0) << "the configuration still loads";
        const std::string n = c.name;
        EXPECT_EQ(n == "CheckLimit"          ? ctrl.CheckLimit
                  : n == "CheckResidual"     ? ctrl.CheckResidual
                  : n == "CalibrationPoints" ? ctrl.CalibrationPoints
                                             : ctrl.HoldRightClick + 0,
                  c.loaded);
    }
}

TEST_F(ControllerSettings, PartlyStoredConfigurationIsReplacedAsAWhole)
{
    {
        ZMR02Ctrl ctrl;
        ctrl.PressDelay = 9;
        ctrl.SaveSettings();
    }
    CloseThreadBoxes();
    // "MarkerDistance" as a string: the load fails after everything before it.
    HKEY key = nullptr;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, DevicesKey("ZMR02").c_str(), 0,
                    AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_SET_VALUE), &key);
    ::RegSetValueExA(key, "MarkerDistance", 0, REG_SZ, reinterpret_cast<const BYTE*>("1048"), 5);
    ::RegCloseKey(key);
    ZMR02Ctrl reloaded;
    EXPECT_EQ(reloaded.PressDelay, 2);
    EXPECT_EQ(CloseThreadBoxes(), 1);
    DWORD value = 0;
    EXPECT_TRUE(GetDwordValue(DevicesKey("ZMR02"), "MarkerDistance", &value));
    EXPECT_TRUE(GetDwordValue(DevicesKey("ZMR02"), "PressDelay", &value));
    EXPECT_EQ(value, 2u);
}

int g_writes = 0;
int g_failAt = 0; // 0: none fails

bool FailNthWrite(const char*)
{
    return ++g_writes != g_failAt;
}

// A save that fails at any of its writes leaves the stored set as it was,
// "UseLogEvent" included: values written before the failure are put back,
// values that did not exist are deleted again, another type stays.
TEST_F(ControllerSettings, FailedSaveLeavesTheStoredSetAsItWas)
{
    enum class Before { Saved, Nothing, MarkerAsString };
    ZMR02Ctrl ctrl;
    CloseThreadBoxes();
    SetDwordWriteHook(&FailNthWrite);
    g_writes = 0;
    g_failAt = 0;
    ASSERT_EQ(ctrl.SaveSettings(), 1);
    const int last = g_writes;
    const struct {
        const char* what;
        int failAt;
        Before before;
    } cases[] = {
        {"at the first value", 1, Before::Saved},
        {"half-way", last / 2, Before::Saved},
        {"at the last value", last, Before::Saved},
        {"nothing stored before: nothing stays", 12, Before::Nothing},
        {"a value of another type is put back as it was", last - 1, Before::MarkerAsString},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ctrl.Initialize(0);
        ctrl.UseLogEvent = 1;
        g_failAt = 0;
        ASSERT_EQ(ctrl.SaveSettings(), 1);
        if (c.before == Before::Nothing) ClearControllerRegistry();
        if (c.before == Before::MarkerAsString) {
            HKEY key = nullptr;
            ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, DevicesKey("ZMR02").c_str(), 0,
                            AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_SET_VALUE), &key);
            ::RegSetValueExA(key, "MarkerDistance", 0, REG_SZ, reinterpret_cast<const BYTE*>("1048"), 5);
            ::RegCloseKey(key);
        }
        const RegistryValues model = ReadRegistryValues(HKEY_LOCAL_MACHINE, DevicesKey("ZMR02"));
        const RegistryValues app = ReadRegistryValues(HKEY_LOCAL_MACHINE, kRegistryRoot);

        ctrl.PressDelay = 9;
        ctrl.m_Calibration.LineDirX = -5;
        ctrl.MarkerDistance = 1047;
        ctrl.MouseButton = 1002;
        ctrl.TouchMode = 3;
        ctrl.UseLogEvent = 0;
        g_writes = 0;
        g_failAt = c.failAt;
        EXPECT_EQ(ctrl.SaveSettings(), 0);
        EXPECT_EQ(g_writes, c.failAt) << "stops at the failed write";
        EXPECT_EQ(ReadRegistryValues(HKEY_LOCAL_MACHINE, DevicesKey("ZMR02")), model);
        EXPECT_EQ(ReadRegistryValues(HKEY_LOCAL_MACHINE, kRegistryRoot), app);
    }
    SetDwordWriteHook(nullptr);
}

TEST_F(ControllerSettings, FirstModelNeedsThresholdOthersIgnoreIt)
{
    {
        ZMR02Ctrl two; // stores ChargeWS, no Threshold
    }
    {
        // Copy the ZMR02 values under ZMR01: ChargeWS but no Threshold.
        ZMR02Ctrl source;
        const char* names[] = {"PressDelay", "MinPressDelay", "MaxPressDelay"};
        for (const char* n : names)
            SetDwordValue(DevicesKey("ZMR01"), n, 1);
    }
    SetDwordValue(DevicesKey("ZMR03"), "Threshold", 1);
    CloseThreadBoxes();
    ZMR01Ctrl one;
    EXPECT_EQ(one.Threshold, 75);
    EXPECT_EQ(CloseThreadBoxes(), 1);
}

TEST_F(ControllerSettings, DumpShowsWhatIsStoredInThreeSections)
{
    ZMR02Ctrl two;
    int result = 0;
    const auto sections = Sections(Dump(two, &result));
    EXPECT_EQ(result, 1);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].first, "Controller parameters.");
    EXPECT_EQ(sections[0].second.size(), 18u);
    EXPECT_EQ(sections[1].first, "Driver parameters.");
    EXPECT_EQ(sections[1].second.size(), 13u);
    EXPECT_EQ(sections[2].first, "Calibration parameters.");
    ASSERT_EQ(sections[2].second.size(), 5u);
    EXPECT_EQ(sections[2].second[3], std::string(20, ' ') + "LineShiftY : fffffe57");
    EXPECT_EQ(sections[0].second[0], std::string(20, ' ') + "PressDelay : 2");
    EXPECT_EQ(sections[1].second[0], std::string(19, ' ') + "MouseButton : 3e8");

    ZMR01Ctrl one;
    const std::string text = Dump(one, &result);
    EXPECT_EQ(Sections(text)[0].second.size(), 16u);
    EXPECT_EQ(text.find("HwId"), std::string::npos);
    EXPECT_NE(
        text.find("\n\n\nController "
                  "parameters.\nHKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR01 : \n"),
        std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    CloseThreadBoxes();
}

TEST_F(ControllerSettings, DumpFailsOnAShortWriteOrAMissingKey)
{
    ZMR02Ctrl two;
    CloseThreadBoxes();
    // A pipe whose buffer is smaller than the dump and that nobody reads:
    // writes time out short instead of blocking.
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 64));
    DWORD mode = PIPE_NOWAIT;
    ::SetNamedPipeHandleState(writeEnd, &mode, nullptr, nullptr);
    EXPECT_EQ(two.DumpSettings(writeEnd), 0);
    ::CloseHandle(readEnd);
    ::CloseHandle(writeEnd);

    ClearControllerRegistry();
    int result = 1;
    EXPECT_TRUE(Dump(two, &result).empty());
    EXPECT_EQ(result, 0);
}

} // namespace
