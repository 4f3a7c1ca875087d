// Where the configuration export is written, for each kind of program, and
// paths that would not fit.
#include <gtest/gtest.h>

#include <string>

#include "base/ExportPath.h"

namespace {

struct PathCase {
    const char* windowsDir;
    const char* systemDir;
    bool wow64;
    bool ok;
    const char* file;
};

TEST(ExportPath, NativeSystemDirectoryForBothPrograms)
{
    const PathCase cases[] = {
        {"C:\\WINDOWS", "C:\\WINDOWS\\system32", false, true,
         "C:\\WINDOWS\\system32\\mavrel\\TactilePane\\configuration.txt"},
        // The x86 program on 64-bit Windows writes where the x64 one does.
        {"C:\\WINDOWS", "C:\\WINDOWS\\system32", true, true,
         "C:\\WINDOWS\\Sysnative\\mavrel\\TactilePane\\configuration.txt"},
        // A drive root keeps one separator.
        {"D:\\", "D:\\", false, true, "D:\\mavrel\\TactilePane\\configuration.txt"},
        {"D:\\", "D:\\sys", true, true, "D:\\Sysnative\\mavrel\\TactilePane\\configuration.txt"},
        {"", "C:\\W\\s", true, false, ""},
        {"C:\\W", nullptr, false, false, ""},
        {"C:\\W", "", false, false, ""},
    };
    for (const PathCase& c : cases) {
        ExportPaths paths;
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ExportPathsFor(c.windowsDir, c.systemDir, c.wow64, &paths), c.ok);
        EXPECT_STREQ(paths.file, c.file);
        if (c.ok) {
            const std::string file = paths.file;
            EXPECT_EQ(file.rfind(paths.productDir, 0), 0u);
            EXPECT_EQ(std::string(paths.productDir).rfind(paths.vendorDir, 0), 0u);
            EXPECT_EQ(std::string(paths.vendorDir).substr(std::string(paths.vendorDir).size() - 7),
                      "\\mavrel");
        } else {
            EXPECT_STREQ(paths.vendorDir, "");
            EXPECT_STREQ(paths.productDir, "");
        }
    }
}

TEST(ExportPath, PathThatWouldNotFitIsRefusedNotCut)
{
    ExportPaths paths;
    const std::string suffix = "\\mavrel\\TactilePane\\configuration.txt";
    // The longest directory whose file path still fits (259 characters and
    // the terminator), and one character more.
    const std::string fits(sizeof paths.file - 1 - suffix.size(), 'a');
    ASSERT_TRUE(ExportPathsFor("C:\\W", fits.c_str(), false, &paths));
    EXPECT_EQ(std::string(paths.file), fits + suffix);
    const std::string tooLong = fits + "b";
    EXPECT_FALSE(ExportPathsFor("C:\\W", tooLong.c_str(), false, &paths));
    EXPECT_STREQ(paths.file, "");
    EXPECT_FALSE(ExportPathsFor(nullptr, nullptr, false, nullptr));
}

} // namespace
