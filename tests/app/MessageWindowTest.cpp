// The message window in this process against the simulated device: what a
// change of hardware does to the objects and the Controller page, the model
// check, a restart notice during a modal box, the temperature timer and the
// exit command. (The end-to-end tests cover the device side of restarts.)
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "Messages.h"
#include "app/Factories.h"
#include "app/MessageWindow.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/Monitors.h"
#include "base/ModalLoop.h"
#include "channel/CommProtocol2.h"
#include "controller/ControllerTestSupport.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdBar.h"
#include "lcd/LcdModels.h"
#include "support/DeviceWiring.h"
#include "support/DevSim.h"
#include "support/RegistryTree.h"
#include "ui/ConfirmBox.h"
#include "ui/ControllerPage.h"
#include "ui/SettingsWindow.h"

namespace {

constexpr int kPort = 5; // COM5
using Payloads = std::vector<std::vector<uint8_t>>;

std::string TextOf(HWND dialog, int id = 1000)
{
    return DlgItemText(dialog, id);
}

void DeleteUserTree()
{
    DeleteRegistryTree(HKEY_CURRENT_USER, kRegistryRoot);
}

class MessageWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.ok());
        DeleteUserTree();
        window = OpenTestMessageWindow();
        ASSERT_NE(window, nullptr);
    }

    // The objects as start-up wires them for the device's identity.
    void Connect(int hwId, int major, int minor, std::vector<int> silent = {})
    {
        DevSim::Options o = SimOn(kPort, hwId, major, minor);
        o.silent = std::move(silent);
        ASSERT_TRUE(sim.Start(o)) << sim.LastError();
        ASSERT_NO_FATAL_FAILURE(WireToDevice(kPort, window, &channel));
        CreateLcdBar(&App().lcdBar);
        CloseInfoBoxes();
        sim.ClearReceived();
    }

    void TearDown() override
    {
        AppContext& app = App();
        StopTemperatureTimer(window);
        UnwireFromDevice(&channel);
        for (HWND* w : {&app.settingsWindow, &app.lcdBar, &app.messageWindow}) {
            if (*w != nullptr) ::DestroyWindow(*w);
            *w = nullptr;
        }
        ResetAppState();
        CloseInfoBoxes();
        ForgetQuitRequest();
        sim.Stop();
        DeleteUserTree();
    }

    ZmrCtrlVirt* Controller() { return dynamic_cast<ZmrCtrlVirt*>(App().controller.load()); }
    // A finger down on the device, seen by the controller.
    void Press()
    {
        ASSERT_TRUE(sim.Command("touch 512 512"));
        PumpUntil([this] { return Controller() != nullptr && Controller()->m_bPressed != 0; }, 2000);
        ASSERT_NE(Controller()->m_bPressed, 0);
    }

    LRESULT Command(WORD id, LPARAM lParam = 0)
    {
        return ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), lParam);
    }

    RegistrySandbox sandbox;
    DevSim sim;
    HWND window = nullptr;
    CommProtocol2* channel = nullptr;
};

TEST_F(MessageWindowTest, RestartAfterHardwareChangeReplacesControllerPageAndLcd)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 30));
    const HWND oldPage = SettingsControllerPage();
    ::ShowWindow(oldPage, SW_SHOW);
    ASSERT_TRUE(sim.Command("ident 5 1 0"));

    Command(CMD_DEVICE_RESTARTED);
    CloseInfoBoxes();

    auto* controller = static_cast<ZmrModelCtrl*>(App().controller.load());
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->m_nType, 2);
    EXPECT_EQ(App().controllerModel, 2);
    ASSERT_NE(App().lcd.load(), nullptr);
    EXPECT_EQ(App().lcd.load()->m_nType, 1);
    EXPECT_EQ(App().lcdModel, 1);
    EXPECT_EQ(ReadCurrentDevice(), 2);
    EXPECT_EQ(ReadCurrentLcd(), 1);
    EXPECT_EQ(App().lcd.load()->m_pController.load(), controller);

    const HWND page = SettingsControllerPage();
    EXPECT_NE(page, oldPage);
    // Shown in its tab, like the page it replaces (the window itself is hidden).
    EXPECT_NE(::GetWindowLongPtrA(page, GWL_STYLE) & WS_VISIBLE, 0);
    // The ZMR02..04 page, its status line from the new identification.
    EXPECT_NE(::GetDlgItem(page, 1126), nullptr);
    char info[256] = {};
    ::GetDlgItemTextA(page, 1076, info, sizeof info);
    EXPECT_STREQ(info, "Controller info: HW Id: 5 - SW Ver: 1.00");

    // Configuration once (from the model check), then the brightness twice:
    // the new LCD's and the restart handling's.
    const Payloads got = sim.Received();
    EXPECT_EQ(CountCode(got, 0x01), 1u);
    EXPECT_EQ(CountCode(got, 0x83), 1u);
    EXPECT_EQ(CountCode(got, 0x8c), 2u);
    EXPECT_EQ(got.front(), (std::vector<uint8_t>{0x01}));
    EXPECT_EQ(got.back(), (std::vector<uint8_t>{0x8c, 50}));
}

TEST_F(MessageWindowTest, ModelCheckReportsReplacementAndKeepsHiddenPageHidden)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 30));
    EventRecorder events;
    IdentRecord same{2, 1, 99};
    EXPECT_EQ(Command(CMD_IDENTIFIED, reinterpret_cast<LPARAM>(&same)), 0);
    EXPECT_TRUE(sim.Received().empty());

    IdentRecord unknown{9, 1, 2};
    EXPECT_EQ(Command(CMD_IDENTIFIED, reinterpret_cast<LPARAM>(&unknown)), 1);
    CloseInfoBoxes();
    EXPECT_EQ(App().controllerModel, 3);
    EXPECT_EQ(App().lcdModel, 2);
    // Only the hardware id is taken over by the model check.
    EXPECT_EQ(App().ident.HwId, 9);
    EXPECT_EQ(App().ident.MinorSwVer, 30);
    EXPECT_EQ(::GetWindowLongPtrA(SettingsControllerPage(), GWL_STYLE) & WS_VISIBLE, 0);

    const auto seen = events.Events();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].id, MSG_INCOMPATIBLE_FIRMWARE);
    EXPECT_EQ(seen[0].insert,
              "Controller firmware could be incompatible with the app (CTRL). (HW Id: 9, SW Ver: 1.02)");
    EXPECT_EQ(seen[1].insert,
              "Controller firmware could be incompatible with the app (LCD). (HW Id: 9, SW Ver: 1.02)");
}

// A restart notice that arrives while the handling waits in a modal box is
// not handled inside it but once more afterwards.
struct NestedRestartProbe {
    DevSim* sim = nullptr;
    HWND window = nullptr;
    int ticks = 0;
    size_t identsWhileBoxUp = 0;
    int boxesClosed = 0;
};
NestedRestartProbe* g_probe = nullptr;

HWND FindInformationBox()
{
    const std::vector<HWND> boxes = ThreadBoxes();
    for (HWND box : boxes) {
        if (::IsWindowVisible(box)) return box;
    }
    return nullptr;
}

void CALLBACK NestedRestartTick(HWND, UINT, UINT_PTR, DWORD)
{
    NestedRestartProbe& p = *g_probe;
    const HWND box = FindInformationBox();
    if (box == nullptr) return;
    ++p.ticks;
    if (p.ticks == 1) {
        ::PostMessageA(p.window, WM_COMMAND, MAKEWPARAM(CMD_DEVICE_RESTARTED, 0), 0);
        return;
    }
    if (p.ticks < 8) return;
    if (p.ticks == 8) {
        p.identsWhileBoxUp = CountCode(p.sim->Received(), 0x01);
        p.sim->Command("unsilent 0x8c");
    }
    // Every box from here on is answered, so that a wrong run cannot hang.
    ::PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    ++p.boxesClosed;
}

TEST_F(MessageWindowTest, RestartArrivingDuringModalBoxRunsAgainAfterwards)
{
    // The brightness goes unanswered: the restart handling shows its modal box.
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 0, {0x8c}));
    NestedRestartProbe probe;
    probe.sim = &sim;
    probe.window = window;
    g_probe = &probe;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, &NestedRestartTick);

    Command(CMD_DEVICE_RESTARTED);
    ::KillTimer(nullptr, timer);
    g_probe = nullptr;
    CloseInfoBoxes();

    EXPECT_EQ(probe.boxesClosed, 1);
    EXPECT_EQ(probe.identsWhileBoxUp, 1u);
    // The second run happened after the first, and its brightness got through.
    const Payloads got = sim.Received();
    EXPECT_EQ(CountCode(got, 0x01), 2u);
    EXPECT_EQ(got.back(), (std::vector<uint8_t>{0x8c, 50}));
    EXPECT_EQ(App().restartPending.load(), 0);
}

TEST_F(MessageWindowTest, TimerSendsTemperatureToAboutPage)
{
    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, 0));
    ASSERT_TRUE(sim.Command("temp 51"));
    ASSERT_TRUE(StartTemperatureTimer(window, 100));
    PumpUntil([this] { return CountCode(sim.Received(), 0x21) >= 4; }, 3000);
    EXPECT_GE(CountCode(sim.Received(), 0x21), 4u);
    EXPECT_EQ(TextOf(SettingsAboutPage(), 1138), "Act. Temp: 25.5\xB0"
                                                 "C");
}

TEST_F(MessageWindowTest, TimerWithoutSensorShowsNothing)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 25));
    ASSERT_EQ(App().controllerModel, 0);
    ::SendMessageA(window, WM_TIMER, kTemperatureTimerId, 0);
    EXPECT_TRUE(sim.Received().empty());
    EXPECT_EQ(TextOf(SettingsAboutPage(), 1138), "");
}

TEST_F(MessageWindowTest, ExitCommandAndCloseEndTheLoopWithCodeZero)
{
    for (const UINT msg : {static_cast<UINT>(WM_COMMAND), static_cast<UINT>(WM_CLOSE)}) {
        ::SendMessageA(window, msg, msg == WM_COMMAND ? MAKEWPARAM(CMD_EXIT_PROGRAM, 0) : 0, 0);
        MSG quit = {};
        ASSERT_TRUE(::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(quit.wParam, 0u);
        EXPECT_TRUE(::IsWindow(window));
    }
    // Cancel and unknown commands change nothing.
    EXPECT_EQ(Command(IDCANCEL), 0);
    MSG none = {};
    EXPECT_FALSE(::PeekMessageA(&none, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The touch stream breaks while a finger is down: the device restarted and
// does not answer, or Windows ends the session. Either way the button goes
// up; at the session's end the port is let go, the program ends and no box
// is shown any more.
TEST_F(MessageWindowTest, HeldTouchIsReleasedWhenTheStreamBreaks)
{
    ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 30));
    ASSERT_NO_FATAL_FAILURE(Press());
    ASSERT_TRUE(sim.Command("silent 1"));
    Command(CMD_DEVICE_RESTARTED);
    EXPECT_EQ(Controller()->m_bPressed, 0) << "identification failed while pressed";
    EXPECT_EQ(::GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);
    CloseInfoBoxes(); // the configuration could not be sent
    ASSERT_TRUE(sim.Command("unsilent 1"));
    Command(CMD_DEVICE_RESTARTED); // identified again: touches count again

    ASSERT_NO_FATAL_FAILURE(Press());
    EXPECT_NE(::SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 0);
    EXPECT_FALSE(QuitRequested()) << "the session may still go on";
    ::SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(Controller()->m_bPressed, 0);
    EXPECT_EQ(::GetAsyncKeyState(VK_LBUTTON) & 0x8000, 0);
    // Under load Wine may take a moment to let go of a closed port.
    bool reopened = false;
    PumpUntil(
        [&] {
            CommProtocol2 probe(kPort - 1, false);
            reopened = probe.Open();
            probe.Close();
            return reopened;
        },
        2000);
    EXPECT_TRUE(reopened) << "the port was closed";
    EXPECT_TRUE(QuitRequested());
    EXPECT_EQ(ConfirmBoxTextAnswer("Still there?"), kModalQuit);
    EXPECT_TRUE(ThreadBoxes().empty());
}

// Monitors as a display change leaves them: the second one there or not,
// turned or not.
bool g_secondPresent = false;
int32_t g_secondOrientation = 0;

bool ChangingMonitors(MonitorList* list)
{
    *list = MonitorList{};
    AddMonitor(*list, "\\\\.\\DISPLAY1", {0, 0, 1024, 768}, true, 0);
    if (g_secondPresent) AddMonitor(*list, "\\\\.\\DISPLAY2", {-600, 0, 0, 800}, false, g_secondOrientation);
    list->virtualScreen = {g_secondPresent ? -600 : 0, 0, 1024, 800};
    return true;
}

TEST_F(MessageWindowTest, DisplayChangesFindTheTouchMonitorAgainAtOnce)
{
    SetMonitorListSource(&ChangingMonitors);
    g_secondPresent = true;
    g_secondOrientation = 0;
    RefreshMonitors();
    ASSERT_TRUE(WriteStoredMonitor(CurrentMonitors().entries[1]));
    EventRecorder events;
    g_secondPresent = false;
    ::SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    ::SendMessageA(window, WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(TouchMonitorIndex(), 0) << "the primary one meanwhile";
    EXPECT_FALSE(PublishedDeskMapping().virtualDesk);
    g_secondPresent = true;
    g_secondOrientation = 1;
    ::SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(1624, 800));
    EXPECT_EQ(TouchMonitorIndex(), 1) << "back";
    const DeskMapping back = PublishedDeskMapping();
    EXPECT_TRUE(back.virtualDesk);
    EXPECT_EQ(back.offsetX, 0);
    EXPECT_EQ(back.orientation, 1);
    const auto seen = events.Events();
    ASSERT_EQ(seen.size(), 1u) << "logged once while it was gone";
    EXPECT_EQ(seen[0].id, MSG_TOUCH_MONITOR_MISSING);
    EXPECT_EQ(seen[0].insert, "\\\\.\\DISPLAY2");
    SetMonitorListSource(nullptr);
    RefreshMonitors();
}

} // namespace
