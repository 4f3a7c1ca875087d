#include "ui/SettingsPages.h"

#include "base/AppContext.h"

namespace {

// The settings window as its pages see it; main thread only.
struct SettingsFrame {
    HWND window = nullptr;
    HWND tab = nullptr;
    RECT origin = {};
    HWND pages[kSettingsPageCount] = {};
};
SettingsFrame g_frame;

// Actions under way (SettingsBusy) and a restart notice held back by them.
int g_nBusy = 0;
bool g_bRestartDeferred = false;

} // namespace

void AttachSettingsFrame(HWND window, HWND tab)
{
    g_frame = SettingsFrame{};
    g_frame.window = window;
    g_frame.tab = tab;
}

void DetachSettingsFrame(HWND window)
{
    if (g_frame.window == window) g_frame = SettingsFrame{};
}

void SetSettingsPageOrigin(const RECT& origin)
{
    g_frame.origin = origin;
}

HWND SettingsFrameWindow()
{
    return g_frame.window;
}

HWND SettingsPage(int index)
{
    if (g_frame.window == nullptr || index < 0 || index >= kSettingsPageCount) return nullptr;
    return g_frame.pages[index];
}

HWND SettingsControllerPage()
{
    return SettingsPage(kPageController);
}

HWND SettingsAboutPage()
{
    return SettingsPage(kPageAbout);
}

void SetSettingsPage(int index, HWND page)
{
    if (g_frame.window == nullptr || index < 0 || index >= kSettingsPageCount) return;
    g_frame.pages[index] = page;
}

void MoveToPageOrigin(HWND page)
{
    if (g_frame.window == nullptr || page == nullptr || ::GetParent(page) != g_frame.window) return;
    ::SetWindowPos(page, HWND_TOP, g_frame.origin.left, g_frame.origin.top, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE);
}

void SendToAllPages(WORD command)
{
    for (int index = 0; index < kSettingsPageCount; ++index) {
        // Looked up each time: a page's answer may run a message loop.
        const HWND page = SettingsPage(index);
        if (page != nullptr) {
            ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(command, 0), reinterpret_cast<LPARAM>(g_frame.tab));
        }
    }
}

SettingsBusy::SettingsBusy()
{
    if (g_nBusy++ == 0 && g_frame.window != nullptr) ::EnableWindow(g_frame.window, FALSE);
}

SettingsBusy::~SettingsBusy()
{
    if (--g_nBusy > 0) return;
    if (g_frame.window != nullptr) ::EnableWindow(g_frame.window, TRUE);
    // The action may have moved the channel to another port or left it
    // without an answer.
    SignalLineChanged();
    if (g_bRestartDeferred) {
        g_bRestartDeferred = false;
        const HWND messageWindow = App().messageWindow;
        if (messageWindow != nullptr) {
            ::PostMessageA(messageWindow, WM_COMMAND, MAKEWPARAM(CMD_DEVICE_RESTARTED, 0), 0);
        }
    }
}

bool SettingsActionRunning()
{
    return g_nBusy > 0;
}

void DeferDeviceRestart()
{
    g_bRestartDeferred = true;
}

void ArmReInitTimeout()
{
    if (g_frame.window != nullptr)
        ::SetTimer(g_frame.window, kReInitTimeoutTimerId, kReInitTimeoutMs, nullptr);
}
