// The serial ports the program offers and asks, without the system: COM1 to
// COM8 always, as they always were, then every other port present
// (HARDWARE\DEVICEMAP\SERIALCOMM), with the name the system gives it.
// Platform-free.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr int kMaxPortNumber = 255;
constexpr int kFixedPortCount = 8; // COM1..COM8, listed whether present or not

// A port the system reports: "COM12", and its friendly name when the system
// has one ("USB Serial Port (COM12)"), else empty.
struct PresentPort {
    std::string name;
    std::string friendlyName;
};

struct PortItem {
    int number = 0;   // 1..255
    std::string text; // what the list shows
};

// 1..255 for "COM1".."COM255" (any case, no leading zero), else 0.
int PortNumber(const std::string& name);

// The name CreateFile takes: "COM1".."COM9" as they are, "\\.\COMn" above,
// where the plain name does not reach the device. False when the number is
// out of range or the buffer too small.
bool PortDevicePath(int number, char* buffer, size_t size);

// COM1..COM8 first, as "COM1".."COM8", then the other present ports in
// ascending order, each once, shown by its friendly name where there is
// one. Reports that do not name a port are left out.
std::vector<PortItem> BuildPortList(const std::vector<PresentPort>& present);

// Ports given as text, "COM12=USB Serial Port (COM12);COM15": entries
// separated by ';', each a port name with an optional '=' and friendly
// name. Entries that do not name a port are left out.
std::vector<PresentPort> ParsePresentPorts(const std::string& text);

// The port's section of the configuration export: its name and, when the
// system has one, its friendly name (control characters made blanks).
std::string PortSectionText(const std::string& name, const std::string& friendlyName);
constexpr const char* kPortSectionTitle = "Serial port.";
