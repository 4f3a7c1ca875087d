// The Driver page, the Mouse page and the mouse-button window in this process,
// from their real templates, against the simulated device: the touch-mode and
// mouse-button questions however the change is made, what the pages store,
// the double-click settings handed to the system, and the one-shot letter
// around a touch.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Messages.h"
#include "app/AppTestSupport.h"
#include "app/Factories.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/RegistryIO.h"
#include "channel/CommProtocol2.h"
#include "controller/ControllerTestSupport.h"
#include "controller/ZmrCtrlVirt.h"
#include "resources/resource.h"
#include "support/DevSim.h"
#include "support/RegistryTree.h"
#include "ui/DriverPage.h"
#include "ui/MouseButtonWindow.h"
#include "ui/MousePage.h"

namespace {

constexpr int kPort = 6; // COM6

std::string StripAmpersands(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

// Answers every "Warning" question the code under test asks on this thread,
// from inside the question's own message loop, by clicking its "Yes" or "No"
// button; counts the questions.
class QuestionAnswerer {
public:
    explicit QuestionAnswerer(bool yes) : m_bYes(yes)
    {
        s_current = this;
        m_timer = ::SetTimer(nullptr, 0, 30, &QuestionAnswerer::OnTimer);
    }
    ~QuestionAnswerer()
    {
        ::KillTimer(nullptr, m_timer);
        s_current = nullptr;
    }
    QuestionAnswerer(const QuestionAnswerer&) = delete;
    QuestionAnswerer& operator=(const QuestionAnswerer&) = delete;

    int asked() const { return m_nAsked; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        if (s_current != nullptr) s_current->Tick();
    }
    static BOOL CALLBACK FindButton(HWND child, LPARAM lParam)
    {
        auto* self = reinterpret_cast<QuestionAnswerer*>(lParam);
        char text[64] = {};
        ::GetWindowTextA(child, text, sizeof text);
        if (StripAmpersands(text) == (self->m_bYes ? "Yes" : "No")) self->m_hButton = child;
        return TRUE;
    }
    static BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM lParam)
    {
        char cls[32] = {};
        ::GetClassNameA(hwnd, cls, sizeof cls);
        if (std::string(cls) == "#32770") reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
        return TRUE;
    }
    void Tick()
    {
        std::vector<HWND> dialogs;
        ::EnumThreadWindows(::GetCurrentThreadId(), &QuestionAnswerer::CollectDialog,
                            reinterpret_cast<LPARAM>(&dialogs));
        for (HWND box : dialogs) {
            char caption[64] = {};
            ::GetWindowTextA(box, caption, sizeof caption);
            if (!::IsWindowVisible(box) || std::string(caption) != "Warning" || box == m_hAnswered) continue;
            m_hButton = nullptr;
            ::EnumChildWindows(box, &QuestionAnswerer::FindButton, reinterpret_cast<LPARAM>(this));
            if (m_hButton == nullptr) continue;
            ++m_nAsked;
            m_hAnswered = box;
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(m_hButton), BN_CLICKED),
                           reinterpret_cast<LPARAM>(m_hButton));
        }
    }

    static QuestionAnswerer* s_current;
    bool m_bYes;
    UINT_PTR m_timer = 0;
    int m_nAsked = 0;
    HWND m_hAnswered = nullptr;
    HWND m_hButton = nullptr;
};
QuestionAnswerer* QuestionAnswerer::s_current = nullptr;

// Mouse records the controller injects, instead of the system's input.
std::mutex g_injectedMutex;
std::vector<DWORD> g_injected;
UINT RecordInput(const INPUT* input)
{
    std::lock_guard<std::mutex> lock(g_injectedMutex);
    g_injected.push_back(input->mi.dwFlags);
    return 1;
}
std::vector<DWORD> Injected()
{
    std::lock_guard<std::mutex> lock(g_injectedMutex);
    return g_injected;
}

// Writes what the screen shows of window as a 24-bit BMP.
bool SaveWindowPicture(HWND window, const std::string& path)
{
    RECT r = {};
    if (!::GetWindowRect(window, &r)) return false;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    const DWORD stride = static_cast<DWORD>((w * 3 + 3) & ~3);
    const DWORD imageSize = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    bool ok = false;
    const HANDLE out = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ok = ::WriteFile(out, &file, sizeof file, &written, nullptr) &&
             ::WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
             ::WriteFile(out, bits, imageSize, &written, nullptr);
        ::CloseHandle(out);
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

class DriverMouseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.ok());
        DeleteRegistryTree(HKEY_CURRENT_USER, kMouseButtonPositionKey);
        savedTime = ::GetDoubleClickTime();
        savedWidth = ::GetSystemMetrics(SM_CXDOUBLECLK);
        savedHeight = ::GetSystemMetrics(SM_CYDOUBLECLK);
        AppContext& app = App();
        app.instance = ::GetModuleHandleA(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&controls);
        parent = ::CreateWindowExA(0, "STATIC", "Touch device", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                   500, 450, nullptr, nullptr, app.instance, nullptr);
        ASSERT_NE(parent, nullptr);
        {
            std::lock_guard<std::mutex> lock(g_injectedMutex);
            g_injected.clear();
        }
        SetInputInjector(&RecordInput);

        DevSim::Options o;
        o.port = kPort;
        ASSERT_TRUE(sim.Start(o)) << sim.LastError();
        channel = new CommProtocol2(kPort - 1, false);
        ASSERT_TRUE(channel->Open());
        app.channel.store(channel);
        channel->Identify(&app.ident, false);
        app.controllerModel = CtrlModelFromIdent(app.ident);
        app.controller.store(CreateController(app.controllerModel));
        ASSERT_NE(Ctrl(), nullptr);
        channel->SetListener(app.controller.load());
        CloseThreadBoxes();
    }

    void TearDown() override
    {
        AppContext& app = App();
        for (HWND* w : {&driverPage, &mousePage, &app.mouseButtonWindow, &parent}) {
            if (*w != nullptr) ::DestroyWindow(*w);
            *w = nullptr;
        }
        if (channel != nullptr) {
            channel->ClearListener();
            channel->Close();
        }
        DestroyController(app.controller.exchange(nullptr));
        DestroyChannel(app.channel.exchange(nullptr));
        channel = nullptr;
        app.ident = IdentRecord{};
        app.controllerModel = app.lcdModel = -1;
        SetInputInjector(nullptr);
        CloseThreadBoxes();
        sim.Stop();
        // The pages hand the double-click settings to the whole (Wine) system.
        ::SystemParametersInfoA(SPI_SETDOUBLECLICKTIME, savedTime, nullptr, SPIF_UPDATEINIFILE);
        ::SystemParametersInfoA(SPI_SETDOUBLECLKWIDTH, static_cast<UINT>(savedWidth), nullptr,
                                SPIF_UPDATEINIFILE);
        ::SystemParametersInfoA(SPI_SETDOUBLECLKHEIGHT, static_cast<UINT>(savedHeight), nullptr,
                                SPIF_UPDATEINIFILE);
        DeleteRegistryTree(HKEY_CURRENT_USER, kMouseButtonPositionKey);
    }

    static ZmrCtrlVirt* Ctrl() { return dynamic_cast<ZmrCtrlVirt*>(App().controller.load()); }

    void OpenDriverPage()
    {
        driverPage = CreateDriverPage(parent);
        ASSERT_NE(driverPage, nullptr);
        ::ShowWindow(driverPage, SW_SHOW);
    }
    void OpenMousePage()
    {
        mousePage = CreateMousePage(parent);
        ASSERT_NE(mousePage, nullptr);
        ::ShowWindow(mousePage, SW_SHOW);
    }

    static LRESULT Page(HWND page, WORD command)
    {
        return ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
    LRESULT TouchModeSelection() const
    {
        return ::SendDlgItemMessageA(driverPage, IDC_TOUCH_MODE, CB_GETCURSEL, 0, 0);
    }
    // The user picks item index from the open list.
    void PickTouchMode(int index)
    {
        const HWND combo = ::GetDlgItem(driverPage, IDC_TOUCH_MODE);
        ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageA(driverPage, WM_COMMAND, MAKEWPARAM(IDC_TOUCH_MODE, CBN_SELENDOK),
                       reinterpret_cast<LPARAM>(combo));
    }
    // An arrow key on the closed combo.
    void PressKeyOnTouchMode(WPARAM key)
    {
        const HWND combo = ::GetDlgItem(driverPage, IDC_TOUCH_MODE);
        ::SetFocus(combo);
        ::SendMessageA(combo, WM_KEYDOWN, key, 1);
        ::SendMessageA(combo, WM_KEYUP, key, 0xC0000001);
    }
    std::string Text(HWND dialog, int id) const { return DlgItemText(dialog, id); }
    static size_t Count(const std::vector<EventRecorder::Event>& events, uint32_t id, const char* insert)
    {
        return static_cast<size_t>(std::count_if(
            events.begin(), events.end(), [&](const auto& e) { return e.id == id && e.insert == insert; }));
    }

    RegistrySandbox sandbox;
    DevSim sim;
    CommProtocol2* channel = nullptr;
    HWND parent = nullptr;
    HWND driverPage = nullptr;
    HWND mousePage = nullptr;
    UINT savedTime = 0;
    int savedWidth = 0, savedHeight = 0;
};

TEST_F(DriverMouseTest, TouchModeYesLogsAtOnceAndTakesEffectOnlyOnStore)
{
    Ctrl()->TouchMode = kTouchModeContinuous;
    ASSERT_NO_FATAL_FAILURE(OpenDriverPage());
    EventRecorder events;
    {
        QuestionAnswerer yes(true);
        PickTouchMode(0); // the stored mode: nothing to ask
        EXPECT_EQ(yes.asked(), 0);
        PickTouchMode(2);
        EXPECT_EQ(yes.asked(), 1);
        // The same choice notified again (the list's own end of selection)
        // is not a second question.
        ::SendMessageA(driverPage, WM_COMMAND, MAKEWPARAM(IDC_TOUCH_MODE, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(::GetDlgItem(driverPage, IDC_TOUCH_MODE)));
        EXPECT_EQ(yes.asked(), 1);
    }
    EXPECT_EQ(TouchModeSelection(), 2);
    EXPECT_EQ(Ctrl()->TouchMode, kTouchModeContinuous);
    EXPECT_EQ(Count(events.Events(), MSG_USER_CHANGED_TOUCH_MODE, "DOWN_UP"), 1u);

    // Cancel reloads: the stored mode comes back, the entry stays.
    Page(driverPage, CMD_PAGE_RELOAD);
    EXPECT_EQ(TouchModeSelection(), 0);
    EXPECT_EQ(Count(events.Events(), MSG_USER_CHANGED_TOUCH_MODE, "DOWN_UP"), 1u);

    {
        QuestionAnswerer yes(true);
        PickTouchMode(3);
        EXPECT_EQ(yes.asked(), 1);
    }
    Page(driverPage, CMD_PAGE_STORE);
    EXPECT_EQ(Ctrl()->TouchMode, kTouchModeUp);
    EXPECT_EQ(Count(events.Events(), MSG_USER_CHANGED_TOUCH_MODE, "UP"), 1u);
}

TEST_F(DriverMouseTest, TouchModeNoReturnsToTheStoredModeWithoutAnEntry)
{
    Ctrl()->TouchMode = kTouchModeDown;
    ASSERT_NO_FATAL_FAILURE(OpenDriverPage());
    EventRecorder events;
    {
        QuestionAnswerer no(false);
        PickTouchMode(3);
        EXPECT_EQ(no.asked(), 1);
    }
    EXPECT_EQ(TouchModeSelection(), 1);
    EXPECT_TRUE(events.Events().empty());
    Page(driverPage, CMD_PAGE_STORE);
    EXPECT_EQ(Ctrl()->TouchMode, kTouchModeDown);
}

TEST_F(DriverMouseTest, TouchModeChangedByArrowKeysOnTheClosedComboIsAskedToo)
{
    Ctrl()->TouchMode = kTouchModeContinuous;
    ASSERT_NO_FATAL_FAILURE(OpenDriverPage());
    EventRecorder events;
    {
        QuestionAnswerer no(false);
        PressKeyOnTouchMode(VK_DOWN);
        PumpMessages();
        EXPECT_EQ(no.asked(), 1);
    }
    EXPECT_EQ(TouchModeSelection(), 0);
    {
        QuestionAnswerer yes(true);
        PressKeyOnTouchMode(VK_DOWN);
        PumpMessages();
        EXPECT_EQ(yes.asked(), 1);
    }
    EXPECT_EQ(TouchModeSelection(), 1);
    EXPECT_EQ(Count(events.Events(), MSG_USER_CHANGED_TOUCH_MODE, "DOWN"), 1u);
    EXPECT_EQ(events.Events().size(), 1u);
}

TEST_F(DriverMouseTest, CombosSelectByIndexAndNoSelectionKeepsTheValue)
{
    ZmrCtrlVirt* ctrl = Ctrl();
    ctrl->TouchMode = kTouchModeDownUp;
    ASSERT_NO_FATAL_FAILURE(OpenDriverPage());
    const HWND rotate = ::GetDlgItem(driverPage, IDC_ROTATE);
    for (int32_t value : {0, 1, 2, 3, 4, -1}) {
        ctrl->Rotate = value;
        ctrl->SwapXY = value == 1 ? 1 : 0;
        Page(driverPage, CMD_ROTATION_CHANGED);
        EXPECT_EQ(::SendMessageA(rotate, CB_GETCURSEL, 0, 0), value >= 0 && value <= 3 ? value : CB_ERR)
            << value;
        EXPECT_EQ(::IsDlgButtonChecked(driverPage, IDC_SWAP_XY), value == 1 ? BST_CHECKED : BST_UNCHECKED);
    }
    ctrl->Rotate = 1;
    Page(driverPage, CMD_ROTATION_CHANGED);
    char item[16] = {};
    ::GetWindowTextA(rotate, item, sizeof item);
    EXPECT_STREQ(item, "90");

    ::SendDlgItemMessageA(driverPage, IDC_TOUCH_MODE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    Page(driverPage, CMD_PAGE_STORE);
    EXPECT_EQ(ctrl->TouchMode, kTouchModeDownUp);
    // Rotate and SwapXY belong to calibration: storing leaves them.
    EXPECT_EQ(ctrl->Rotate, 1);
}

// "Right click by holding:" shows the stored choice (off for any other
// value) and stores the one picked, in ms.
TEST_F(DriverMouseTest, HoldChoiceIsShownAndStored)
{
    ASSERT_NO_FATAL_FAILURE(OpenMousePage());
    const HWND hold = ::GetDlgItem(mousePage, IDC_HOLD_RIGHT_CLICK);
    const std::pair<int32_t, const char*> cases[] = {{0, "off"}, {500, "0.5 s"}, {2000, "2 s"}, {750, "off"}};
    for (const auto& [stored, text] : cases) {
        Ctrl()->HoldRightClick = stored;
        Page(mousePage, CMD_PAGE_RELOAD);
        char item[16] = {};
        ::GetWindowTextA(hold, item, sizeof item);
        EXPECT_STREQ(item, text) << stored;
    }
    ::SendMessageA(hold, CB_SETCURSEL, 2, 0);
    Page(mousePage, CMD_PAGE_STORE);
    EXPECT_EQ(Ctrl()->HoldRightClick, 1000);
}

TEST_F(DriverMouseTest, DoubleClickSlidersSnapAndTheSystemGetsClampedValues)
{
    ZmrCtrlVirt* ctrl = Ctrl();
    ctrl->DoubleClickSize = 100000; // out of its range: clamped before it reaches the system
    ctrl->DoubleClickTime = 800;
    ctrl->UseLogEvent = 0;
    ctrl->m_bShowCommInfo = 1;
    ASSERT_NO_FATAL_FAILURE(OpenDriverPage());
    EXPECT_EQ(::GetSystemMetrics(SM_CXDOUBLECLK), 305);
    EXPECT_EQ(::GetSystemMetrics(SM_CYDOUBLECLK), 305);
    EXPECT_EQ(::GetDoubleClickTime(), 800u);
    EXPECT_EQ(Text(driverPage, IDC_DBLCLK_SIZE_LABEL), "305");
    EXPECT_EQ(Text(driverPage, IDC_DBLCLK_TIME_LABEL), "800 [ms]");
    EXPECT_EQ(::IsDlgButtonChecked(driverPage, IDC_USE_LOG_EVENT), BST_UNCHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(driverPage, IDC_SHOW_COMM_INFO), BST_CHECKED);

    const HWND time = ::GetDlgItem(driverPage, IDC_DBLCLK_TIME);
    const HWND size = ::GetDlgItem(driverPage, IDC_DBLCLK_SIZE);
    struct Drag {
        HWND slider;
        int position;
        int snapped;
        const char* label;
    } const drags[] = {{time, 1449, 1400, "1400 [ms]"},
                       {time, 1450, 1500, "1500 [ms]"},
                       {size, 5, 5, "5"},
                       {size, 130, 140, "140"}};
    for (const Drag& d : drags) {
        ::SendMessageA(driverPage, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, d.position),
                       reinterpret_cast<LPARAM>(d.slider));
        EXPECT_EQ(::SendMessageA(d.slider, TBM_GETPOS, 0, 0), d.snapped) << d.position;
        EXPECT_EQ(Text(driverPage, ::GetDlgCtrlID(d.slider) == IDC_DBLCLK_TIME ? IDC_DBLCLK_TIME_LABEL
                                                                               : IDC_DBLCLK_SIZE_LABEL),
                  d.label);
    }
    ::CheckDlgButton(driverPage, IDC_USE_LOG_EVENT, BST_CHECKED);
    Page(driverPage, CMD_PAGE_STORE);
    EXPECT_EQ(ctrl->DoubleClickSize, 140);
    EXPECT_EQ(ctrl->DoubleClickTime, 1500);
    EXPECT_EQ(ctrl->UseLogEvent, 1);
    EXPECT_EQ(::GetSystemMetrics(SM_CXDOUBLECLK), 140);
    EXPECT_EQ(::GetDoubleClickTime(), 1500u);
}

TEST_F(DriverMouseTest, MouseButtonIsAskedForByAnyButtonAndBySpace)
{
    ZmrCtrlVirt* ctrl = Ctrl();
    ctrl->MouseButton = kMouseButtonLeft;
    ctrl->AssignedMouseButton = kAssignedButtonMiddle;
    ASSERT_NO_FATAL_FAILURE(OpenMousePage());
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_LEFT), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_WINDOW_MIDDLE), BST_CHECKED);
    EventRecorder events;
    const HWND right = ::GetDlgItem(mousePage, IDC_BUTTON_RIGHT);
    const HWND middle = ::GetDlgItem(mousePage, IDC_BUTTON_MIDDLE);
    {
        QuestionAnswerer no(false);
        ::SendMessageA(right, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(no.asked(), 1);
        ::SendMessageA(right, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        ::SendMessageA(right, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(no.asked(), 2);
    }
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_LEFT), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_RIGHT), BST_UNCHECKED);
    EXPECT_TRUE(events.Events().empty());
    {
        // Space on a focused radio clicks it without any mouse release.
        QuestionAnswerer yes(true);
        ::SetFocus(middle);
        PumpMessages();
        ::SendMessageA(middle, WM_KEYDOWN, VK_SPACE, 1);
        ::SendMessageA(middle, WM_KEYUP, VK_SPACE, 0xC0000001);
        PumpMessages();
        EXPECT_EQ(yes.asked(), 1);
    }
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_MIDDLE), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_LEFT), BST_UNCHECKED);
    EXPECT_EQ(Count(events.Events(), MSG_USER_CHANGED_MOUSE_BUTTON, "MIDDLE"), 1u);
    EXPECT_EQ(ctrl->MouseButton, kMouseButtonLeft); // until OK or Apply

    ::CheckDlgButton(mousePage, IDC_WINDOW_MIDDLE, BST_UNCHECKED);
    ::CheckDlgButton(mousePage, IDC_WINDOW_LEFT, BST_CHECKED);
    Page(mousePage, CMD_PAGE_STORE);
    EXPECT_EQ(ctrl->MouseButton, kMouseButtonMiddle);
    EXPECT_EQ(ctrl->AssignedMouseButton, kAssignedButtonLeft);
    Page(mousePage, CMD_PAGE_RELOAD);
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_MIDDLE), BST_CHECKED);
}

// Windows reports a click (BN_CLICKED) when an unchecked radio merely
// receives the focus (Tab, arrow keys, a window handing its focus on):
// nobody chose anything. Wine sends none, so the case sends it as Windows
// does, after moving the focus.
TEST_F(DriverMouseTest, MouseButtonIsNotAskedForWhenARadioOnlyGetsTheFocus)
{
    ZmrCtrlVirt* ctrl = Ctrl();
    ctrl->MouseButton = kMouseButtonLeft;
    ASSERT_NO_FATAL_FAILURE(OpenMousePage());
    QuestionAnswerer no(false);
    for (const int id : {IDC_BUTTON_RIGHT, IDC_BUTTON_MIDDLE, IDC_BUTTON_LEFT, IDC_BUTTON_RIGHT}) {
        SCOPED_TRACE(id);
        const HWND radio = ::GetDlgItem(mousePage, id);
        ::SendMessageA(mousePage, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(radio), TRUE);
        ::SendMessageA(mousePage, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(radio));
        PumpMessages();
        EXPECT_EQ(::GetFocus(), radio);
    }
    EXPECT_EQ(no.asked(), 0);
    // The user's own choice on the focused radio still asks.
    const HWND right = ::GetDlgItem(mousePage, IDC_BUTTON_RIGHT);
    ::SendMessageA(right, WM_KEYDOWN, VK_SPACE, 1);
    ::SendMessageA(right, WM_KEYUP, VK_SPACE, 0xC0000001);
    PumpMessages();
    EXPECT_EQ(no.asked(), 1);
    EXPECT_EQ(::IsDlgButtonChecked(mousePage, IDC_BUTTON_LEFT), BST_CHECKED);
}

TEST_F(DriverMouseTest, MouseButtonWindowShowsTheOneShotUntilTheTouchIsReleased)
{
    ZmrCtrlVirt* ctrl = Ctrl();
    ctrl->MouseButton = kMouseButtonLeft;
    ctrl->AssignedMouseButton = kAssignedButtonRight;
    ctrl->TouchMode = kTouchModeContinuous;
    AppContext& app = App();
    app.mouseButtonWindow = CreateMouseButtonWindow(parent);
    ASSERT_NE(app.mouseButtonWindow, nullptr);
    const HWND button = ::GetDlgItem(app.mouseButtonWindow, IDC_MOUSE_BUTTON);
    EXPECT_EQ(Text(app.mouseButtonWindow, IDC_MOUSE_BUTTON), "L");

    ::SendMessageA(button, BM_CLICK, 0, 0);
    PumpMessages();
    EXPECT_EQ(Text(app.mouseButtonWindow, IDC_MOUSE_BUTTON), "R");
    EXPECT_EQ(ctrl->m_bAssignedArmed, 1);

    ASSERT_TRUE(sim.Command("touch 2048 2048"));
    ASSERT_TRUE(sim.Command("release"));
    PumpUntil([&] { return Text(app.mouseButtonWindow, IDC_MOUSE_BUTTON) == "L"; }, 3000);
    EXPECT_EQ(Text(app.mouseButtonWindow, IDC_MOUSE_BUTTON), "L");
    EXPECT_EQ(ctrl->m_bAssignedArmed, 0);
    const std::vector<DWORD> injected = Injected();
    const auto has = [&](DWORD flag) {
        return std::any_of(injected.begin(), injected.end(), [flag](DWORD f) { return (f & flag) != 0; });
    };
    EXPECT_TRUE(has(MOUSEEVENTF_RIGHTDOWN));
    EXPECT_TRUE(has(MOUSEEVENTF_RIGHTUP));
    EXPECT_FALSE(has(MOUSEEVENTF_LEFTDOWN));

    // A stored MouseButton out of range shows "?", not a stray letter.
    ctrl->MouseButton = 1003;
    ::SendMessageA(app.mouseButtonWindow, WM_COMMAND, MAKEWPARAM(CMD_MOUSE_BUTTON_CHANGED, 0), 0);
    EXPECT_EQ(Text(app.mouseButtonWindow, IDC_MOUSE_BUTTON), "?");
}

TEST_F(DriverMouseTest, MouseButtonWindowPositionIsUsedOnlyWhenItsCaptionIsOnTheScreen)
{
    AppContext& app = App();
    const auto place = [&](DWORD x, DWORD y) {
        if (app.mouseButtonWindow != nullptr) ::DestroyWindow(app.mouseButtonWindow);
        const UniqueRegKey key = CreateKeyForWrite(HKEY_CURRENT_USER, kMouseButtonPositionKey);
        SetDword(key.get(), "x", static_cast<int32_t>(x));
        SetDword(key.get(), "y", static_cast<int32_t>(y));
        app.mouseButtonWindow = CreateMouseButtonWindow(parent);
        RECT r = {};
        ::GetWindowRect(app.mouseButtonWindow, &r);
        return std::make_pair(static_cast<int>(r.left), static_cast<int>(r.top));
    };
    const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    EXPECT_EQ(place(200, 150), std::make_pair(200, 150));
    EXPECT_EQ(place(static_cast<DWORD>(width + 10), 150), std::make_pair(10, 10));
    EXPECT_EQ(place(static_cast<DWORD>(-32000), static_cast<DWORD>(-32000)), std::make_pair(10, 10));
    EXPECT_EQ(place(static_cast<DWORD>(width - 5), 150), std::make_pair(10, 10)); // caption cut off

    // A move is stored; minimising is not.
    ::SetWindowPos(app.mouseButtonWindow, nullptr, 300, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(app.mouseButtonWindow, SW_MINIMIZE);
    PumpMessages();
    const UniqueRegKey key = OpenKeyForRead(HKEY_CURRENT_USER, kMouseButtonPositionKey);
    int32_t x = 0, y = 0;
    ASSERT_TRUE(QueryDword(key.get(), "x", &x) && QueryDword(key.get(), "y", &y));
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 250);
}

// The picture of the "MB" window for the documentation, taken only when
// TP_SCREENSHOT_DIR names a (Windows) directory. The two pages are pictured
// inside the settings window by the Hardware and About cases.
TEST_F(DriverMouseTest, Pictures)
{
    char dir[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("TP_SCREENSHOT_DIR", dir, sizeof dir) == 0)
        GTEST_SKIP() << "no TP_SCREENSHOT_DIR";
    ASSERT_NO_FATAL_FAILURE(OpenMousePage());
    Ctrl()->AssignedMouseButton = kAssignedButtonRight;
    App().mouseButtonWindow = CreateMouseButtonWindow(parent);
    ::SetWindowPos(App().mouseButtonWindow, HWND_TOPMOST, 700, 100, 0, 0, SWP_NOSIZE);
    ::SendMessageA(::GetDlgItem(App().mouseButtonWindow, IDC_MOUSE_BUTTON), BM_CLICK, 0, 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(SaveWindowPicture(App().mouseButtonWindow, std::string(dir) + "\\mouse-button-window.bmp"));
}

} // namespace
