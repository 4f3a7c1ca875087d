#include "base/Dpi.h"

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/Handles.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetDpiForSystemFunction = UINT(WINAPI*)();
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
using SetDialogDpiChangeBehaviorFunction = BOOL(WINAPI*)(HWND, int, int);
using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

constexpr int kMonitorEffectiveDpi = 0;          // MDT_EFFECTIVE_DPI
constexpr int kDialogDisableAll = 1;             // DDC_DISABLE_ALL
constexpr UINT_PTR kFollowerSubclassId = 0x7450; // "tP"
constexpr const char* kFollowerProperty = "TactilePaneDpiFollower";

// The functions of newer systems, looked up once on the main thread before
// any window exists that could use them.
struct DpiFunctions {
    GetDpiForWindowFunction forWindow = nullptr;
    GetDpiForSystemFunction forSystem = nullptr;
    GetSystemMetricsForDpiFunction metrics = nullptr;
    SetDialogDpiChangeBehaviorFunction dialogBehaviour = nullptr;
    GetDpiForMonitorFunction forMonitor = nullptr;
};

template <typename Function> Function Lookup(HMODULE module, const char* name)
{
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const DpiFunctions& Functions()
{
    static const DpiFunctions functions = [] {
        DpiFunctions f;
        const HMODULE user32 = ::GetModuleHandleA("user32.dll");
        f.forWindow = Lookup<GetDpiForWindowFunction>(user32, "GetDpiForWindow");
        f.forSystem = Lookup<GetDpiForSystemFunction>(user32, "GetDpiForSystem");
        f.metrics = Lookup<GetSystemMetricsForDpiFunction>(user32, "GetSystemMetricsForDpi");
        f.dialogBehaviour = Lookup<SetDialogDpiChangeBehaviorFunction>(user32, "SetDialogDpiChangeBehavior");
        // Windows 8.1 has per-monitor DPI only in shcore, loaded from the
        // system directory only; it stays loaded for the process.
        char path[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
        constexpr char kShcore[] = "\\shcore.dll";
        if (length > 0 && length + sizeof kShcore <= MAX_PATH) {
            std::memcpy(path + length, kShcore, sizeof kShcore);
            f.forMonitor = Lookup<GetDpiForMonitorFunction>(::LoadLibraryA(path), "GetDpiForMonitor");
        }
        return f;
    }();
    return functions;
}

uint32_t DpiForMonitor(HMONITOR monitor)
{
    UINT x = 0;
    UINT y = 0;
    const auto forMonitor = Functions().forMonitor;
    if (monitor != nullptr && forMonitor != nullptr &&
        SUCCEEDED(forMonitor(monitor, kMonitorEffectiveDpi, &x, &y))) {
        return UsableDpi(x);
    }
    return SystemDpi();
}

bool IsDialog(HWND hwnd)
{
    char name[16] = {};
    return ::GetClassNameA(hwnd, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0;
}

bool IsComboBox(HWND hwnd)
{
    char name[16] = {};
    return ::GetClassNameA(hwnd, name, sizeof name) > 0 && ::lstrcmpiA(name, "ComboBox") == 0;
}

// What a child window was at the DPI it was laid out for.
struct ChildLayout {
    HWND hwnd = nullptr;
    uint32_t dpi = kBaseDpi;
    DpiRect rect;          // in its parent's client coordinates; a combo box with its list
    HFONT font = nullptr;  // its font then (owned by its dialog), or none
    LOGFONTA logFont = {}; // what that font is, for one at another DPI
    bool dialog = false;   // a page: a dialog's own font belongs to the dialog manager
};

// One top-level dialog's layout, owned by its subclass (main thread only).
struct DpiFollower {
    uint32_t dpi = kBaseDpi; // the DPI the window is laid out at now
    std::vector<ChildLayout> children;
    // Fonts made for the current DPI, shared by the controls that had one font.
    struct MadeFont {
        HFONT from;
        UniqueGdiObject font;
    };
    std::vector<MadeFont> fonts;
};

bool Known(const DpiFollower& follower, HWND hwnd)
{
    for (const ChildLayout& child : follower.children) {
        if (child.hwnd == hwnd) return true;
    }
    return false;
}

void KeepDialogManagerOut(HWND dialog)
{
    // Windows 10 re-lays out dialogs on its own; two layouts would fight.
    if (const auto behaviour = Functions().dialogBehaviour)
        behaviour(dialog, kDialogDisableAll, kDialogDisableAll);
}

BOOL CALLBACK RecordChild(HWND hwnd, LPARAM param)
{
    DpiFollower& follower = *reinterpret_cast<DpiFollower*>(param);
    if (Known(follower, hwnd)) return TRUE;
    const HWND parent = ::GetParent(hwnd);
    RECT rc = {};
    if (parent == nullptr || !::GetWindowRect(hwnd, &rc)) return TRUE;
    if (IsComboBox(hwnd)) {
        RECT dropped = {};
        if (::SendMessageA(hwnd, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped))) {
            rc.bottom = rc.top + (dropped.bottom - dropped.top);
        }
    }
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    ChildLayout child;
    child.hwnd = hwnd;
    child.dpi = follower.dpi;
    child.rect = {rc.left, rc.top, rc.right, rc.bottom};
    child.dialog = IsDialog(hwnd);
    if (child.dialog) KeepDialogManagerOut(hwnd);
    child.font = reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0));
    // A font the controls were given for another DPI is never a base.
    for (const DpiFollower::MadeFont& made : follower.fonts) {
        if (made.font.get() == child.font) child.font = nullptr;
    }
    if (child.font != nullptr && ::GetObjectA(child.font, sizeof child.logFont, &child.logFont) == 0) {
        child.font = nullptr;
    }
    try {
        follower.children.push_back(child);
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    return TRUE;
}

// Forgets windows that are gone, then learns those that are new, at the
// DPI the window has now.
void RecordChildren(HWND top, DpiFollower& follower)
{
    std::erase_if(follower.children, [](const ChildLayout& child) { return !::IsWindow(child.hwnd); });
    ::EnumChildWindows(top, &RecordChild, reinterpret_cast<LPARAM>(&follower));
}

HFONT FontFor(std::vector<DpiFollower::MadeFont>& made, const ChildLayout& child, uint32_t dpi)
{
    if (child.font == nullptr) return nullptr;
    if (dpi == child.dpi) return child.font;
    for (const DpiFollower::MadeFont& font : made) {
        if (font.from == child.font) return static_cast<HFONT>(font.font.get());
    }
    LOGFONTA lf = child.logFont;
    lf.lfHeight = RescaleForDpi(lf.lfHeight, child.dpi, dpi);
    lf.lfWidth = RescaleForDpi(lf.lfWidth, child.dpi, dpi);
    // Without a new font the control gets its first one back: it must not
    // keep one of the set that is deleted.
    UniqueGdiObject font(::CreateFontIndirectA(&lf));
    if (!font) return child.font;
    const auto result = static_cast<HFONT>(font.get());
    try {
        made.push_back({child.font, std::move(font)});
    } catch (const std::bad_alloc&) {
        return child.font;
    }
    return result;
}

void OnDpiChanged(HWND hwnd, DpiFollower& follower, uint32_t dpi, const RECT* suggested)
{
    RecordChildren(hwnd, follower);
    RECT target = {};
    if (suggested != nullptr) {
        target = *suggested;
    } else {
        ::GetWindowRect(hwnd, &target);
        target.right = target.left + RescaleForDpi(target.right - target.left, follower.dpi, dpi);
        target.bottom = target.top + RescaleForDpi(target.bottom - target.top, follower.dpi, dpi);
    }
    ::SetWindowPos(hwnd, nullptr, target.left, target.top, target.right - target.left,
                   target.bottom - target.top, SWP_NOZORDER | SWP_NOACTIVATE);
    std::vector<DpiFollower::MadeFont> made;
    for (const ChildLayout& child : follower.children) {
        const DpiRect r = RescaleRectForDpi(child.rect, child.dpi, dpi);
        ::SetWindowPos(child.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        if (child.dialog) continue;
        if (const HFONT font = FontFor(made, child, dpi)) {
            ::SendMessageA(child.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    // Every control now has a font of the new set: the old set can go.
    follower.fonts = std::move(made);
    follower.dpi = dpi;
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

LRESULT CALLBACK FollowerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data)
{
    auto* follower = reinterpret_cast<DpiFollower*>(data);
    switch (msg) {
    case kWmDpiChanged:
        OnDpiChanged(hwnd, *follower, UsableDpi(LOWORD(wParam)), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_NCDESTROY: {
        ::RemoveWindowSubclass(hwnd, &FollowerProc, id);
        ::RemovePropA(hwnd, kFollowerProperty);
        // The controls are gone with the window: the fonts made for them go
        // with the layout.
        const std::unique_ptr<DpiFollower> owned(follower);
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    default:
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

uint32_t SystemDpi()
{
    if (const auto forSystem = Functions().forSystem) return UsableDpi(forSystem());
    const HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return kBaseDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return UsableDpi(dpi > 0 ? static_cast<uint32_t>(dpi) : 0);
}

uint32_t DpiForWindow(HWND hwnd)
{
    if (hwnd == nullptr) return SystemDpi();
    if (const auto forWindow = Functions().forWindow) return UsableDpi(forWindow(hwnd));
    return DpiForMonitor(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
}

uint32_t DpiForPoint(POINT point)
{
    return DpiForMonitor(::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST));
}

int MetricForDpi(int index, uint32_t dpi)
{
    if (const auto metrics = Functions().metrics) return metrics(index, UsableDpi(dpi));
    return RescaleForDpi(::GetSystemMetrics(index), SystemDpi(), dpi);
}

void FollowDpiChanges(HWND dialog)
{
    if (dialog == nullptr) return;
    // A property marks a window that already follows.
    if (::GetPropA(dialog, kFollowerProperty) != nullptr) return;
    std::unique_ptr<DpiFollower> follower(new (std::nothrow) DpiFollower);
    if (!follower) return;
    follower->dpi = DpiForWindow(dialog);
    KeepDialogManagerOut(dialog);
    RecordChildren(dialog, *follower);
    // The window owns the layout from here; it is deleted at WM_NCDESTROY.
    if (::SetWindowSubclass(dialog, &FollowerProc, kFollowerSubclassId,
                            reinterpret_cast<DWORD_PTR>(follower.get()))) {
        ::SetPropA(dialog, kFollowerProperty, follower.release());
    }
}
