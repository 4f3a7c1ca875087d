// The configuration export file as tests read and change it: temporary
// paths, whole-file reads and writes, and one value line changed in place.
#pragma once

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

inline std::string TempPath(const char* name)
{
    char dir[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The export's line "<name right-aligned in 30> : <hex>".
inline std::string ValueLine(const std::string& name, const char* hex)
{
    return std::string(30 - name.size(), ' ') + name + " : " + hex + "\n";
}

// text with the first such value line changed; empty when there is none.
inline std::string WithValue(std::string text, const std::string& name, const char* from, const char* to)
{
    const size_t at = text.find(ValueLine(name, from));
    if (at == std::string::npos) return {};
    return text.replace(at, ValueLine(name, from).size(), ValueLine(name, to));
}

// The 1-based number of the line where line begins in text.
inline int LineNumberOf(const std::string& text, const std::string& line)
{
    const size_t at = std::min(text.find(line), text.size());
    return 1 +
           static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}
