#include "app/Wiring.h"

#include "app/ConfigurationImport.h"
#include "app/Factories.h"
#include "app/TrayIcon.h"
#include "base/AppContext.h"
#include "base/Reporting.h"
#include "calibration/CalibrationPage.h"
#include "calibration/CalibrationWindow.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdBar.h"
#include "ui/HardwarePage.h"
#include "ui/InfoBox.h"
#include "ui/SettingsWindow.h"

namespace {

bool ControllerLogsEvents()
{
    // Before a controller exists nothing can have switched logging off.
    const CtrlVirt* controller = App().controller.load();
    return controller == nullptr || controller->UseLogEvent != 0;
}

// The run tells the Driver page when Rotate and SwapXY may have changed.
HWND DriverPage()
{
    return SettingsPage(kPageDriver);
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
    SetConfigurationLoader(&LoadConfigurationFromPage);
    SetCalibrationPageCreator(&CreateCalibrationPage);
    SetDriverPageLocator(&DriverPage);
}
