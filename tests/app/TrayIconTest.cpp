// The tray icon: the record handed to the shell, adding once, removing only
// what is shown, an unavailable tray, and the real shell32 of the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/TrayIcon.h"
#include "base/AppContext.h"
#include "ui/SettingsWindow.h"

namespace {

struct NotifyCall {
    DWORD message;
    NOTIFYICONDATAA data;
};
std::vector<NotifyCall> g_calls;
BOOL g_answer = TRUE;

BOOL WINAPI RecordNotify(DWORD message, NOTIFYICONDATAA* data)
{
    g_calls.push_back({message, *data});
    return g_answer;
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        App().instance = ::GetModuleHandleA(nullptr);
        owner = ::CreateWindowExA(0, "STATIC", "settings", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                  nullptr);
        ASSERT_NE(owner, nullptr);
        App().settingsWindow = owner;
        g_calls.clear();
        g_answer = TRUE;
        SetTrayNotifyFunction(&RecordNotify);
    }
    void TearDown() override
    {
        g_answer = TRUE;
        TrayIconRemove();
        SetTrayNotifyFunction(nullptr);
        App().settingsWindow = nullptr;
        ::DestroyWindow(owner);
    }
    HWND owner = nullptr;
};

// The record that ends after the 64-character tip, as each architecture lays it out.
constexpr DWORD kShortRecordSize = sizeof(void*) == 4 ? 88u : 104u;

TEST_F(TrayIconTest, AddHandsTheShortRecordOnceAndRemoveDeletesIt)
{
    EXPECT_TRUE(TrayIconAdd());
    EXPECT_TRUE(TrayIconAdd());
    ASSERT_EQ(g_calls.size(), 1u);
    const NOTIFYICONDATAA& add = g_calls[0].data;
    EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.cbSize, kShortRecordSize);
    EXPECT_EQ(add.hWnd, owner);
    EXPECT_EQ(add.uID, static_cast<UINT>(reinterpret_cast<uintptr_t>(App().instance)));
    EXPECT_EQ(add.uFlags, 7u);
    EXPECT_EQ(add.uCallbackMessage, 9312u);
    EXPECT_NE(add.hIcon, nullptr);
    EXPECT_STREQ(add.szTip, "Touch device");
    EXPECT_TRUE(TrayIconShown());

    EXPECT_TRUE(TrayIconRemove());
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(g_calls[1].data.cbSize, kShortRecordSize);
    EXPECT_EQ(g_calls[1].data.hWnd, owner);
    EXPECT_EQ(g_calls[1].data.uID, add.uID);
    EXPECT_EQ(g_calls[1].data.uFlags, 0u);
    EXPECT_FALSE(TrayIconShown());

    // Nothing shown: nothing to delete.
    EXPECT_TRUE(TrayIconRemove());
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(TrayIconTest, FailuresAreReportedAndLeaveStateAsItWas)
{
    g_answer = FALSE;
    EXPECT_FALSE(TrayIconAdd());
    EXPECT_FALSE(TrayIconShown());

    g_answer = TRUE;
    ASSERT_TRUE(TrayIconAdd());
    g_answer = FALSE;
    EXPECT_FALSE(TrayIconRemove());
    EXPECT_TRUE(TrayIconShown());
    g_answer = TRUE;
    EXPECT_TRUE(TrayIconRemove());
}

TEST_F(TrayIconTest, UnavailableTrayIsNotAnError)
{
    SetTrayNotifyFunction(nullptr);
    EXPECT_TRUE(TrayIconAdd());
    EXPECT_FALSE(TrayIconShown());
    EXPECT_TRUE(TrayIconRemove());
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(TrayIconTest, SystemShellAddsAndRemovesTheIcon)
{
    SetTrayNotifyFunction(nullptr);
    ModalBoxCloser closer; // a failure would be reported in a modal box
    TrayLoad();
    EXPECT_TRUE(TrayIconAdd());
    EXPECT_TRUE(TrayIconShown());
    TrayUnload();
    EXPECT_FALSE(TrayIconShown());
    EXPECT_TRUE(closer.seen().empty());
}

} // namespace
