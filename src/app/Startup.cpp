#include "app/Startup.h"

#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Messages.h"
#include "app/CommandRun.h"
#include "app/Factories.h"
#include "app/MessageWindow.h"
#include "app/ModelSelection.h"
#include "app/PortFollow.h"
#include "app/StopWatch.h"
#include "app/TrayIcon.h"
#include "app/Wiring.h"
#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/Handles.h"
#include "base/ModalLoop.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "calibration/CalibrationWindow.h"
#include "channel/CommProtocol2.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdBar.h"
#include "lcd/LcdModels.h"
#include "resources/resource.h"
#include "ui/CommInfoBox.h"
#include "ui/HoldRingWindow.h"
#include "ui/MouseButtonWindow.h"
#include "ui/SettingsWindow.h"

namespace {

constexpr UINT kUnhandledFaultExitCode = 0xFFFFFFFF;

// --- test switches -------------------------------------------------------

// Written once at start, before any event can be written; read by the
// thread that writes an event.
char g_szEventTrace[MAX_PATH];

void AppendEventTrace(void*, uint32_t eventId, const char* insert)
{
    char line[kTextMax + 16] = {};
    FormatBounded(line, sizeof line, "%08x %s\r\n", static_cast<unsigned>(eventId),
                  insert != nullptr ? insert : "");
    // Opened per line so that the file is complete whenever the program ends.
    UniqueFileHandle file(::CreateFileA(g_szEventTrace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
}

void InstallEventTrace()
{
    const DWORD length =
        ::GetEnvironmentVariableA(kEventTraceVariable, g_szEventTrace, sizeof g_szEventTrace);
    if (length == 0 || length >= sizeof g_szEventTrace) {
        g_szEventTrace[0] = '\0';
        return;
    }
    SetAppEventObserver(&AppendEventTrace, nullptr);
}

UINT TemperaturePeriod()
{
    char text[16] = {};
    const DWORD length = ::GetEnvironmentVariableA(kTemperaturePeriodVariable, text, sizeof text);
    if (length == 0 || length >= sizeof text) return kTemperaturePeriodMs;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value < 10 || value > kTemperaturePeriodMs)
        return kTemperaturePeriodMs;
    return static_cast<UINT>(value);
}

// Launchers may pass arguments, which the program has always ignored: it
// still does, and says once which.
void ReportIgnoredArguments(const std::vector<std::string>& arguments)
{
    if (arguments.empty()) return;
    std::string joined;
    for (const std::string& a : arguments)
        joined += (joined.empty() ? "" : " ") + a;
    if (joined.size() > kTextMax - 1) joined.resize(kTextMax - 1);
    ReportAppEvent(MSG_ARGUMENTS_IGNORED, joined.c_str());
}

// --- unhandled faults ----------------------------------------------------

std::atomic<bool> g_faultSeen{false};

[[noreturn]] void EndAfterUnhandledFault()
{
    // A fault while the first one is being shown ends the process at once.
    if (!g_faultSeen.exchange(true)) ShowMessageBoxModal(MSG_FATAL_ERROR);
    ::ExitProcess(kUnhandledFaultExitCode);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS*)
{
    EndAfterUnhandledFault();
}

[[noreturn]] void OnTerminate()
{
    EndAfterUnhandledFault();
}

// --- channel -------------------------------------------------------------

// The pauses serve messages, so that a stop request ends them (and start-up)
// at once instead of after half a minute.
void OpenChannel(ChannelVirt& channel)
{
    const char* port = ChannelName(channel.ChannelIndex());
    DWORD error = ERROR_SUCCESS;
    OpenWithRetries(
        [&] {
            const bool opened = channel.Open();
            if (!opened) error = ::GetLastError();
            return opened;
        },
        [&](int) {
            char text[kTextMax] = {};
            FormatBounded(text, sizeof text, "%s, LastError: %d", port != nullptr ? port : "",
                          static_cast<int>(error));
            ReportAppEvent(MSG_CHANNEL_CANT_OPEN, text);
        },
        [](unsigned ms) { return WaitServingMessages(ms); });
}

// --- the session ---------------------------------------------------------

UniqueIcon LoadAppIcon(HINSTANCE instance, int id, bool small)
{
    const int cx = small ? ::GetSystemMetrics(SM_CXSMICON) : ::GetSystemMetrics(SM_CXICON);
    const int cy = small ? ::GetSystemMetrics(SM_CYSMICON) : ::GetSystemMetrics(SM_CYICON);
    return UniqueIcon(static_cast<HICON>(
        ::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR)));
}

void SendCtrlInfo()
{
    const HWND page = SettingsControllerPage();
    if (page != nullptr) ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_CTRL_INFO, 0), 0);
}

bool OfferToDialog(HWND dialog, MSG* msg)
{
    return dialog != nullptr && ::IsDialogMessageA(dialog, msg);
}

void DestroyWindowOf(HWND* window)
{
    const HWND w = std::exchange(*window, nullptr);
    if (w != nullptr) ::DestroyWindow(w);
}

// What start-up created, so that shutdown undoes exactly that.
class Session {
public:
    bool Start(HINSTANCE instance, const std::vector<std::string>& ignoredArguments, void (*started)());
    int Run();
    void Shutdown();

private:
    HINSTANCE m_hInstance = nullptr;
    UniqueIcon m_hCalibrationIcon;
    UniqueIcon m_hMessageIcon;
    UniqueIcon m_hSettingsIcon;
    StopWatch m_stopWatch;
    bool m_bCalibrationClass = false;
    bool m_bMessageClass = false;
};

bool Session::Start(HINSTANCE instance, const std::vector<std::string>& ignoredArguments, void (*started)())
{
    AppContext& app = App();
    m_hInstance = instance;
    app.instance = instance;
    app.messageWindow = nullptr;

    RegisterAppEventSource();
    InstallEventTrace();
    InstallUnhandledFaultHandler();
    ReportIgnoredArguments(ignoredArguments);

    app.ident = IdentRecord{};
    app.controllerModel = -1;
    app.lcdModel = -1;
    app.settingsWindow = app.lcdBar = app.miniLcdBar = app.mouseButtonWindow = app.commInfoBox =
        app.holdRingWindow = nullptr;
    app.keypadState = 0;
    app.reInitBusy.store(0);
    app.restartPending.store(0);

    app.embedded = QueryEmbeddedSystem() || EmbeddedSwitchSet();
    app.accessCodeDamaged = !ReadStoredCode(&app.accessCode);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    m_hCalibrationIcon = LoadAppIcon(instance, IDI_APP, true);
    WNDCLASSEXA calibration = {};
    calibration.cbSize = sizeof calibration;
    calibration.style = CS_HREDRAW | CS_VREDRAW;
    calibration.lpfnWndProc = &CalibrationWndProc;
    calibration.hInstance = instance;
    calibration.hIconSm = m_hCalibrationIcon.get();
    calibration.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    calibration.lpszClassName = kCalibrationClassName;
    m_bCalibrationClass = ::RegisterClassExA(&calibration) != 0;
    if (!m_bCalibrationClass) {
        ShowMessageBoxModal(MSG_CALIBRATION_CLASS_ERROR);
        return false;
    }

    m_hMessageIcon = LoadAppIcon(instance, IDI_APP, false);
    m_bMessageClass = RegisterMessageWindowClass(instance, m_hMessageIcon.get());
    if (!m_bMessageClass) {
        ShowMessageBoxModal(MSG_MESSAGE_CLASS_ERROR);
        return false;
    }

    app.messageWindow = CreateMessageWindow(instance);
    if (app.messageWindow == nullptr) return false;
    // From here on a stop request from any session ends the program, even
    // during the open retries below. Without it only the window is reachable.
    m_stopWatch.Start(app.messageWindow);

    app.commInfoBox = CreateCommInfoBox(instance);

    // Before the controller loads: a calibration of before the orientation
    // was recorded takes the touch monitor's.
    RefreshMonitors();

    ChannelVirt* channel = CreateChannel(-1);
    app.channel.store(channel);
    OpenChannel(*channel);
    if (QuitRequested()) return false;
    // Unanswered, the identification stays all zero and the stored models apply.
    channel->Identify(&app.ident, false);

    app.controllerModel = CtrlModelFromIdent(app.ident);
    app.lcdModel = LcdModelFromIdent(app.ident);
    CtrlVirt* controller = CreateController(app.controllerModel);
    app.controller.store(controller);
    LcdVirt* lcd = CreateLcd(app.lcdModel);
    app.lcd.store(lcd);

    if (lcd != nullptr) lcd->AttachController(controller);
    channel->SetListener(controller);

    if (controller != nullptr && controller->WriteConfig() != 0) ShowMessageBoxModeless(MSG_CTRL_SEND_ERROR);
    if (lcd != nullptr && lcd->SendConfig() != 0) ShowMessageBoxModeless(MSG_LCD_SEND_ERROR);
    if (!WriteCurrentDevice(app.controllerModel) || !WriteCurrentLcd(app.lcdModel)) {
        ShowMessageBoxModeless(MSG_REGISTRY_WRITE_ERROR);
    }

    app.settingsWindow = CreateSettingsWindow(app.messageWindow);
    if (app.settingsWindow == nullptr) return false;
    ::ShowWindow(app.settingsWindow, SW_HIDE);
    SendCtrlInfo();
    m_hSettingsIcon = LoadAppIcon(instance, IDI_SETTINGS, true);
    ::SendMessageA(app.settingsWindow, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(m_hSettingsIcon.get()));

    if (!app.embedded) TrayLoad();

    CreateLcdBar(&app.lcdBar);
    CreateMiniLcdBar(&app.miniLcdBar);
    app.mouseButtonWindow = CreateMouseButtonWindow(app.messageWindow);
    app.holdRingWindow = CreateHoldRingWindow(instance);
    if (app.miniLcdBar != nullptr) ::SetActiveWindow(app.miniLcdBar);

    StartTemperatureTimer(app.messageWindow, TemperaturePeriod());
    // A stored port that did not open or answer above is searched for on
    // the other ports from the first tick on.
    StartPortFollow(app.messageWindow);
    // The first reading at once rather than a minute from now.
    ::SendMessageA(app.messageWindow, WM_TIMER, kTemperatureTimerId, 0);
    SetCommandsAccepted(true);
    if (started != nullptr) started();
    return true;
}

int Session::Run()
{
    const AppContext& app = App();
    MSG msg = {};
    for (;;) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            QuitReachedMainLoop();
            break;
        }
        if (got == -1) return 0;
        if (OfferToDialog(app.settingsWindow, &msg) || OfferToDialog(app.commInfoBox, &msg) ||
            OfferToDialog(app.lcdBar, &msg) || OfferToDialog(app.miniLcdBar, &msg)) {
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void Session::Shutdown()
{
    SetCommandsAccepted(false);
    AppContext& app = App();
    if (app.messageWindow != nullptr) {
        StopTemperatureTimer(app.messageWindow);
        StopPortFollow(app.messageWindow);
    }
    if (!app.embedded) TrayUnload();

    // No delivery and no LCD command may reach an object being destroyed:
    // unhook both before closing the port and destroying anything.
    ChannelVirt* channel = app.channel.load();
    LcdVirt* lcd = app.lcd.load();
    if (channel != nullptr) channel->ClearListener();
    if (lcd != nullptr) lcd->DetachController();
    if (channel != nullptr) channel->Close();

    DestroyLcd(app.lcd.exchange(nullptr));
    DestroyController(app.controller.exchange(nullptr));
    DestroyChannel(app.channel.exchange(nullptr));

    DestroyWindowOf(&app.messageWindow);
    DestroyWindowOf(&app.settingsWindow);
    DestroyWindowOf(&app.commInfoBox);
    DestroyWindowOf(&app.lcdBar);
    DestroyWindowOf(&app.miniLcdBar);
    DestroyWindowOf(&app.mouseButtonWindow);
    DestroyWindowOf(&app.holdRingWindow);

    if (m_bCalibrationClass) ::UnregisterClassA(kCalibrationClassName, m_hInstance);
    if (m_bMessageClass) ::UnregisterClassA(kMessageWindowClass, m_hInstance);
    m_bCalibrationClass = m_bMessageClass = false;
    // Released only now that no window or class refers to them.
    m_hSettingsIcon.reset();
    m_hCalibrationIcon.reset();
    m_hMessageIcon.reset();
    // Last: a stop tool waiting for the program's end sees it only now.
    m_stopWatch.Stop();
}

} // namespace

int RunApplication(HINSTANCE instance, const std::vector<std::string>& ignoredArguments, void (*started)())
{
    ConnectLayers();
    Session session;
    const int code = session.Start(instance, ignoredArguments, started) ? session.Run() : 0;
    session.Shutdown();
    return code;
}

void InstallUnhandledFaultHandler()
{
    ::SetUnhandledExceptionFilter(&OnUnhandledException);
    std::set_terminate(&OnTerminate);
}

bool EmbeddedSwitchSet()
{
    char text[8] = {};
    const DWORD length = ::GetEnvironmentVariableA(kEmbeddedVariable, text, sizeof text);
    return length == 1 && text[0] == '1';
}

bool QueryEmbeddedSystem()
{
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
    return (version.wSuiteMask & VER_SUITE_EMBEDDEDNT) != 0;
}
