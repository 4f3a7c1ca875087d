// Where the on-screen keyboard is started from, for each kind of program.
#include <gtest/gtest.h>

#include <string>

#include "base/OskPath.h"

namespace {

struct OskCase {
    const char* windowsDir;
    const char* systemDir;
    bool wow64;
    size_t size;
    bool ok;
    const char* path;
};

TEST(OskPath, NativeSystemDirectoryOrSysnativeAlias)
{
    const OskCase cases[] = {
        // 32-bit Windows, and the x64 program: the system directory as it is.
        {"C:\\WINDOWS", "C:\\WINDOWS\\system32", false, 260, true, "C:\\WINDOWS\\system32\\osk.exe"},
        // The x86 program on 64-bit Windows: System32 would be redirected
        // to SysWOW64, which has no keyboard.
        {"C:\\WINDOWS", "C:\\WINDOWS\\system32", true, 260, true, "C:\\WINDOWS\\Sysnative\\osk.exe"},
        // A trailing separator (a drive root) is not doubled.
        {"D:\\", "D:\\sys\\", false, 260, true, "D:\\sys\\osk.exe"},
        {"D:\\", "D:\\sys", true, 260, true, "D:\\Sysnative\\osk.exe"},
        // Exactly fitting, and one character short.
        {"C:\\W", "C:\\W\\s", false, sizeof "C:\\W\\s\\osk.exe", true, "C:\\W\\s\\osk.exe"},
        {"C:\\W", "C:\\W\\s", false, sizeof "C:\\W\\s\\osk.exe" - 1, false, ""},
        {"C:\\W", "C:\\W\\s", true, sizeof "C:\\W\\Sysnative\\osk.exe" - 1, false, ""},
        // Missing directories.
        {"", "C:\\W\\s", true, 260, false, ""},
        {"C:\\W", nullptr, false, 260, false, ""},
    };
    for (const OskCase& c : cases) {
        char out[300] = "stale";
        ASSERT_LE(c.size, sizeof out);
        EXPECT_EQ(OskPathFor(c.windowsDir, c.systemDir, c.wow64, out, c.size), c.ok)
            << (c.systemDir ? c.systemDir : "(null)") << " wow64=" << c.wow64 << " size=" << c.size;
        EXPECT_STREQ(out, c.path);
    }
    EXPECT_FALSE(OskPathFor("C:\\W", "C:\\W\\s", false, nullptr, 10));
}

} // namespace
