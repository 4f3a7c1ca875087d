// The information box, modal and modeless, and the two reporting operations
// that show message texts in it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Messages.h"
#include "app/AppTestSupport.h"
#include "base/AppContext.h"
#include "base/Reporting.h"
#include "ui/InfoBox.h"

namespace {

class InfoBoxTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        CloseInfoBoxes();
        App().messageWindow = nullptr;
    }

    static void ExpectBottomLeft(const RECT& rc)
    {
        EXPECT_EQ(rc.left, 0);
        EXPECT_EQ(rc.top, ::GetSystemMetrics(SM_CYFULLSCREEN) - (rc.bottom - rc.top));
        EXPECT_GT(rc.bottom - rc.top, 0);
    }
};

TEST_F(InfoBoxTest, ModelessBoxShowsTheTextAtTheBottomLeft)
{
    HWND box = ShowInfoBox("Some notice.\r\nSecond line.", false);
    ASSERT_NE(box, nullptr);
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(box));
    const SeenBox seen = Inspect(box);
    EXPECT_EQ(seen.caption, "Information");
    EXPECT_EQ(seen.text, "Some notice.\r\nSecond line.");
    EXPECT_TRUE(seen.hasBigIcon);
    EXPECT_EQ(seen.owner, nullptr);
    ExpectBottomLeft(seen.rect);
}

TEST_F(InfoBoxTest, ModelessBoxClosesWithEitherCommand)
{
    for (WORD command : {WORD(IDOK), WORD(IDCANCEL)}) {
        HWND box = ShowInfoBox("x", false);
        ASSERT_NE(box, nullptr);
        ::SendMessageA(box, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        EXPECT_FALSE(::IsWindow(box)) << "command " << command;
    }
    // The Return key's dialog code asks the box to close itself.
    HWND box = ShowInfoBox("x", false);
    ASSERT_NE(box, nullptr);
    ::SendMessageA(box, WM_GETDLGCODE, VK_RETURN, 0);
    PumpMessages();
    EXPECT_FALSE(::IsWindow(box));
}

TEST_F(InfoBoxTest, ModelessReportsStackAtTheSamePlace)
{
    EXPECT_EQ(ShowMessageBoxModeless(MSG_REGISTRY_WRITE_ERROR), 1);
    EXPECT_EQ(ShowMessageBoxModeless(MSG_FATAL_ERROR), 1);
    const auto boxes = ThreadBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    const SeenBox a = Inspect(boxes[0]);
    const SeenBox b = Inspect(boxes[1]);
    EXPECT_EQ(a.rect.left, b.rect.left);
    EXPECT_EQ(a.rect.top, b.rect.top);
    const std::string fatal =
        "Fatal error, please send email to support@mavrel.example about it. Detailed: .\r\n";
    EXPECT_TRUE(a.text == fatal || b.text == fatal) << a.text << " / " << b.text;
}

TEST_F(InfoBoxTest, ModalBoxReturnsOnlyWhenClosed)
{
    // A hidden stand-in for the message window, the owner of modal boxes.
    HWND owner = ::CreateWindowExA(0, "STATIC", "TouchDevice", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    App().messageWindow = owner;

    struct Way {
        WORD command;
        bool pressReturn;
    };
    for (const Way& way : {Way{IDCANCEL, false}, Way{IDOK, false}, Way{0, true}}) {
        SCOPED_TRACE(way.pressReturn ? "Return" : (way.command == IDOK ? "1" : "2"));
        ModalBoxCloser closer(way.command, way.pressReturn);
        EXPECT_EQ(ShowInfoBox("Modal text", true), nullptr);
        ASSERT_EQ(closer.seen().size(), 1u);
        const SeenBox& seen = closer.seen()[0];
        EXPECT_EQ(seen.text, "Modal text");
        EXPECT_EQ(seen.owner, owner);
        EXPECT_TRUE(seen.hasBigIcon);
        ExpectBottomLeft(seen.rect);
        EXPECT_FALSE(::IsWindow(seen.hwnd));
        EXPECT_TRUE(::IsWindowEnabled(owner)) << "the owner must not stay disabled";
    }
    ::DestroyWindow(owner);
}

TEST_F(InfoBoxTest, ModalReportShowsTheRenderedText)
{
    ModalBoxCloser closer;
    EXPECT_EQ(ShowMessageBoxModal(MSG_FATAL_ERROR), 1);
    ASSERT_EQ(closer.seen().size(), 1u);
    EXPECT_EQ(closer.seen()[0].text,
              "Fatal error, please send email to support@mavrel.example about it. Detailed: .\r\n");
    EXPECT_EQ(closer.seen()[0].owner, nullptr) << "no message window yet";
}

} // namespace
