#include "ui/ConfigurationExport.h"

#include <string>

#include "base/Monitors.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/ExportPath.h"
#include "base/ExportText.h"
#include "base/Handles.h"
#include "base/ObjectNames.h"
#include "base/OnScreenKeyboard.h"
#include "base/RegistryIO.h"
#include "base/Reporting.h"
#include "base/VersionInfo.h"
#include "channel/ChannelVirt.h"
#include "channel/PresentPorts.h"
#include "controller/CtrlVirt.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdVirt.h"

namespace {

// The stored "x" and "y" of one tool window under HKEY_CURRENT_USER; a
// missing key or value, or one of another type, is not present.
void ReadPosition(const char* keyName, ExportValue (&values)[2])
{
    values[0] = {"x", false, 0};
    values[1] = {"y", false, 0};
    char path[kTextMax] = {};
    if (keyName == nullptr || !FormatBounded(path, sizeof path, "%s\\%s", kRegistryRoot, keyName)) return;
    const UniqueRegKey key = OpenKeyForRead(HKEY_CURRENT_USER, path);
    if (!key) return;
    for (ExportValue& value : values) {
        int32_t stored = 0;
        value.present = QueryDword(key.get(), value.name, &stored);
        value.value = static_cast<uint32_t>(stored);
    }
}

bool WriteWindowPositions(HANDLE file)
{
    const char* lcdType = LcdModelName(App().lcdModel);
    if (lcdType == nullptr) return false;
    ExportValue bar[2];
    ExportValue miniBar[2];
    ReadPosition(lcdType, bar);
    ReadPosition("MiniLcd", miniBar);
    std::string text;
    const bool complete = AppendWindowPositionSection(text, kRegistryRoot, lcdType, bar, miniBar);
    // What was read before a missing value is still written.
    return WriteWholeText(file, text.c_str()) && complete;
}

// The port in use by its name and, where the system has one, the name the
// system gives it: the site finds the adapter by it.
bool WritePortName(HANDLE file, int index)
{
    const char* name = ChannelName(index);
    if (name == nullptr) return true; // no port: nothing to name
    std::string friendly;
    for (const PresentPort& port : ListPresentPorts()) {
        if (PortNumber(port.name) == index + 1 && !port.friendlyName.empty()) friendly = port.friendlyName;
    }
    return WriteWholeText(file, PortSectionText(name, friendly).c_str());
}

} // namespace

bool ConfigurationExportPaths(ExportPaths* out)
{
    char windowsDir[MAX_PATH] = {};
    char systemDir[MAX_PATH] = {};
    const UINT w = ::GetWindowsDirectoryA(windowsDir, MAX_PATH);
    const UINT s = ::GetSystemDirectoryA(systemDir, MAX_PATH);
    // A result at or above the buffer size is the size needed, not a path.
    if (w == 0 || w >= MAX_PATH || s == 0 || s >= MAX_PATH) return false;
    return ExportPathsFor(windowsDir, systemDir, RunsUnderWow64(), out);
}

uint32_t WriteConfigurationFile(const char* filePath)
{
    char programPath[MAX_PATH] = {};
    VersionInfo version;
    const char* productVersion = nullptr;
    if (ProgramFilePath(programPath, sizeof programPath) && version.Load(programPath))
        productVersion = version.Query("ProductVersion");
    if (productVersion == nullptr) return kMsgExportVersion;

    char header[kTextMax] = {};
    FormatAppMessage(kMsgExportHeader, header, sizeof header);
    std::string start;
    if (!AppendExportHeader(start, header, productVersion)) return kMsgExportCannotCreate;

    const UniqueFileHandle file(
        ::CreateFileA(filePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return kMsgExportCannotCreate;
    if (!WriteWholeText(file.get(), start.c_str())) return kMsgExportCannotCreate;

    // Fetched now: nothing below runs a message loop that could replace them.
    CtrlVirt* controller = App().controller.load();
    LcdVirt* lcd = App().lcd.load();
    ChannelVirt* channel = App().channel.load();
    if (controller == nullptr || controller->DumpSettings(file.get()) == 0) return kMsgExportController;
    if (lcd == nullptr || lcd->DumpConfig(file.get()) == 0) return kMsgExportLcd;
    if (channel == nullptr || !channel->DumpSettings(file.get())) return kMsgExportChannel;
    if (!WriteWindowPositions(file.get())) return kMsgExportWindowPosition;
    // Only the model family holds these values.
    auto* model = dynamic_cast<ZmrModelCtrl*>(controller);
    if (model != nullptr && model->DumpOptionalSettings(file.get()) == 0) return kMsgExportController;
    const auto* zmr = dynamic_cast<ZmrCtrlVirt*>(controller);
    if (!WriteTouchMonitorSection(file.get(), zmr != nullptr ? zmr->CalibrationOrientation : -1))
        return kMsgExportController;
    if (!WritePortName(file.get(), channel->ChannelIndex())) return kMsgExportChannel;
    return 0;
}

uint32_t ExportConfiguration()
{
    ExportPaths paths;
    uint32_t result = kMsgExportCannotCreate;
    if (ConfigurationExportPaths(&paths)) {
        // On a fresh system neither level exists; one that exists already,
        // or cannot be made, shows up when the file is created.
        ::CreateDirectoryA(paths.vendorDir, nullptr);
        ::CreateDirectoryA(paths.productDir, nullptr);
        result = WriteConfigurationFile(paths.file);
    }
    // The file is closed by now: the box runs a message loop.
    if (result != 0) ShowMessageBoxModal(result);
    return result;
}
