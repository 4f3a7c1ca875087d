#include "channel/PortList.h"

#include <algorithm>
#include <cctype>

#include "base/BoundedText.h"

int PortNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6) return 0;
    for (int i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[static_cast<size_t>(i)])) != "COM"[i]) return 0;
    }
    if (name[3] == '0') return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n <= kMaxPortNumber ? n : 0;
}

bool PortDevicePath(int number, char* buffer, size_t size)
{
    if (number < 1 || number > kMaxPortNumber) return false;
    return number <= 9 ? FormatBounded(buffer, size, "COM%d", number)
                       : FormatBounded(buffer, size, "\\\\.\\COM%d", number);
}

std::vector<PortItem> BuildPortList(const std::vector<PresentPort>& present)
{
    std::vector<PortItem> items;
    for (int n = 1; n <= kFixedPortCount; ++n)
        items.push_back(PortItem{n, "COM" + std::to_string(n)});

    std::vector<PortItem> others;
    for (const PresentPort& p : present) {
        const int n = PortNumber(p.name);
        if (n <= kFixedPortCount) continue;
        const bool seen =
            std::any_of(others.begin(), others.end(), [n](const PortItem& i) { return i.number == n; });
        if (seen) continue;
        others.push_back(PortItem{n, p.friendlyName.empty() ? "COM" + std::to_string(n) : p.friendlyName});
    }
    std::sort(others.begin(), others.end(),
              [](const PortItem& a, const PortItem& b) { return a.number < b.number; });
    items.insert(items.end(), others.begin(), others.end());
    return items;
}

std::vector<PresentPort> ParsePresentPorts(const std::string& text)
{
    std::vector<PresentPort> ports;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string entry = text.substr(start, end - start);
        const size_t equals = entry.find('=');
        PresentPort port{entry.substr(0, equals),
                         equals == std::string::npos ? "" : entry.substr(equals + 1)};
        if (PortNumber(port.name) != 0) ports.push_back(port);
        start = end + 1;
    }
    return ports;
}

std::string PortSectionText(const std::string& name, const std::string& friendlyName)
{
    // Bounded like every other line of the file.
    auto line = [](const char* label, const std::string& value) {
        std::string v = value.substr(0, static_cast<size_t>(kTextMax - 40));
        for (char& c : v) {
            if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        }
        return std::string(label) + " : " + v + "\n";
    };
    std::string text = std::string("\n\n\n") + kPortSectionTitle + "\n" + line("Name", name);
    if (!friendlyName.empty()) text += line("Friendly name", friendlyName);
    return text;
}
