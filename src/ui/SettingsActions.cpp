#include "ui/SettingsActions.h"

namespace {

// Calls send up to kConfigSendAttempts times, pausing before each retry;
// true when one call was accepted.
template <typename Send> bool SendWithRetries(SettingsSaveTarget& target, Send send)
{
    for (int attempt = 0; attempt < kConfigSendAttempts; ++attempt) {
        if (attempt > 0) {
            if (target.Stopping()) return false;
            target.Pause(kConfigRetryPauseMs);
        }
        if (send() == 0) return true;
    }
    return false;
}

// The registry and device steps of OK; false when a registry step failed.
bool SaveAndSendAll(SettingsSaveTarget& target)
{
    if (target.HasController()) {
        if (!target.WriteCurrentDevice()) return false;
        if (!target.SaveControllerSettings()) return false;
        if (!SendWithRetries(target, [&] { return target.WriteControllerConfig(); })) {
            target.Report(kMsgCtrlSendError);
        }
    }
    // Asked again: the report above ran a message loop.
    if (target.Stopping()) return true;
    if (target.HasLcd()) {
        if (!target.WriteCurrentLcd()) return false;
        if (!target.SaveLcdConfig()) return false;
        if (!SendWithRetries(target, [&] { return target.SendLcdConfig(); })) target.Report(kMsgLcdSendError);
    }
    return true;
}

} // namespace

void RunSettingsOk(SettingsSaveTarget& target)
{
    if (!SaveAndSendAll(target)) target.Report(kMsgRegistryWriteError);
}

void RunSettingsApply(SettingsSaveTarget& target, int pageIndex)
{
    switch (pageIndex) {
    case kPageCalibration:
    case kPageDriver:
    case kPageMouse:
        if (target.HasController() && !target.SaveControllerSettings()) target.Report(kMsgRegistryWriteError);
        return;
    case kPageController:
        if (!target.HasController()) return;
        if (!target.SaveControllerSettings()) {
            target.Report(kMsgRegistryWriteError);
            return;
        }
        if (target.WriteControllerConfig() != 0) target.Report(kMsgCtrlSendError);
        return;
    default: // Hardware and About store into the objects only
        return;
    }
}
