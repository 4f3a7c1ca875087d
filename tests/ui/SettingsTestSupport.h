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
#include "support/DeviceWiring.h"
#include "support/DevSim.h"
#include "support/RegistryTree.h"
#include "ui/SettingsWindow.h"

namespace settings_test {

using Payloads = std::vector<std::vector<uint8_t>>;

inline std::string ItemText(HWND dialog, int id)
{
    return DlgItemText(dialog, id);
}

// The ZMR01 controller's settings key.
inline const std::string kDevicesZmr01 = std::string(kRegistryRoot) + "\\Devices\\ZMR01";

// A REG_DWORD of the ZMR01 controller's stored settings; false when absent
// or of another size.
bool DeviceValue(const char* name, DWORD* value);

// Stores a bar's window position (the user's key keyName below the
// application key).
void StorePosition(const char* keyName, DWORD x, DWORD y);

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
