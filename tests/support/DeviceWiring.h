// The program's objects in this process joined to the simulated device: a
// channel alone, or everything as start-up makes it (for the tests of the
// message window and the settings window).
#pragma once

#include <windows.h>

#include <memory>

#include "support/DevSim.h"

class CommProtocol2;

// Starts the device with options on COM<port> and opens a channel to it as
// the program does. A failed step fails the test fatally.
void OpenDeviceChannel(DevSim& sim, DevSim::Options options, int port,
                       std::unique_ptr<CommProtocol2>* channel);

// Registers the message-window class (once a process) and creates the
// message window as App().messageWindow, with the common controls set up and
// the restart flags cleared; nullptr when either fails.
HWND OpenTestMessageWindow();

// Wires the objects to the device on COM<port> as start-up does: the channel
// (handed out through *channel as soon as it exists, for the tear-down), the
// identification, controller and LCD for the identity, and the settings
// window owned by messageWindow. A failed step fails the test fatally.
void WireToDevice(int port, HWND messageWindow, CommProtocol2** channel);

// Takes the wiring apart: listener and LCD link removed, channel closed;
// LCD, controller and channel destroyed and *channel nullptr. The windows
// stay.
void UnwireFromDevice(CommProtocol2** channel);

// Identity, models and restart flags as before any wiring.
void ResetAppState();
