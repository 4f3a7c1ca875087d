#include "base/ObjectNames.h"

#include <cstdio>

namespace {

const char* const kNames[kObjectNameCount] = {
    "ZMR01", "ZMR02", "ZMR03", "ZMR04", "Type1", "Type2", "Type3", "COM1",
    "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",
};

} // namespace

const char* ObjectName(int index)
{
    return (index >= 0 && index < kObjectNameCount) ? kNames[index] : nullptr;
}

const char* ControllerModelName(int model)
{
    return (model >= 0 && model < kControllerModelCount) ? kNames[kFirstControllerName + model] : nullptr;
}

const char* LcdModelName(int model)
{
    return (model >= 0 && model < kLcdModelCount) ? kNames[kFirstLcdName + model] : nullptr;
}

const char* PortName(int port)
{
    return (port >= 0 && port < kPortCount) ? kNames[kFirstPortName + port] : nullptr;
}

const char* ChannelName(int index)
{
    if (index >= 0 && index < kPortCount) return PortName(index);
    if (index < 0 || index >= kChannelCount) return nullptr;
    // Built once, on first use (thread-safe), and never changed after.
    struct Names {
        char text[kChannelCount][8] = {};
        Names()
        {
            for (int i = 0; i < kChannelCount; ++i)
                std::snprintf(text[i], sizeof text[i], "COM%d", i + 1);
        }
    };
    static const Names names;
    return names.text[index];
}
