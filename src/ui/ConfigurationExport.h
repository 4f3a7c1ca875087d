// The configuration export of the Hardware page ("Save configuration"):
// "configuration.txt" below the native system directory, with the header,
// the product version, the controller's, LCD's and channel's sections and
// the window positions of the LCD bars.
#pragma once

#include <windows.h>

#include <cstdint>

struct ExportPaths;

// Messages of the export.
constexpr uint32_t kMsgExportCannotCreate = 0xa02a0021;
constexpr uint32_t kMsgExportController = 0xa02a0022;
constexpr uint32_t kMsgExportLcd = 0xa02a0023;
constexpr uint32_t kMsgExportChannel = 0xa02a0024;
constexpr uint32_t kMsgExportHeader = 0xa02a0025;
constexpr uint32_t kMsgExportWindowPosition = 0xa02a0026;
constexpr uint32_t kMsgExportVersion = 0xe02a0005;

// Where the export goes on this machine; false when the system directories
// cannot be had or the path would not fit.
bool ConfigurationExportPaths(ExportPaths* out);

// Writes the export to filePath from the current objects: the product
// version is read first (a failure leaves an earlier export untouched), then
// the file is created anew and every section written and checked. The file
// is closed when this returns. 0 when everything was written, otherwise the
// message to show; the sections before a failing one stay in the file.
uint32_t WriteConfigurationFile(const char* filePath);

// The button: both directory levels are created, the file written and
// closed, then a failure is shown (modal, owned by the message window).
// Returns the message shown, 0 for none.
uint32_t ExportConfiguration();
