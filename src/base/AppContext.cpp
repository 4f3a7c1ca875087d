#include "base/AppContext.h"

AppContext& App()
{
    static AppContext context;
    return context;
}

void SignalDeviceRestart()
{
    AppContext& app = App();
    if (app.restartPending.exchange(1) == 0 && app.messageWindow != nullptr) {
        ::PostMessageA(app.messageWindow, WM_COMMAND, MAKEWPARAM(CMD_DEVICE_RESTARTED, 0), 0);
    }
}

void SignalLineChanged()
{
    const HWND window = App().messageWindow;
    if (window != nullptr) ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_LINE_CHANGED, 0), 0);
}
