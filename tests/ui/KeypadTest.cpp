// The access-code keypad on its real template, run modally as the About
// page runs it: keys are posted to each keypad as it opens.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/Reporting.h"
#include "resources/resource.h"
#include "support/RegistryTree.h"
#include "support/ScreenCapture.h"
#include "ui/CodeKeypad.h"
#include "base/RegistryIO.h"

namespace {

constexpr int kEnter = IDC_KEYPAD_ENTER;
constexpr int kEsc = IDC_KEYPAD_ESC;
constexpr int kChange = IDC_KEYPAD_CHNG;
constexpr int kCancel = IDCANCEL;

// Keys of one keypad: digits as a text, then the key that ends it.
struct Entry {
    std::string digits;
    int last;
};

// What each keypad showed when it opened.
struct Opening {
    std::string caption;
    int state;
    RECT frame;
    std::string display;
};

struct Script {
    std::vector<Entry> entries; // one per keypad opening, in order
    std::vector<Opening> seen;
    std::string shownBeforeLast; // the display just before the last key
};

void CALLBACK ReadDisplayThenFinish(HWND keypad, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(keypad, timer);
    auto* script = reinterpret_cast<Script*>(::GetWindowLongPtrA(keypad, GWLP_USERDATA));
    char text[256] = {};
    ::GetDlgItemTextA(keypad, IDC_KEYPAD_DISPLAY, text, sizeof text);
    script->shownBeforeLast = text;
    const int last = static_cast<int>(::GetPropA(keypad, "last") != nullptr
                                          ? reinterpret_cast<INT_PTR>(::GetPropA(keypad, "last"))
                                          : kCancel);
    ::RemovePropA(keypad, "last");
    ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(last, BN_CLICKED), 0);
}

void OnOpen(void* context, HWND keypad, int state)
{
    auto* script = static_cast<Script*>(context);
    char caption[64] = {};
    ::GetWindowTextA(keypad, caption, sizeof caption);
    char display[64] = {};
    ::GetDlgItemTextA(keypad, IDC_KEYPAD_DISPLAY, display, sizeof display);
    Opening seen{caption, state, {}, display};
    ::GetWindowRect(keypad, &seen.frame);
    const size_t index = script->seen.size();
    script->seen.push_back(seen);
    if (index >= script->entries.size()) {
        ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(kCancel, BN_CLICKED), 0);
        return;
    }
    const Entry& entry = script->entries[index];
    for (char c : entry.digits) {
        if (c >= '0' && c <= '9')
            ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(IDC_KEYPAD_DIGIT0 + (c - '0'), BN_CLICKED), 0);
        if (c == 'e') ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(kEsc, BN_CLICKED), 0);
        if (c == 'c') ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(kChange, BN_CLICKED), 0);
    }
    // The last key goes after the digits have been shown: a timer message
    // comes only once the posted ones are done.
    ::SetWindowLongPtrA(keypad, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(script));
    ::SetPropA(keypad, "last", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(entry.last)));
    ::SetTimer(keypad, 1, 10, &ReadDisplayThenFinish);
}

std::string CodeKey()
{
    return std::string(kRegistryRoot) + "\\Code";
}

void DeleteStoredCode()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_SET_VALUE),
                        &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, "Code");
        ::RegCloseKey(key);
    }
}

void StoreRaw(DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, nullptr, 0,
                      AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_WRITE), nullptr, &key, nullptr);
    ::RegSetValueExA(key, "Code", 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
}

struct EventLog {
    std::vector<uint32_t> ids;
    static void Observe(void* context, uint32_t id, const char*)
    {
        static_cast<EventLog*>(context)->ids.push_back(id);
    }
};

class Keypad : public ::testing::Test {
protected:
    void SetUp() override
    {
        App().instance = ::GetModuleHandleA(nullptr);
        App().keypadState = 0;
        App().accessCode = 0;
        App().accessCodeDamaged = false;
        DeleteStoredCode();
        DeleteRegistryTree(HKEY_CURRENT_USER, CodeKey());
        SetKeypadOpenObserver(&OnOpen, &script);
        SetAppEventObserver(&EventLog::Observe, &events);
    }
    void TearDown() override
    {
        SetKeypadOpenObserver(nullptr, nullptr);
        SetAppEventObserver(nullptr, nullptr);
        DeleteStoredCode();
        DeleteRegistryTree(HKEY_CURRENT_USER, CodeKey());
    }

    INT_PTR Run(std::vector<Entry> entries)
    {
        script = Script{};
        script.entries = std::move(entries);
        return RunCodeKeypad(nullptr);
    }

    Script script;
    EventLog events;
};

TEST_F(Keypad, EntriesAgainstAFourDigitCode)
{
    struct Case {
        const char* typed;
        INT_PTR result;
    };
    const Case cases[] = {
        {"4711", 1},      {"04711", 1},                 // leading zeros do not count
        {"94711", 0},                                   // a leading non-zero digit does
        {"900004711", 1},                               // only the last eight digits count
        {"4712", 0},      {"", 0},      {"12e4711", 1}, // ESC clears what was typed
    };
    for (const Case& c : cases) {
        App().accessCode = 0x4711;
        EXPECT_EQ(Run({{c.typed, kEnter}}), c.result) << c.typed;
        EXPECT_EQ(App().accessCode, 0x4711u);
        ASSERT_EQ(script.seen.size(), 1u);
        EXPECT_EQ(script.seen[0].caption, "Enter code");
        EXPECT_EQ(script.seen[0].display, "") << "the template's text is cleared";
    }
    App().accessCode = 0x4711;
    EXPECT_EQ(Run({{"4711", kCancel}}), 0) << "closing the keypad is no entry";
}

TEST_F(Keypad, WithoutCodeOnlyAnEmptyEntryOpens)
{
    EXPECT_EQ(Run({{"5", kEnter}}), 0);
    EXPECT_EQ(Run({{"", kEnter}}), 1);
    uint32_t stored = 7;
    EXPECT_TRUE(ReadStoredCode(&stored));
    EXPECT_EQ(stored, 0u) << "the empty code is written back";
}

TEST_F(Keypad, DisplayShowsOneAsteriskPerDigitUpToFifteen)
{
    App().accessCode = 0x4711;
    Run({{"4711", kEnter}});
    EXPECT_EQ(script.shownBeforeLast, "****");
    Run({{"12345678901234567890", kEnter}});
    EXPECT_EQ(script.shownBeforeLast, std::string(15, '*'));
    EXPECT_EQ(Run({{"12345678901234567890", kCancel}}), 0);
}

TEST_F(Keypad, ChangeOfCode)
{
    App().accessCode = 0x4711;
    EXPECT_EQ(Run({{"c", 0}, {"4711", kEnter}, {"0815", kEnter}}), 1);
    ASSERT_EQ(script.seen.size(), 3u);
    EXPECT_EQ(script.seen[1].caption, "Enter old code");
    EXPECT_EQ(script.seen[2].caption, "Enter new code");
    EXPECT_EQ(App().accessCode, 0x815u) << "in force at once";
    EXPECT_EQ(App().keypadState, 0);
    uint32_t stored = 0;
    EXPECT_TRUE(ReadStoredCode(&stored));
    EXPECT_EQ(stored, 0x815u) << "packed four bits a digit, the last digit lowest";

    // The new code opens, the old one no longer does.
    EXPECT_EQ(Run({{"815", kEnter}}), 1);
    EXPECT_EQ(Run({{"4711", kEnter}}), 0);
}

TEST_F(Keypad, ChangeRefusedOrCancelled)
{
    App().accessCode = 0x4711;
    // Wrong old code: refused, the code stays.
    EXPECT_EQ(Run({{"c", 0}, {"1", kEnter}}), 0);
    EXPECT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(App().accessCode, 0x4711u);
    EXPECT_EQ(App().keypadState, 0);

    // CHNG inside the old-code keypad does nothing; a cancelled new-code
    // keypad still completes the change (as accepted) with the code kept.
    EXPECT_EQ(Run({{"c", 0}, {"c4711", kEnter}, {"99", kCancel}}), 1);
    EXPECT_EQ(script.seen.size(), 3u);
    EXPECT_EQ(App().accessCode, 0x4711u);
    EXPECT_EQ(App().keypadState, 0);
}

TEST_F(Keypad, DamagedStoredCodeOpensNothing)
{
    const char text[] = "4711";
    StoreRaw(REG_SZ, text, sizeof text);
    uint32_t code = 9;
    EXPECT_FALSE(ReadStoredCode(&code));
    EXPECT_EQ(code, 0u);
    const uint16_t shortValue = 0x47;
    StoreRaw(REG_BINARY, &shortValue, sizeof shortValue);
    EXPECT_FALSE(ReadStoredCode(&code));
    DeleteStoredCode();
    EXPECT_TRUE(ReadStoredCode(&code)) << "a missing value is no code, not a damaged one";

    App().accessCode = 0;
    App().accessCodeDamaged = true;
    EXPECT_EQ(Run({{"", kEnter}}), 0);
    EXPECT_EQ(Run({{"0", kEnter}}), 0);
    EXPECT_EQ(Run({{"c", 0}, {"", kEnter}}), 0);
    EXPECT_EQ(events.ids, (std::vector<uint32_t>{MSG_CODE_DAMAGED, MSG_CODE_DAMAGED, MSG_CODE_DAMAGED}));
}

TEST_F(Keypad, PositionIsKeptUnderCode)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, CodeKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    const DWORD x = 5000, y = 10;
    ::RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&x), sizeof x);
    ::RegSetValueExA(key, "y", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&y), sizeof y);
    ::RegCloseKey(key);

    Run({{"", kCancel}});
    ASSERT_EQ(script.seen.size(), 1u);
    const RECT r = script.seen[0].frame;
    EXPECT_EQ(r.left, ::GetSystemMetrics(SM_CXFULLSCREEN) - (r.right - r.left)) << "beyond the screen width";
    EXPECT_EQ(r.top, ::GetSystemMetrics(SM_CYFULLSCREEN) - (r.bottom - r.top));

    DWORD stored[2] = {};
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, CodeKey().c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = sizeof stored[0];
    ::RegQueryValueExA(key, "x", nullptr, nullptr, reinterpret_cast<BYTE*>(&stored[0]), &size);
    size = sizeof stored[1];
    ::RegQueryValueExA(key, "y", nullptr, nullptr, reinterpret_cast<BYTE*>(&stored[1]), &size);
    ::RegCloseKey(key);
    EXPECT_EQ(static_cast<LONG>(stored[0]), r.left) << "the corner it went to is stored";
    EXPECT_EQ(static_cast<LONG>(stored[1]), r.top);

    // The next keypad opens there.
    Run({{"", kCancel}});
    EXPECT_EQ(script.seen[0].frame.left, r.left);
    EXPECT_EQ(script.seen[0].frame.top, r.top);
}

TEST_F(Keypad, AKeypadThatCannotRunIsNoAcceptance)
{
    // Without its template the keypad cannot run: -1, not accepted.
    const HINSTANCE saved = App().instance;
    App().instance = ::GetModuleHandleA("kernel32.dll");
    const INT_PTR result = Run({});
    App().instance = saved;
    EXPECT_FALSE(CodeKeypadAccepted(result));
    EXPECT_EQ(result, -1);
}

void CALLBACK ShootThenCancel(HWND keypad, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(keypad, timer);
    CaptureWindowToBmp(keypad, ScreenshotDirectory() + "/code-keypad.bmp");
    ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(kCancel, BN_CLICKED), 0);
}

void ShootOnOpen(void*, HWND keypad, int)
{
    ::SetWindowPos(keypad, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE);
    for (int digit : {4, 7, 1})
        ::PostMessageA(keypad, WM_COMMAND, MAKEWPARAM(IDC_KEYPAD_DIGIT0 + digit, BN_CLICKED), 0);
    ::SetTimer(keypad, 1, 300, &ShootThenCancel);
}

// A picture of the keypad with three digits typed, for the documentation;
// only with TP_SCREENSHOT_DIR set.
TEST_F(Keypad, Screenshot)
{
    if (ScreenshotDirectory().empty()) GTEST_SKIP() << "TP_SCREENSHOT_DIR not set";
    SetKeypadOpenObserver(&ShootOnOpen, nullptr);
    EXPECT_EQ(RunCodeKeypad(nullptr), 0);
}

} // namespace
