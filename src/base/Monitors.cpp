#include "base/Monitors.h"

#include <atomic>
#include <cstring>
#include <string>

#include "Messages.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/ExportText.h"
#include "base/RegistryIO.h"
#include "base/Reporting.h"

namespace {

std::atomic<MonitorListSource> g_source{nullptr};

// Main thread only.
MonitorList g_list;
MonitorChoice g_choice;
FallbackNotice g_fallback;
bool g_runMonitor = false; // g_choice is a run's, not the stored one

int32_t OrientationOf(const char* device)
{
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!::EnumDisplaySettingsA(device, ENUM_CURRENT_SETTINGS, &mode)) return kOrientationDefault;
    if ((mode.dmFields & DM_DISPLAYORIENTATION) == 0) return kOrientationDefault;
    const DWORD o = mode.dmDisplayOrientation;
    return o < static_cast<DWORD>(kOrientationCount) ? static_cast<int32_t>(o) : kOrientationDefault;
}

BOOL CALLBACK AddSystemMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MonitorList& list = *reinterpret_cast<MonitorList*>(data);
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoA(monitor, &info)) return TRUE;
    const RECT& r = info.rcMonitor;
    return AddMonitor(list, info.szDevice, MonitorRect{r.left, r.top, r.right, r.bottom},
                      (info.dwFlags & MONITORINFOF_PRIMARY) != 0, OrientationOf(info.szDevice))
               ? TRUE
               : FALSE;
}

void ReadSystemMonitors(MonitorList* list)
{
    *list = MonitorList{};
    ::EnumDisplayMonitors(nullptr, nullptr, &AddSystemMonitor, reinterpret_cast<LPARAM>(list));
    const int32_t left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int32_t top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    list->virtualScreen = MonitorRect{left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                      top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

MonitorRect PrimaryScreen()
{
    return MonitorRect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

} // namespace

void SetMonitorListSource(MonitorListSource source)
{
    g_source.store(source);
}

StoredMonitor ReadStoredMonitor()
{
    StoredMonitor stored;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, kRegistryRoot);
    if (!key) return stored;
    char name[kMonitorNameMax] = {};
    DWORD type = 0;
    DWORD size = sizeof name - 1;
    if (::RegQueryValueExA(key.get(), kTouchMonitorValue, nullptr, &type, reinterpret_cast<BYTE*>(name),
                           &size) == ERROR_SUCCESS &&
        type == REG_SZ && size < sizeof name) {
        name[size] = '\0';
        std::memcpy(stored.name, name, sizeof stored.name);
    }
    int32_t v[4] = {};
    bool all = true;
    for (int i = 0; i < 4; ++i)
        all = QueryDword(key.get(), kTouchMonitorRectValues[i], &v[i]) && all;
    stored.hasRect = all;
    if (all) stored.rect = MonitorRect{v[0], v[1], v[2], v[3]};
    return stored;
}

bool WriteStoredMonitor(const MonitorEntry& monitor)
{
    const UniqueRegKey key = CreateKeyForWrite(HKEY_LOCAL_MACHINE, kRegistryRoot);
    if (!key) return false;
    const DWORD size = static_cast<DWORD>(strnlen(monitor.name, kMonitorNameMax - 1) + 1);
    if (::RegSetValueExA(key.get(), kTouchMonitorValue, 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(monitor.name), size) != ERROR_SUCCESS)
        return false;
    const int32_t v[4] = {monitor.rect.left, monitor.rect.top, monitor.rect.right, monitor.rect.bottom};
    for (int i = 0; i < 4; ++i) {
        if (!SetDword(key.get(), kTouchMonitorRectValues[i], v[i])) return false;
    }
    return true;
}

void RefreshMonitors()
{
    MonitorList list;
    const MonitorListSource source = g_source.load();
    if (source == nullptr || !source(&list)) ReadSystemMonitors(&list);
    g_list = list;
    g_runMonitor = false;
    const StoredMonitor stored = ReadStoredMonitor();
    g_choice = ChooseMonitor(g_list, stored);
    if (g_fallback.Update(g_choice.fellBack)) ReportAppEvent(MSG_TOUCH_MONITOR_MISSING, stored.name);
    PublishDeskMapping(MappingFor(g_list, g_choice.index));
}

void UseMonitorForRun(int index)
{
    if (index < 0 || index >= g_list.count || index >= kMaxMonitors) return;
    g_choice = MonitorChoice{index, false};
    g_runMonitor = true;
    PublishDeskMapping(MappingFor(g_list, index));
}

void EndMonitorRun(bool keep)
{
    if (!g_runMonitor) return;
    const int i = g_choice.index;
    if (keep && i >= 0 && i < g_list.count && i < kMaxMonitors) WriteStoredMonitor(g_list.entries[i]);
    RefreshMonitors();
}

const MonitorList& CurrentMonitors()
{
    return g_list;
}

int TouchMonitorIndex()
{
    return g_choice.index;
}

MonitorRect TouchMonitorRect()
{
    const int i = g_choice.index;
    if (i < 0 || i >= g_list.count || i >= kMaxMonitors) return PrimaryScreen();
    return g_list.entries[i].rect;
}

int32_t TouchMonitorOrientation()
{
    const int i = g_choice.index;
    if (i < 0 || i >= g_list.count || i >= kMaxMonitors) return kOrientationDefault;
    return g_list.entries[i].orientation;
}

bool TouchMonitorIsOther(MonitorRect* rect)
{
    const int i = g_choice.index;
    if (i < 0 || i >= g_list.count || i >= kMaxMonitors || g_list.entries[i].primary) return false;
    if (rect != nullptr) *rect = g_list.entries[i].rect;
    return true;
}

bool WriteTouchMonitorSection(HANDLE file, int32_t calibrationOrientation)
{
    const int i = g_choice.index;
    const bool known = i >= 0 && i < g_list.count && i < kMaxMonitors;
    const MonitorRect rect = TouchMonitorRect();
    std::string text;
    char line[kTextMax + 1];
    if (!FormatExportSectionHeader(line, sizeof line, kTouchMonitorSectionTitle, "HKEY_LOCAL_MACHINE",
                                   kRegistryRoot))
        return false;
    text += line;
    if (!FormatExportTextLine(line, sizeof line, kTouchMonitorValue, known ? g_list.entries[i].name : ""))
        return false;
    text += line;
    const int32_t values[] = {
        rect.left, rect.top, rect.right, rect.bottom, TouchMonitorOrientation(), calibrationOrientation};
    const char* const names[] = {kTouchMonitorRectValues[0], kTouchMonitorRectValues[1],
                                 kTouchMonitorRectValues[2], kTouchMonitorRectValues[3],
                                 "DisplayOrientation",       "CalibrationOrientation"};
    for (int n = 0; n < 6; ++n) {
        if (!FormatExportValueLine(line, sizeof line, names[n], static_cast<uint32_t>(values[n])))
            return false;
        text += line;
    }
    return WriteWholeText(file, text.c_str());
}

bool CentreOnTouchMonitor(HWND window)
{
    MonitorRect area;
    RECT rc{};
    if (!TouchMonitorIsOther(&area) || !::GetWindowRect(window, &rc)) return false;
    const PlacedOrigin at = CentreIn(area, rc.right - rc.left, rc.bottom - rc.top);
    ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    return true;
}
