#include "ui/SettingsTestSupport.h"

#include <cstring>

#include "base/ModalLoop.h"

namespace settings_test {

void StorePosition(const char* keyName, DWORD x, DWORD y)
{
    const std::string path = std::string(kRegistryRoot) + "\\" + keyName;
    HKEY key = nullptr;
    ASSERT_EQ(
        ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ::RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&x), sizeof x);
    ::RegSetValueExA(key, "y", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&y), sizeof y);
    ::RegCloseKey(key);
}

bool DeviceValue(const char* name, DWORD* value)
{
    DWORD type = 0;
    std::string data;
    if (!GetHklmValue(kDevicesZmr01.c_str(), name, &type, &data) || data.size() != sizeof(DWORD))
        return false;
    std::memcpy(value, data.data(), sizeof(DWORD));
    return true;
}

namespace {

constexpr int kPort = 5; // COM5
PageCommandCounter* g_counter = nullptr;

} // namespace

PageCommandCounter::PageCommandCounter()
{
    g_counter = this;
    for (int i = 0; i < kSettingsPageCount; ++i) {
        m_pages[i] = SettingsPage(i);
        if (m_pages[i] == nullptr) continue;
        m_previous[i] = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(m_pages[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
}

PageCommandCounter::~PageCommandCounter()
{
    for (int i = 0; i < kSettingsPageCount; ++i) {
        if (m_pages[i] != nullptr && ::IsWindow(m_pages[i])) {
            ::SetWindowLongPtrA(m_pages[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous[i]));
        }
    }
    g_counter = nullptr;
}

int PageCommandCounter::Count(int page, WORD command) const
{
    return static_cast<int>(std::count(m_seen.begin(), m_seen.end(), std::make_pair(page, command)));
}

LRESULT CALLBACK PageCommandCounter::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    for (int i = 0; i < kSettingsPageCount; ++i) {
        if (g_counter->m_pages[i] != hwnd) continue;
        if (msg == WM_COMMAND) g_counter->m_seen.emplace_back(i, LOWORD(wParam));
        return ::CallWindowProcA(g_counter->m_previous[i], hwnd, msg, wParam, lParam);
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void SettingsFixture::SetUp()
{
    ASSERT_TRUE(sandbox.ok());
    DeleteRegistryTree(HKEY_CURRENT_USER, kRegistryRoot);
    window = OpenTestMessageWindow();
    ASSERT_NE(window, nullptr);
}

void SettingsFixture::Connect(int hwId, int major, int minor, std::vector<int> silent, int reinitDelayMs)
{
    DevSim::Options o = SimOn(kPort, hwId, major, minor);
    o.reinitDelayMs = reinitDelayMs;
    o.silent = std::move(silent);
    ASSERT_TRUE(sim.Start(o)) << sim.LastError();
    ASSERT_NO_FATAL_FAILURE(WireToDevice(kPort, window, &channel));
    if (HWND page = SettingsControllerPage())
        ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_CTRL_INFO, 0), 0);
    CloseInfoBoxes();
    sim.ClearReceived();
}

void SettingsFixture::SelectTab(int index)
{
    ::SendDlgItemMessageA(Settings(), 1040, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    ShowSelectedPage();
}

void SettingsFixture::TearDown()
{
    AppContext& app = App();
    UnwireFromDevice(&channel);
    for (HWND* w : {&app.settingsWindow, &app.messageWindow}) {
        if (*w != nullptr) ::DestroyWindow(*w);
        *w = nullptr;
    }
    ResetAppState();
    CloseInfoBoxes();
    ForgetQuitRequest();
    sim.Stop();
    DeleteRegistryTree(HKEY_CURRENT_USER, kRegistryRoot);
}

} // namespace settings_test
