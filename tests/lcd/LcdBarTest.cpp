// The LCD setting bars on the real templates, each model's bar driving its
// display on the simulated device: the bytes a press puts on the wire,
// holding and letting go, the brightness limits, Minimize/Maximize and the
// stored positions.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "LcdTestSupport.h"
#include "channel/CommProtocol2.h"
#include "lcd/LcdBar.h"
#include "resources/resource.h"
#include "support/DevSim.h"
#include "support/ScreenCapture.h"

namespace {

constexpr int kComNumber = 6;

std::string PositionKey(const char* sub)
{
    return std::string(kRegistryRoot) + "\\" + sub;
}

void ClearPositions()
{
    for (const char* sub : {"Type1", "Type2", "Type3", "MiniLcd"})
        DeleteRegistryTree(HKEY_CURRENT_USER, PositionKey(sub));
}

void SetPosition(const char* sub, DWORD x, DWORD y)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, PositionKey(sub).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr);
    ::RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&x), sizeof x);
    ::RegSetValueExA(key, "y", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&y), sizeof y);
    ::RegCloseKey(key);
}

bool GetPosition(const char* sub, int* x, int* y)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, PositionKey(sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD vx = 0, vy = 0, size = sizeof vx;
    bool ok =
        ::RegQueryValueExA(key, "x", nullptr, nullptr, reinterpret_cast<BYTE*>(&vx), &size) == ERROR_SUCCESS;
    size = sizeof vy;
    ok = ok &&
         ::RegQueryValueExA(key, "y", nullptr, nullptr, reinterpret_cast<BYTE*>(&vy), &size) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    *x = static_cast<int>(vx);
    *y = static_cast<int>(vy);
    return ok;
}

// Runs this thread's messages for about ms milliseconds.
void Pump(int ms)
{
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    } while (static_cast<int>(::GetTickCount() - end) < 0);
}

std::vector<Bytes> Port(std::initializer_list<uint8_t> codes)
{
    std::vector<Bytes> out;
    for (uint8_t c : codes)
        out.push_back({0x86, c});
    return out;
}

int g_trayRequests = 0;
bool CountTrayRequest()
{
    ++g_trayRequests;
    return true;
}

class LcdBars : public LcdOnDeviceFixture {
protected:
    void SetUp() override
    {
        ClearLcdRegistry();
        ClearControllerRegistry();
        ClearPositions();
        App().instance = ::GetModuleHandleA(nullptr);
        App().embedded = false;
        g_trayRequests = 0;
        SetLcdBarTrayIconRequest(&CountTrayRequest);
    }
    void TearDown() override
    {
        for (HWND* w : {&App().lcdBar, &App().miniLcdBar}) {
            if (*w != nullptr) ::DestroyWindow(*w);
            *w = nullptr;
        }
        SetLcdBarTrayIconRequest(nullptr);
        App().lcdModel = -1;
        LcdOnDeviceFixture::TearDown();
        ClearPositions();
    }

    // The device, a controller of the model, the LCD and its bar (hidden,
    // as at start-up).
    template <typename Model> void Start(int lcdType, const DevSim::Options& base = DevSim::Options{})
    {
        ASSERT_NO_FATAL_FAILURE(Join<Model>(kComNumber, lcdType, base));
        App().controller = ctrl.get();
        App().lcd = lcd.get();
        App().lcdModel = lcdType;
        CreateLcdBar(&App().lcdBar);
        ASSERT_NE(App().lcdBar, nullptr);
        sim.ClearReceived();
    }

    HWND Button(int id) const { return ::GetDlgItem(App().lcdBar, id); }
    void Press(int id) { ::SendMessageA(Button(id), BM_SETSTATE, TRUE, 0); }
    void Let(int id) { ::SendMessageA(Button(id), BM_SETSTATE, FALSE, 0); }
    void Tap(int id, int settleMs = 300)
    {
        Press(id);
        Let(id);
        Pump(settleMs);
    }
    std::string Brightness() const
    {
        char text[32] = {};
        ::GetDlgItemTextA(App().lcdBar, IDC_LCD_BRIGHTNESS, text, sizeof text);
        return text;
    }
};

TEST_F(LcdBars, Type1KeysPutTheirCodesOnTheWire)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(0));
    Tap(IDC_LCD_LEFT);
    EXPECT_EQ(sim.Received(), Port({0xF7, 0xF3, 0xFB, 0xFF}));
    sim.ClearReceived();
    Tap(IDC_LCD_RIGHT);
    EXPECT_EQ(sim.Received(), Port({0xFB, 0xF3, 0xF7, 0xFF}));
    sim.ClearReceived();
    ::SendMessageA(App().lcdBar, WM_COMMAND, MAKEWPARAM(IDC_LCD_SELECT, BN_CLICKED), 0);
    ::SendMessageA(App().lcdBar, WM_COMMAND, MAKEWPARAM(IDC_LCD_AUTO, BN_CLICKED), 0);
    EXPECT_EQ(sim.Received(), Port({0xFF, 0xFD, 0xFF, 0xFE}));
    // A plain click on an arrow is no step: only the repeat notification is.
    sim.ClearReceived();
    ::SendMessageA(App().lcdBar, WM_COMMAND, MAKEWPARAM(IDC_LCD_LEFT, BN_CLICKED), 0);
    EXPECT_TRUE(sim.Received().empty());
}

TEST_F(LcdBars, Type1HeldKeyRepeatsUntilLetGo)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR02Ctrl>(0));
    Press(IDC_LCD_LEFT);
    Pump(1000);
    Let(IDC_LCD_LEFT);
    Pump(100);
    const std::vector<Bytes> held = sim.Received();
    ASSERT_EQ(held.size() % 4, 0u);
    EXPECT_GE(held.size() / 4, 2u) << "a held key repeats";
    for (size_t i = 0; i < held.size(); i += 4)
        EXPECT_EQ(std::vector<Bytes>(held.begin() + i, held.begin() + i + 4), Port({0xF7, 0xF3, 0xFB, 0xFF}));
    Pump(700);
    EXPECT_EQ(sim.Received().size(), held.size()) << "nothing after the release";
}

TEST_F(LcdBars, HeldKeyStopsWhenFocusGoesOrTheBarIsHidden)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(0));
    ::ShowWindow(App().lcdBar, SW_SHOW);
    for (int way = 0; way < 2; ++way) {
        sim.ClearReceived();
        Press(IDC_LCD_RIGHT);
        Pump(50);
        if (way == 0) {
            ::SendMessageA(Button(IDC_LCD_RIGHT), WM_KILLFOCUS, 0, 0);
        } else {
            ::ShowWindow(App().lcdBar, SW_HIDE);
        }
        Pump(100);
        const size_t count = sim.Received().size();
        Pump(800);
        EXPECT_EQ(sim.Received().size(), count) << (way == 0 ? "focus lost" : "bar hidden");
        ::ShowWindow(App().lcdBar, SW_SHOW);
    }
}

TEST_F(LcdBars, SilentDeviceStopsTheRepeat)
{
    DevSim::Options options;
    options.silent = {0x86};
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(0, options));
    Press(IDC_LCD_LEFT);
    Pump(2500);
    Let(IDC_LCD_LEFT);
    Pump(100);
    // One step: its first code sent three times without answer, then the
    // repeat gives up although the key is still held.
    EXPECT_EQ(sim.Received(), Port({0xF7, 0xF7, 0xF7}));
}

TEST_F(LcdBars, Type3HoldSendsRepeatedCodesThenExactlyOneRelease)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR04Ctrl>(2));
    Press(IDC_LCD_LEFT);
    Pump(600);
    Let(IDC_LCD_LEFT);
    Pump(400);
    const std::vector<Bytes> got = sim.Received();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got.back(), (Bytes{0x86, 0xFF}));
    for (size_t i = 0; i + 1 < got.size(); ++i)
        EXPECT_EQ(got[i], (Bytes{0x86, 0xD7})) << i;

    // A tap: one code, then the release once the hold time has passed.
    sim.ClearReceived();
    Tap(IDC_LCD_UP, 500);
    EXPECT_EQ(sim.Received(), Port({0x5F, 0xFF}));

    // A press cut short by the focus going elsewhere still ends with one
    // release, and no more codes.
    sim.ClearReceived();
    Press(IDC_LCD_DOWN);
    Pump(300);
    ::SendMessageA(Button(IDC_LCD_DOWN), WM_KILLFOCUS, 0, 0);
    Pump(400);
    const std::vector<Bytes> cut = sim.Received();
    ASSERT_GE(cut.size(), 2u);
    EXPECT_EQ(cut.back(), (Bytes{0x86, 0xFF}));
    EXPECT_EQ(std::count(cut.begin(), cut.end(), Bytes{0x86, 0xFF}), 1);
    Let(IDC_LCD_DOWN);
    Pump(300);
    EXPECT_EQ(sim.Received().size(), cut.size());

    sim.ClearReceived();
    ::SendMessageA(App().lcdBar, WM_COMMAND, MAKEWPARAM(IDC_LCD_SELECT, BN_CLICKED), 0);
    EXPECT_EQ(sim.Received(), Port({0xDD, 0xFF}));
}

TEST_F(LcdBars, Type2BrightnessClampsAtItsLimits)
{
    SetLcdDword("Brightness", 7);
    SetLcdDword("MinBrightness", 1);
    SetLcdDword("MaxBrightness", 255);
    ASSERT_NO_FATAL_FAILURE(Start<ZMR03Ctrl>(1));
    EXPECT_EQ(Brightness(), "7");
    for (int i = 0; i < 3; ++i)
        Tap(IDC_LCD_LEFT, 50);
    EXPECT_EQ(sim.Received(), (std::vector<Bytes>{{0x8C, 2}, {0x8C, 1}, {0x8C, 1}}));
    EXPECT_EQ(Brightness(), "1");

    static_cast<LcdType2&>(*lcd).Brightness = 248;
    sim.ClearReceived();
    for (int i = 0; i < 3; ++i)
        Tap(IDC_LCD_RIGHT, 50);
    EXPECT_EQ(sim.Received(), (std::vector<Bytes>{{0x8C, 253}, {0x8C, 255}, {0x8C, 255}}));
    EXPECT_EQ(Brightness(), "255");

    // Store writes the value; the refresh command shows the one in memory.
    ::SendMessageA(App().lcdBar, WM_COMMAND, MAKEWPARAM(IDC_LCD_STORE, BN_CLICKED), 0);
    DWORD stored = 0;
    EXPECT_TRUE(GetLcdDword("Brightness", &stored));
    EXPECT_EQ(stored, 255u);
    static_cast<LcdType2&>(*lcd).Brightness = 50;
    ::SendMessageA(App().lcdBar, WM_COMMAND, MAKEWPARAM(CMD_LCD_BAR_REFRESH, 0), 0);
    EXPECT_EQ(Brightness(), "50");
}

TEST_F(LcdBars, MinimizeAndMaximizeSwapTheBars)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(0));
    CreateMiniLcdBar(&App().miniLcdBar);
    ASSERT_NE(App().miniLcdBar, nullptr);
    const HWND bar = App().lcdBar;
    const HWND mini = App().miniLcdBar;
    EXPECT_FALSE(::IsWindowVisible(bar));
    EXPECT_TRUE(::IsWindowVisible(mini));

    ::SendMessageA(mini, WM_COMMAND, MAKEWPARAM(IDC_MAXIMIZE, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindowVisible(bar));
    EXPECT_FALSE(::IsWindowVisible(mini));
    EXPECT_EQ(g_trayRequests, 1);

    ::SendMessageA(bar, WM_COMMAND, MAKEWPARAM(IDC_LCD_MINIMIZE, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(bar));
    EXPECT_TRUE(::IsWindowVisible(mini));

    // Escape minimises too; on an embedded system Maximize leaves the tray
    // alone.
    App().embedded = true;
    ::SendMessageA(mini, WM_COMMAND, MAKEWPARAM(IDC_MAXIMIZE, BN_CLICKED), 0);
    ::SendMessageA(bar, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_FALSE(::IsWindowVisible(bar));
    EXPECT_TRUE(::IsWindowVisible(mini));
    EXPECT_EQ(g_trayRequests, 1);

    // A new model's bar keeps the visibility of the old one.
    ::SendMessageA(mini, WM_COMMAND, MAKEWPARAM(IDC_MAXIMIZE, BN_CLICKED), 0);
    App().lcdModel = 2;
    CreateLcdBar(&App().lcdBar);
    EXPECT_TRUE(::IsWindowVisible(App().lcdBar));
    EXPECT_NE(::GetDlgItem(App().lcdBar, IDC_LCD_UP), nullptr);
}

TEST_F(LcdBars, StoredPositionsAreUsedOnlyWhenTheCaptionIsOnScreen)
{
    const int fullWidth = ::GetSystemMetrics(SM_CXFULLSCREEN);
    const int fullHeight = ::GetSystemMetrics(SM_CYFULLSCREEN);
    struct Case {
        DWORD x, y;
        bool kept;
    };
    const Case cases[] = {
        {100, 120, true},
        {5000, 100, false},                    // off the right edge
        {static_cast<DWORD>(-20), 100, false}, // caption partly off the left edge
        {100, static_cast<DWORD>(-5), false},  // caption above the screen
    };
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(0));
    for (const Case& c : cases) {
        SetPosition("Type1", c.x, c.y);
        CreateLcdBar(&App().lcdBar);
        RECT r = {};
        ::GetWindowRect(App().lcdBar, &r);
        int x = 0, y = 0;
        ASSERT_TRUE(GetPosition("Type1", &x, &y));
        if (c.kept) {
            EXPECT_EQ(r.left, static_cast<int>(c.x));
            EXPECT_EQ(r.top, static_cast<int>(c.y));
        } else {
            EXPECT_EQ(r.left, fullWidth - (r.right - r.left)) << static_cast<int>(c.x);
            EXPECT_EQ(r.top, fullHeight - (r.bottom - r.top)) << static_cast<int>(c.y);
        }
        // Whatever was taken is what is stored now.
        EXPECT_EQ(x, r.left);
        EXPECT_EQ(y, r.top);
    }

    // Moving stores the place; minimising does not.
    ::ShowWindow(App().lcdBar, SW_SHOWNOACTIVATE);
    ::SetWindowPos(App().lcdBar, nullptr, 200, 210, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    int x = 0, y = 0;
    ASSERT_TRUE(GetPosition("Type1", &x, &y));
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 210);
    ::ShowWindow(App().lcdBar, SW_MINIMIZE);
    Pump(100);
    ASSERT_TRUE(GetPosition("Type1", &x, &y));
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 210);

    // The mini bar has a key of its own.
    SetPosition("MiniLcd", 300, 40);
    CreateMiniLcdBar(&App().miniLcdBar);
    RECT r = {};
    ::GetWindowRect(App().miniLcdBar, &r);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, 40);
}

TEST_F(LcdBars, TopmostFollowsLcdTopMost)
{
    ASSERT_NO_FATAL_FAILURE(Start<ZMR01Ctrl>(0));
    auto isTopmost = [] { return (::GetWindowLongPtrA(App().lcdBar, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    EXPECT_FALSE(isTopmost());
    ctrl->LcdTopMost = 1;
    CreateLcdBar(&App().lcdBar);
    EXPECT_TRUE(isTopmost());
    ctrl->LcdTopMost = 0;
    ApplyLcdBarTopMost();
    EXPECT_FALSE(isTopmost());
}

// Pictures of the three bars and the mini bar for the documentation; only
// with TP_SCREENSHOT_DIR set.
TEST_F(LcdBars, Screenshots)
{
    const std::string dir = ScreenshotDirectory();
    if (dir.empty()) GTEST_SKIP() << "TP_SCREENSHOT_DIR not set";
    auto shoot = [&](HWND window, const char* name) {
        ::SetWindowPos(window, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        ::UpdateWindow(window);
        Pump(300);
        EXPECT_TRUE(CaptureWindowToBmp(window, dir + "/" + name)) << name;
        ::ShowWindow(window, SW_HIDE);
    };
    ASSERT_NO_FATAL_FAILURE(Start<ZMR04Ctrl>(2));
    shoot(App().lcdBar, "lcd-bar-type3.bmp");
    CreateMiniLcdBar(&App().miniLcdBar);
    shoot(App().miniLcdBar, "lcd-mini-bar.bmp");
    App().lcdModel = 0;
    CreateLcdBar(&App().lcdBar);
    shoot(App().lcdBar, "lcd-bar-type1.bmp");
    // The brightness bar needs its display object for the value it shows.
    lcd->DetachController();
    lcd = MakeLcd(1, ctrl.get());
    App().lcd = lcd.get();
    App().lcdModel = 1;
    CreateLcdBar(&App().lcdBar);
    shoot(App().lcdBar, "lcd-bar-type2.bmp");
}

} // namespace
