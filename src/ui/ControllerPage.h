// The Controller page of the settings window: the controller's parameters
// as sliders, the "Ctrl Info" status line, and "&Default", "Re&Init" and
// "Re&fresh". Dialog 153 for ZMR01 (five sliders), dialog 164 for ZMR02 to
// ZMR04 (the same five and Charge WS). The sliders edit the controller
// object only; OK and Apply of the settings window store and send.
#pragma once

#include <windows.h>

// (Re)creates the page for App().controllerModel as a child of parent and
// records it as the settings window's page 2; shown if the page it replaces
// was visible. Ends the process when the page cannot be created.
void CreateControllerPage(HWND parent);

// What the three buttons do. Each fetches the controller, LCD, channel and
// page anew (a box or an identification may replace them) and does nothing
// while another settings action is running.
void ControllerPageDefault();
void ControllerPageReInit();
void ControllerPageRefresh();
