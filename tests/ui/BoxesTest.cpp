// The warning box and the cable-check countdown: answers by button, key and
// right click, placement, the focus at opening, a countdown that ends by
// itself, and a quit request while any modal box is up.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Messages.h"
#include "app/AppTestSupport.h"
#include "base/AppContext.h"
#include "base/ModalLoop.h"
#include "ui/CodeKeypad.h"
#include "ui/InfoBox.h"
#include "ui/CableCheckBox.h"
#include "ui/ConfirmBox.h"

namespace {

class BoxesTest : public ::testing::Test {
protected:
    void TearDown() override { CloseInfoBoxes(); }
};

// Clicks a button of the box that shows up with the given mouse button,
// from a timer served by the box's own loop.
struct Clicker {
    int button = IDOK;
    bool right = true;
    SeenBox seen;
};
Clicker* g_clicker = nullptr;

void CALLBACK ClickTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_clicker == nullptr) return;
    for (HWND box : ThreadBoxes()) {
        if (!::IsWindowVisible(box)) continue;
        g_clicker->seen = Inspect(box);
        const HWND button = ::GetDlgItem(box, g_clicker->button);
        ::PostMessageA(button, g_clicker->right ? WM_RBUTTONDOWN : WM_MBUTTONDOWN, 0, MAKELPARAM(4, 4));
        ::PostMessageA(button, g_clicker->right ? WM_RBUTTONUP : WM_MBUTTONUP, 0, MAKELPARAM(4, 4));
        g_clicker = nullptr;
        return;
    }
}

TEST_F(BoxesTest, ConfirmBoxAnswersYesOnlyForYes)
{
    struct Case {
        WORD command;
        bool pressReturn;
        bool expected;
    };
    const Case cases[] = {{IDOK, false, true}, {IDCANCEL, false, false}, {0, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ModalBoxCloser closer(c.command, c.pressReturn);
        EXPECT_EQ(ConfirmBox(MSG_CONFIRM_TOUCH_MODE), c.expected);
        ASSERT_EQ(closer.seen().size(), 1u);
        const SeenBox& seen = closer.seen()[0];
        EXPECT_EQ(seen.caption, "Warning");
        EXPECT_TRUE(seen.hasBigIcon);
        EXPECT_FALSE(seen.text.empty());
        EXPECT_NE(seen.text, "information");
        const int width = seen.rect.right - seen.rect.left;
        const int height = seen.rect.bottom - seen.rect.top;
        EXPECT_EQ(seen.rect.left, (::GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2);
        EXPECT_EQ(seen.rect.top, (::GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2);
    }
}

TEST_F(BoxesTest, RightAndMiddleClicksAnswerTheConfirmBox)
{
    struct Case {
        int button;
        bool right;
        bool expected;
    };
    const Case cases[] = {{IDOK, true, true}, {IDOK, false, true}, {IDCANCEL, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Clicker clicker;
        clicker.button = c.button;
        clicker.right = c.right;
        g_clicker = &clicker;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &ClickTick);
        EXPECT_EQ(ConfirmBoxText("Really?"), c.expected);
        ::KillTimer(nullptr, timer);
        g_clicker = nullptr;
        EXPECT_EQ(clicker.seen.text, "Really?");
        PumpMessages(); // the replayed release finds no box
    }
}

// Records the countdown text and speeds the box's clock up.
struct Countdown {
    std::vector<std::string> texts;
};
Countdown* g_countdown = nullptr;

void CALLBACK CountdownTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_countdown == nullptr) return;
    for (HWND box : ThreadBoxes()) {
        if (!::IsWindowVisible(box)) continue;
        g_countdown->texts.push_back(Inspect(box).text);
        ::SendMessageA(box, WM_TIMER, kCableCheckTimerId, 0);
        return;
    }
}

TEST_F(BoxesTest, CableCheckCountsDownAndClosesItself)
{
    Countdown countdown;
    g_countdown = &countdown;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &CountdownTick);
    RunCableCheckBox();
    ::KillTimer(nullptr, timer);
    g_countdown = nullptr;

    ASSERT_GE(countdown.texts.size(), 1u);
    EXPECT_LE(countdown.texts.size(), 10u);
    EXPECT_NE(countdown.texts.front().find("Timeout: 10s."), std::string::npos) << countdown.texts.front();
    EXPECT_EQ(
        countdown.texts.front().rfind("Please check or reconnect cable to the selected comm channel.", 0),
        0u);
    EXPECT_NE(countdown.texts.back().find("Timeout: 1s."), std::string::npos) << countdown.texts.back();
    EXPECT_TRUE(ThreadBoxes().empty());
}

TEST_F(BoxesTest, CableCheckEndsWithCancel)
{
    ModalBoxCloser closer(IDCANCEL);
    RunCableCheckBox();
    ASSERT_EQ(closer.seen().size(), 1u);
    EXPECT_EQ(closer.seen()[0].caption, "Information");
    EXPECT_TRUE(closer.seen()[0].hasBigIcon);
}

// Looks at the first box that shows up: which control has the focus, and
// which one the dialog manager would press for Return; then presses Return.
struct FocusAtOpening {
    int focusedId = 0;
    bool done = false;
};
FocusAtOpening* g_focus = nullptr;

void CALLBACK FocusTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_focus == nullptr || g_focus->done) return;
    for (HWND box : ThreadBoxes()) {
        if (!::IsWindowVisible(box)) continue;
        const HWND focus = ::GetFocus();
        g_focus->focusedId = focus != nullptr && ::GetParent(focus) == box ? ::GetDlgCtrlID(focus) : -1;
        g_focus->done = true;
        ::PostMessageA(focus != nullptr ? focus : box, WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageA(focus != nullptr ? focus : box, WM_KEYUP, VK_RETURN, 0xC0000001);
        return;
    }
}

TEST_F(BoxesTest, ConfirmBoxOpensWithTheFocusOnNo)
{
    FocusAtOpening focus;
    g_focus = &focus;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &FocusTick);
    const INT_PTR answer = ConfirmBoxAnswer(MSG_CONFIRM_CHANNEL_CHANGE);
    ::KillTimer(nullptr, timer);
    g_focus = nullptr;
    ASSERT_TRUE(focus.done);
    EXPECT_EQ(focus.focusedId, IDCANCEL) << "the focus is on \"&No\"";
    EXPECT_EQ(answer, kConfirmNo);
}

// Posts the quit message, as the program's exit command does, once the box
// of the case is up.
struct QuitPoster {
    SeenBox seen;
    bool posted = false;
};
QuitPoster* g_quitter = nullptr;

// Every dialog of this thread, the keypad included.
BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM lParam)
{
    char cls[32] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) == "#32770") reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> dialogs;
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

void CALLBACK QuitTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_quitter == nullptr || g_quitter->posted) return;
    for (HWND box : ThreadDialogs()) {
        if (!::IsWindowVisible(box)) continue;
        g_quitter->seen = Inspect(box);
        g_quitter->posted = true;
        ::PostQuitMessage(7);
        return;
    }
}

TEST_F(BoxesTest, QuitWhileABoxIsUpEndsItAndReachesTheOuterLoop)
{
    App().instance = ::GetModuleHandleA(nullptr);
    App().keypadState = 0;
    struct Case {
        const char* box;
        bool (*run)(); // true when the box said it ended for the quit
    };
    const Case cases[] = {
        {"Warning", [] { return ConfirmBoxAnswer(MSG_CONFIRM_TOUCH_MODE) == kModalQuit; }},
        // Ended the process with exit code 1 ("the box could not be created").
        {"Information", [] { return RunCableCheckBox() == CableCheckOutcome::Quit; }},
        {"Information", [] { return ShowInfoBox("Notice", true), QuitRequested(); }},
        {"Enter code", [] { return RunCodeKeypad(nullptr) == kModalQuit; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        QuitPoster quitter;
        g_quitter = &quitter;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &QuitTick);
        const DWORD started = ::GetTickCount();
        const bool quit = c.run();
        ::KillTimer(nullptr, timer);
        g_quitter = nullptr;
        EXPECT_TRUE(quitter.posted);
        EXPECT_EQ(quitter.seen.caption, c.box);
        EXPECT_TRUE(quit);
        EXPECT_LT(::GetTickCount() - started, 5000u) << "the countdown did not run out";
        EXPECT_TRUE(ThreadDialogs().empty());
        EXPECT_TRUE(QuitRequested());
        // No second box while the program is ending.
        EXPECT_EQ(ConfirmBoxTextAnswer("Again?"), kModalQuit);
        // Posted again, with its exit code, for the loop outside the box.
        MSG msg = {};
        ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(msg.wParam, 7u);
        ForgetQuitRequest();
    }
}

} // namespace
