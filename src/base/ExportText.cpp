#include "base/ExportText.h"

#include "base/BoundedText.h"

namespace {

// One line at most kTextMax characters, like every formatted text.
using Line = char[kTextMax + 1];

bool AppendValues(std::string& out, const ExportValue* values, int count)
{
    Line line;
    for (int i = 0; i < count; ++i) {
        if (!values[i].present) return false;
        if (!FormatExportValueLine(line, sizeof line, values[i].name, values[i].value)) return false;
        out += line;
    }
    return true;
}

} // namespace

bool FormatExportSectionHeader(char* buffer, size_t size, const char* title, const char* rootName,
                               const char* keyPath)
{
    return FormatBounded(buffer, size, "\n\n\n%s\n%s\\%s : \n", title, rootName, keyPath);
}

bool FormatExportValueLine(char* buffer, size_t size, const char* name, uint32_t value)
{
    return FormatBounded(buffer, size, "%30s : %x\n", name, static_cast<unsigned>(value));
}

bool FormatExportTextLine(char* buffer, size_t size, const char* name, const char* text)
{
    return FormatBounded(buffer, size, "%30s : %s\n", name, text);
}

bool FormatExportVersionLine(char* buffer, size_t size, const char* productVersion)
{
    return FormatBounded(buffer, size, "\n\nProductVersion: %s\n", productVersion);
}

bool FormatExportLcdTypeLine(char* buffer, size_t size, const char* lcdTypeName)
{
    return FormatBounded(buffer, size, "LCD type: %s\n", lcdTypeName);
}

bool AppendExportSection(std::string& out, const ExportSection& section)
{
    Line line;
    if (!FormatExportSectionHeader(line, sizeof line, section.title, section.rootName, section.keyPath))
        return false;
    out += line;
    return AppendValues(out, section.values, section.count);
}

bool AppendWindowPositionSection(std::string& out, const char* applicationKey, const char* lcdTypeName,
                                 const ExportValue (&bar)[2], const ExportValue (&miniBar)[2])
{
    Line line;
    if (!FormatExportSectionHeader(line, sizeof line, kExportWindowPositionTitle, "HKEY_CURRENT_USER",
                                   applicationKey))
        return false;
    out += line;
    if (!FormatExportLcdTypeLine(line, sizeof line, lcdTypeName)) return false;
    out += line;
    if (!AppendValues(out, bar, 2)) return false;
    out += kExportMiniLcdLine;
    return AppendValues(out, miniBar, 2);
}

bool AppendExportHeader(std::string& out, const char* headerLine, const char* productVersion)
{
    Line line;
    if (!CopyBounded(line, sizeof line, headerLine)) return false;
    out += line;
    if (!FormatExportVersionLine(line, sizeof line, productVersion)) return false;
    out += line;
    return true;
}
