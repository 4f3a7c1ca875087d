#include "app/Wiring.h"

#include "app/Factories.h"
#include "app/TrayIcon.h"
#include "base/AppContext.h"
#include "base/Reporting.h"
#include "controller/CtrlVirt.h"
#include "ui/InfoBox.h"
#include "calibration/CalibrationPage.h"
#include "lcd/LcdBar.h"
#include "ui/HardwarePage.h"
#include "ui/SettingsWindow.h"

namespace {

bool ControllerLogsEvents()
{
    // Before a controller exists nothing can have switched logging off.
    const CtrlVirt* controller = App().controller.load();
    return controller == nullptr || controller->UseLogEvent != 0;
}

} // namespace

void ConnectLayers()
{
    ReportingHooks hooks;
    hooks.logEventsOn = &ControllerLogsEvents;
    hooks.showBox = &ShowInfoBox;
    SetReportingHooks(hooks);
    SetLcdBarTrayIconRequest(&TrayIconAdd);
    ChannelFactory channels;
    channels.create = &CreateChannel;
    channels.destroy = &DestroyChannel;
    SetChannelFactory(channels);
    SetCalibrationPageCreator(&CreateCalibrationPage);
}
