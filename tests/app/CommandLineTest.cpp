#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(CommandLine, InstallerOptionsOfTheImportAndTheLog)
{
    using Args = std::vector<std::string>;
    struct Case {
        Args args;
        CommandMode mode;
        bool checkOnly, machineOnly;
        const char* log;
        Args ignored;
    };
    const Case cases[] = {
        {{"/import", "in.txt", "/check"}, CommandMode::Import, true, false, "", {}},
        {{"/MACHINE", "/import", "in.txt", "/log", "setup.log"},
         CommandMode::Import,
         false,
         true,
         "setup.log",
         {}},
        {{"/status", "/log", "s.log"}, CommandMode::Status, false, false, "s.log", {}},
        {{"/import", "in.txt", "/check", "/machine"}, CommandMode::BadUsage, false, false, "", {}},
        {{"/export", "out.txt", "/check"}, CommandMode::BadUsage, false, false, "", {}},
        {{"/import", "in.txt", "/log"}, CommandMode::BadUsage, false, false, "", {"/log"}},
        // Without a job, all of them are a launcher's and ignored.
        {{"/log"}, CommandMode::Normal, false, false, "", {"/log"}},
        {{"-x", "/log", "l.txt", "/check"},
         CommandMode::Normal,
         false,
         false,
         "",
         {"/check", "/log", "l.txt", "-x"}},
    };
    for (const Case& c : cases) {
        const CommandRequest r = ParseCommandLine(c.args);
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        EXPECT_EQ(r.mode, c.mode) << line;
        if (c.mode != CommandMode::BadUsage) {
            EXPECT_EQ(r.checkOnly, c.checkOnly) << line;
            EXPECT_EQ(r.machineOnly, c.machineOnly) << line;
            EXPECT_EQ(r.logFile, c.log) << line;
            EXPECT_EQ(r.ignored, c.ignored) << line;
        }
        EXPECT_EQ(r.problem.empty(), r.mode != CommandMode::BadUsage) << line << r.problem;
    }
    EXPECT_NE(std::string(CommandUsageText()).find("/calibrate"), std::string::npos);
}

TEST(CommandLine, StatusLinesAndHandedOverPackets)
{
    StatusReport status;
    EXPECT_EQ(FormatStatusReport(status), "Port: none\nController: none\nLCD: none\nIdentification: none\n"
                                          "Device answers: no\nProgram running: no\n");
    status = {4, 2, 1, 5, 1, 7, true, true};
    EXPECT_EQ(FormatStatusReport(status), "Port: COM5\nController: ZMR03\nLCD: Type2\n"
                                          "Identification: HW Id 5, SW Ver 1.07\nDevice answers: yes\n"
                                          "Program running: yes\n");
    status.port = 11;
    EXPECT_NE(FormatStatusReport(status).find("Port: COM12\n"), std::string::npos);
    status.port = 255; // beyond COM255: named as none, never read past the names
    EXPECT_NE(FormatStatusReport(status).find("Port: none\n"), std::string::npos);

    CommandPacket good = {};
    good.mode = static_cast<uint32_t>(CommandMode::Import);
    good.withCalibration = 1;
    std::memcpy(good.file, "C:\\a.txt", 9);
    CommandPacket out;
    EXPECT_TRUE(DecodeCommandPacket(&good, sizeof good, &out));
    EXPECT_STREQ(out.file, "C:\\a.txt");

    struct Case {
        const char* what;
        void (*spoil)(CommandPacket&);
        size_t size;
    };
    const Case bad[] = {
        {"short", [](CommandPacket&) {}, sizeof good - 1},
        {"normal start", [](CommandPacket& p) { p.mode = static_cast<uint32_t>(CommandMode::Normal); }, 0},
        {"unknown mode", [](CommandPacket& p) { p.mode = 99; }, 0},
        {"flag", [](CommandPacket& p) { p.withCalibration = 2; }, 0},
        {"unterminated", [](CommandPacket& p) { std::memset(p.file, 'x', sizeof p.file); }, 0},
        {"no file", [](CommandPacket& p) { p.file[0] = '\0'; }, 0},
    };
    for (const Case& c : bad) {
        CommandPacket p = good;
        c.spoil(p);
        EXPECT_FALSE(DecodeCommandPacket(&p, c.size != 0 ? c.size : sizeof p, &out)) << c.what;
    }
    CommandPacket status2 = {};
    status2.mode = static_cast<uint32_t>(CommandMode::Status);
    EXPECT_TRUE(DecodeCommandPacket(&status2, sizeof status2, &out)) << "status needs no file";
}

} // namespace
