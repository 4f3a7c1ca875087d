#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAsTheRuntimeDoes)
{
    struct Case {
        const char* line;
        Args args;
    };
    const Case cases[] = {
        {"TactilePane.exe", {}},
        {"\"C:\\Program Files\\TactilePane\\TactilePane.exe\"  /status ", {"/status"}},
        {"tp.exe /export \"C:\\Panel Setup\\configuration.txt\"",
         {"/export", "C:\\Panel Setup\\configuration.txt"}},
        {"tp.exe a\\\\\\\"b c\\\\\"d e\" f", {"a\\\"b", "c\\d e", "f"}},
        {"tp.exe \"a\"\"b\" \\\\server\\share\\ \"\"", {"a\"b", "\\\\server\\share\\", ""}},
        {"tp.exe\t/import\tx.txt", {"/import", "x.txt"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
    EXPECT_TRUE(SplitCommandLine(nullptr).empty());
}

TEST(CommandLine, SwitchesModesAndWhatIsIgnored)
{
    struct Case {
        Args args;
        CommandMode mode;
        std::string file;
        bool withCalibration;
        Args ignored;
    };
    const Case cases[] = {
        {{}, CommandMode::Normal, "", false, {}},
        // A launcher's arguments: a normal start, logged.
        {{"-autostart", "kiosk=1"}, CommandMode::Normal, "", false, {"-autostart", "kiosk=1"}},
        {{"/with-calibration"}, CommandMode::Normal, "", false, {"/with-calibration"}},
        {{"/?"}, CommandMode::Usage, "", false, {}},
        {{"-HELP"}, CommandMode::Usage, "", false, {}},
        {{"/Export", "out.txt"}, CommandMode::Export, "out.txt", false, {}},
        {{"/import", "in.txt"}, CommandMode::Import, "in.txt", false, {}},
        {{"/with-calibration", "/IMPORT", "in.txt"}, CommandMode::Import, "in.txt", true, {}},
        {{"/calibrate"}, CommandMode::Calibrate, "", false, {}},
        {{"/status"}, CommandMode::Status, "", false, {}},
        // Bad usage: a missing file, two jobs, junk beside a job, a misplaced option.
        {{"/export"}, CommandMode::BadUsage, "", false, {}},
        {{"/import", ""}, CommandMode::BadUsage, "", false, {}},
        {{"/status", "/calibrate"}, CommandMode::BadUsage, "", false, {}},
        {{"/export", "a.txt", "/import", "b.txt"}, CommandMode::BadUsage, "a.txt", false, {}},
        {{"/status", "extra"}, CommandMode::BadUsage, "", false, {"extra"}},
        {{"/export", "a.txt", "/with-calibration"}, CommandMode::BadUsage, "a.txt", false, {}},
        {{"/statuses"}, CommandMode::Normal, "", false, {"/statuses"}},
    };
    for (const Case& c : cases) {
        const CommandRequest r = ParseCommandLine(c.args);
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        EXPECT_EQ(r.mode, c.mode) << line;
        EXPECT_EQ(r.file, c.file) << line;
        EXPECT_EQ(r.withCalibration, c.withCalibration) << line;
        EXPECT_EQ(r.ignored, c.ignored) << line;
        EXPECT_EQ(r.problem.empty(), r.mode != CommandMode::BadUsage) << line << r.problem;
    }
}

} // namespace
