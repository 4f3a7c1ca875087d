#include "base/Reporting.h"

#include <atomic>
#include <cstring>
#include <new>

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "base/MessageText.h"

char g_szProgramPath[MAX_PATH];

namespace {

constexpr const char* kEventSourceName = "TactilePane";
constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TactilePane";
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// Longest raw text accepted; a longer one counts as not found.
constexpr DWORD kMessageMax = kTextMax - 1;

// Set by tests on the main thread while no event can be written; read by
// whichever thread writes an event.
std::atomic<AppEventObserver> g_observer{nullptr};
std::atomic<void*> g_observerContext{nullptr};

std::atomic<bool (*)()> g_logEventsOn{nullptr};
std::atomic<HWND (*)(const char*, bool)> g_showBox{nullptr};

bool LogEventsOn()
{
    const auto hook = g_logEventsOn.load();
    return hook == nullptr || hook();
}

void ShowBox(const char* text, bool modal)
{
    if (const auto hook = g_showBox.load()) {
        hook(text, modal);
    } else if (modal) {
        ::MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONINFORMATION);
    }
}

// Set while the box explaining a missing text is up, so that a failure to
// find that explanation is not explained again.
thread_local bool t_explainingMissingText = false;

} // namespace

void RegisterAppEventSource()
{
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    // A truncated path is not terminated on every system version, and not the program's.
    if (length == 0 || length >= MAX_PATH) return;
    CopyBounded(g_szProgramPath, sizeof g_szProgramPath, path);

    HKEY raw = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &raw) == ERROR_SUCCESS) {
        // An existing registration is left as it is, even if it names another file.
        ::RegCloseKey(raw);
        return;
    }
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                          nullptr, &raw, nullptr) != ERROR_SUCCESS) {
        return;
    }
    UniqueRegKey key(raw);
    const DWORD bytes = static_cast<DWORD>(std::strlen(g_szProgramPath) + 1);
    if (::RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                         reinterpret_cast<const BYTE*>(g_szProgramPath), bytes) != ERROR_SUCCESS) {
        return;
    }
    const DWORD types = kTypesSupported;
    ::RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                     sizeof types);
}

void ReportAppEvent(uint32_t eventId, const char* insert)
{
    if (!LogEventsOn()) return;

    if (AppEventObserver observer = g_observer.load()) observer(g_observerContext.load(), eventId, insert);

    UniqueEventLog log(::RegisterEventSourceA(nullptr, kEventSourceName));
    if (!log) return;
    const char* strings[1] = {insert != nullptr ? insert : ""};
    // Always "information": the identifier's own severity bits carry the weight.
    ::ReportEventA(log.get(), EVENTLOG_INFORMATION_TYPE, 0, eventId, nullptr, 1, 0, strings, nullptr);
}

namespace {
struct PostedAppEvent {
    uint32_t id;
    char insert[kTextMax];
};
} // namespace

void PostAppEvent(uint32_t eventId, const char* insert)
{
    const HWND window = App().messageWindow;
    if (window == nullptr) {
        ReportAppEvent(eventId, insert);
        return;
    }
    auto* posted = new (std::nothrow) PostedAppEvent{eventId, {}};
    if (posted == nullptr) return;
    CopyBounded(posted->insert, sizeof posted->insert, insert != nullptr ? insert : "");
    if (!::PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_APP_EVENT, 0), reinterpret_cast<LPARAM>(posted)))
        delete posted;
    // A message still queued when the window is destroyed at the end of the
    // program is lost with its entry; nothing else frees it then.
}

void WritePostedAppEvent(LPARAM posted)
{
    auto* entry = reinterpret_cast<PostedAppEvent*>(posted);
    if (entry == nullptr) return;
    ReportAppEvent(entry->id, entry->insert);
    delete entry;
}

void SetReportingHooks(const ReportingHooks& hooks)
{
    g_logEventsOn.store(hooks.logEventsOn);
    g_showBox.store(hooks.showBox);
}

void SetAppEventObserver(AppEventObserver observer, void* context)
{
    g_observerContext.store(context);
    g_observer.store(observer);
}

void FormatAppMessage(uint32_t id, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0) return;
    buffer[0] = '\0';

    // Twice the accepted length, so an over-long text is seen as such rather
    // than failing for a reason that would be reported differently.
    char raw[2 * kTextMax + 1] = {};
    DWORD error = ERROR_SUCCESS;
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          ::GetModuleHandleA(nullptr), id, 0, raw, sizeof raw, nullptr);
    if (length == 0) {
        error = ::GetLastError();
    } else if (length > kMessageMax) {
        error = ERROR_INSUFFICIENT_BUFFER;
    }
    if (length != 0 && error == ERROR_SUCCESS) {
        RenderMessageText(raw, buffer, static_cast<size_t>(size));
        return;
    }

    FormatBounded(buffer, static_cast<size_t>(size), "Resource not found: %x.\n", static_cast<unsigned>(id));
    if (t_explainingMissingText) return;
    t_explainingMissingText = true;
    ShowMessageBoxModal(error);
    t_explainingMissingText = false;
}

int ShowMessageBoxModal(uint32_t id)
{
    char text[kTextMax] = {};
    FormatAppMessage(id, text, sizeof text);
    ShowBox(text, true);
    return 1;
}

int ShowMessageBoxModeless(uint32_t id)
{
    char text[kTextMax] = {};
    FormatAppMessage(id, text, sizeof text);
    ShowBox(text, false);
    return 1;
}
