#include "app/MessageWindow.h"

#include <new>

#include "Messages.h"
#include "app/CommandRun.h"
#include "app/Factories.h"
#include "base/Monitors.h"
#include "app/PortFollow.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/ModalLoop.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdBar.h"
#include "lcd/LcdVirt.h"
#include "ui/ControllerPage.h"
#include "ui/SettingsPages.h"

namespace {

void SendCtrlInfo()
{
    const HWND page = SettingsControllerPage();
    if (page != nullptr) ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_CTRL_INFO, 0), 0);
}

} // namespace

bool RegisterMessageWindowClass(HINSTANCE instance, HICON icon)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &MessageWindow::WndProc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.lpszClassName = kMessageWindowClass;
    return ::RegisterClassExA(&wc) != 0;
}

HWND CreateMessageWindow(HINSTANCE instance)
{
    const HWND window =
        ::CreateWindowExA(0, kMessageWindowClass, kMessageWindowTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                          0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window != nullptr) ::ShowWindow(window, SW_HIDE);
    return window;
}

bool StartTemperatureTimer(HWND window, UINT periodMs)
{
    return ::SetTimer(window, kTemperatureTimerId, periodMs, nullptr) != 0;
}

void StopTemperatureTimer(HWND window)
{
    ::KillTimer(window, kTemperatureTimerId);
}

LRESULT CALLBACK MessageWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<MessageWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        self = new (std::nothrow) MessageWindow(hwnd);
        if (self == nullptr) return FALSE;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        delete self;
        if (App().messageWindow == hwnd) App().messageWindow = nullptr;
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    // Nothing may unwind through the system's dispatch code.
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

LRESULT MessageWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
    case WM_DESTROY:
    case WM_INITDIALOG:
        return 0;
    case WM_CLOSE:
        // Destroying the mailbox would leave the program running deaf to
        // the device; a request to close it ends the program properly.
        RequestQuit(0);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam != FALSE) OnSessionEnd();
        return 0;
    case WM_TIMER:
        if (wParam == kPortSearchTimerId) {
            PortFollowTick();
            return 0;
        }
        OnTimer();
        return 0;
    case WM_DISPLAYCHANGE:
    case WM_SETTINGCHANGE:
        // Resolution, arrangement, monitors added or gone, a turn: the touch
        // monitor and its mapping apply from the next touch.
        RefreshMonitors();
        return 0;
    case WM_DEVICECHANGE:
        PortFollowDeviceChange(wParam, lParam);
        return TRUE;
    case WM_POWERBROADCAST:
        PortFollowPower(wParam);
        return TRUE;
    case WM_COPYDATA:
        // A job of a second instance started by a setup script.
        PortFollowWake();
        return AnswerCommand(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            return 0;
        case CMD_EXIT_PROGRAM:
            RequestQuit(0);
            return 0;
        case CMD_DEVICE_RESTARTED:
            OnDeviceRestarted();
            PortFollowWake();
            return 0;
        case CMD_LINE_CHANGED:
            PortFollowWake();
            return 0;
        case CMD_APP_EVENT:
            WritePostedAppEvent(lParam);
            return 0;
        case CMD_IDENTIFIED:
            if (lParam == 0) return 0;
            PortFollowWake();
            return OnIdentified(*reinterpret_cast<const IdentRecord*>(lParam)) ? 1 : 0;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcA(m_hwnd, msg, wParam, lParam);
}

void MessageWindow::OnDeviceRestarted()
{
    // A settings action is paused in a box and may hold the controller, the
    // LCD or the Controller page: the restart replaces them, so it waits for
    // the action to end, which posts the notice again.
    if (SettingsActionRunning()) {
        DeferDeviceRestart();
        return;
    }
    if (m_bRestartRunning) {
        m_bRestartAgain = true;
        return;
    }
    m_bRestartRunning = true;
    do {
        m_bRestartAgain = false;
        // Cleared before identifying: a notice that comes in from here on
        // means another restart, which must be handled again.
        App().restartPending.store(0);
        RestartOnce();
    } while (m_bRestartAgain);
    m_bRestartRunning = false;
}

void MessageWindow::RestartOnce()
{
    AppContext& app = App();
    IdentRecord ident{};
    // A device that restarted and does not answer may never send the
    // release of a touch that was down.
    if (ChannelVirt* channel = app.channel.load(); channel != nullptr && !channel->Identify(&ident, false))
        channel->BreakTouchStream();

    const LRESULT replaced =
        ::SendMessageA(m_hwnd, WM_COMMAND, MAKEWPARAM(CMD_IDENTIFIED, 0), reinterpret_cast<LPARAM>(&ident));
    if (replaced == 0) {
        // A replaced controller has just been sent its configuration.
        CtrlVirt* controller = app.controller.load();
        if (controller != nullptr && controller->WriteConfig() != 0) {
            app.ident = ident;
            SendCtrlInfo();
            ShowMessageBoxModeless(MSG_CTRL_SEND_ERROR);
        }
    }
    app.ident = ident;
    SendCtrlInfo();

    if (LcdVirt* lcd = app.lcd.load(); lcd != nullptr && lcd->SendConfig() != 0) {
        ShowMessageBoxModal(MSG_LCD_SEND_ERROR);
    }
    // Looked up again: the modal box above ran a message loop, in which the
    // program may have been asked to end.
    if (QuitRequested()) {
        app.reInitBusy.exchange(0);
        return;
    }
    if (LcdVirt* lcd = app.lcd.load(); lcd != nullptr && lcd->ReleaseKeys() != 0) {
        ShowMessageBoxModal(MSG_LCD_PORT_RESET_ERROR);
    }
    app.reInitBusy.exchange(0);
}

bool MessageWindow::OnIdentified(const IdentRecord& ident)
{
    const int controllerModel = CtrlModelFromIdent(ident);
    const int lcdModel = LcdModelFromIdent(ident);
    bool replaced = false;
    if (controllerModel != App().controllerModel) replaced |= ReplaceController(controllerModel, ident);
    if (lcdModel != App().lcdModel) replaced |= ReplaceLcd(lcdModel, ident);
    if (replaced) {
        // The pages still show the old model's values, which the next OK
        // would write under the new model's key.
        SendToAllPages(CMD_PAGE_RELOAD);
        if (const HWND mouseButton = App().mouseButtonWindow; mouseButton != nullptr) {
            ::PostMessageA(mouseButton, WM_COMMAND, MAKEWPARAM(CMD_MOUSE_BUTTON_CHANGED, 0), 0);
        }
    }
    return replaced;
}

bool MessageWindow::ReplaceController(int model, const IdentRecord& ident)
{
    AppContext& app = App();
    LcdVirt* lcd = app.lcd.load();
    ChannelVirt* channel = app.channel.load();
    // Both return only when nothing uses the old controller any more.
    if (lcd != nullptr) lcd->DetachController();
    if (channel != nullptr) channel->ClearListener();
    DestroyController(app.controller.exchange(nullptr));

    app.ident.HwId = ident.HwId;
    app.controllerModel = model;

    const HWND oldPage = SettingsControllerPage();
    // The page's own visibility: it is the one shown in its tab even while
    // the settings window itself is hidden.
    const bool pageWasVisible =
        oldPage != nullptr && (::GetWindowLongPtrA(oldPage, GWL_STYLE) & WS_VISIBLE) != 0;
    if (oldPage != nullptr) ::ShowWindow(oldPage, SW_HIDE);

    CtrlVirt* controller = CreateController(model);
    app.controller.store(controller);
    if (controller != nullptr) {
        if (lcd != nullptr) lcd->AttachController(controller);
        if (channel != nullptr) channel->SetListener(controller);
    }

    if (app.settingsWindow != nullptr) {
        CreateControllerPage(app.settingsWindow);
        const HWND page = SettingsControllerPage();
        if (page != nullptr) ::ShowWindow(page, pageWasVisible ? SW_SHOW : SW_HIDE);
    }

    if (controller != nullptr && controller->WriteConfig() != 0) {
        SendCtrlInfo();
        ShowMessageBoxModeless(MSG_CTRL_SEND_ERROR);
    }
    if (!WriteCurrentDevice(model)) {
        SendCtrlInfo();
        ShowMessageBoxModeless(MSG_REGISTRY_WRITE_ERROR);
    }
    return true;
}

bool MessageWindow::ReplaceLcd(int model, const IdentRecord& ident)
{
    AppContext& app = App();
    if (LcdVirt* old = app.lcd.exchange(nullptr)) {
        old->DetachController();
        DestroyLcd(old);
    }

    app.ident.HwId = ident.HwId;
    app.lcdModel = model;

    LcdVirt* lcd = CreateLcd(model);
    if (lcd != nullptr) lcd->AttachController(app.controller.load());
    app.lcd.store(lcd);
    CreateLcdBar(&app.lcdBar);

    if (lcd != nullptr && lcd->SendConfig() != 0) {
        SendCtrlInfo();
        ShowMessageBoxModeless(MSG_LCD_SEND_ERROR);
    }
    if (!WriteCurrentLcd(model)) {
        SendCtrlInfo();
        ShowMessageBoxModeless(MSG_REGISTRY_WRITE_ERROR);
    }
    return true;
}

void MessageWindow::OnSessionEnd()
{
    // Windows may end the process as soon as this returns: the touch and the
    // port are let go now, and no box is shown from here on.
    BeginSessionEnd();
    if (ChannelVirt* channel = App().channel.load()) {
        channel->BreakTouchStream();
        channel->ClearListener();
        channel->Close();
    }
    RequestQuit(0);
}

void MessageWindow::OnTimer()
{
    CtrlVirt* controller = App().controller.load();
    if (controller == nullptr) return;
    float degrees = 0.0f;
    if (controller->ReadTemperature(&degrees) != 1) return;
    const HWND about = SettingsAboutPage();
    if (about != nullptr) {
        ::SendMessageA(about, WM_COMMAND, MAKEWPARAM(CMD_TEMPERATURE, 0), reinterpret_cast<LPARAM>(&degrees));
    }
}
