#include "app/ConfigurationImport.h"

#include <commdlg.h>

#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/ConfigImport.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/FileDialog.h"
#include "base/Handles.h"
#include "base/ModalLoop.h"
#include "base/ObjectNames.h"
#include "base/RegistryIO.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "ui/HardwarePage.h"
#include "ui/InfoBox.h"
#include "ui/SettingsActions.h"
#include "ui/SettingsPages.h"

namespace {

// "No response for the dispatched command. Communication has been broken."
constexpr uint32_t kMsgNoResponse = 0xa02a0028;
// An export is a few kilobytes; anything far larger is no configuration.
constexpr DWORD kMaxFileSize = 1 << 20;

std::string MessageText(uint32_t id)
{
    char text[kTextMax] = {};
    FormatAppMessage(id, text, sizeof text);
    std::string s = text;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

ImportOutcome Outcome(int exitCode, uint32_t id, const std::string& detail = {})
{
    ImportOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.text = MessageText(id);
    if (!detail.empty()) outcome.text += "\r\n" + detail;
    return outcome;
}

bool ReadWholeFile(const char* path, std::string* out)
{
    const UniqueFileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const DWORD size = ::GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size > kMaxFileSize) return false;
    out->assign(size, '\0');
    DWORD got = 0;
    return size == 0 || (::ReadFile(file.get(), &(*out)[0], size, &got, nullptr) && got == size);
}

enum class WriteResult { Written, NoRights, Failed };

// Every key is opened before any value is written, so that a key the user
// may not write (HKEY_LOCAL_MACHINE without administrator rights) stops the
// import with nothing changed; then every value is written, and a failed
// write puts back everything written so far.
WriteResult WritePlan(const ImportPlan& plan)
{
    std::vector<UniqueRegKey> keys;
    for (const ImportKey& k : plan.keys) {
        char path[kTextMax] = {};
        if (!FormatBounded(path, sizeof path, "%s\\%s", kRegistryRoot, k.key.c_str()))
            return WriteResult::Failed;
        const HKEY root = k.currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        HKEY raw = nullptr;
        const LONG status =
            ::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              AppKeyAccess(root, KEY_READ | KEY_WRITE), nullptr, &raw, nullptr);
        if (status == ERROR_ACCESS_DENIED) return WriteResult::NoRights;
        if (status != ERROR_SUCCESS) return WriteResult::Failed;
        keys.emplace_back(raw);
    }
    RegistryRollback previous;
    for (size_t i = 0; i < plan.keys.size(); ++i) {
        std::vector<DwordValue> values;
        for (const ConfigValue* v : plan.keys[i].values)
            values.push_back(DwordValue{v->name.c_str(), static_cast<int32_t>(v->value)});
        // On failure it has put back all that previous holds, this key's too.
        if (!WriteDwordsAllOrNothing(keys[i].get(), values.data(), static_cast<int>(values.size()),
                                     &previous))
            return WriteResult::Failed;
    }
    return WriteResult::Written;
}

bool Contains(const std::vector<int>& list, int item)
{
    for (int i : list)
        if (i == item) return true;
    return false;
}

// The running program takes the written values: the objects load them, the
// channel moves to the file's port (or reopens with its new line settings),
// and the device gets the configuration. Runs no box.
ImportOutcome ApplyToProgram(const ImportPlan& plan)
{
    AppContext& app = App();
    if (CtrlVirt* controller = app.controller.load();
        controller != nullptr && Contains(plan.controllerModels, app.controllerModel))
        controller->LoadSettings();
    if (LcdVirt* lcd = app.lcd.load(); lcd != nullptr && Contains(plan.lcdModels, app.lcdModel))
        lcd->LoadConfig();

    uint32_t problem = 0;
    bool sent = false;
    switch (plan.port >= 0 ? HardwarePageSwitchQuietly(plan.port) : QuietPortChange::Reopened) {
    case QuietPortChange::Switched:
        sent = true; // the switch has configured the device on its new line
        break;
    case QuietPortChange::Reopened:
        break;
    case QuietPortChange::NoAnswer:
    case QuietPortChange::Failed: {
        // Another port that did not answer: the previous one stays, as on
        // the Hardware page. The port in use that no longer answers: the
        // device is not reached.
        const ChannelVirt* channel = app.channel.load();
        problem = channel != nullptr && channel->ChannelIndex() != plan.port ? kMsgControllerNotFound
                                                                             : kMsgNoResponse;
        sent = problem == kMsgNoResponse;
        break;
    }
    }
    if (!sent) {
        CtrlVirt* controller = app.controller.load();
        LcdVirt* lcd = app.lcd.load();
        if (controller == nullptr || controller->WriteConfig() != 0) {
            if (problem == 0) problem = kMsgCtrlSendError;
        } else if (lcd != nullptr && lcd->SendConfig() != 0 && problem == 0) {
            problem = kMsgLcdSendError;
        }
    }

    // Pages, the mouse-button window and the LCD bar show the new values.
    SendToAllPages(CMD_PAGE_RELOAD);
    if (app.mouseButtonWindow != nullptr)
        ::PostMessageA(app.mouseButtonWindow, WM_COMMAND, MAKEWPARAM(CMD_MOUSE_BUTTON_CHANGED, 0), 0);
    if (app.lcdBar != nullptr) ::PostMessageA(app.lcdBar, WM_COMMAND, MAKEWPARAM(CMD_LCD_BAR_REFRESH, 0), 0);
    return problem == 0 ? ImportOutcome{} : Outcome(kExitNoDevice, problem);
}

bool ChooseConfigurationFile(HWND owner, char* path, size_t size)
{
    static const char kFilter[] = "Configuration\0*.txt\0All files\0*.*\0";
    return ChooseExistingFile(owner, kFilter, OFN_HIDEREADONLY, path, size);
}

ConfigurationChooser g_chooser = &ChooseConfigurationFile;

} // namespace

ImportOutcome ImportConfigurationFile(const char* path, bool withCalibration, bool applyToProgram,
                                      ImportScope scope)
{
    std::string text;
    if (path == nullptr || !ReadWholeFile(path, &text)) return Outcome(kExitBadFile, kMsgConfigCantRead);
    ConfigFile file;
    ConfigError error;
    ImportPlan plan;
    if (!ParseConfiguration(text, &file, &error) || !PlanImport(text, file, withCalibration, &plan, &error))
        return Outcome(kExitBadFile, kMsgConfigRefused, DescribeConfigError(error));
    if (scope == ImportScope::CheckOnly) return ImportOutcome{};
    if (scope == ImportScope::MachineOnly)
        std::erase_if(plan.keys, [](const ImportKey& k) { return k.currentUser; });

    switch (WritePlan(plan)) {
    case WriteResult::Written:
        break;
    case WriteResult::NoRights:
        return Outcome(kExitNoRights, kMsgConfigNoRights);
    case WriteResult::Failed:
        return Outcome(kExitNoRights, kMsgConfigWriteError);
    }
    ReportAppEvent(kMsgConfigLoaded, path);
    if (!applyToProgram) {
        // Nobody to try the port now: the next start opens it.
        if (plan.port >= 0 && !WriteCurrentChannel(plan.port))
            return Outcome(kExitNoRights, kMsgConfigWriteError);
        return ImportOutcome{};
    }
    return ApplyToProgram(plan);
}

void LoadConfigurationFromPage(HWND page)
{
    // The boxes are owned by the message window; a second action waits for
    // the first to end.
    if (page == nullptr || SettingsActionRunning()) return;
    const SettingsBusy busy;
    char path[MAX_PATH] = {};
    // The dialog runs a message loop: a quit request met there ends this.
    if (!g_chooser(page, path, sizeof path) || QuitRequested()) return;
    const ImportOutcome outcome = ImportConfigurationFile(path, false, true);
    if (!outcome.text.empty()) ShowInfoBox(outcome.text.c_str(), true);
}

void SetConfigurationChooser(ConfigurationChooser chooser)
{
    g_chooser = chooser != nullptr ? chooser : &ChooseConfigurationFile;
}
