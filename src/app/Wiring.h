// Connects the lower layers to the ones above them through the hooks those
// layers own. Called first thing at start-up, and by the entry points of the
// Windows-side tests so that they see the program's behaviour.
#pragma once

// Reporting: the current controller's event switch and the information box.
// The mini LCD bar: the tray icon its "&Maximize" adds.
// The settings window: the Calibration page of the layer above it.
void ConnectLayers();
