// The text of the configuration export ("configuration.txt"): the lines
// every section is made of, and the whole file composed from values already
// read. Every section writer (controller, LCD, channel, window positions)
// formats through here, so the file has one layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "\n\n\n<title>\n<rootName>\<keyPath> : \n"
bool FormatExportSectionHeader(char* buffer, size_t size, const char* title, const char* rootName,
                               const char* keyPath);
// The value name right-aligned in 30 characters, " : ", the value in
// lower-case hexadecimal without prefix: "%30s : %x\n".
bool FormatExportValueLine(char* buffer, size_t size, const char* name, uint32_t value);
// A text value: "%30s : %s\n".
bool FormatExportTextLine(char* buffer, size_t size, const char* name, const char* text);
// "\n\nProductVersion: <version>\n", right after the header line.
bool FormatExportVersionLine(char* buffer, size_t size, const char* productVersion);
// "LCD type: <name>\n", the second line of the window-position section.
bool FormatExportLcdTypeLine(char* buffer, size_t size, const char* lcdTypeName);

constexpr const char* kExportWindowPositionTitle = "Window position.";
constexpr const char* kExportMiniLcdLine = "Mini LCD\n";

// A registry value as read for the export; a value that was missing or of
// another type is not present, and the section ends before it.
struct ExportValue {
    const char* name;
    bool present;
    uint32_t value;
};

struct ExportSection {
    const char* title;
    const char* rootName; // "HKEY_LOCAL_MACHINE", "CURRENT_USER", ...
    const char* keyPath;
    const ExportValue* values;
    int count;
};

// Appends one section. False, with the lines before it appended, at the
// first value that is not present or a line that does not fit.
bool AppendExportSection(std::string& out, const ExportSection& section);

// Appends the window-position section: header (HKEY_CURRENT_USER and the
// application key), the LCD type line and the bar's "x" and "y", the
// "Mini LCD" line and the mini bar's "x" and "y". False as above.
bool AppendWindowPositionSection(std::string& out, const char* applicationKey, const char* lcdTypeName,
                                 const ExportValue (&bar)[2], const ExportValue (&miniBar)[2]);

// Appends the start of the file: the message-table header line (which
// brings its own CR LF) and the product-version line.
bool AppendExportHeader(std::string& out, const char* headerLine, const char* productVersion);
