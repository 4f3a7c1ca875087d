// What OK and Apply of the settings window do, in which order, with which
// retries and reports. Platform-free: the window supplies the operations on
// the application's current objects; tests supply a recorder.
#pragma once

#include <cstdint>

// Reports of the two actions (message-table identifiers).
constexpr uint32_t kMsgRegistryWriteError = 0xa02a0009; // registry write failed
constexpr uint32_t kMsgCtrlSendError = 0xa02a000d;      // controller refused its configuration
constexpr uint32_t kMsgLcdSendError = 0xa02a002d;       // LCD refused its configuration

// A configuration is sent at most this often by OK, with a pause before
// every retry: a controller that is just restarting needs a moment.
constexpr int kConfigSendAttempts = 3;
constexpr int kConfigRetryPauseMs = 1000;

// Page indices of the settings window, in tab order.
enum SettingsPageIndex : int {
    kPageHardware = 0,
    kPageCalibration = 1,
    kPageController = 2,
    kPageDriver = 3,
    kPageMouse = 4,
    kPageAbout = 5,
    kSettingsPageCount = 6
};

// The operations OK and Apply use. Each call looks the current object up
// again: a report box runs a message loop, during which the controller or
// LCD may have been replaced.
class SettingsSaveTarget {
public:
    virtual bool HasController() = 0;
    virtual bool WriteCurrentDevice() = 0; // "CurrentDevice" := controller model
    virtual bool SaveControllerSettings() = 0;
    virtual int WriteControllerConfig() = 0; // 0 = sent
    virtual bool HasLcd() = 0;
    virtual bool WriteCurrentLcd() = 0; // "CurrentLcd" := LCD type
    virtual bool SaveLcdConfig() = 0;
    virtual int SendLcdConfig() = 0; // 0 = sent
    virtual void Pause(int milliseconds) = 0;
    virtual void Report(uint32_t messageId) = 0; // modal
    // The program is ending (a quit request met in a report's loop): nothing
    // more is saved or sent.
    virtual bool Stopping() { return false; }

protected:
    ~SettingsSaveTarget() = default;
};

// OK after the pages have stored their controls: registry first, then the
// device, controller before LCD. A failed registry step skips all that
// follows and is reported once; a refused configuration is reported but is
// no registry failure.
void RunSettingsOk(SettingsSaveTarget& target);

// Apply after the page at pageIndex has stored its controls: only what that
// page changed is saved; the Controller page's configuration is sent once.
// An index outside the pages does nothing.
void RunSettingsApply(SettingsSaveTarget& target, int pageIndex);
