// The configuration export's text: a whole file from known values against
// the golden file, and sections that end at a value that could not be read.
#include "base/ExportText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

constexpr const char* kAppKey = "Software\\Mavrel\\TactilePane";

std::string ReadGolden(const char* name)
{
    std::ifstream in(std::string(TP_GOLDEN_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The sections as the controller, LCD and channel write them, in file order.
const ExportValue kController[] = {{"PressDelay", true, 5},
                                   {"MinPressDelay", true, 0},
                                   {"MaxPressDelay", true, 255},
                                   {"Threshold", true, 40}};
const ExportValue kDriver[] = {
    {"MouseButton", true, 0}, {"Rotate", true, 2}, {"LcdTopMost", true, 1}, {"DoubleClickTime", true, 500}};
const ExportValue kCalibration[] = {{"LineDirX", true, 0x10000},
                                    {"LineDirY", true, static_cast<uint32_t>(-10000)},
                                    {"LineShiftX", true, 0},
                                    {"LineShiftY", true, 0x7fffffff}};
const ExportValue kLcd[] = {
    {"Brightness", true, 50}, {"MinBrightness", true, 1}, {"MaxBrightness", true, 255}};
const ExportValue kCheckAndHold[] = {{"CheckLimit", true, 15},
                                     {"CheckResidual", true, 3},
                                     {"CalibrationPoints", true, 5},
                                     {"HoldRightClick", true, 1000}};
const ExportValue kChannel[] = {
    {"ByteSize", true, 8}, {"BaudRate", true, 9600}, {"Parity", true, 2}, {"StopBits", true, 0}};

std::string WholeFile()
{
    std::string out;
    EXPECT_TRUE(AppendExportHeader(out, "This file contains application configuration.\r\n", "1.0.0"));
    const ExportSection sections[] = {
        {"Controller parameters.", "HKEY_LOCAL_MACHINE", "Software\\Mavrel\\TactilePane\\Devices\\ZMR02",
         kController, 4},
        {"Driver parameters.", "HKEY_LOCAL_MACHINE", "Software\\Mavrel\\TactilePane\\Devices\\ZMR02", kDriver,
         4},
        {"Calibration parameters.", "HKEY_LOCAL_MACHINE", "Software\\Mavrel\\TactilePane\\Devices\\ZMR02",
         kCalibration, 4},
        {"Lcd parameters.", "CURRENT_USER", "Software\\Mavrel\\TactilePane\\Lcds\\Type2", kLcd, 3},
        {"Channel parameters.", "HKEY_LOCAL_MACHINE", "Software\\Mavrel\\TactilePane\\Channels\\COM1",
         kChannel, 4},
    };
    for (const ExportSection& s : sections)
        EXPECT_TRUE(AppendExportSection(out, s));
    const ExportValue bar[2] = {{"x", true, 500}, {"y", true, 2}};
    const ExportValue mini[2] = {{"x", true, 1003}, {"y", true, 700}};
    EXPECT_TRUE(AppendWindowPositionSection(out, kAppKey, "Type2", bar, mini));
    // The values added later come after every other section.
    EXPECT_TRUE(
        AppendExportSection(out, {"Calibration check and touch hold.", "HKEY_LOCAL_MACHINE",
                                  "Software\\Mavrel\\TactilePane\\Devices\\ZMR02", kCheckAndHold, 4}));
    return out;
}

TEST(ExportText, WholeFileMatchesTheGoldenFile)
{
    const std::string golden = ReadGolden("configuration.txt");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(WholeFile(), golden);
}

TEST(ExportText, ValueLinesRightAlignNamesAndPrintBareLowerCaseHex)
{
    struct Case {
        const char* name;
        uint32_t value;
        std::string line;
    };
    const Case cases[] = {
        {"x", 500, std::string(29, ' ') + "x : 1f4\n"},
        {"y", 0, std::string(29, ' ') + "y : 0\n"},
        {"LineDirY", 0xFFFFD8F0, std::string(22, ' ') + "LineDirY : ffffd8f0\n"},
        // A name of 30 characters or more is not cut.
        {"ANameOfExactlyThirtyCharacters", 1, "ANameOfExactlyThirtyCharacters : 1\n"},
        {"ANameLongerThanThirtyCharacters", 1, "ANameLongerThanThirtyCharacters : 1\n"},
    };
    for (const Case& c : cases) {
        char line[256];
        ASSERT_TRUE(FormatExportValueLine(line, sizeof line, c.name, c.value));
        EXPECT_EQ(line, c.line);
    }
}

TEST(ExportText, SectionsEndAtTheFirstValueNotRead)
{
    struct Case {
        const char* what;
        ExportValue bar[2];
        ExportValue mini[2];
        const char* tail; // what the section ends with
    };
    const std::string x500 = std::string(29, ' ') + "x : 1f4\n";
    const Case cases[] = {
        {"bar x missing",
         {{"x", false, 0}, {"y", true, 2}},
         {{"x", true, 1}, {"y", true, 1}},
         "LCD type: Type1\n"},
        {"mini bar never stored",
         {{"x", true, 500}, {"y", true, 2}},
         {{"x", false, 0}, {"y", false, 0}},
         "Mini LCD\n"},
        {"mini y missing", {{"x", true, 500}, {"y", true, 2}}, {{"x", true, 500}, {"y", false, 0}}, nullptr},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_FALSE(AppendWindowPositionSection(out, kAppKey, "Type1", c.bar, c.mini)) << c.what;
        ASSERT_EQ(
            out.rfind("\n\n\nWindow position.\nHKEY_CURRENT_USER\\Software\\Mavrel\\TactilePane : \n", 0), 0u)
            << c.what;
        const std::string tail = c.tail != nullptr ? std::string(c.tail) : "Mini LCD\n" + x500;
        EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << c.what;
    }

    const ExportValue lcd[] = {
        {"Brightness", true, 50}, {"MinBrightness", false, 0}, {"MaxBrightness", true, 255}};
    std::string out;
    EXPECT_FALSE(AppendExportSection(out, {"Lcd parameters.", "CURRENT_USER", "K", lcd, 3}));
    EXPECT_EQ(out,
              "\n\n\nLcd parameters.\nCURRENT_USER\\K : \n" + std::string(20, ' ') + "Brightness : 32\n");
}

TEST(ExportText, TextsLongerThanALineFail)
{
    const std::string longVersion(300, '9');
    std::string out;
    EXPECT_FALSE(AppendExportHeader(out, "header\r\n", longVersion.c_str()));
    const std::string longPath(300, 'k');
    const ExportValue none[] = {{"a", true, 1}};
    out.clear();
    EXPECT_FALSE(AppendExportSection(out, {"T.", "HKEY_LOCAL_MACHINE", longPath.c_str(), none, 1}));
    EXPECT_TRUE(out.empty());
}

} // namespace
