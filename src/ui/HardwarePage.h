// The Hardware page of the settings window (dialog 136): the COM port, its
// line settings, the controller model and the LCD type; the port change
// (confirmed, with the cable-check countdown, switching to the new channel
// only when a controller answers there) and "Save configuration".
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/IdentRecord.h"

class ChannelVirt;

// Creates the page hidden as a child of the settings window; nullptr when it
// cannot be created.
HWND CreateHardwarePage(HWND settingsWindow);

// The channel factory belongs to the application, above this layer; it is
// installed before the settings window is created. destroy accepts nullptr.
struct ChannelFactory {
    ChannelVirt* (*create)(int index) = nullptr;
    void (*destroy)(ChannelVirt* channel) = nullptr;
};
void SetChannelFactory(const ChannelFactory& factory);

// The port change to the item now selected in the port list (1056), as the
// list runs it when the user has finished choosing. Does nothing while
// another action of the settings window (a box) is under way.
void HardwarePagePortChange(HWND page);

// "Load configuration" belongs to the application, above this layer (the
// import reaches every object); installed before the settings window is
// created. Called with the page; nothing happens without one.
using ConfigurationLoader = void (*)(HWND page);
void SetConfigurationLoader(ConfigurationLoader loader);

// A port change asked for by a configuration import: no confirmation and no
// cable countdown, the rest as the list does it. When nothing answers on the
// new port the old channel stays current (with the event the list writes);
// the caller says so. A request for the port in use reopens it, so that it
// takes its stored line settings.
enum class QuietPortChange {
    Switched, // the device answered on port n, which is current now
    Reopened, // port n was current; it was reopened with its stored settings
    NoAnswer, // nothing answered on port n; the previous channel is current
    Failed,   // port n could not be created or opened; nothing changed
};
QuietPortChange HardwarePageSwitchQuietly(int n);

// The device answered its identification (record) on answered, an open
// channel that is not the current one: it becomes the current channel as
// after a port change (the old one released, the model check, the
// configuration sent), and its port is stored. Takes ownership.
void HardwarePageTakeChannel(ChannelVirt* answered, const IdentRecord& record);

// Messages and events of the port change.
constexpr uint32_t kMsgConfirmChannelChange = 0xa02a001d;
constexpr uint32_t kMsgChannelCreateError = 0xa02a001e;
constexpr uint32_t kMsgChannelOpenError = 0xa02a001f;
constexpr uint32_t kMsgControllerNotFound = 0xa02a002c;
constexpr uint32_t kEventChannelSwitchFailed = 0x602a0002;
constexpr uint32_t kEventChannelChanged = 0x602a0034;
