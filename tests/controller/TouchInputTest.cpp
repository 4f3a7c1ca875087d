// Touch reports turned into injected mouse input by the controller: the
// records and their order, the notifications, bounded retries of a refused
// injection, the release of a touch still down when the controller goes,
// and the real injection path under the window system.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "ControllerTestSupport.h"
#include "FakeChannel.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

struct Recorded {
    LONG dx, dy;
    DWORD flags;
};

std::mutex g_mutex;
std::vector<Recorded> g_records;
int g_calls = 0;
bool g_refuse = false;

UINT Record(const INPUT* input)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_calls;
    if (g_refuse) return 0;
    g_records.push_back({input->mi.dx, input->mi.dy, input->mi.dwFlags});
    return 1;
}

class TouchInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearControllerRegistry();
        g_records.clear();
        g_calls = 0;
        g_refuse = false;
        SetInputInjector(&Record);
        App().ident = IdentRecord{2, 1, 30};
        App().restartPending = 0;
        ctrl = std::make_unique<ZMR01Ctrl>();
        CloseThreadBoxes();
        ctrl->m_Calibration.LineDirX = ctrl->m_Calibration.LineDirY = 0;
        ctrl->m_Calibration.LineShiftX = ctrl->m_Calibration.LineShiftY = 0;
    }
    void TearDown() override
    {
        ctrl.reset();
        SetInputInjector(nullptr);
        App().messageWindow = nullptr;
        App().mouseButtonWindow = nullptr;
        App().ident = IdentRecord{};
        ClearControllerRegistry();
    }
    int Touch(uint8_t b1, uint8_t b2, uint8_t b3)
    {
        const uint8_t p[4] = {0x90, b1, b2, b3};
        return ctrl->OnReceive(p, 4);
    }
    int Release()
    {
        const uint8_t p[1] = {0x91};
        return ctrl->OnReceive(p, 1);
    }
    std::unique_ptr<ZMR01Ctrl> ctrl;
};

constexpr DWORD kMoveAbs = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;

TEST_F(TouchInput, ContinuousModeClickAndDragInjectFourRecords)
{
    Touch(0x00, 0x00, 0x22); // 512, 512
    Touch(0x00, 0x00, 0x44); // 1024, 1024
    Release();
    ASSERT_EQ(g_records.size(), 4u);
    EXPECT_EQ(g_records[0].flags, kMoveAbs);
    EXPECT_EQ(g_records[0].dx, 32767);
    EXPECT_EQ(g_records[1].flags, kMoveAbs | MOUSEEVENTF_LEFTDOWN);
    EXPECT_EQ(g_records[2].flags, kMoveAbs);
    EXPECT_EQ(g_records[2].dx, 65535);
    EXPECT_EQ(g_records[3].flags, kMoveAbs | MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(g_records[3].dx, 65535);
    EXPECT_EQ(ctrl->m_bPressed, 0);
}

TEST_F(TouchInput, DefaultCalibrationOfTheFirstModelIsApplied)
{
    ctrl->Initialize(0);
    Touch(0x00, 0x00, 0x22);
    ASSERT_EQ(g_records.size(), 2u);
    EXPECT_EQ(g_records[1].dx, 32748);
    EXPECT_EQ(g_records[1].dy, 33129);
}

TEST_F(TouchInput, OneShotButtonClicksOnceAndNotifiesTheButtonWindow)
{
    const HWND window =
        ::CreateWindowA("STATIC", "mb", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    App().mouseButtonWindow = window;
    ctrl->AssignedMouseButton = 2;
    ctrl->m_bAssignedArmed = 1;
    Touch(0x10, 0x20, 0x00);
    Release();
    Touch(0x10, 0x20, 0x00);
    ASSERT_EQ(g_records.size(), 5u);
    EXPECT_EQ(g_records[1].flags, kMoveAbs | MOUSEEVENTF_RIGHTDOWN);
    EXPECT_EQ(g_records[2].flags, kMoveAbs | MOUSEEVENTF_RIGHTUP);
    EXPECT_EQ(g_records[4].flags, kMoveAbs | MOUSEEVENTF_LEFTDOWN);
    EXPECT_EQ(ctrl->m_bAssignedArmed, 0);
    int notices = 0;
    MSG msg;
    while (::PeekMessageA(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
        if (LOWORD(msg.wParam) == CMD_MOUSE_BUTTON_CHANGED) ++notices;
    }
    EXPECT_EQ(notices, 1);
    ::DestroyWindow(window);
}

TEST_F(TouchInput, UnidentifiedDeviceAsksForIdentificationOnceNotPerTouch)
{
    const HWND window =
        ::CreateWindowA("STATIC", "msg", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    App().messageWindow = window;
    App().ident = IdentRecord{};
    for (int i = 0; i < 20; ++i) {
        Touch(0x10, 0x20, 0x00);
        Release();
    }
    EXPECT_TRUE(g_records.empty());
    EXPECT_EQ(ctrl->m_bPressed, 0);
    int restarts = 0;
    MSG msg;
    while (::PeekMessageA(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
        if (LOWORD(msg.wParam) == CMD_DEVICE_RESTARTED) ++restarts;
    }
    EXPECT_EQ(restarts, 1);
    // Once the message window has taken the request, the next touch asks again.
    App().restartPending = 0;
    Touch(0x10, 0x20, 0x00);
    EXPECT_TRUE(::PeekMessageA(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    ::DestroyWindow(window);
}

TEST_F(TouchInput, RefusedInjectionIsRetriedABoundedNumberOfTimes)
{
    g_refuse = true;
    Touch(0x10, 0x20, 0x00); // move, then move + down: both refused
    EXPECT_EQ(g_calls, 20);
    EXPECT_EQ(ctrl->m_bPressed, 1);
}

// While the system refuses input (a secure desktop in front) the button-up
// is kept; it goes first once injection works again: with the next report,
// or at the controller's end.
TEST_F(TouchInput, RefusedButtonUpIsDeliveredBeforeTheNextRecords)
{
    Touch(0x10, 0x20, 0x00);
    g_refuse = true;
    Release();
    EXPECT_EQ(ctrl->m_bPressed, 0);
    g_refuse = false;
    Touch(0x00, 0x00, 0x22);
    Release();
    g_refuse = true;
    ctrl->OnLineLost(); // nothing down: nothing to inject or keep
    Touch(0x10, 0x20, 0x00);
    Release();
    g_refuse = false;
    ctrl.reset();
    const std::vector<DWORD> expected = {
        kMoveAbs,
        kMoveAbs | MOUSEEVENTF_LEFTDOWN,
        kMoveAbs | MOUSEEVENTF_LEFTUP, // first touch
        kMoveAbs,
        kMoveAbs | MOUSEEVENTF_LEFTDOWN,
        kMoveAbs | MOUSEEVENTF_LEFTUP, // second
        kMoveAbs | MOUSEEVENTF_LEFTUP, // third: only its up, at the controller's end
    };
    std::vector<DWORD> flags;
    for (const Recorded& r : g_records)
        flags.push_back(r.flags);
    EXPECT_EQ(flags, expected);
    EXPECT_EQ(g_records[2].dx, g_records[1].dx) << "the kept up is at the touch's last position";
}

TEST_F(TouchInput, ControllerDestroyedDuringATouchReleasesTheButton)
{
    Touch(0x10, 0x20, 0x00);
    ctrl.reset();
    ASSERT_EQ(g_records.size(), 3u);
    EXPECT_EQ(g_records[2].flags, kMoveAbs | MOUSEEVENTF_LEFTUP);

    g_records.clear();
    ctrl = std::make_unique<ZMR01Ctrl>();
    ctrl->TouchMode = 1; // "DOWN" never releases
    Touch(0x10, 0x20, 0x00);
    ctrl.reset();
    EXPECT_EQ(g_records.size(), 2u);
}

TEST_F(TouchInput, LineLostDuringATouchReleasesTheButtonOnce)
{
    Touch(0x10, 0x20, 0x00);
    ctrl->OnLineLost();
    ASSERT_EQ(g_records.size(), 3u);
    EXPECT_EQ(g_records[2].flags, kMoveAbs | MOUSEEVENTF_LEFTUP);
    // Nothing is down any more: a second loss and the controller's end
    // inject nothing, a late release from the device no second button-up.
    ctrl->OnLineLost();
    ctrl.reset();
    EXPECT_EQ(g_records.size(), 3u);
    ctrl = std::make_unique<ZMR01Ctrl>();
    Release();
    int ups = 0;
    for (const Recorded& r : g_records)
        ups += (r.flags & MOUSEEVENTF_LEFTUP) != 0 ? 1 : 0;
    EXPECT_EQ(ups, 1);
}

TEST_F(TouchInput, ShortReportIsIgnored)
{
    const uint8_t p[3] = {0x90, 0x10, 0x20};
    ctrl->OnReceive(p, 3);
    EXPECT_TRUE(g_records.empty());
    EXPECT_EQ(ctrl->m_bPressed, 0);
}

// The records of one read of the line: held from its beginning and handed to
// the system in one call at its end, in order, with the button state exact.
std::vector<size_t> g_calls_sizes;

UINT RecordBatch(UINT count, const INPUT* inputs)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls_sizes.push_back(count);
    for (UINT i = 0; i < count; ++i)
        g_records.push_back({inputs[i].mi.dx, inputs[i].mi.dy, inputs[i].mi.dwFlags});
    return count;
}

class TouchBatchInput : public TouchInput {
protected:
    void SetUp() override
    {
        TouchInput::SetUp();
        g_calls_sizes.clear();
        SetInputBatchInjector(&RecordBatch);
    }
    // Every down is followed by its up before the next down, and none is
    // left down at the end.
    static bool ButtonsBalanced()
    {
        int down = 0;
        for (const Recorded& r : g_records) {
            if (r.flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_RIGHTDOWN)) ++down;
            if (r.flags & (MOUSEEVENTF_LEFTUP | MOUSEEVENTF_RIGHTUP)) --down;
            if (down < 0 || down > 1) return false;
        }
        return down == 0;
    }
};

TEST_F(TouchBatchInput, ReadIsHandedOverInOneCallAtItsEndInOrder)
{
    ctrl->OnReadBegin();
    Touch(0x00, 0x00, 0x22); // 512, 512: move, then move + down
    Touch(0x00, 0x00, 0x33); // 768, 768
    Touch(0x00, 0x00, 0x44); // 1024, 1024
    Release();
    Touch(0x00, 0x00, 0x11); // 256, 256: a second tap in the same read
    Release();
    EXPECT_TRUE(g_records.empty()) << "held until the read ends";
    ctrl->OnReadEnd();
    EXPECT_EQ(g_calls_sizes, (std::vector<size_t>{8}));
    const std::vector<Recorded> expected = {
        {32767, 32767, kMoveAbs},
        {32767, 32767, kMoveAbs | MOUSEEVENTF_LEFTDOWN},
        {49151, 49151, kMoveAbs},
        {65535, 65535, kMoveAbs},
        {65535, 65535, kMoveAbs | MOUSEEVENTF_LEFTUP},
        {16383, 16383, kMoveAbs},
        {16383, 16383, kMoveAbs | MOUSEEVENTF_LEFTDOWN},
        {16383, 16383, kMoveAbs | MOUSEEVENTF_LEFTUP},
    };
    ASSERT_EQ(g_records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g_records[i].dx, expected[i].dx);
        EXPECT_EQ(g_records[i].dy, expected[i].dy);
        EXPECT_EQ(g_records[i].flags, expected[i].flags);
    }
    EXPECT_TRUE(ButtonsBalanced());
    EXPECT_EQ(ctrl->m_bPressed, 0);

    // After the read every report goes at once again.
    Touch(0x00, 0x00, 0x22);
    EXPECT_EQ(g_calls_sizes.size(), 2u);
    Release();
    EXPECT_EQ(g_calls_sizes, (std::vector<size_t>{8, 2, 1}));
}

TEST_F(TouchBatchInput, WhatLeavesTheReceivePathOtherwiseGoesAfterTheHeldRecords)
{
    // The one-shot button's notification: the press before it is handed
    // over first, the release after it waits for the end of the read.
    const HWND window =
        ::CreateWindowA("STATIC", "mb", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    App().mouseButtonWindow = window;
    ctrl->AssignedMouseButton = 2;
    ctrl->m_bAssignedArmed = 1;
    ctrl->OnReadBegin();
    Touch(0x10, 0x20, 0x00);
    Release();
    EXPECT_EQ(g_calls_sizes, (std::vector<size_t>{2}));
    ctrl->OnReadEnd();
    EXPECT_EQ(g_calls_sizes, (std::vector<size_t>{2, 1}));
    EXPECT_EQ(g_records[2].flags, kMoveAbs | MOUSEEVENTF_RIGHTUP);
    ::DestroyWindow(window);
    App().mouseButtonWindow = nullptr;

    // A reply: the touches before it reach the system before the waiting
    // command learns of it.
    ctrl->OnReadBegin();
    Touch(0x10, 0x20, 0x00);
    const uint8_t reply[2] = {0x84, 4};
    ctrl->OnReceive(reply, 2);
    EXPECT_EQ(g_calls_sizes, (std::vector<size_t>{2, 1, 2}));
    Release();
    ctrl->OnReadEnd();
    EXPECT_EQ(g_calls_sizes, (std::vector<size_t>{2, 1, 2, 1}));
    EXPECT_TRUE(ButtonsBalanced());
}

TEST_F(TouchBatchInput, HeldPressIsNeverLost)
{
    // The controller goes in the middle of a read: the press, then the
    // release that keeps the button from staying down.
    ctrl->OnReadBegin();
    Touch(0x10, 0x20, 0x00);
    ctrl.reset();
    ASSERT_EQ(g_records.size(), 3u);
    EXPECT_EQ(g_records[2].flags, kMoveAbs | MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(ButtonsBalanced());

    // The channel gets another listener in the middle of a read: what the
    // old one held is handed over then, not at the next read.
    g_records.clear();
    ctrl = std::make_unique<ZMR01Ctrl>();
    FakeChannel channel;
    channel.SetListener(ctrl.get());
    ctrl->OnReadBegin();
    Touch(0x10, 0x20, 0x00);
    EXPECT_TRUE(g_records.empty());
    channel.ClearListener();
    EXPECT_EQ(g_records.size(), 2u);
    Release();
    EXPECT_EQ(g_records.size(), 3u) << "outside a read the release goes at once";
    EXPECT_TRUE(ButtonsBalanced());

    // The stream is broken from another thread in the middle of a read: the
    // held press goes, then its up; the device's own release later in the
    // read adds no second up.
    g_records.clear();
    channel.SetListener(ctrl.get());
    ctrl->OnReadBegin();
    Touch(0x10, 0x20, 0x00);
    std::thread([&] { channel.BreakTouchStream(); }).join();
    Release();
    ctrl->OnReadEnd();
    ASSERT_EQ(g_records.size(), 4u);
    EXPECT_EQ(g_records[2].flags, kMoveAbs | MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(g_records[3].flags, kMoveAbs);
    EXPECT_TRUE(ButtonsBalanced());
    channel.ClearListener();
}

TEST_F(TouchBatchInput, ReadLargerThanTheBatchKeepsEveryRecord)
{
    ctrl->OnReadBegin();
    Touch(0x00, 0x00, 0x00);
    for (int i = 1; i <= 40; ++i)
        Touch(static_cast<uint8_t>(i), 0x00, 0x00);
    Release();
    ctrl->OnReadEnd();
    ASSERT_EQ(g_records.size(), 43u);
    for (size_t i = 2; i < 42; ++i)
        EXPECT_LT(g_records[i - 1].dx, g_records[i].dx) << i;
    for (size_t n : g_calls_sizes)
        EXPECT_LE(n, static_cast<size_t>(TouchBatch::kCapacity));
    EXPECT_TRUE(ButtonsBalanced());
}

// The real path: records reach a window of this session as mouse messages.
struct Seen {
    std::vector<UINT> messages;
    POINT down = {-1, -1};
};
Seen g_seen;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) {
        g_seen.messages.push_back(msg);
        if (msg == WM_LBUTTONDOWN) {
            g_seen.down.x = static_cast<short>(LOWORD(lParam));
            g_seen.down.y = static_cast<short>(HIWORD(lParam));
        }
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Pump(int ms)
{
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    MSG msg;
    while (static_cast<int>(end - ::GetTickCount()) > 0) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    }
}

TEST_F(TouchInput, SystemInjectionClicksAtTheTouchedPlace)
{
    SetInputInjector(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "TouchInputRecorder";
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    ::RegisterClassA(&wc);
    const int w = ::GetSystemMetrics(SM_CXSCREEN);
    const int h = ::GetSystemMetrics(SM_CYSCREEN);
    const HWND window = ::CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, w,
                                          h, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ::SetForegroundWindow(window);
    Pump(300);
    g_seen = Seen{};

    Touch(0x00, 0x00, 0x22); // the middle of the screen
    Pump(100);
    Release();
    Pump(300);

    EXPECT_EQ(g_seen.messages, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_NEAR(g_seen.down.x, w / 2, 2);
    EXPECT_NEAR(g_seen.down.y, h / 2, 2);
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    EXPECT_NEAR(cursor.x, w / 2, 2);
    ::DestroyWindow(window);
    ::UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

} // namespace
