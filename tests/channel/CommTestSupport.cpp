#include "CommTestSupport.h"

#include "base/AppSettings.h"
#include "base/IdentRecord.h"
#include "base/Reporting.h"
#include "base/RegistryIO.h"

namespace {
constexpr const char* kWindowClass = "TpCommTestWindow";
}

CommandWindow::CommandWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &CommandWindow::Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassA(&wc); // fails harmlessly when already registered
    m_hwnd =
        ::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CommandWindow::~CommandWindow()
{
    if (m_hwnd != nullptr) ::DestroyWindow(m_hwnd);
}

int CommandWindow::Count(WORD id) const
{
    int n = 0;
    for (const Command& c : m_commands)
        n += c.id == id ? 1 : 0;
    return n;
}

LRESULT CALLBACK CommandWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CommandWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_COMMAND && self != nullptr) {
        Command c{LOWORD(wParam), lParam, {}};
        if (c.id == 4004 && lParam != 0) c.identAtDelivery = *reinterpret_cast<const IdentRecord*>(lParam);
        self->m_commands.push_back(c);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpMessages(int ms, const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done && done()) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::string ChannelKeyPath(int comNumber)
{
    return std::string(kRegistryRoot) + "\\Channels\\COM" + std::to_string(comNumber);
}

void DeleteChannelKey(int comNumber)
{
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, ChannelKeyPath(comNumber).c_str(),
                      AppKeyAccess(HKEY_LOCAL_MACHINE, 0), 0);
}

bool SetRegDword(const std::string& path, const char* name, uint32_t value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                          AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_WRITE), nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    DWORD data = value;
    const bool ok = ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                     sizeof(data)) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

bool SetRegString(const std::string& path, const char* name, const char* value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                          AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_WRITE), nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                     static_cast<DWORD>(std::string(value).size() + 1)) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

bool DeleteRegValue(const std::string& path, const char* name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_WRITE),
                        &key) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegDeleteValueA(key, name) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

bool GetRegDword(const std::string& path, const char* name, uint32_t* value)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_READ),
                        &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const bool ok = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD;
    ::RegCloseKey(key);
    if (ok) *value = data;
    return ok;
}

EventRecorder::EventRecorder()
{
    SetAppEventObserver(&EventRecorder::Observe, this);
}

EventRecorder::~EventRecorder()
{
    SetAppEventObserver(nullptr, nullptr);
}

std::vector<std::pair<uint32_t, std::string>> EventRecorder::Events()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events;
}

void EventRecorder::Observe(void* self, uint32_t id, const char* insert)
{
    auto* recorder = static_cast<EventRecorder*>(self);
    std::lock_guard<std::mutex> guard(recorder->m_mutex);
    recorder->m_events.emplace_back(id, insert != nullptr ? insert : "");
}
