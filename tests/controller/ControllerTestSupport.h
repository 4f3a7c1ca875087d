// Helpers shared by the controller tests: registry clean-up, the event
// observer, closing the boxes the controller shows, an injection recorder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/Reporting.h"
#include "support/RegistryTree.h"
#include "base/RegistryIO.h"

inline void ClearControllerRegistry()
{
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, std::string(kRegistryRoot) + "\\Devices");
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_SET_VALUE),
                        &key) == ERROR_SUCCESS) {
        ::RegDeleteValueA(key, "UseLogEvent");
        ::RegCloseKey(key);
    }
}

inline std::string DevicesKey(const char* model)
{
    return std::string(kRegistryRoot) + "\\Devices\\" + model;
}

inline void SetDwordValue(const std::string& path, const char* name, DWORD value)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                      AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_WRITE), nullptr, &key, nullptr);
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    ::RegCloseKey(key);
}

inline bool GetDwordValue(const std::string& path, const char* name, DWORD* value)
{
    DWORD size = sizeof(*value);
    DWORD type = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_READ),
                        &key) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD;
    ::RegCloseKey(key);
    return ok;
}

inline BOOL CALLBACK CloseBoxProc(HWND hwnd, LPARAM lp)
{
    char cls[32] = {};
    ::GetClassNameA(hwnd, cls, sizeof(cls));
    if (std::string(cls) == "#32770") {
        ::DestroyWindow(hwnd);
        ++*reinterpret_cast<int*>(lp);
    }
    return TRUE;
}

// Destroys the modeless boxes this thread has opened (the controller shows
// one when it falls back to its defaults) and counts them.
inline int CloseThreadBoxes()
{
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CloseBoxProc, reinterpret_cast<LPARAM>(&count));
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageA(&msg);
    return count;
}

// Collects the events ReportAppEvent writes while it lives.
class EventRecorder {
public:
    struct Event {
        uint32_t id;
        std::string insert;
    };
    EventRecorder() { SetAppEventObserver(&EventRecorder::Observe, this); }
    ~EventRecorder() { SetAppEventObserver(nullptr, nullptr); }
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;

    std::vector<Event> Events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

private:
    static void Observe(void* self, uint32_t id, const char* insert)
    {
        auto* recorder = static_cast<EventRecorder*>(self);
        std::lock_guard<std::mutex> lock(recorder->m_mutex);
        recorder->m_events.push_back({id, insert != nullptr ? insert : ""});
    }
    std::mutex m_mutex;
    std::vector<Event> m_events;
};
