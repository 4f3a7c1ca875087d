#include "ui/HardwarePage.h"

#include <cstring>
#include <memory>
#include <utility>

#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/ModalLoop.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "channel/CommProtocol2.h"
#include "channel/PresentPorts.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "resources/resource.h"
#include "ui/CableCheckBox.h"
#include "ui/ConfigurationExport.h"
#include "ui/ConfirmBox.h"
#include "ui/LineSettingsText.h"
#include "ui/SettingsPages.h"

namespace {

ChannelFactory g_factory;
// A port reopened with new line settings: up to 2 s for it to come back.
constexpr int kReopenAttempts = 20;
constexpr DWORD kReopenPauseMs = 100;
ConfigurationLoader g_loader = nullptr;

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

// The list item of port number n, or -1.
LRESULT FindPortItem(HWND page, int number)
{
    const LRESULT count = ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (::SendDlgItemMessageA(page, IDC_HW_PORT, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == number)
            return i;
    }
    return -1;
}

void AddPortItem(HWND page, int number, const char* text)
{
    const LRESULT item =
        ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (item >= 0)
        ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_SETITEMDATA, static_cast<WPARAM>(item),
                              static_cast<LPARAM>(number));
}

// Selects the current channel's port in the list (none when there is no
// channel or its index is out of range). A port the system no longer
// reports is listed all the same while it is the current one.
void ShowCurrentPort(HWND page)
{
    const ChannelVirt* channel = App().channel.load();
    const int index = channel != nullptr ? channel->ChannelIndex() : -1;
    const char* name = ChannelName(index);
    LRESULT item = name != nullptr ? FindPortItem(page, index + 1) : -1;
    if (name != nullptr && item < 0) {
        AddPortItem(page, index + 1, name);
        item = FindPortItem(page, index + 1);
    }
    ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}

// COM1..COM8, then the other ports the system reports, by their friendly
// names. Not while the list is open: the user is choosing from it.
void FillPortList(HWND page)
{
    if (::SendDlgItemMessageA(page, IDC_HW_PORT, CB_GETDROPPEDSTATE, 0, 0) != FALSE) return;
    ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_RESETCONTENT, 0, 0);
    for (const PortItem& port : BuildPortList(ListPresentPorts()))
        AddPortItem(page, port.number, port.text.c_str());
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

// Makes candidate, on which the device answered with record, the current
// channel and configures the device there: the identification's model
// check (which configures what it replaces) and then the stored
// configuration of whatever it kept. The old line gets nothing more.
void SwitchTo(OwnedChannel candidate, IdentRecord record)
{
    AppContext& app = App();
    // The controller listens on one receive thread at a time. A touch held
    // on the old line is released before that line goes; one that came in
    // on it in between is released through the new line (never twice).
    ChannelVirt* previous = app.channel.load();
    if (previous != nullptr) {
        previous->BreakTouchStream();
        previous->ClearListener();
    }
    candidate->SetListener(app.controller.load());
    candidate->BreakTouchStream();
    OwnedChannel old(app.channel.exchange(candidate.release()));
    old.reset();

    app.ident = record;
    const int controllerModel = app.controllerModel;
    const int lcdModel = app.lcdModel;
    if (app.messageWindow != nullptr) {
        ::SendMessageA(app.messageWindow, WM_COMMAND, MAKEWPARAM(CMD_IDENTIFIED, 0),
                       reinterpret_cast<LPARAM>(&record));
    }
    // Looked up again: the model check may have replaced either object.
    CtrlVirt* controller = app.controller.load();
    if (app.controllerModel == controllerModel && controller != nullptr && controller->WriteConfig() != 0)
        ShowMessageBoxModeless(kMsgCtrlSendError);
    LcdVirt* lcd = app.lcd.load();
    if (app.lcdModel == lcdModel && lcd != nullptr && lcd->SendConfig() != 0)
        ShowMessageBoxModeless(kMsgLcdSendError);
    if (const HWND controllerPage = SettingsPage(kPageController))
        ::SendMessageA(controllerPage, WM_COMMAND, MAKEWPARAM(CMD_CTRL_INFO, 0), 0);
}

// Each box runs a message loop: the page, the controller and the channel are
// fetched again after it, never kept across it.
void ChangePort(HWND page)
{
    if (HardwarePageState* state = StateOf(page)) state->selectionPending = false;
    const LRESULT selected = ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_GETCURSEL, 0, 0);
    if (selected < 0) return; // no item chosen: nothing to change
    const LRESULT number =
        ::SendDlgItemMessageA(page, IDC_HW_PORT, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
    if (number < 1 || number > kChannelCount) return;
    const int n = static_cast<int>(number) - 1;
    const ChannelVirt* current = App().channel.load();
    if (current != nullptr && current->ChannelIndex() == n) return;
    // The boxes are owned by the message window, so the list stays usable
    // while they run; a second change waits for the first to end.
    if (SettingsActionRunning()) {
        ShowCurrentPort(page);
        return;
    }
    const SettingsBusy busy;

    // After every box: a quit request met in its loop ends the change, and
    // the program, with the old channel still current.
    if (ConfirmBoxAnswer(kMsgConfirmChannelChange) != kConfirmYes || QuitRequested()) {
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
    if (RunCableCheckBox() == CableCheckOutcome::Quit) {
        ShowCurrentPort(page);
        return;
    }

    // Without the notification: the model check must run once the new
    // channel is current, or it would configure the device on the old line.
    IdentRecord record;
    if (!candidate->Identify(&record, false) || QuitRequested()) {
        candidate.reset();
        ShowCurrentPort(page);
        if (QuitRequested()) return;
        ReportAppEvent(kEventChannelSwitchFailed, ChannelName(n));
        ShowMessageBoxModal(kMsgControllerNotFound);
        return; // the old channel stayed current and open throughout
    }
    SwitchTo(std::move(candidate), record);

    if (!WriteCurrentChannel(n)) ShowMessageBoxModeless(kMsgRegistryWriteError);
    ShowLineSettings(page);
    ShowCurrentPort(page);
    ReportAppEvent(kEventChannelChanged, ChannelName(n));
}

INT_PTR CALLBACK HardwarePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        ::SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(new HardwarePageState));
        FillPortList(page);
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
        FillPortList(page);
        ShowTypesAndPort(page);
        ::SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
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
    case IDC_HW_LOAD_CONFIGURATION:
        if (g_loader != nullptr) g_loader(page);
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

void SetConfigurationLoader(ConfigurationLoader loader)
{
    g_loader = loader;
}

QuietPortChange HardwarePageSwitchQuietly(int n)
{
    AppContext& app = App();
    ChannelVirt* current = app.channel.load();
    if (n < 0 || n >= kChannelCount) return QuietPortChange::Failed;
    auto* serial = dynamic_cast<CommProtocol2*>(current);
    if (current != nullptr && current->ChannelIndex() == n) {
        // The same port with new line settings: a second object could not
        // open it while this one holds it, so this one starts over.
        if (serial == nullptr) return QuietPortChange::Failed;
        // Unchanged settings need no new start (the usual case: a panel
        // gets back its own or a like panel's file).
        const CommProtocol2 stored(n, false);
        if (std::memcmp(&stored.Settings(), &serial->Settings(), sizeof(CommSettings)) == 0) {
            // Opened if start-up could not (true at once when it is open).
            IdentRecord record;
            if (!serial->Open() || !serial->Identify(&record, false)) return QuietPortChange::NoAnswer;
            app.ident = record;
            return QuietPortChange::Reopened;
        }
        serial->BreakTouchStream();
        serial->ClearListener();
        serial->Close();
        serial->LoadSettings();
        // The system may take a moment to let go of a port just closed.
        bool opened = serial->Open();
        for (int attempt = 1; !opened && attempt < kReopenAttempts; ++attempt) {
            ::Sleep(kReopenPauseMs);
            opened = serial->Open();
        }
        serial->SetListener(app.controller.load());
        IdentRecord record;
        if (!opened || !serial->Identify(&record, false)) return QuietPortChange::NoAnswer;
        app.ident = record;
        if (const HWND page = SettingsPage(kPageHardware)) ShowLineSettings(page);
        return QuietPortChange::Reopened;
    }

    OwnedChannel candidate(g_factory.create != nullptr ? g_factory.create(n) : nullptr);
    if (!candidate || !candidate->Open()) return QuietPortChange::Failed;
    IdentRecord record;
    if (!candidate->Identify(&record, false)) {
        candidate.reset();
        ReportAppEvent(kEventChannelSwitchFailed, ChannelName(n));
        return QuietPortChange::NoAnswer;
    }
    SwitchTo(std::move(candidate), record);
    if (!WriteCurrentChannel(n)) ShowMessageBoxModeless(kMsgRegistryWriteError);
    if (const HWND page = SettingsPage(kPageHardware)) {
        ShowLineSettings(page);
        ShowCurrentPort(page);
    }
    ReportAppEvent(kEventChannelChanged, ChannelName(n));
    return QuietPortChange::Switched;
}

void HardwarePageTakeChannel(ChannelVirt* answered, const IdentRecord& record)
{
    if (answered == nullptr) return;
    const int n = answered->ChannelIndex();
    SwitchTo(OwnedChannel(answered), record);
    if (!WriteCurrentChannel(n)) ShowMessageBoxModeless(kMsgRegistryWriteError);
    if (const HWND page = SettingsPage(kPageHardware)) {
        ShowLineSettings(page);
        FillPortList(page);
        ShowCurrentPort(page);
    }
}
