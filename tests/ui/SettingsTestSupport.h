// The settings window in this process, wired to the simulated device as
// start-up wires it: message window, channel, controller, LCD, settings
// window with its six pages.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/Factories.h"
#include "app/MessageWindow.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "channel/CommProtocol2.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "support/DevSim.h"
#include "support/RegistryTree.h"
#include "ui/SettingsWindow.h"

namespace settings_test {

using Payloads = std::vector<std::vector<uint8_t>>;

inline void PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        PumpMessages();
        ::Sleep(5);
    }
}

inline size_t CountCode(const Payloads& payloads, uint8_t code)
{
    return static_cast<size_t>(std::count_if(payloads.begin(), payloads.end(),
                                             [code](const auto& p) { return !p.empty() && p[0] == code; }));
}

inline std::string ItemText(HWND dialog, int id)
{
    char text[256] = {};
    if (dialog != nullptr) ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline void CloseInfoBoxes()
{
    for (HWND box : ThreadBoxes())
        ::DestroyWindow(box);
    PumpMessages();
}

// Counts the page commands each page receives, by subclassing the pages.
class PageCommandCounter {
public:
    PageCommandCounter();
    ~PageCommandCounter();
    PageCommandCounter(const PageCommandCounter&) = delete;
    PageCommandCounter& operator=(const PageCommandCounter&) = delete;

    int Count(int page, WORD command) const;

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND m_pages[kSettingsPageCount] = {};
    WNDPROC m_previous[kSettingsPageCount] = {};
    std::vector<std::pair<int, WORD>> m_seen;
};

class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Device with that identity on COM5, objects and windows as at start-up.
    void Connect(int hwId, int major, int minor, std::vector<int> silent = {}, int reinitDelayMs = 300);
    ZmrCtrlVirt* Controller() { return dynamic_cast<ZmrCtrlVirt*>(App().controller.load()); }
    HWND Settings() { return App().settingsWindow; }
    void SelectTab(int index);

    RegistrySandbox sandbox;
    DevSim sim;
    HWND window = nullptr; // message window
    CommProtocol2* channel = nullptr;
};

} // namespace settings_test
