// OK and Apply of the settings window: the order of registry writes, sends,
// pauses and reports, for devices and registries that fail at each step.
#include "ui/SettingsActions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every call as one word; results come from the case.
class Recorder final : public SettingsSaveTarget {
public:
    bool controller = true;
    bool lcd = true;
    bool device = true;              // WriteCurrentDevice
    bool saveCtrl = true;            // SaveControllerSettings
    int ctrlFailures = 0;            // WriteControllerConfig fails this often first
    bool currentLcd = true;          // WriteCurrentLcd
    bool saveLcd = true;             // SaveLcdConfig
    int lcdFailures = 0;             // SendLcdConfig fails this often first
    bool lcdGoneAfterReport = false; // a report box lets the LCD be replaced by none
    bool quitInReport = false;       // a quit request arrives while a report box is up
    bool stopping = false;

    std::vector<std::string> log;

    bool HasController() override { return controller; }
    bool WriteCurrentDevice() override { return Log("device", device); }
    bool SaveControllerSettings() override { return Log("saveCtrl", saveCtrl); }
    int WriteControllerConfig() override
    {
        log.push_back("sendCtrl");
        return ctrlFailures-- > 0 ? 1 : 0;
    }
    bool HasLcd() override { return lcd; }
    bool WriteCurrentLcd() override { return Log("lcd", currentLcd); }
    bool SaveLcdConfig() override { return Log("saveLcd", saveLcd); }
    int SendLcdConfig() override
    {
        log.push_back("sendLcd");
        return lcdFailures-- > 0 ? 1 : 0;
    }
    void Pause(int ms) override { log.push_back("pause" + std::to_string(ms)); }
    void Report(uint32_t id) override
    {
        char text[16];
        std::snprintf(text, sizeof text, "report%08x", id);
        log.push_back(text);
        if (lcdGoneAfterReport) lcd = false;
        stopping = stopping || quitInReport;
    }
    bool Stopping() override { return stopping; }

private:
    bool Log(const char* what, bool result)
    {
        log.push_back(what);
        return result;
    }
};

using Log = std::vector<std::string>;

TEST(SettingsOk, OrderOfWritesSendsAndReports)
{
    struct Case {
        const char* name;
        void (*setUp)(Recorder&);
        Log expected;
    };
    const Case cases[] = {
        {"all accepted", [](Recorder&) {}, {"device", "saveCtrl", "sendCtrl", "lcd", "saveLcd", "sendLcd"}},
        {"controller refuses three times: two pauses, one report, LCD still runs",
         [](Recorder& r) { r.ctrlFailures = 3; },
         {"device", "saveCtrl", "sendCtrl", "pause1000", "sendCtrl", "pause1000", "sendCtrl",
          "reporta02a000d", "lcd", "saveLcd", "sendLcd"}},
        {"a quit request in the controller's report: the LCD is neither stored nor sent",
         [](Recorder& r) { r.ctrlFailures = 3, r.quitInReport = true; },
         {"device", "saveCtrl", "sendCtrl", "pause1000", "sendCtrl", "pause1000", "sendCtrl",
          "reporta02a000d"}},
        {"controller accepts the second time",
         [](Recorder& r) { r.ctrlFailures = 1; },
         {"device", "saveCtrl", "sendCtrl", "pause1000", "sendCtrl", "lcd", "saveLcd", "sendLcd"}},
        {"LCD refuses three times",
         [](Recorder& r) { r.lcdFailures = 5; },
         {"device", "saveCtrl", "sendCtrl", "lcd", "saveLcd", "sendLcd", "pause1000", "sendLcd", "pause1000",
          "sendLcd", "reporta02a002d"}},
        {"CurrentDevice not written: nothing else, one registry report",
         [](Recorder& r) { r.device = false; },
         {"device", "reporta02a0009"}},
        {"controller settings not stored",
         [](Recorder& r) { r.saveCtrl = false; },
         {"device", "saveCtrl", "reporta02a0009"}},
        {"CurrentLcd not written",
         [](Recorder& r) { r.currentLcd = false; },
         {"device", "saveCtrl", "sendCtrl", "lcd", "reporta02a0009"}},
        {"LCD settings not stored after a refused send: both reports",
         [](Recorder& r) {
             r.ctrlFailures = 3;
             r.saveLcd = false;
         },
         {"device", "saveCtrl", "sendCtrl", "pause1000", "sendCtrl", "pause1000", "sendCtrl",
          "reporta02a000d", "lcd", "saveLcd", "reporta02a0009"}},
        {"no controller", [](Recorder& r) { r.controller = false; }, {"lcd", "saveLcd", "sendLcd"}},
        {"no objects", [](Recorder& r) { r.controller = r.lcd = false; }, {}},
        {"the LCD vanishes during the report box: asked again",
         [](Recorder& r) {
             r.ctrlFailures = 3;
             r.lcdGoneAfterReport = true;
         },
         {"device", "saveCtrl", "sendCtrl", "pause1000", "sendCtrl", "pause1000", "sendCtrl",
          "reporta02a000d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder r;
        c.setUp(r);
        RunSettingsOk(r);
        EXPECT_EQ(r.log, c.expected);
    }
}

TEST(SettingsApply, OnlyWhatThePageChangedIsSaved)
{
    struct Case {
        int page;
        void (*setUp)(Recorder&);
        Log expected;
    };
    const Case cases[] = {
        {kPageHardware, [](Recorder&) {}, {}},
        {kPageAbout, [](Recorder&) {}, {}},
        {kPageCalibration, [](Recorder&) {}, {"saveCtrl"}},
        {kPageDriver, [](Recorder&) {}, {"saveCtrl"}},
        {kPageMouse, [](Recorder& r) { r.saveCtrl = false; }, {"saveCtrl", "reporta02a0009"}},
        // Sent once, never retried, never the LCD or "CurrentDevice".
        {kPageController,
         [](Recorder& r) { r.ctrlFailures = 3; },
         {"saveCtrl", "sendCtrl", "reporta02a000d"}},
        {kPageController, [](Recorder&) {}, {"saveCtrl", "sendCtrl"}},
        {kPageController, [](Recorder& r) { r.saveCtrl = false; }, {"saveCtrl", "reporta02a0009"}},
        {kPageController, [](Recorder& r) { r.controller = false; }, {}},
        {kPageDriver, [](Recorder& r) { r.controller = false; }, {}},
        {-1, [](Recorder&) {}, {}},
        {kSettingsPageCount, [](Recorder&) {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        Recorder r;
        c.setUp(r);
        RunSettingsApply(r, c.page);
        EXPECT_EQ(r.log, c.expected);
    }
}

} // namespace
