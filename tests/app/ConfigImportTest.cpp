#include "app/ConfigImport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A file as the export writes it (the header line brings CR LF), with
// values inside the ZMR02's limits.
const std::string kGood = "This file contains application configuration.\r\n"
                          "\n\nProductVersion: 1.0.0\n"
                          "\n\n\nController parameters.\n"
                          "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
                          "                    PressDelay : 5\n"
                          "                 MinPressDelay : 1\n"
                          "                 MaxPressDelay : 20\n"
                          "                      ChargeWS : 8\n"
                          "\n\n\nDriver parameters.\n"
                          "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
                          "                   MouseButton : 0\n"
                          "                        Rotate : 2\n"
                          "\n\n\nCalibration parameters.\n"
                          "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
                          "                      LineDirX : 2b\n"
                          "                    LineShiftX : fffffc17\n"
                          "\n\n\nLcd parameters.\n"
                          "CURRENT_USER\\Software\\Mavrel\\TactilePane\\Lcds\\Type2 : \n"
                          "                    Brightness : 32\n"
                          "\n\n\nChannel parameters.\n"
                          "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Channels\\COM12 : \n"
                          "                      BaudRate : 2580\n"
                          "\n\n\nWindow position.\n"
                          "HKEY_CURRENT_USER\\Software\\Mavrel\\TactilePane : \n"
                          "LCD type: Type2\n"
                          "                             x : 1f4\n"
                          "                             y : 2\n"
                          "Mini LCD\n"
                          "                             x : 3eb\n"
                          "                             y : 2bc\n";

// The section the export writes after all others: the check, the points and
// the hold, into the controller's key.
TEST(ConfigImport, ReadsTheCheckAndHoldSection)
{
    const std::string text = kGood + "\n\n\nCalibration check and touch hold.\n"
                                     "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
                                     "                    CheckLimit : f\n"
                                     "                 CheckResidual : ffffffff\n"
                                     "             CalibrationPoints : 5\n"
                                     "                HoldRightClick : 3e8\n";
    ConfigFile file;
    ConfigError error;
    ASSERT_TRUE(ParseConfiguration(text, &file, &error)) << DescribeConfigError(error);
    ASSERT_EQ(file.values.size(), 18u);
    const ConfigValue& hold = file.values.back();
    EXPECT_EQ(hold.name, "HoldRightClick");
    EXPECT_EQ(hold.value, 1000u);
    EXPECT_EQ(hold.key, "Devices\\ZMR02");
    EXPECT_EQ(hold.section, ConfigSection::Calibration);
    EXPECT_EQ(file.values[15].value, 0xffffffffu);
    EXPECT_FALSE(
        ParseConfiguration(kGood + "\n\n\nCalibration check and touch hold.\n"
                                   "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
                                   "                     HoldRight : 0\n",
                           &file, &error));
}

// The touch screen's monitor belongs to the machine: its section is read
// past, and a section after it is taken again.
TEST(ConfigImport, SkipsTheMonitorSection)
{
    const std::string monitor = "\n\n\nTouch screen monitor.\n"
                                "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane : \n"
                                "                  TouchMonitor : \\\\.\\DISPLAY2\n"
                                "              TouchMonitorLeft : fffffb00\n"
                                "        CalibrationOrientation : 1\n";
    const std::string check = "\n\n\nCalibration check and touch hold.\n"
                              "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
                              "                    CheckLimit : f\n";
    ConfigFile plain;
    ConfigFile file;
    ConfigError error;
    ASSERT_TRUE(ParseConfiguration(kGood, &plain, &error));
    ASSERT_TRUE(ParseConfiguration(kGood + monitor, &file, &error)) << DescribeConfigError(error);
    EXPECT_EQ(file.values.size(), plain.values.size());
    ASSERT_TRUE(ParseConfiguration(kGood + monitor + check, &file, &error)) << DescribeConfigError(error);
    ASSERT_EQ(file.values.size(), plain.values.size() + 1);
    EXPECT_EQ(file.values.back().name, "CheckLimit");
}

TEST(ConfigImport, ReadsWhatTheExportWrites)
{
    ConfigFile file;
    ConfigError error;
    ASSERT_TRUE(ParseConfiguration(kGood, &file, &error)) << DescribeConfigError(error);
    EXPECT_EQ(file.productVersion, "1.0.0");
    ASSERT_EQ(file.values.size(), 14u);
    const ConfigValue& first = file.values.front();
    EXPECT_EQ(first.section, ConfigSection::Controller);
    EXPECT_FALSE(first.currentUser);
    EXPECT_EQ(first.key, "Devices\\ZMR02");
    EXPECT_EQ(first.name, "PressDelay");
    EXPECT_EQ(first.value, 5u);
    EXPECT_EQ(first.line, 10);
    EXPECT_EQ(file.values[7].value, 0xfffffc17u); // a negative shift, as stored
    EXPECT_TRUE(file.values[8].currentUser);
    EXPECT_EQ(file.values[9].key, "Channels\\COM12");
    EXPECT_EQ(file.values[12].key, "MiniLcd");
    EXPECT_EQ(file.values[12].value, 0x3ebu);
}

// Each case spoils one line of the good file; the refusal names that line
// (or, for a file that lacks something, its last line).
TEST(ConfigImport, RefusesTheFirstOffendingLine)
{
    struct Case {
        const char* from;
        const char* to;
        bool lastLine;
        const char* reason;
    };
    const Case cases[] = {
        {"PressDelay : 5", "PressDelay : 5g", false, "hexadecimal"},
        {"PressDelay : 5", "PressDelay : 123456789", false, "hexadecimal"},
        {"PressDelay : 5", "PressDelay : 21", false, "limits"},        // 33 > 32 for the ZMR02
        {"MinPressDelay : 1", "MinPressDelay : 0", false, "limits"},   // below the table's 1
        {"ChargeWS : 8", "Threshold : 8", false, "unknown parameter"}, // a ZMR01 parameter
        {"Devices\\ZMR02 : \n   ", "Devices\\ZMR07 : \n   ", false, "unknown device"},
        {"HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n                    Press",
         "HKEY_CURRENT_USER\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n                    Press",
         false, "root"},
        {"Rotate : 2", "Rotation : 2", false, "unknown driver"},
        {"Channels\\COM12", "Channels\\COM0", false, "unknown device"},
        {"Channels\\COM12", "Channels\\COM256", false, "unknown device"},
        {"BaudRate : 2580", "BaudRate = 2580", false, "not a value line"},
        {"LCD type: Type2", "LCD type: Type9", false, "unknown LCD type"},
        {"Lcd parameters.", "Lcd settings.", false, "unknown section"},
        {"LineShiftX : fffffc17", "LineDirX : fffffc17", false, "given before"},
        {"\n\nProductVersion: 1.0.0\n", "\n\n\n", true, "ProductVersion"},
    };
    for (const Case& c : cases) {
        std::string text = kGood;
        const size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, std::string(c.from).size(), c.to);
        ConfigFile file;
        ConfigError error;
        EXPECT_FALSE(ParseConfiguration(text, &file, &error)) << c.to;
        int line = 1;
        for (size_t i = 0; i < (c.lastLine ? text.size() : at); ++i)
            line += text[i] == '\n' ? 1 : 0;
        EXPECT_EQ(error.line, line) << c.to << ": " << DescribeConfigError(error);
        EXPECT_NE(error.reason.find(c.reason), std::string::npos)
            << c.to << ": " << DescribeConfigError(error);
    }
    ConfigError error;
    error.line = 7;
    error.text = std::string(400, 'x');
    error.reason = "r";
    EXPECT_EQ(DescribeConfigError(error).size(), 255u);
}

// What an import takes from a file: everything but the window positions,
// the calibration only on request, the user's keys after the machine's; a
// port the program cannot drive is refused at its key line.
TEST(ConfigImport, PlanTakesWhatAnImportWrites)
{
    std::string text = kGood;
    const std::string com12 = "Channels\\COM12";
    text.replace(text.find(com12), com12.size(), "Channels\\COM3");
    ConfigFile file;

    struct Case {
        bool withCalibration;
        size_t devicesValues; // Devices\ZMR02: controller and driver, calibration on request
        int skippedCalibration;
    };
    // The later section: the hold is a choice, the check's result the panel's.
    text += "\n\n\nCalibration check and touch hold.\n"
            "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR02 : \n"
            "                HoldRightClick : 1000\n"
            "                 CheckResidual : 3\n";
    ASSERT_TRUE(ParseConfiguration(text, &file, nullptr));
    for (const Case& c : {Case{false, 7, 3}, Case{true, 10, 0}}) {
        ImportPlan plan;
        ConfigError error;
        ASSERT_TRUE(PlanImport(text, file, c.withCalibration, &plan, &error)) << DescribeConfigError(error);
        ASSERT_EQ(plan.keys.size(), 3u);
        EXPECT_EQ(plan.keys[0].key, "Devices\\ZMR02");
        EXPECT_EQ(plan.keys[0].values.size(), c.devicesValues);
        EXPECT_EQ(plan.keys[1].key, "Channels\\COM3");
        EXPECT_FALSE(plan.keys[1].currentUser);
        EXPECT_EQ(plan.keys[2].key, "Lcds\\Type2") << "the user's keys come last";
        EXPECT_TRUE(plan.keys[2].currentUser);
        EXPECT_EQ(plan.port, 2);
        EXPECT_EQ(plan.controllerModels, std::vector<int>{1});
        EXPECT_EQ(plan.lcdModels, std::vector<int>{1});
        EXPECT_EQ(plan.skippedCalibration, c.skippedCalibration);
        EXPECT_EQ(plan.skippedPositions, 4);
    }

    // Ports above COM9 are taken like the others, and the port's name that
    // the export writes last is read past; a second channel section is
    // refused.
    {
        const std::string named =
            kGood + "\n\n\nSerial port.\nName : COM12\nFriendly name : USB Serial Port (COM12)\n";
        ConfigFile parsed;
        ASSERT_TRUE(ParseConfiguration(named, &parsed, nullptr));
        EXPECT_EQ(parsed.values.size(), 14u);
        ImportPlan plan;
        ASSERT_TRUE(PlanImport(named, parsed, false, &plan, nullptr));
        EXPECT_EQ(plan.port, 11);
        ConfigError error;
        EXPECT_FALSE(ParseConfiguration(named + "BaudRate : 2580\n", &parsed, &error));
        EXPECT_NE(error.reason.find("serial port section"), std::string::npos) << error.reason;
    }
    const std::string second = "\n\n\nChannel parameters.\n"
                               "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Channels\\COM4 : \n"
                               "                      BaudRate : 2580\n";
    std::string twoPorts = text;
    twoPorts.insert(twoPorts.find("\n\n\nWindow position."), second);
    const struct {
        std::string text;
        std::string line;
        const char* reason;
    } refused[] = {
        {twoPorts, "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Channels\\COM4 :", "second channel"}};
    for (const auto& r : refused) {
        ConfigFile parsed;
        ASSERT_TRUE(ParseConfiguration(r.text, &parsed, nullptr));
        ImportPlan plan;
        ConfigError error;
        EXPECT_FALSE(PlanImport(r.text, parsed, false, &plan, &error));
        EXPECT_EQ(error.text, r.line);
        int line = 1;
        for (size_t i = 0; i < r.text.find(r.line); ++i)
            line += r.text[i] == '\n' ? 1 : 0;
        EXPECT_EQ(error.line, line);
        EXPECT_NE(error.reason.find(r.reason), std::string::npos) << error.reason;
    }
}

} // namespace
