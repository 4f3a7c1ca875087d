// What differs between the x86 and the x64 program on the same system: the
// registry view of the application's keys and the on-screen keyboard's path.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "base/AppSettings.h"
#include "base/Handles.h"
#include "base/OnScreenKeyboard.h"
#include "base/RegistryIO.h"

namespace {

constexpr const char* kProbeKey = "Software\\Mavrel\\TactilePane\\ViewProbe";
// The same key as the 64-bit view shows the 32-bit one.
constexpr const char* kProbeKeyWow = "Software\\Wow6432Node\\Mavrel\\TactilePane\\ViewProbe";

bool Is64BitProgram()
{
    return sizeof(void*) == 8;
}

bool RunsUnderWow64()
{
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// A DWORD under HKLM\path seen in the given view (0: the program's own).
bool ReadRaw(const char* path, REGSAM view, DWORD* out)
{
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &raw) != ERROR_SUCCESS) return false;
    const UniqueRegKey key(raw);
    DWORD type = 0;
    DWORD size = sizeof *out;
    return ::RegQueryValueExA(key.get(), "Probe", nullptr, &type, reinterpret_cast<BYTE*>(out), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

bool WriteRaw(const char* path, REGSAM view, DWORD value)
{
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                          nullptr, &raw, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueRegKey key(raw);
    return ::RegSetValueExA(key.get(), "Probe", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

void DeleteProbe()
{
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kProbeKey, KEY_WOW64_32KEY, 0);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kProbeKey, KEY_WOW64_64KEY, 0);
}

class PlatformViewTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteProbe(); }
    void TearDown() override { DeleteProbe(); }
};

TEST_F(PlatformViewTest, ApplicationKeysOfBothProgramsAreOneStore)
{
    // What this program writes through the application's key functions...
    {
        const UniqueRegKey key = CreateKeyForWrite(HKEY_LOCAL_MACHINE, kProbeKey);
        ASSERT_TRUE(key);
        ASSERT_TRUE(SetDword(key.get(), "Probe", 0x1234));
    }
    DWORD value = 0;
    if (Is64BitProgram()) {
        // ...lands where the x86 program keeps it on 64-bit Windows, and not
        // in the 64-bit view.
        ASSERT_TRUE(ReadRaw(kProbeKeyWow, KEY_WOW64_64KEY, &value));
        EXPECT_EQ(value, 0x1234u);
        EXPECT_FALSE(ReadRaw(kProbeKey, KEY_WOW64_64KEY, &value));
        // What the x86 program writes (its own view is the 32-bit one) is
        // read back by this one.
        ASSERT_TRUE(WriteRaw(kProbeKey, KEY_WOW64_32KEY, 0x5678));
    } else {
        // The x86 program's own view is the 32-bit one on every system.
        ASSERT_TRUE(ReadRaw(kProbeKey, 0, &value));
        EXPECT_EQ(value, 0x1234u);
        ASSERT_TRUE(WriteRaw(kProbeKey, 0, 0x5678));
    }
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, kProbeKey);
    ASSERT_TRUE(key);
    int32_t read = 0;
    ASSERT_TRUE(QueryDword(key.get(), "Probe", &read));
    EXPECT_EQ(read, 0x5678);
}

TEST_F(PlatformViewTest, CurrentUserKeysAreNotRedirected)
{
    EXPECT_EQ(AppKeyAccess(HKEY_CURRENT_USER, KEY_READ), static_cast<REGSAM>(KEY_READ));
    EXPECT_EQ(AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_READ),
              static_cast<REGSAM>(Is64BitProgram() ? (KEY_READ | KEY_WOW64_32KEY) : KEY_READ));
}

TEST(OnScreenKeyboard, StartedFromTheNativeSystemDirectory)
{
    char path[MAX_PATH] = {};
    ASSERT_TRUE(OnScreenKeyboardPath(path, sizeof path));
    char windowsDir[MAX_PATH] = {};
    char systemDir[MAX_PATH] = {};
    ASSERT_GT(::GetWindowsDirectoryA(windowsDir, MAX_PATH), 0u);
    ASSERT_GT(::GetSystemDirectoryA(systemDir, MAX_PATH), 0u);
    std::string expected;
    if (!Is64BitProgram() && RunsUnderWow64()) {
        // The x86 program on 64-bit Windows: its system directory would be
        // SysWOW64.
        expected = std::string(windowsDir) + "\\Sysnative\\osk.exe";
    } else {
        expected = std::string(systemDir) + "\\osk.exe";
    }
    std::string lower = path;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : expected)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(lower, expected);
    EXPECT_EQ(lower.find("syswow64"), std::string::npos);
}

} // namespace
