#include "support/DeviceWiring.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/Factories.h"
#include "app/MessageWindow.h"
#include "base/AppContext.h"
#include "channel/CommProtocol2.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "ui/SettingsWindow.h"

void OpenDeviceChannel(DevSim& sim, DevSim::Options options, int port,
                       std::unique_ptr<CommProtocol2>* channel)
{
    options.port = port;
    ASSERT_TRUE(sim.Start(options)) << sim.LastError();
    *channel = std::make_unique<CommProtocol2>(port - 1, false);
    ASSERT_TRUE((*channel)->Open());
}

HWND OpenTestMessageWindow()
{
    AppContext& app = App();
    app.instance = ::GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    static const bool registered = RegisterMessageWindowClass(app.instance, nullptr);
    if (!registered) return nullptr;
    const HWND window = CreateMessageWindow(app.instance);
    app.messageWindow = window;
    app.restartPending.store(0);
    app.reInitBusy.store(0);
    return window;
}

void WireToDevice(int port, HWND messageWindow, CommProtocol2** channel)
{
    AppContext& app = App();
    *channel = new CommProtocol2(port - 1, false);
    ASSERT_TRUE((*channel)->Open());
    app.channel.store(*channel);
    (*channel)->Identify(&app.ident, false);
    app.controllerModel = CtrlModelFromIdent(app.ident);
    app.lcdModel = LcdModelFromIdent(app.ident);
    app.controller.store(CreateController(app.controllerModel));
    app.lcd.store(CreateLcd(app.lcdModel));
    app.lcd.load()->AttachController(app.controller.load());
    (*channel)->SetListener(app.controller.load());
    app.settingsWindow = CreateSettingsWindow(messageWindow);
    ASSERT_NE(app.settingsWindow, nullptr);
}

void UnwireFromDevice(CommProtocol2** channel)
{
    AppContext& app = App();
    if (*channel != nullptr) (*channel)->ClearListener();
    if (LcdVirt* lcd = app.lcd.load()) lcd->DetachController();
    if (*channel != nullptr) (*channel)->Close();
    DestroyLcd(app.lcd.exchange(nullptr));
    DestroyController(app.controller.exchange(nullptr));
    DestroyChannel(app.channel.exchange(nullptr));
    *channel = nullptr;
}

void ResetAppState()
{
    AppContext& app = App();
    app.ident = IdentRecord{};
    app.controllerModel = app.lcdModel = -1;
    app.restartPending.store(0);
    app.reInitBusy.store(0);
}
