#include "app/TrayIcon.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "base/Reporting.h"
#include "resources/resource.h"
#include "ui/SettingsWindow.h"

#if defined(_M_IX86) || defined(__i386__)
static_assert(kNotifyIconRecordSize == 88, "the short record of 32-bit Windows");
#endif

namespace {

// Main thread only. The library handle is released by TrayUnload rather
// than by a wrapper because a failure to release it is reported.
struct TrayState {
    HMODULE shell32 = nullptr;
    ShellNotifyIconFunction notify = nullptr;
    bool shown = false;
    UniqueIcon icon;
};

TrayState& Tray()
{
    static TrayState state;
    return state;
}

NOTIFYICONDATAA BaseRecord()
{
    NOTIFYICONDATAA data = {};
    data.cbSize = kNotifyIconRecordSize;
    data.hWnd = App().settingsWindow;
    // The instance handle is unique per process, which is all the
    // identifier has to be.
    data.uID = static_cast<UINT>(reinterpret_cast<uintptr_t>(App().instance));
    return data;
}

} // namespace

void TrayLoad()
{
    TrayState& tray = Tray();
    tray.shell32 = ::LoadLibraryA("shell32");
    if (tray.shell32 == nullptr) {
        ShowMessageBoxModal(MSG_LOAD_LIBRARY_FAILED);
        return;
    }
    tray.notify = reinterpret_cast<ShellNotifyIconFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(tray.shell32, "Shell_NotifyIcon")));
    if (tray.notify == nullptr) ShowMessageBoxModal(MSG_GET_PROC_ADDRESS_FAILED);
}

void TrayUnload()
{
    TrayState& tray = Tray();
    if (tray.shown && !TrayIconRemove()) ShowMessageBoxModal(MSG_TRAY_REMOVE_ERROR);
    tray.notify = nullptr;
    if (tray.shell32 != nullptr) {
        if (!::FreeLibrary(tray.shell32)) ShowMessageBoxModal(MSG_FREE_LIBRARY_FAILED);
        tray.shell32 = nullptr;
    }
}

bool TrayIconAdd()
{
    TrayState& tray = Tray();
    if (tray.shown || tray.notify == nullptr) return true;

    NOTIFYICONDATAA data = BaseRecord();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    UniqueIcon icon(static_cast<HICON>(::LoadImageA(App().instance, MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                                    ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
    data.hIcon = icon.get();
    CopyBounded(data.szTip, 64, "Touch device");
    if (!tray.notify(NIM_ADD, &data)) return false;
    tray.icon = std::move(icon);
    tray.shown = true;
    return true;
}

bool TrayIconRemove()
{
    TrayState& tray = Tray();
    if (!tray.shown) return true;
    if (tray.notify == nullptr) return false;
    NOTIFYICONDATAA data = BaseRecord();
    if (!tray.notify(NIM_DELETE, &data)) return false;
    tray.icon.reset();
    tray.shown = false;
    return true;
}

bool TrayIconShown()
{
    return Tray().shown;
}

void SetTrayNotifyFunction(ShellNotifyIconFunction fn)
{
    Tray().notify = fn;
}
