#include "ui/HardwarePage.h"

#include <memory>

#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "channel/CommProtocol2.h"
#include "controller/CtrlVirt.h"
#include "resources/resource.h"
#include "ui/CableCheckBox.h"
#include "ui/ConfigurationExport.h"
#include "ui/ConfirmBox.h"
#include "ui/LineSettingsText.h"
#include "ui/SettingsWindow.h"

namespace {

ChannelFactory g_factory;

void DestroyChannelObject(ChannelVirt* channel)
{
    if (channel == nullptr) return;
    if (g_factory.destroy != nullptr)
        g_factory.destroy(channel);
    else
        delete channel;
}

// A channel that is not (or no longer) the application's: closed and
// released on every way out of the port change.
struct ChannelRelease {
    void operator()(ChannelVirt* channel) const
    {
        if (channel == nullptr) return;
        channel->ClearListener();
        channel->Close();
        DestroyChannelObject(channel);
    }
};
using OwnedChannel = std::unique_ptr<ChannelVirt, ChannelRelease>;

void SetField(HWND page, int id, const char* text)
{
    ::SetDlgItemTextA(page, id, text != nullptr ? text : "");
}

// Selects the current channel's port in the list (none when there is no
// channel or its index is out of range).
void ShowCurrentPort(HWND page)
{
    const ChannelVirt* channel = App().channel.load();
    const int index = channel != nullptr ? channel->ChannelIndex() : -1;
    const WPARAM item =
        index >= 0 && index < kPortCount ? static_cast<WPARAM>(index) : static_cast<WPARAM>(-1);
    ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_SETCURSEL, item, 0);
}

void ShowTypesAndPort(HWND page)
{
    SetField(page, IDC_CONTROLLER_TYPE, ControllerModelName(App().controllerModel));
    SetField(page, IDC_HW_LCD_TYPE, LcdModelName(App().lcdModel));
    ShowCurrentPort(page);
}

void ShowLineSettings(HWND page)
{
    // Only the serial channel has line settings; anything else shows none.
    const auto* channel = dynamic_cast<const CommProtocol2*>(App().channel.load());
    char text[kTextMax] = {};
    if (channel == nullptr) {
        for (const int id : {IDC_HW_BAUD_RATE, IDC_HW_PARITY, IDC_HW_DATA_BITS, IDC_HW_STOP_BITS})
            SetField(page, id, "");
        return;
    }
    const CommSettings& settings = channel->Settings();
    FormatBounded(text, sizeof text, "%i", static_cast<int>(settings.BaudRate));
    SetField(page, IDC_HW_BAUD_RATE, text);
    ParityText(settings.Parity, text, sizeof text);
    SetField(page, IDC_HW_PARITY, text);
    FormatBounded(text, sizeof text, "%i bits", static_cast<int>(settings.ByteSize));
    SetField(page, IDC_HW_DATA_BITS, text);
    StopBitsText(settings.StopBits, text, sizeof text);
    SetField(page, IDC_HW_STOP_BITS, text);
}

// Page state, one per page window, kept in DWLP_USER.
struct HardwarePageState {
    bool selectionPending = false; // selection changed with the list closed
};

HardwarePageState* StateOf(HWND page)
{
    return reinterpret_cast<HardwarePageState*>(::GetWindowLongPtrA(page, DWLP_USER));
}

// Each box runs a message loop: the page, the controller and the channel are
// fetched again after it, never kept across it.
void ChangePort(HWND page)
{
    if (HardwarePageState* state = StateOf(page)) state->selectionPending = false;
    const LRESULT selected = ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_GETCURSEL, 0, 0);
    if (selected < 0 || selected >= kPortCount) return; // no item chosen: nothing to change
    const int n = static_cast<int>(selected);
    const ChannelVirt* current = App().channel.load();
    if (current != nullptr && current->ChannelIndex() == n) return;
    // The boxes are owned by the message window, so the list stays usable
    // while they run; a second change waits for the first to end.
    if (SettingsActionRunning()) {
        ShowCurrentPort(page);
        return;
    }
    const SettingsBusy busy;

    if (!ConfirmBox(kMsgConfirmChannelChange)) {
        ShowCurrentPort(page);
        return;
    }
    OwnedChannel candidate(g_factory.create != nullptr ? g_factory.create(n) : nullptr);
    if (!candidate) {
        ShowCurrentPort(page);
        ShowMessageBoxModal(kMsgChannelCreateError);
        return;
    }
    if (!candidate->Open()) {
        candidate.reset();
        ShowCurrentPort(page);
        ShowMessageBoxModal(kMsgChannelOpenError);
        return;
    }
    RunCableCheckBox();

    IdentRecord record;
    if (!candidate->Identify(&record, true)) {
        candidate.reset();
        ShowCurrentPort(page);
        ReportAppEvent(kEventChannelSwitchFailed, PortName(n));
        ShowMessageBoxModal(kMsgControllerNotFound);
        return; // the old channel stayed current and open throughout
    }

    App().ident = record;
    if (const HWND controllerPage = SettingsPage(kPageController))
        ::SendMessageA(controllerPage, WM_COMMAND, MAKEWPARAM(CMD_CTRL_INFO, 0), 0);
    if (!WriteCurrentChannel(n)) ShowMessageBoxModeless(kMsgRegistryWriteError);

    // The controller listens on one receive thread at a time: off the old
    // channel before it is put on the new one. Frames that arrive on the
    // old line in between are dropped.
    ChannelVirt* previous = App().channel.load();
    if (previous != nullptr) previous->ClearListener();
    candidate->SetListener(App().controller.load());
    OwnedChannel old(App().channel.exchange(candidate.release()));
    old.reset();

    ShowLineSettings(page);
    ShowCurrentPort(page);
    ReportAppEvent(kEventChannelChanged, PortName(n));
}

INT_PTR CALLBACK HardwarePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        ::SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(new HardwarePageState));
        ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_RESETCONTENT, 0, 0);
        for (int port = 0; port < kPortCount; ++port)
            ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_ADDSTRING, 0,
                                  reinterpret_cast<LPARAM>(PortName(port)));
        ShowTypesAndPort(page);
        ShowLineSettings(page);
        return TRUE;
    }
    case WM_NCDESTROY:
        delete StateOf(page);
        ::SetWindowLongPtrA(page, DWLP_USER, 0);
        return FALSE;
    case WM_COMMAND:
        break;
    default:
        return FALSE;
    }
    switch (LOWORD(wParam)) {
    case CMD_PAGE_RELOAD:
    case CMD_PAGE_STORE: // the port change has taken effect already
        ShowTypesAndPort(page);
        ::SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    case IDC_HW_PORT:
        switch (HIWORD(wParam)) {
        case CBN_SELCHANGE:
            if (HardwarePageState* state = StateOf(page)) state->selectionPending = true;
            return TRUE;
        case CBN_KILLFOCUS:
        case CBN_CLOSEUP: {
            const HardwarePageState* state = StateOf(page);
            if (state != nullptr && state->selectionPending) ChangePort(page);
            return TRUE;
        }
        case CBN_SELENDOK:
            ChangePort(page);
            return TRUE;
        default:
            return FALSE;
        }
    case IDC_HW_SAVE_CONFIGURATION:
        ExportConfiguration();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

HWND CreateHardwarePage(HWND settingsWindow)
{
    return ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_PAGE_HARDWARE), settingsWindow,
                                &HardwarePageProc, 0);
}

void SetChannelFactory(const ChannelFactory& factory)
{
    g_factory = factory;
}

void HardwarePagePortChange(HWND page)
{
    ChangePort(page);
}
