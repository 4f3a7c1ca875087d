#include "channel/PresentPorts.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <string>

#include "base/Handles.h"
#include "base/RegistryIO.h"

namespace {

struct DeviceInfoTraits {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDeviceInfo = UniqueHandle<DeviceInfoTraits>;

// The setup class of serial and parallel ports.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A REG_SZ of at most size - 1 characters, terminated; empty otherwise.
std::string QueryText(HKEY key, const char* name)
{
    char text[256] = {};
    DWORD type = REG_NONE;
    DWORD bytes = sizeof text - 1;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    text[std::min<DWORD>(bytes, sizeof text - 1)] = '\0';
    return text;
}

// "COM12" from every value of SERIALCOMM (the value data is the port name).
std::vector<PresentPort> SerialCommPorts()
{
    std::vector<PresentPort> ports;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!key) return ports;
    // Bounded: the key lists the ports of one machine.
    for (DWORD i = 0; i < 1024; ++i) {
        char name[256] = {};
        DWORD nameSize = sizeof name;
        char data[32] = {};
        DWORD dataSize = sizeof data - 1;
        DWORD type = REG_NONE;
        const LONG status = ::RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        data[std::min<DWORD>(dataSize, sizeof data - 1)] = '\0';
        if (PortNumber(data) != 0) ports.push_back(PresentPort{data, {}});
    }
    return ports;
}

// The friendly names of the present port devices, by their "PortName".
void AddFriendlyNames(std::vector<PresentPort>& ports)
{
    const UniqueDeviceInfo devices(::SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
    if (!devices) return;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; i < 1024 && ::SetupDiEnumDeviceInfo(devices.get(), i, &device); ++i) {
        // This call's failure is INVALID_HANDLE_VALUE, not null.
        const HKEY raw =
            ::SetupDiOpenDevRegKey(devices.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (raw == nullptr || raw == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) continue;
        const UniqueRegKey parameters(raw);
        const std::string portName = QueryText(parameters.get(), "PortName");
        const int number = PortNumber(portName);
        if (number == 0) continue;
        char friendly[256] = {};
        DWORD type = REG_NONE;
        if (!::SetupDiGetDeviceRegistryPropertyA(devices.get(), &device, SPDRP_FRIENDLYNAME, &type,
                                                 reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1,
                                                 nullptr) ||
            type != REG_SZ) {
            continue;
        }
        for (PresentPort& p : ports) {
            if (PortNumber(p.name) == number && p.friendlyName.empty()) p.friendlyName = friendly;
        }
    }
}

} // namespace

std::vector<PresentPort> ListPresentPorts()
{
    std::vector<PresentPort> ports = SerialCommPorts();
    if (!ports.empty()) AddFriendlyNames(ports);
    char text[1024] = {};
    const DWORD length = ::GetEnvironmentVariableA(kPresentPortsVariable, text, sizeof text);
    if (length != 0 && length < sizeof text) {
        const std::vector<PresentPort> extra = ParsePresentPorts(text);
        ports.insert(ports.end(), extra.begin(), extra.end());
    }
    return ports;
}

std::vector<int> PresentPortNumbers()
{
    std::vector<int> numbers;
    for (const PresentPort& p : ListPresentPorts()) {
        const int n = PortNumber(p.name);
        if (n != 0 && std::find(numbers.begin(), numbers.end(), n) == numbers.end()) numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
