// The settings window against the simulated device: its tabs and pages, OK,
// Cancel and Apply with what they write and send, a right click on Apply, a
// model change, and a restart notice while an OK error box is open.
#include <chrono>
#include <cstring>

#include "Messages.h"
#include "support/ScreenCapture.h"
#include "ui/CableCheckBox.h"
#include "ui/ConfirmBox.h"
#include "ui/ControllerPage.h"
#include "ui/SettingsTestSupport.h"

using namespace settings_test;

namespace {

void SetSlider(int id, int position)
{
    ::SendDlgItemMessageA(SettingsControllerPage(), id, TBM_SETPOS, TRUE, position);
}

class SettingsWindowTest : public SettingsFixture {};

TEST_F(SettingsWindowTest, SixTabsWithTheirPagesAtTheDisplayArea)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    const HWND tab = ::GetDlgItem(Settings(), 1040);
    ASSERT_EQ(::SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0), 6);
    const char* const texts[] = {"Hardware", "Calibration", "Controller", "Driver", "Mouse", "About"};
    RECT area{};
    ::GetWindowRect(tab, &area);
    ::MapWindowPoints(nullptr, Settings(), reinterpret_cast<POINT*>(&area), 2);
    ::SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        char text[32] = {};
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        ::SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, texts[i]);
        const HWND page = SettingsPage(i);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(::GetParent(page), Settings());
        RECT rc{};
        ::GetWindowRect(page, &rc);
        ::MapWindowPoints(nullptr, Settings(), reinterpret_cast<POINT*>(&rc), 2);
        EXPECT_EQ(rc.left, area.left);
        EXPECT_EQ(rc.top, area.top);
        EXPECT_EQ(::IsWindowVisible(page) != FALSE, i == 0 && ::IsWindowVisible(Settings()));
        EXPECT_EQ((::GetWindowLongPtrA(page, GWL_STYLE) & WS_VISIBLE) != 0, i == 0);
    }
    EXPECT_EQ(SettingsPage(-1), nullptr);
    EXPECT_EQ(SettingsPage(6), nullptr);
    EXPECT_FALSE(::IsWindowVisible(Settings()));

    // The tab survives hiding: the tray click shows the window at the Mouse page.
    SelectTab(4);
    EXPECT_EQ(::GetWindowLongPtrA(SettingsPage(0), GWL_STYLE) & WS_VISIBLE, 0);
    ::SendMessageA(Settings(), WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    ::SendMessageA(Settings(), kTrayCallbackMessage, 0, WM_RBUTTONDOWN);
    EXPECT_FALSE(::IsWindowVisible(Settings()));
    ::SendMessageA(Settings(), kTrayCallbackMessage, 0, WM_LBUTTONDOWN);
    EXPECT_TRUE(::IsWindowVisible(Settings()));
    EXPECT_TRUE(::IsWindowVisible(SettingsPage(4)));
}

TEST_F(SettingsWindowTest, OkStoresEveryPageWritesTheRegistryAndSendsOnce)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    ASSERT_TRUE(DeleteRootValue("CurrentDevice"));
    ::ShowWindow(Settings(), SW_SHOW);
    SetSlider(1084, 7); // Press delay
    PageCommandCounter counter;

    ::SendMessageA(Settings(), WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);

    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(counter.Count(i, CMD_PAGE_STORE), 1) << i;
    DWORD value = 0;
    ASSERT_TRUE(DeviceValue("PressDelay", &value));
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(ReadCurrentDevice(), 0);
    const Payloads got = sim.Received();
    EXPECT_EQ(CountCode(got, 0x83), 1u);
    EXPECT_NE(std::find(got.begin(), got.end(), std::vector<uint8_t>{0x83, 7}), got.end());
    EXPECT_TRUE(ThreadBoxes().empty());
    EXPECT_FALSE(::IsWindowVisible(Settings()));
    EXPECT_TRUE(::IsWindowEnabled(Settings()));
}

TEST_F(SettingsWindowTest, OkWithASilentControllerTriesThreeTimesAndReportsOnce)
{
    // The filter write goes unanswered, so every attempt starts with 0x83.
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20, {0x88}));
    ModalBoxCloser closer;
    const auto start = std::chrono::steady_clock::now();
    SettingsOk();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(CountCode(sim.Received(), 0x83), 3u);
    // Two pauses of a second between the three attempts.
    EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
    ASSERT_EQ(closer.seen().size(), 1u);
    EXPECT_EQ(closer.seen()[0].text.rfind(
                  "While new configuration was sending to controller an error occurred.", 0),
              0u);
    // The registry was written before the sends.
    DWORD value = 0;
    EXPECT_TRUE(DeviceValue("PressDelay", &value));
}

TEST_F(SettingsWindowTest, CancelReloadsEveryPageAndKeepsWhatApplyStored)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    SelectTab(2);
    SetSlider(1084, 9);
    SettingsApply();
    SetSlider(1084, 3);
    PageCommandCounter counter;

    SettingsCancel();

    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(counter.Count(i, CMD_PAGE_RELOAD), 1) << i;
    EXPECT_EQ(::SendDlgItemMessageA(SettingsControllerPage(), 1084, TBM_GETPOS, 0, 0), 9);
    EXPECT_EQ(ItemText(SettingsControllerPage(), 1089), "9");
    DWORD value = 0;
    ASSERT_TRUE(DeviceValue("PressDelay", &value));
    EXPECT_EQ(value, 9u);
}

TEST_F(SettingsWindowTest, ApplyStoresTheShownPageOnly)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    ASSERT_TRUE(DeleteRootValue("CurrentDevice"));
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kDevicesZmr01.c_str());
    SetSlider(1084, 11);
    PageCommandCounter counter;

    SettingsApply(); // Hardware page
    DWORD value = 0;
    EXPECT_FALSE(DeviceValue("PressDelay", &value));
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_EQ(counter.Count(0, CMD_PAGE_STORE), 1);
    EXPECT_EQ(counter.Count(2, CMD_PAGE_STORE), 0);

    SelectTab(2);
    SettingsApply();
    EXPECT_EQ(counter.Count(2, CMD_PAGE_STORE), 1);
    ASSERT_TRUE(DeviceValue("PressDelay", &value));
    EXPECT_EQ(value, 11u);
    EXPECT_EQ(CountCode(sim.Received(), 0x83), 1u);
    // Never the model choice, never the LCD.
    DWORD type = 0;
    std::string data;
    EXPECT_FALSE(GetRootValue("CurrentDevice", &type, &data));
    EXPECT_EQ(CountCode(sim.Received(), 0x8c), 0u);
}

TEST_F(SettingsWindowTest, RightClickOnApplyAppliesOnce)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    ::ShowWindow(Settings(), SW_SHOW);
    SelectTab(2);
    const HWND apply = ::GetDlgItem(Settings(), 3);
    ::PostMessageA(apply, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    ::PostMessageA(apply, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    PumpUntil([this] { return CountCode(sim.Received(), 0x83) >= 1; }, 2000);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(CountCode(sim.Received(), 0x83), 1u);
}

TEST_F(SettingsWindowTest, AModelChangeReloadsEveryPage)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
    PageCommandCounter counter;
    IdentRecord other{5, 1, 30};
    ASSERT_EQ(
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_IDENTIFIED, 0), reinterpret_cast<LPARAM>(&other)),
        1);
    CloseInfoBoxes();
    for (int i : {0, 1, 3, 4, 5})
        EXPECT_EQ(counter.Count(i, CMD_PAGE_RELOAD), 1) << i;
    // The new model's page, with the sixth slider.
    EXPECT_NE(::GetDlgItem(SettingsControllerPage(), 1126), nullptr);
}

// While the box reporting a refused configuration is open: the device
// restarts, and the user presses OK again.
struct OkBoxProbe {
    DevSim* sim = nullptr;
    int ticks = 0;
    size_t boxesSeen = 0;
    size_t identsWhileBoxUp = 0;
};
OkBoxProbe* g_probe = nullptr;

void CALLBACK OkBoxTick(HWND, UINT, UINT_PTR, DWORD)
{
    OkBoxProbe& p = *g_probe;
    const std::vector<HWND> boxes = ThreadBoxes();
    if (boxes.empty()) return;
    p.boxesSeen = std::max(p.boxesSeen, boxes.size());
    ++p.ticks;
    if (p.ticks == 1) {
        p.sim->Command("restart");
        SettingsOk(); // refused: an action is running
    } else if (p.ticks == 8) {
        p.identsWhileBoxUp = CountCode(p.sim->Received(), 0x01);
        for (HWND box : boxes)
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    }
}

TEST_F(SettingsWindowTest, RestartNoticeDuringAnOkErrorBoxWaitsForTheEnd)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20, {0x88}));
    OkBoxProbe probe;
    probe.sim = &sim;
    g_probe = &probe;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &OkBoxTick);
    SettingsOk();
    ::KillTimer(nullptr, timer);
    g_probe = nullptr;

    EXPECT_EQ(probe.boxesSeen, 1u); // no second OK box inside the first
    EXPECT_EQ(probe.identsWhileBoxUp, 0u);
    EXPECT_EQ(CountCode(sim.Received(), 0x83), 3u);
    // After the action the restart is handled: identified once.
    PumpUntil([this] { return CountCode(sim.Received(), 0x01) >= 1; }, 3000);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(CountCode(sim.Received(), 0x01), 1u);
    EXPECT_EQ(App().restartPending.load(), 0);
    EXPECT_TRUE(::IsWindowEnabled(Settings()));
    CloseInfoBoxes();
}

} // namespace

namespace {

// Pictures for the documentation, only with TP_SCREENSHOT_DIR set: the
// settings window at its Controller tab for both page variants, the warning
// box and the cable-check countdown.
void CALLBACK ShootBoxThenClose(HWND, UINT, UINT_PTR, DWORD);
const char* g_boxShot = nullptr;

void CALLBACK ShootBoxThenClose(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_boxShot == nullptr) return;
    for (HWND box : ThreadBoxes()) {
        if (!::IsWindowVisible(box)) continue;
        ::UpdateWindow(box);
        CaptureWindowToBmp(box, ScreenshotDirectory() + "/" + g_boxShot);
        g_boxShot = nullptr;
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return;
    }
}

void ShootBox(const char* file, void (*run)())
{
    g_boxShot = file;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 400, &ShootBoxThenClose);
    run();
    ::KillTimer(nullptr, timer);
    g_boxShot = nullptr;
}

TEST_F(SettingsWindowTest, Screenshots)
{
    if (ScreenshotDirectory().empty()) GTEST_SKIP() << "TP_SCREENSHOT_DIR not set";
    struct Shot {
        int hwId, major, minor;
        const char* file;
    };
    for (const Shot& shot :
         {Shot{2, 1, 25, "settings-controller-zmr01.bmp"}, Shot{5, 1, 30, "settings-controller-zmr03.bmp"}}) {
        ASSERT_NO_FATAL_FAILURE(Connect(shot.hwId, shot.major, shot.minor));
        SelectTab(2);
        ::SendDlgItemMessageA(SettingsControllerPage(), 1084, WM_KEYDOWN, VK_RIGHT, 0);
        ::ShowWindow(Settings(), SW_SHOW);
        ::SetForegroundWindow(Settings());
        PumpUntil([] { return false; }, 500);
        EXPECT_TRUE(CaptureWindowToBmp(Settings(), ScreenshotDirectory() + "/" + shot.file));
        TearDown();
        SetUp();
    }
    ShootBox("confirm-box.bmp", [] { ConfirmBox(MSG_CONFIRM_TOUCH_MODE); });
    ShootBox("cable-check-box.bmp", [] { RunCableCheckBox(); });
}

} // namespace
